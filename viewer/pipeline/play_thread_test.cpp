// The play thread feeding the preview player, which drives the recording player through the
// real proxy module.
#include "viewer/pipeline/play_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <stdexcept>
#include <thread>

#include "platform/messages.h"
#include "tests/support/wait_until.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/pipeline/queue_exception.h"
#include "viewer/player/ostra_nv_preview_player.h"
#include "viewer/player/testing/player_test_support.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/viewer_log.h"

namespace viewer {
namespace {

using testing::MakePlayPackage;
using testing::TaggedMedia;
using testing::TRecorder;

constexpr int32_t kPort = 5;

using quvi_test::WaitUntil;

class PlayThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TRecorder::Attach());
    TRecorder::Reset();
    window_ = plat::CreateWindowHandle();
  }
  void TearDown() override {
    thread_.reset();
    TRecorder::Reset();
    plat::DestroyWindowHandle(window_);
  }

  // The thread around a player set up as the model sets it up.
  void Create(std::unique_ptr<TOstraNvPreviewPlayer> player = nullptr) {
    if (!player) player = std::make_unique<TOstraNvPreviewPlayer>();
    player->Model = &model_;
    player->ProtectedSection = &section_;
    player->NotifyWindow = window_;
    player->Port = kPort;
    player->Active = true;
    player_ = player.get();
    thread_ = std::make_unique<TPlayThread>(std::move(player));
    thread_->Model = &model_;
    thread_->ProtectedSection = &section_;
  }
  void Put(int32_t type, uint8_t tag) {
    section_.BlockingQueue.PutOrRaise(MakePlayPackage(type, TaggedMedia(tag, 64)));
  }
  // The model's stop: player inactive, thread terminated, queue unblocked, thread joined.
  void Stop() {
    player_->Active = false;
    thread_->Terminate();
    section_.BlockingQueue.Unblock();
    ASSERT_TRUE(thread_->WaitFor(30000));
  }
  int StopMessages() {
    int n = 0;
    plat::TMsg msg;
    while (plat::GetMessage(&msg, 0))
      if (msg.hwnd == window_ && msg.message == kStopPlayMessage) ++n;
    return n;
  }

  testing::TLogCapture log_;
  testing::TTestModel model_;
  TProtectedSection section_;
  plat::HWND window_ = 0;
  TOstraNvPreviewPlayer* player_ = nullptr;
  std::unique_ptr<TPlayThread> thread_;
};

TEST_F(PlayThreadTest, WithoutSharedStateItsLinesNameTheThreadObject) {
  Create();
  thread_->ProtectedSection = nullptr;
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(thread_->WaitFor(30000));
  char id[16];
  std::snprintf(id, sizeof id, "%X", LogId(thread_.get()));
  EXPECT_EQ(log_.Count(std::string("CH7 Play Thread:") + id + " DeQueue Failed! E=no shared state"),
            1);
  EXPECT_EQ(log_.Count(std::string("CH7 Play Thread:") + id + " fProtectedSection = nil"), 1);
  EXPECT_EQ(log_.Count("CH:7 ERROR_PLAY, Error is no shared state"), 1);
  EXPECT_EQ(model_.PlayEnds, 1);
}

TEST_F(PlayThreadTest, AHeadAfterFourOtherPackagesOpensThePlayer) {
  Create();
  for (uint8_t tag = 1; tag <= 4; ++tag) Put(1, tag);
  Put(128, 0x40);
  Put(1, 0x21);
  Put(2, 0x22);
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(WaitUntil([] { return TRecorder::CallsOf("Zr_Play_InputData(").size() == 2; }));
  Stop();

  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_InitPlayer("),
            std::vector<std::string>{"Zr_Play_InitPlayer(5,len=64,head=40.0.0.0)"});
  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_InputData("),
            (std::vector<std::string>{"Zr_Play_InputData(5,len=64,head=21.0.0.0)",
                                      "Zr_Play_InputData(5,len=64,head=22.0.0.0)"}));
  EXPECT_EQ(model_.DataMarks, 4);  // the open, then the head and both frames taken
  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_Stop(5)").size(), 1u);
  EXPECT_TRUE(log_.Has("internal stop-->play stop-->"));
  EXPECT_TRUE(log_.Has("internal stop-->play stop<--"));
  EXPECT_FALSE(player_->StreamOpened);
  EXPECT_EQ(model_.PlayEnds, 1);
  EXPECT_EQ(StopMessages(), 0);
}

TEST_F(PlayThreadTest, FivePackagesWithoutAHeadEndTheViewWithoutOpeningThePlayer) {
  Create();
  for (uint8_t tag = 1; tag <= 5; ++tag) Put(1, tag);
  Put(128, 0x40);  // too late
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(thread_->WaitFor(30000));  // ends by itself

  EXPECT_EQ(log_.Count("CH:7 ERROR_NO_FILEHEAD_RECEIVED, Error is not recv sys header"), 1);
  EXPECT_TRUE(TRecorder::Calls().empty());  // never opened, so no StopPlay either
  EXPECT_FALSE(log_.Has("internal stop"));
  EXPECT_EQ(section_.BlockingQueue.Count(), 1);
  EXPECT_EQ(model_.PlayEnds, 1);
  EXPECT_EQ(StopMessages(), 1);
}

TEST_F(PlayThreadTest, ARefusedPackageIsOffered101TimesThenTheNextOneIsTried) {
  TRecorder::SetResult("Zr_Play_InputData", 0);
  Create();
  Put(128, 0x40);
  Put(1, 0x21);
  Put(2, 0x22);
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(WaitUntil([this] { return log_.Count("too many times!") == 2; }));
  Stop();

  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_InputData(5,len=64,head=21.").size(), 101u);
  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_InputData(5,len=64,head=22.").size(), 101u);
  EXPECT_EQ(log_.Count("continue play failed, try "), 200);
  EXPECT_EQ(log_.Count("continue play failed, try 100"), 2);
  EXPECT_EQ(log_.Count("continue play failed, try 101"), 0);
  EXPECT_EQ(log_.Count("CH7 continue play failed, too many times!"), 2);
  EXPECT_EQ(model_.DataMarks, 2);  // the open and the head; refused frames mark nothing
  EXPECT_EQ(model_.PlayEnds, 1);
}

TEST_F(PlayThreadTest, StoppingWhileWaitingInTakeEndsTheThreadAndFiresPlayEndOnce) {
  Create();
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(WaitUntil([this] { return section_.BlockingQueue.WaitingReaders() == 1; }));
  Stop();
  EXPECT_TRUE(TRecorder::Calls().empty());
  EXPECT_EQ(model_.PlayEnds, 1);
  EXPECT_EQ(StopMessages(), 0);
  EXPECT_FALSE(log_.Has("ERROR"));
}

TEST_F(PlayThreadTest, TheViewEndsWhenTheModelStopsPlaying) {
  Create();
  Put(128, 0x40);
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(WaitUntil([] { return !TRecorder::CallsOf("Zr_Play_Play(").empty(); }));
  model_.IsPlaying = false;
  section_.BlockingQueue.Unblock();
  ASSERT_TRUE(thread_->WaitFor(30000));
  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_Stop(5)").size(), 1u);
  EXPECT_EQ(model_.PlayEnds, 1);
}

// A player whose InputPackage raises what the test gives it, once the stream is open.
class TRaisingPlayer : public TOstraNvPreviewPlayer {
 public:
  explicit TRaisingPlayer(std::exception_ptr failure) : failure_(failure) {}
  bool InputPackage(TAbstractPackage& package) override {
    if (package.FrameType != 128) std::rethrow_exception(failure_);
    return TOstraNvPreviewPlayer::InputPackage(package);
  }

 private:
  std::exception_ptr failure_;
};

TEST_F(PlayThreadTest, EachFailureIsLoggedByItsClassAndTheOpenedPlayerStopped) {
  struct Case {
    std::exception_ptr failure;
    const char* line;
  };
  const Case cases[] = {
      {std::make_exception_ptr(EInputData("bad frame")),
       "CH:7 ERROR_STREAM_INPUTDATA, Error is bad frame"},
      {std::make_exception_ptr(EDecoderSDKError("sdk")), "CH:7 EDecoderSDKError, Error is sdk"},
      {std::make_exception_ptr(EOpenStream("reopen")), "CH:7 ERROR_OPEN_STREAM, Error is reopen"},
      {std::make_exception_ptr(EPlay("replay")), "CH:7 ERROR_PLAY_STREAM, Error is replay"},
      {std::make_exception_ptr(QueueException("queue")), "CH:7 ERROR_PLAY, Error is queue"},
      {std::make_exception_ptr(std::runtime_error("outside")), "CH:7 ERROR_UNKNOWN! "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TRecorder::Reset();
    model_.PlayEnds = 0;
    log_.Clear();
    Create(std::make_unique<TRaisingPlayer>(c.failure));
    Put(128, 0x40);
    Put(1, 0x21);
    ASSERT_TRUE(thread_->Start());
    ASSERT_TRUE(thread_->WaitFor(30000));
    const auto lines = log_.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end());
    EXPECT_EQ(TRecorder::CallsOf("Zr_Play_Stop(5)").size(), 1u);
    EXPECT_EQ(model_.PlayEnds, 1);
    EXPECT_EQ(StopMessages(), 1);
    thread_.reset();
  }
}

TEST_F(PlayThreadTest, FailuresToOpenOrPlayStopOnlyWhatWasOpened) {
  struct Case {
    const char* refused;
    const char* line;
    bool stopped;
  };
  for (const Case& c : {Case{"Zr_Play_OpenStream", "CH:7 ERROR_OPEN_STREAM, Error is ", false},
                        Case{"Zr_Play_Play", "CH:7 ERROR_PLAY_STREAM, Error is ", true}}) {
    SCOPED_TRACE(c.refused);
    TRecorder::Reset();
    TRecorder::SetResult(c.refused, 0);
    model_.PlayEnds = 0;
    log_.Clear();
    Create();
    Put(128, 0x40);
    ASSERT_TRUE(thread_->Start());
    ASSERT_TRUE(thread_->WaitFor(30000));
    const auto lines = log_.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end());
    EXPECT_EQ(TRecorder::CallsOf("Zr_Play_Stop(5)").size(), c.stopped ? 1u : 0u);
    EXPECT_EQ(log_.Has("internal stop-->play stop-->"), c.stopped);
    EXPECT_EQ(model_.PlayEnds, 1);
    EXPECT_EQ(model_.DataMarks, 0);
    thread_.reset();
  }
}

}  // namespace
}  // namespace viewer
