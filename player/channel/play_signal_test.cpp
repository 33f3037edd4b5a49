// The background play thread's wake-up: kept signals, coalescing, a waiting thread woken,
// and a wait that times out.
#include "player/channel/play_signal.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <optional>

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

}  // namespace
}  // namespace zrplay
