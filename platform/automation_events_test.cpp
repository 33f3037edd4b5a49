#include "platform/automation_events.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/thread.h"

namespace plat {
namespace {

struct Delivered {
  int32_t dispid;
  std::vector<TVariant> args;
  uint64_t thread;
};

// Pumps until `count` events arrived (at most five seconds).
void PumpUntil(const std::vector<Delivered>& seen, size_t count) {
  for (int i = 0; i < 250 && seen.size() < count; ++i) PumpMessages(20);
}

TEST(EventConnectionPointTest, EventsFromOtherThreadsArriveOnTheCreatingThreadInOrder) {
  TEventConnectionPoint point;
  std::vector<Delivered> seen;
  point.Advise([&](int32_t id, const std::vector<TVariant>& a) {
    seen.push_back({id, a, GetCurrentThreadId()});
  });
  std::thread worker([&] {
    for (int32_t code : {-1, -5, -6}) point.Fire(0xCE, {TVariant::FromI4(code)});
  });
  worker.join();
  EXPECT_TRUE(seen.empty());  // nothing before the loop runs
  PumpUntil(seen, 3);
  ASSERT_EQ(seen.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(seen[i].dispid, 0xCE);
    EXPECT_EQ(seen[i].thread, GetCurrentThreadId());
  }
  EXPECT_EQ(seen[0].args[0].I4(), -1);
  EXPECT_EQ(seen[2].args[0].I4(), -6);
}

TEST(EventConnectionPointTest, WithoutASinkNothingIsQueued) {
  TEventConnectionPoint point;
  point.Fire(0xC9, {});
  EXPECT_EQ(point.PendingEvents(), 0u);
  const uint32_t cookie = point.Advise([](int32_t, const std::vector<TVariant>&) {});
  point.Fire(0xC9, {});
  EXPECT_EQ(point.PendingEvents(), 1u);
  EXPECT_EQ(point.Unadvise(cookie), S_OK);
  EXPECT_EQ(point.PendingEvents(), 0u);  // the last sink left: nobody to deliver to
  EXPECT_EQ(point.Unadvise(cookie), CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(point.Connected());
}

TEST(EventConnectionPointTest, DroppableEventsBeyondTheLimitLoseTheOldest) {
  TEventConnectionPoint point(4);
  std::vector<Delivered> seen;
  point.Advise([&](int32_t id, const std::vector<TVariant>& a) {
    seen.push_back({id, a, GetCurrentThreadId()});
  });
  point.Fire(0xC9, {});  // not droppable: survives however many data events follow
  for (int32_t i = 0; i < 10; ++i) point.Fire(0xCD, {TVariant::FromI4(i)}, true);
  EXPECT_EQ(point.DroppedEvents(), 6u);
  PumpUntil(seen, 5);
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].dispid, 0xC9);
  for (size_t i = 1; i < 5; ++i) EXPECT_EQ(seen[i].args[0].I4(), static_cast<int32_t>(5 + i));
}

TEST(EventConnectionPointTest, ASinkMayLeaveWhileEventsAreDelivered) {
  auto point = std::make_unique<TEventConnectionPoint>();
  int calls = 0;
  point->Advise([&](int32_t, const std::vector<TVariant>&) {
    ++calls;
    point.reset();  // the host releases the object from inside its event handler
  });
  point->Fire(1, {});
  point->Fire(2, {});
  PumpMessages(50);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace plat
