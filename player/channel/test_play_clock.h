// TPlayClock: a millisecond tick that stands still until a test moves it, for pacing tests
// of the background play thread without real waiting, and waits on that thread's steps.
// Process-wide (a channel takes a plain function as its tick source); one per test.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "player/channel/channel.h"
#include "tests/support/wait_until.h"

namespace zrplay {

class TPlayClock {
 public:
  static constexpr auto kPatience = quvi_test::kHangGuard;  // only a broken build waits

  TPlayClock() { now_ = 0; }
  static uint32_t Now() { return now_.load(); }
  void Set(uint32_t ms) { now_ = ms; }

  // Waits until the background play thread has run a whole step after this call, so that
  // step has seen every change made before it.
  static bool WaitSteps(const TChannel& channel) {
    const uint64_t start = channel.PlaySteps();
    return WaitUntil([&] { return channel.PlaySteps() >= start + 2; });
  }
  static bool WaitUntil(const std::function<bool()>& done) {
    return quvi_test::PollUntil(
        done, [] { std::this_thread::sleep_for(std::chrono::microseconds(200)); });
  }

 private:
  static inline std::atomic<uint32_t> now_{0};
};

}  // namespace zrplay
