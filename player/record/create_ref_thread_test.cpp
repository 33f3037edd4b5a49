#include "player/record/create_ref_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/thread.h"
#include "player/record/test_record_file.h"

namespace zrplay {
namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 30s;  // only a broken build waits this long

// Collects the reader's diagnostic lines with the thread that wrote them, and holds every
// writer inside the sink until the gate is opened, so a test can act in the middle of a build.
class TGatedLog {
 public:
  struct TLine {
    uint64_t thread;
    std::string text;
  };

  void Write(const std::string& text) {
    std::unique_lock<std::mutex> lock(mutex_);
    lines_.push_back({plat::GetCurrentThreadId(), text});
    ++inside_;
    max_inside_ = std::max(max_inside_, inside_);
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
    --inside_;
  }
  // True once a writer is held at the gate.
  bool WaitForWriter() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kPatience, [this] { return inside_ > 0; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  std::vector<TLine> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  int MaxInside() {
    std::lock_guard<std::mutex> lock(mutex_);
    return max_inside_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TLine> lines_;
  bool open_ = false;
  int inside_ = 0;
  int max_inside_ = 0;
};

// One index thread's outcome: the result and the thread the handler ran on.
struct TOutcome {
  bool indexed = false;
  uint64_t thread = 0;
};

class CreateRefThreadTest : public ::testing::Test {
 protected:
  static constexpr int kFrames = 50;

  CreateRefThreadTest() {
    // Damage after the first frame makes every build log, and so stop at the gate.
    TTestRecordFile file;
    file.FileHead().Frame({}).Raw("damage");
    for (int i = 1; i < kFrames; ++i) file.Frame({.seconds = 1700000000 + i});
    file.Save(path_);
    reader_->SetLogSink([this](const std::string& line) { log_.Write(line); });
  }

  std::future<TOutcome> Start(std::shared_ptr<TFileReader> reader) {
    auto done = std::make_shared<std::promise<TOutcome>>();
    auto future = done->get_future();
    EXPECT_TRUE(TCreateRefThread::Run(std::move(reader), [done](bool indexed) {
      done->set_value({indexed, plat::GetCurrentThreadId()});
    }));
    return future;
  }
  static TOutcome Await(std::future<TOutcome>& f) {
    if (f.wait_for(kPatience) != std::future_status::ready) {
      ADD_FAILURE() << "the index thread did not finish";
      return {};
    }
    return f.get();
  }

  TTempDir dir_;
  std::string path_ = dir_.Path("rec.dat");
  TGatedLog log_;
  std::shared_ptr<TFileReader> reader_ = std::make_shared<TFileReader>();
};

TEST_F(CreateRefThreadTest, BuildsTheIndexOnItsOwnThreadThenRunsTheHandler) {
  ASSERT_TRUE(reader_->Open(path_));
  log_.Open();
  auto done = Start(reader_);
  const TOutcome outcome = Await(done);
  EXPECT_TRUE(outcome.indexed);
  EXPECT_NE(outcome.thread, plat::GetCurrentThreadId());
  EXPECT_EQ(reader_->FrameCount(), kFrames);
}

TEST_F(CreateRefThreadTest, ANothingToIndexResultReachesTheHandler) {
  TTestRecordFile().FileHead().Raw(std::string(200, 'x')).Save(path_);
  ASSERT_TRUE(reader_->Open(path_));
  log_.Open();
  auto done = Start(reader_);
  EXPECT_FALSE(Await(done).indexed);
}

TEST_F(CreateRefThreadTest, TheReaderOutlivesItsOwnerUntilTheThreadHasFinished) {
  ASSERT_TRUE(reader_->Open(path_));
  std::weak_ptr<TFileReader> watch = reader_;
  auto done = std::make_shared<std::promise<int>>();
  auto future = done->get_future();
  ASSERT_TRUE(TCreateRefThread::Run(reader_, [watch, done](bool) {
    const auto reader = watch.lock();
    done->set_value(reader ? reader->FrameCount() : -1);
  }));
  ASSERT_TRUE(log_.WaitForWriter());
  reader_.reset();  // the owner goes away in the middle of the build
  EXPECT_FALSE(watch.expired());
  log_.Open();
  ASSERT_EQ(future.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(future.get(), kFrames);
  // The thread lets go of the reader when it ends.
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!watch.expired() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(watch.expired());
}

TEST_F(CreateRefThreadTest, ABuildWhoseFileIsClosedOrReplacedMeanwhileIsDiscarded) {
  const std::string other = dir_.Path("other.dat");
  TTestRecordFile().FileHead().Frame({}).Save(other);
  for (const bool replace : {false, true}) {
    SCOPED_TRACE(replace);
    TGatedLog log;
    reader_->SetLogSink([&log](const std::string& line) { log.Write(line); });
    ASSERT_TRUE(reader_->Open(path_));
    auto done = Start(reader_);
    ASSERT_TRUE(log.WaitForWriter());
    if (replace) {
      ASSERT_TRUE(reader_->Open(other));
    } else {
      reader_->Close();
    }
    log.Open();
    EXPECT_FALSE(Await(done).indexed);
    EXPECT_EQ(reader_->FrameCount(), 0);
    EXPECT_EQ(reader_->BuildIndex(), replace);
    EXPECT_EQ(reader_->FrameCount(), replace ? 1 : 0);
  }
}

TEST_F(CreateRefThreadTest, TwoThreadsOverOneReaderBuildOneAfterTheOther) {
  // Without and with the file opened again (as a second open of the same name does).
  for (const bool reopen : {false, true}) {
    SCOPED_TRACE(reopen);
    TGatedLog log;
    reader_->SetLogSink([&log](const std::string& line) { log.Write(line); });
    ASSERT_TRUE(reader_->Open(path_));
    auto first = Start(reader_);
    ASSERT_TRUE(log.WaitForWriter());
    if (reopen) {
      ASSERT_TRUE(reader_->Open(path_));
    }
    auto second = Start(reader_);
    // Give a wrongly concurrent second build the chance to reach the gate too.
    std::this_thread::sleep_for(100ms);
    log.Open();
    const TOutcome a = Await(first);
    const TOutcome b = Await(second);
    EXPECT_EQ(a.indexed, !reopen);
    EXPECT_TRUE(b.indexed);
    EXPECT_EQ(reader_->FrameCount(), kFrames);
    EXPECT_EQ(log.MaxInside(), 1);
    // Each build's lines come together: all of the first thread's, then the second's.
    const auto lines = log.Lines();
    ASSERT_FALSE(lines.empty());
    size_t n = 0;
    while (n < lines.size() && lines[n].thread == a.thread) ++n;
    EXPECT_EQ(n, reopen ? 1u : 2u);
    for (; n < lines.size(); ++n) EXPECT_EQ(lines[n].thread, b.thread);
  }
}

// The library's unload waits for every index thread, also one still in its handler, so none
// runs on in an unloaded library.
TEST_F(CreateRefThreadTest, WaitForAllReturnsOnlyOnceEveryThreadHasEnded) {
  ASSERT_TRUE(reader_->Open(path_));
  log_.Open();
  std::promise<void> entered;
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  std::atomic<bool> handler_done{false};
  ASSERT_TRUE(TCreateRefThread::Run(reader_, [&](bool) {
    entered.set_value();
    opened.wait();
    handler_done = true;
  }));
  entered.get_future().wait();
  std::thread opener([&] {
    std::this_thread::sleep_for(50ms);  // lets WaitForAll start waiting first, mostly
    gate.set_value();
  });
  TCreateRefThread::WaitForAll();
  EXPECT_TRUE(handler_done.load());
  opener.join();
  TCreateRefThread::WaitForAll();  // nothing left: returns at once
}

}  // namespace
}  // namespace zrplay
