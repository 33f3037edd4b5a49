#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>

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
  explicit SelfFreeing(std::atomic<bool>* destroyed) : destroyed_(destroyed) {
    FreeOnTerminate = true;
  }
  ~SelfFreeing() override { *destroyed_ = true; }

 protected:
  void Execute() override {}

 private:
  std::atomic<bool>* destroyed_;
};

TEST(TThreadTest, FreeOnTerminateDeletesItselfWhenDone) {
  std::atomic<bool> destroyed{false};
  (new SelfFreeing(&destroyed))->Start();
  for (int i = 0; i < 2000 && !destroyed.load(); ++i) Sleep(1);
  EXPECT_TRUE(destroyed.load());
}

}  // namespace
}  // namespace plat
