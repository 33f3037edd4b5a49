#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>

#include "platform/time.h"

namespace plat {
namespace {

class LoopThread : public TThread {
 public:
  std::atomic<int> loops{0};
  std::atomic<uint64_t> seen_id{0};

 protected:
  void Execute() override {
    seen_id = GetCurrentThreadId();
    while (!Terminated()) {
      ++loops;
      Sleep(1);
    }
    ReturnValue = 7;
  }
};

TEST(TThreadTest, CreatedSuspendedRunsAfterStartAndEndsOnTerminate) {
  LoopThread t;
  Sleep(20);
  EXPECT_EQ(t.loops.load(), 0);
  EXPECT_EQ(t.ThreadID(), 0u);
  ASSERT_TRUE(t.Start());
  while (t.loops.load() == 0) Sleep(1);
  EXPECT_FALSE(t.WaitFor(10u));
  t.Terminate();
  EXPECT_EQ(t.WaitFor(), 7);
  EXPECT_TRUE(t.Finished());
  EXPECT_EQ(t.ThreadID(), t.seen_id.load());
  EXPECT_NE(t.ThreadID(), GetCurrentThreadId());
}

TEST(TThreadTest, WaitForOnNeverStartedThreadReturnsAtOnce) {
  LoopThread t;
  EXPECT_TRUE(t.WaitFor(0u));
  EXPECT_EQ(t.WaitFor(), 0);
}

class SelfFreeing : public TThread {
 public:
  explicit SelfFreeing(std::shared_ptr<std::promise<void>> destroyed)
      : destroyed_(std::move(destroyed)) {
    FreeOnTerminate = true;
  }
  ~SelfFreeing() override { destroyed_->set_value(); }

 protected:
  void Execute() override {}

 private:
  std::shared_ptr<std::promise<void>> destroyed_;  // shared: the test may end before we do
};

TEST(TThreadTest, FreeOnTerminateDeletesItselfWhenDone) {
  auto destroyed = std::make_shared<std::promise<void>>();
  std::future<void> done = destroyed->get_future();
  (new SelfFreeing(destroyed))->Start();
  // The bound only keeps a broken build from hanging.
  EXPECT_EQ(done.wait_for(std::chrono::seconds(60)), std::future_status::ready);
}

}  // namespace
}  // namespace plat
