// TPlaySignal: tells the channel's background play thread that there may be work (a frame
// arrived, pause, step, speed, stop). Any thread signals; the play thread waits for a signal
// or a time-out. A signal given while the thread is busy is kept for its next wait, and
// several coalesce into one. The wait is woken after the signaller has let go of the lock,
// so that the woken thread does not sleep again at once waiting for it. A thread being stopped
// may still wait while its successor already does; its stop is told apart from the signal, so
// the two never share one. Owned by the channel, which outlives both sides.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace zrplay {

class TPlaySignal {
 public:
  static constexpr uint32_t kNoTimeLimit = 0xFFFFFFFFu;

  void Signal();
  // Wakes every waiter to look at its stopped condition again; the signal stays as it is.
  // Call it after making a waiter's condition true.
  void WakeAll();
  // Waits until signalled, until stopped() (when given) is true or until timeout_ms have passed
  // (kNoTimeLimit: no limit), and takes the signal. True when signalled.
  bool Wait(uint32_t timeout_ms, const std::function<bool()>& stopped = {});

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
  int waiting_ = 0;
};

}  // namespace zrplay
