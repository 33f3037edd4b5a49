#include "modules/zrplayproxy/port_pool.h"

#include <limits>

int32_t TPortPool::Acquire() {
  std::lock_guard<std::mutex> lock(mutex_);
  int32_t candidate = 0;
  for (int32_t p : held_) {
    if (p < candidate) continue;
    if (p != candidate) break;
    if (candidate == std::numeric_limits<int32_t>::max()) return -1;
    ++candidate;
  }
  held_.insert(candidate);
  return candidate;
}

void TPortPool::Hold(int32_t port) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.insert(port);
}

void TPortPool::Release(int32_t port) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.erase(port);
}

bool TPortPool::Held(int32_t port) {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_.count(port) != 0;
}
