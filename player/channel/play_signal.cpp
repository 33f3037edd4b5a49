#include "player/channel/play_signal.h"

#include <chrono>

namespace zrplay {

void TPlaySignal::Signal() {
  std::unique_lock lock(mutex_);
  signalled_ = true;
  const bool wake = waiting_ > 0;
  lock.unlock();
  if (wake) cv_.notify_one();
}

void TPlaySignal::WakeAll() {
  // Taken so that a waiter that has just found its condition false is asleep before the wake.
  { const std::lock_guard lock(mutex_); }
  cv_.notify_all();
}

bool TPlaySignal::Wait(uint32_t timeout_ms, const std::function<bool()>& stopped) {
  std::unique_lock lock(mutex_);
  ++waiting_;
  const auto done = [&] { return signalled_ || (stopped && stopped()); };
  if (timeout_ms == kNoTimeLimit) {
    cv_.wait(lock, done);
  } else {
    cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), done);
  }
  --waiting_;
  // A stopping thread leaves the signal to the thread that follows it, and passes on a wake
  // it may have taken from that thread.
  if (stopped && stopped()) {
    if (signalled_ && waiting_ > 0) cv_.notify_one();
    return false;
  }
  const bool signalled = signalled_;
  signalled_ = false;
  return signalled;
}

}  // namespace zrplay
