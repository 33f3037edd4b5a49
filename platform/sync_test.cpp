#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/time.h"

namespace plat {
namespace {

TEST(TEventTest, AutoResetIsConsumedByOneWait) {
  TEvent e(false, true);
  EXPECT_EQ(e.WaitFor(0), WAIT_OBJECT_0);
  EXPECT_EQ(e.WaitFor(0), WAIT_TIMEOUT);
}

TEST(TEventTest, ManualResetStaysSetUntilReset) {
  TEvent e(true, false);
  e.Set();
  EXPECT_EQ(e.WaitFor(0), WAIT_OBJECT_0);
  EXPECT_EQ(e.WaitFor(0), WAIT_OBJECT_0);
  e.Reset();
  EXPECT_EQ(e.WaitFor(10), WAIT_TIMEOUT);
}

TEST(TEventTest, SetFromAnotherThreadWakesWaiter) {
  TEvent e;
  std::thread t([&] {
    Sleep(20);
    e.Set();
  });
  EXPECT_EQ(e.WaitFor(INFINITE), WAIT_OBJECT_0);
  t.join();
}

TEST(TEventTest, WaitForAnyReportsTheSignalledIndexAndConsumesIt) {
  TEvent a, b, c(true, false);
  std::thread t([&] {
    Sleep(20);
    b.Set();
  });
  EXPECT_EQ(TEvent::WaitForAny({&a, &b, &c}, INFINITE), WAIT_OBJECT_0 + 1);
  t.join();
  EXPECT_FALSE(b.IsSet());
  EXPECT_EQ(TEvent::WaitForAny({&a, &b}, 10), WAIT_TIMEOUT);
  c.Set();
  EXPECT_EQ(TEvent::WaitForAny({&a, &c}, 0), WAIT_OBJECT_0 + 1);
  EXPECT_TRUE(c.IsSet());  // manual reset: not consumed
}

TEST(TEventTest, EachAutoResetSignalWakesExactlyOneOfManyWaiters) {
  TEvent e;
  std::atomic<int> woken{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      // A waiter may wait through the other three wake-ups first: the bound only ends a hang.
      if (e.WaitFor(60000) == WAIT_OBJECT_0) ++woken;
    });
  for (int i = 0; i < 4; ++i) {
    e.Set();
    while (woken.load() < i + 1) Sleep(1);
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(woken.load(), 4);
}

TEST(TCriticalSectionTest, IsReentrant) {
  TCriticalSection cs;
  cs.Enter();
  EXPECT_TRUE(cs.TryEnter());
  cs.Leave();
  cs.Leave();
  std::thread t([&] {
    EXPECT_TRUE(cs.TryEnter());
    cs.Leave();
  });
  t.join();
}

TEST(TickCountTest, WrapsAt32Bits) {
  // Parked 5 ms short of the wrap. The bounds below count the milliseconds that really passed,
  // so a test thread held off the processor for a while reads later values, not wrong ones.
  constexpr uint32_t kParked = 0xFFFFFFFFu - 5;
  const auto start = std::chrono::steady_clock::now();
  SetTickCountOffsetForTesting(kParked - GetTickCount());
  const uint32_t before = GetTickCount();
  Sleep(20);
  const uint32_t after = GetTickCount();
  const auto passed = std::chrono::steady_clock::now() - start;
  SetTickCountOffsetForTesting(0);
  const uint32_t passed_ms =
      static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(passed).count());
  // Counted on from where it was parked ...
  EXPECT_LE(static_cast<uint32_t>(before - kParked), passed_ms + 1);
  EXPECT_GE(static_cast<uint32_t>(after - kParked), 20u);
  EXPECT_LE(static_cast<uint32_t>(after - kParked), passed_ms + 1);
  // ... and through zero: past the wrap it holds the few milliseconds since.
  EXPECT_LE(after, passed_ms + 1);
}

}  // namespace
}  // namespace plat
