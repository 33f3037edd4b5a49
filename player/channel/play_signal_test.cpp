// The background play thread's wake-up: kept signals, coalescing, a waiting thread woken,
// and a wait that times out.
#include "player/channel/play_signal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include "tests/support/wait_until.h"

namespace zrplay {
namespace {

// Runs a wait on another thread; the result, or nothing when it hangs.
std::optional<bool> WaitElsewhere(TPlaySignal& signal, uint32_t timeout_ms,
                                  const std::function<void()>& meanwhile = {}) {
  auto waited = std::async(std::launch::async, [&] { return signal.Wait(timeout_ms); });
  if (meanwhile) meanwhile();
  if (waited.wait_for(quvi_test::kHangGuard) != std::future_status::ready) return std::nullopt;
  return waited.get();
}

TEST(PlaySignalTest, SignalsAreKeptUntilTakenAndCoalesce) {
  TPlaySignal signal;
  for (int i = 0; i < 3; ++i) signal.Signal();
  EXPECT_EQ(WaitElsewhere(signal, TPlaySignal::kNoTimeLimit), true);
  // The three signals were one: nothing is left for the next wait.
  EXPECT_FALSE(signal.Wait(1));
  EXPECT_FALSE(signal.Wait(0));
}

TEST(PlaySignalTest, AWaitWithoutTimeLimitEndsOnTheNextSignal) {
  TPlaySignal signal;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    // The signal may come before or while the other thread waits: either way it ends the wait.
    EXPECT_EQ(WaitElsewhere(signal, TPlaySignal::kNoTimeLimit, [&] { signal.Signal(); }), true);
  }
}

// A thread being stopped and the one started after it wait on the same signal at once. Each
// stop must end its own thread's wait, and the signal must stay for the thread that goes on
// (before, two stops coalesced into one signal and one thread slept for ever).
TEST(PlaySignalTest, AStopEndsOnlyItsOwnWaitAndLeavesTheSignalToTheOther) {
  TPlaySignal signal;
  std::atomic<bool> old_stopped{false};
  std::atomic<bool> new_stopped{false};
  std::atomic<int> waiting{0};
  const auto wait_as = [&](std::atomic<bool>& stopped) {
    ++waiting;
    return signal.Wait(TPlaySignal::kNoTimeLimit, [&] { return stopped.load(); });
  };
  auto old_wait = std::async(std::launch::async, [&] { return wait_as(old_stopped); });
  auto new_wait = std::async(std::launch::async, [&] { return wait_as(new_stopped); });
  ASSERT_TRUE(quvi_test::WaitUntil([&] { return waiting.load() == 2; }));

  // The old thread's stop comes together with a signal meant for the new one.
  old_stopped = true;
  signal.Signal();
  signal.WakeAll();
  ASSERT_EQ(old_wait.wait_for(quvi_test::kHangGuard), std::future_status::ready);
  EXPECT_FALSE(old_wait.get()) << "a stopped waiter does not take the signal";
  ASSERT_EQ(new_wait.wait_for(quvi_test::kHangGuard), std::future_status::ready);
  EXPECT_TRUE(new_wait.get()) << "the signal reached the thread that goes on";

  // A stop alone ends a wait without a time limit, and leaves no signal behind.
  auto last = std::async(std::launch::async, [&] { return wait_as(new_stopped); });
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  new_stopped = true;
  signal.WakeAll();
  ASSERT_EQ(last.wait_for(quvi_test::kHangGuard), std::future_status::ready);
  EXPECT_FALSE(last.get());
  EXPECT_FALSE(signal.Wait(0));
}

}  // namespace
}  // namespace zrplay
