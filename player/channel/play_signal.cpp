#include "player/channel/play_signal.h"

#include <chrono>

namespace zrplay {

void TPlaySignal::Signal() {
  std::unique_lock lock(mutex_);
  signalled_ = true;
  const bool wake = waiting_;
  lock.unlock();
  if (wake) cv_.notify_one();
}

bool TPlaySignal::Wait(uint32_t timeout_ms) {
  std::unique_lock lock(mutex_);
  waiting_ = true;
  if (timeout_ms == kNoTimeLimit) {
    cv_.wait(lock, [this] { return signalled_; });
  } else {
    cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return signalled_; });
  }
  waiting_ = false;
  const bool signalled = signalled_;
  signalled_ = false;
  return signalled;
}

}  // namespace zrplay
