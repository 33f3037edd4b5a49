// TPortPool: which player ports the proxy's callers hold, so a fetched port is one nobody
// else uses. Any thread; guarded by its own mutex.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>

class TPortPool {
 public:
  // Smallest non-negative port not held, now held; -1 when none is left.
  int32_t Acquire();
  void Hold(int32_t port);
  void Release(int32_t port);
  bool Held(int32_t port);

 private:
  std::mutex mutex_;
  std::set<int32_t> held_;
};
