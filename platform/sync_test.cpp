#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
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
      if (e.WaitFor(2000) == WAIT_OBJECT_0) ++woken;
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
  SetTickCountOffsetForTesting(0xFFFFFFFFu - GetTickCount() - 5);
  const uint32_t before = GetTickCount();
  Sleep(20);
  const uint32_t after = GetTickCount();
  SetTickCountOffsetForTesting(0);
  EXPECT_GT(before, 0xFFFFFF00u);
  EXPECT_LT(after, 1000u);
}

}  // namespace
}  // namespace plat
