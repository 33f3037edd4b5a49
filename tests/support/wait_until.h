// Test support for waiting on what another thread does: a condition checked until it holds.
// The bound, kHangGuard, only ends the wait of a broken build; sanitizers and a busy machine
// make a healthy run many times slower, and it must never come near it. A test that checks
// how long something takes measures that itself. Header only; any thread may wait.
#pragma once

#include <chrono>
#include <thread>

namespace quvi_test {

inline constexpr std::chrono::seconds kHangGuard{60};

// True once done() holds; false only when it still does not after kHangGuard. Between two
// checks it calls idle(), which waits a little (and may do the waiting thread's work, such as
// pumping its messages).
template <class F, class I>
bool PollUntil(F&& done, I&& idle) {
  const auto give_up = std::chrono::steady_clock::now() + kHangGuard;
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    idle();
  }
  return true;
}

// PollUntil that sleeps a moment between the checks.
template <class F>
bool WaitUntil(F&& done) {
  return PollUntil(done, [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
}

}  // namespace quvi_test
