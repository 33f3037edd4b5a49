// The preview player driving the recording player through the real proxy module.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <thread>

#include "tests/support/test_files.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/player/ostra_nv_preview_player.h"
#include "viewer/player/testing/player_test_support.h"
#include "viewer/protocol/exceptions.h"

namespace viewer {
namespace {

using testing::MakePlayPackage;
using testing::TaggedMedia;
using testing::TRecorder;
using Lines = std::vector<std::string>;

constexpr int32_t kPort = 3;

class PreviewPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TRecorder::Attach());
    TRecorder::Reset();
    player_.Model = &model_;
    player_.Port = kPort;
    player_.PlayWindow = 0x55;
    player_.Fluency = 2;
    player_.Active = true;
  }
  void TearDown() override {
    // Gives the port back to the proxy's pool.
    if (player_.Playing) player_.StopPlay();
  }

  void BeginPlay() {
    auto head = MakePlayPackage(128, head_media_);
    player_.BeginPlay(*head);
  }
  bool Input(int32_t type, uint8_t tag, size_t trailing = 0) {
    auto package = MakePlayPackage(type, TaggedMedia(tag), trailing);
    return player_.InputPackage(*package);
  }
  // Tags of the media the player was fed, in order.
  static std::vector<int> FedTags() {
    std::vector<int> tags;
    for (const std::string& line : TRecorder::CallsOf("Zr_Play_InputData(")) {
      const auto at = line.find("head=");
      tags.push_back(std::stoi(line.substr(at + 5), nullptr, 16));
    }
    return tags;
  }

  testing::TTestModel model_;
  TOstraNvPreviewPlayer player_;
  std::vector<uint8_t> head_media_ = TaggedMedia(0x40, 64);
};

TEST_F(PreviewPlayerTest, BeginPlayOpensThePortAndStartsPlaying) {
  testing::TLogCapture log;
  std::vector<std::pair<int32_t, int32_t>> received;  // length, type
  player_.OnReceiveData = [&](const uint8_t* data, int32_t length, int32_t type) {
    EXPECT_EQ(data[0], 0x40);
    received.emplace_back(length, type);
  };
  player_.SetWatermarkText("site 4");
  model_.Audio = true;
  BeginPlay();

  EXPECT_EQ(TRecorder::Calls(), (Lines{
                                    "Zr_Play_InitPlayer(3,len=64,head=40.0.0.0)",
                                    "Zr_Play_SetStreamOpenMode(3,0)",
                                    "Zr_Play_OpenStream(3,len=64,head=40.0.0.0,pool=1048576)",
                                    "Zr_Play_SetDecCallBack(3,null)",
                                    "Zr_Play_ResetSourceBuffer(3)",
                                    "Zr_Play_ThrowBFrame(3,0)",
                                    "Zr_Play_Play(3,85)",
                                    "Qel_Play_SetWatermark(3,\"site 4\")",
                                }));
  EXPECT_EQ(model_.SoundOpens, 1);
  EXPECT_TRUE(player_.StreamOpened);
  EXPECT_TRUE(player_.Playing);
  EXPECT_FALSE(player_.KeyFrameSeen);
  EXPECT_EQ(received, (std::vector<std::pair<int32_t, int32_t>>{{64, 128}}));
  ASSERT_TRUE(player_.HasStreamHead());
  EXPECT_EQ(std::vector<uint8_t>(player_.StreamHead(), player_.StreamHead() + 64), head_media_);
  EXPECT_TRUE(log.Has("CH3 begin play"));
}

TEST(BFrameLevelTest, IsTwoMinusFluencyKeptWithinZeroToTwo) {
  const std::pair<int32_t, int32_t> cases[] = {{INT_MIN, 2}, {-1, 2}, {0, 2},      {1, 1},
                                               {2, 0},       {3, 0},  {INT_MAX, 0}};
  for (const auto& [fluency, level] : cases)
    EXPECT_EQ(BFrameLevelForFluency(fluency), level) << fluency;
}

// A refused open or play raises, and leaves the player so that the final stop runs exactly
// for what was opened.
TEST_F(PreviewPlayerTest, RefusedOpenOrPlayRaisesAndMarksWhatWasOpened) {
  struct Case {
    const char* refused;
    int32_t result;
    bool open_stream_raises;  // else EPlay
    bool stream_opened;
  };
  for (const Case& c : {Case{"Zr_Play_OpenStream", 0, true, false},
                        Case{"Zr_Play_OpenStream", 0x100, true, false},  // low byte counts
                        Case{"Zr_Play_Play", 0, false, true}}) {
    SCOPED_TRACE(std::string(c.refused) + " " + std::to_string(c.result));
    TRecorder::Reset();
    TRecorder::SetResult(c.refused, c.result);
    TOstraNvPreviewPlayer player;
    player.Port = kPort;
    player.SetWatermarkText("never");
    auto head = MakePlayPackage(128, head_media_);
    if (c.open_stream_raises)
      EXPECT_THROW(player.BeginPlay(*head), EOpenStream);
    else
      EXPECT_THROW(player.BeginPlay(*head), EPlay);
    EXPECT_EQ(player.StreamOpened, c.stream_opened);
    EXPECT_TRUE(player.Playing);
    EXPECT_TRUE(TRecorder::CallsOf("Qel_Play_SetWatermark").empty());
    EXPECT_EQ(TRecorder::CallsOf("Zr_Play_Play").size(), c.open_stream_raises ? 0u : 1u);
    player.StopPlay();
  }
}

TEST_F(PreviewPlayerTest, AStreamHeadBeyond4096BytesIsRefusedBeforeAnyPlayerCall) {
  auto too_long = MakePlayPackage(128, std::vector<uint8_t>(4097, 0x40));
  try {
    player_.BeginPlay(*too_long);
    FAIL() << "no exception";
  } catch (const EOpenStream& e) {
    EXPECT_EQ(e.Message(), "stream head of 4097 bytes exceeds 4096");
  }
  EXPECT_TRUE(TRecorder::Calls().empty());
  EXPECT_FALSE(player_.HasStreamHead());
  EXPECT_FALSE(player_.StreamOpened);

  auto largest = MakePlayPackage(128, std::vector<uint8_t>(4096, 0x40));
  player_.BeginPlay(*largest);
  EXPECT_EQ(player_.StreamHeadLength(), 4096);
  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_InitPlayer(3,len=4096,").size(), 1u);
}

TEST_F(PreviewPlayerTest, APackageWhoseFrameLiesOutsideItsDataIsNeverHandedOn) {
  auto head = MakePlayPackage(128, head_media_);
  head->FrameLength = 65;  // one byte past its data
  EXPECT_THROW(player_.BeginPlay(*head), EOpenStream);
  BeginPlay();
  TRecorder::Reset();
  auto frame = MakePlayPackage(1, TaggedMedia(1));
  frame->FrameLength = -1;
  EXPECT_TRUE(player_.InputPackage(*frame));
  EXPECT_TRUE(TRecorder::Calls().empty());
}

TEST_F(PreviewPlayerTest, ANegativePortIsChosenByTheProxyAndUsedByEveryLaterCall) {
  player_.Port = -1;
  player_.SetWatermarkText("w");
  BeginPlay();
  const int32_t chosen = player_.Port;
  ASSERT_GE(chosen, 0);
  EXPECT_TRUE(Input(1, 1));
  player_.SetWatermarkText("w2");
  player_.StopPlay();

  const Lines calls = TRecorder::Calls();
  ASSERT_EQ(calls.front().rfind("Zr_Play_InitPlayer(" + std::to_string(chosen) + ",", 0), 0u);
  EXPECT_GE(calls.size(), 12u);
  for (const std::string& line : calls)
    EXPECT_EQ(std::stoi(line.substr(line.find('(') + 1)), chosen) << line;
  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_CloseStream(").size(), 1u);
}

TEST_F(PreviewPlayerTest, MediaIsFedOnlyFromTheFirstKeyFrameAndOtherTypesNever) {
  BeginPlay();
  // Before the first frame of type 1: dropped, reported as taken.
  for (int32_t type : {2, 4, 8, 0x100, 0x200}) EXPECT_TRUE(Input(type, 0x10)) << type;
  EXPECT_TRUE(Input(1, 0x21));
  EXPECT_TRUE(player_.KeyFrameSeen);
  EXPECT_TRUE(Input(2, 0x22));
  EXPECT_TRUE(Input(0x100, 0x30));
  EXPECT_TRUE(Input(4, 0x24));
  EXPECT_TRUE(Input(0x200, 0x31));
  EXPECT_TRUE(Input(8, 0x28));
  EXPECT_TRUE(Input(3, 0x32));
  EXPECT_EQ(FedTags(), (std::vector<int>{0x21, 0x22, 0x24, 0x28}));

  TRecorder::SetResult("Zr_Play_InputData", 0);
  EXPECT_FALSE(Input(2, 0x25));  // refused: the play thread offers it again
}

TEST_F(PreviewPlayerTest, ANewStreamWaitsForItsOwnKeyFrame) {
  BeginPlay();
  EXPECT_TRUE(Input(1, 0x21));
  BeginPlay();
  EXPECT_FALSE(player_.KeyFrameSeen);
  EXPECT_TRUE(Input(2, 0x22));
  EXPECT_EQ(FedTags(), std::vector<int>{0x21});
}

TEST_F(PreviewPlayerTest, OnlyALinkModeChangeFromZeroResetsAtTheNextStreamHead) {
  struct Case {
    std::vector<int32_t> modes;  // SetLinkMode calls before the view starts
    bool resets;
  };
  for (const Case& c : {Case{{1}, true}, Case{{2}, true}, Case{{}, false}, Case{{1, 2}, false},
                        Case{{1, 0}, false}, Case{{1, 0, 1}, true}, Case{{1, 1}, true}}) {
    std::string trace;
    for (int32_t m : c.modes) trace += std::to_string(m) + " ";
    SCOPED_TRACE(trace);
    TOstraNvPreviewPlayer player;
    player.Port = kPort;
    for (int32_t mode : c.modes) player.SetLinkMode(mode);
    auto head = MakePlayPackage(128, head_media_);
    player.BeginPlay(*head);
    TRecorder::Reset();
    // The play thread hands the opening head on as its first package, then later heads.
    EXPECT_TRUE(player.InputPackage(*head));
    EXPECT_EQ(TRecorder::CallsOf("Zr_Play_ResetSourceBuffer").size(), c.resets ? 1u : 0u);
    EXPECT_TRUE(player.InputPackage(*head));
    EXPECT_EQ(TRecorder::CallsOf("Zr_Play_ResetSourceBuffer").size(), c.resets ? 1u : 0u);
    EXPECT_FALSE(player.ResetOnNextHead());
    player.StopPlay();
  }
}

// A record file in the test's temporary folder, read back whole.
class RecordFile {
 public:
  explicit RecordFile(const std::string& name = "record") {
    path_ = ::testing::TempDir() + "player_" + name + "_" + std::to_string(::getpid()) + ".h264";
    fd_ = ::open(path_.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  }
  ~RecordFile() { ::unlink(path_.c_str()); }
  int Release() { return fd_; }
  const std::string& Path() const { return path_; }
  std::string Contents() const { return quvi_test::ReadFile(path_); }

 private:
  std::string path_;
  int fd_ = -1;
};

std::string Bytes(const std::vector<uint8_t>& v) {
  return std::string(v.begin(), v.end());
}

TEST_F(PreviewPlayerTest, ARecordingBeginsWithTheStoredHeadThenEveryAcceptedFrame) {
  const std::string trailing(3, '\xEE');  // bytes after the media stay in the record
  for (bool before_head : {true, false}) {
    SCOPED_TRACE(before_head ? "started before the head" : "started later");
    TOstraNvPreviewPlayer player;
    player.Port = kPort;
    RecordFile file;
    ASSERT_GE(file.Release(), 0);
    if (before_head) player.StartRecord(file.Path(), true, file.Release());
    auto head = MakePlayPackage(128, head_media_);
    player.BeginPlay(*head);
    auto feed = [&](int32_t type, uint8_t tag) {
      auto package = MakePlayPackage(type, TaggedMedia(tag), 3);
      return player.InputPackage(*package);
    };
    EXPECT_TRUE(player.InputPackage(*head));
    EXPECT_TRUE(feed(2, 0x10));  // before the key frame: dropped
    EXPECT_TRUE(feed(1, 0x21));
    if (!before_head) player.StartRecord(file.Path(), true, file.Release());
    EXPECT_TRUE(feed(8, 0x28));
    EXPECT_TRUE(feed(0x100, 0x30));  // never fed, never recorded
    TRecorder::SetResult("Zr_Play_InputData", 0);
    EXPECT_FALSE(feed(2, 0x29));  // refused: not recorded
    TRecorder::SetResult("Zr_Play_InputData", 1);
    EXPECT_TRUE(feed(4, 0x24));
    EXPECT_TRUE(player.RecordHeadWritten());
    player.StopRecord();
    EXPECT_FALSE(player.Recording());
    EXPECT_FALSE(player.RecordHeadWritten());
    EXPECT_TRUE(feed(2, 0x2A));  // after the stop: not recorded

    std::string expected = Bytes(head_media_);
    if (before_head) expected += Bytes(TaggedMedia(0x21)) + trailing;
    expected += Bytes(TaggedMedia(0x28)) + trailing + Bytes(TaggedMedia(0x24)) + trailing;
    EXPECT_EQ(file.Contents(), expected);
    player.StopPlay();
    TRecorder::Reset();
  }
}

TEST_F(PreviewPlayerTest, EveryRecordFileBeginsWithTheHeadAndAnUncreatedOneEndsTheRecording) {
  RecordFile first("first");
  RecordFile second("second");
  BeginPlay();
  player_.StartRecord(first.Path(), true, first.Release());
  EXPECT_TRUE(Input(1, 0x21));
  // The next recording without a stop in between.
  player_.StartRecord(second.Path(), true, second.Release());
  EXPECT_TRUE(Input(2, 0x22));
  // A file that could not be created: nothing more is written, into no file.
  player_.StartRecord("/no/such/folder/x.h264", true, -1);
  EXPECT_TRUE(Input(2, 0x23));
  EXPECT_TRUE(player_.Recording());
  EXPECT_EQ(player_.RecordFileName(), "/no/such/folder/x.h264");
  player_.StopRecord();

  const std::string head = Bytes(head_media_);
  EXPECT_EQ(first.Contents(), head + Bytes(TaggedMedia(0x21)));
  EXPECT_EQ(second.Contents(), head + Bytes(TaggedMedia(0x22)));
}

TEST_F(PreviewPlayerTest, NoDecodeRecordsAndForwardsButNeverCallsThePlayer) {
  player_.NoDecode = true;
  player_.SetWatermarkText("quiet");
  TRecorder::SetEncodeInfo(4, 704, 576);
  std::vector<int32_t> types;
  player_.OnReceiveData = [&](const uint8_t*, int32_t, int32_t type) { types.push_back(type); };
  int video_infos = 0;
  player_.OnVideoInfoRead = [&](int32_t, int32_t, int32_t) { ++video_infos; };
  RecordFile file;
  player_.StartRecord(file.Path(), true, file.Release());

  auto head = MakePlayPackage(128, head_media_);
  player_.BeginPlay(*head);
  EXPECT_TRUE(player_.StreamOpened);
  EXPECT_TRUE(player_.Playing);
  EXPECT_TRUE(player_.InputPackage(*head));
  EXPECT_TRUE(Input(2, 0x12));  // no key-frame gating: nothing is decoded
  EXPECT_TRUE(Input(0x200, 0x13));
  EXPECT_TRUE(Input(1, 0x11));
  player_.SetWatermarkText("still quiet");
  player_.StopPlay();
  player_.StopRecord();

  EXPECT_TRUE(TRecorder::Calls().empty());
  EXPECT_EQ(types, (std::vector<int32_t>{128, 128, 2, 0x200, 1}));
  EXPECT_EQ(video_infos, 0);
  EXPECT_EQ(player_.VideoWidth, 0);
  EXPECT_EQ(file.Contents(), Bytes(head_media_) + Bytes(TaggedMedia(0x12)) +
                                 Bytes(TaggedMedia(0x13)) + Bytes(TaggedMedia(0x11)));
  player_.Playing = false;  // nothing to stop in TearDown
}

TEST_F(PreviewPlayerTest, VideoInformationIsAskedForUntilKnownAndReportedOnce) {
  std::vector<std::array<int32_t, 3>> reports;
  player_.OnVideoInfoRead = [&](int32_t codec, int32_t width, int32_t height) {
    reports.push_back({codec, width, height});
  };
  BeginPlay();
  EXPECT_TRUE(Input(2, 0x10));  // dropped: no question asked
  EXPECT_TRUE(Input(1, 0x11));  // the player does not know yet
  EXPECT_TRUE(reports.empty());
  TRecorder::SetEncodeInfo(4, 704, 576);
  EXPECT_TRUE(Input(2, 0x12));
  EXPECT_TRUE(Input(2, 0x13));
  EXPECT_EQ(reports, (std::vector<std::array<int32_t, 3>>{{4, 704, 576}}));
  EXPECT_EQ(TRecorder::CallsOf("Qel_Play_ReadChannelEncodeInfo(3)").size(), 2u);
  EXPECT_TRUE(player_.IsVideoInfoKnown());
  EXPECT_EQ(player_.VideoCodec, 4);
}

TEST_F(PreviewPlayerTest, StopPlayStopsResetsAndClosesAtMostFiveTimes) {
  for (int32_t close_result : {1, 0}) {
    SCOPED_TRACE(close_result);
    BeginPlay();
    TRecorder::Reset();
    TRecorder::SetResult("Zr_Play_CloseStream", close_result);
    testing::TLogCapture log;
    player_.StopPlay();
    Lines expected = {"Zr_Play_Stop(3)", "Zr_Play_ResetSourceBuffer(3)"};
    expected.insert(expected.end(), close_result ? 1 : 5, "Zr_Play_CloseStream(3)");
    EXPECT_EQ(TRecorder::Calls(), expected);
    EXPECT_FALSE(player_.Playing);
    const Lines lines = log.Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].rfind("ch3 stop player ", 0), 0u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 3), "-->");
    EXPECT_EQ(Lines(lines.begin() + 1, lines.end() - 1),
              (Lines{"ch3 try stop", "ch3 stop", "ch3 reset source buf", "ch3 close stream"}));
    EXPECT_EQ(lines[5], lines[0].substr(0, lines[0].size() - 3) + "<--");
  }
  TRecorder::SetResult("Zr_Play_CloseStream", 1);
}

TEST_F(PreviewPlayerTest, TheWatermarkReachesThePlayerOnlyWhilePlayingAndWhenChanged) {
  testing::TLogCapture log;
  player_.SetWatermarkText("a");  // not playing: kept for BeginPlay
  EXPECT_TRUE(TRecorder::Calls().empty());
  BeginPlay();
  player_.SetWatermarkText("b");
  player_.SetWatermarkText("b");
  player_.StopPlay();
  player_.SetWatermarkText("c");
  EXPECT_EQ(TRecorder::CallsOf("Qel_Play_SetWatermark"),
            (Lines{"Qel_Play_SetWatermark(3,\"a\")", "Qel_Play_SetWatermark(3,\"b\")"}));
  EXPECT_EQ(log.Count("ch3 set watermark b"), 1);
  EXPECT_EQ(player_.WatermarkText(), "c");
}

// The window thread changes the watermark and the recording while the play thread opens and
// feeds; the last text set must reach the player, and every byte recorded must be whole.
TEST_F(PreviewPlayerTest, WatermarkAndRecordingChangeSafelyWhileThePlayThreadFeeds) {
  RecordFile file;
  const std::string path = file.Path();
  std::atomic<bool> begun{false};
  std::thread window([&] {
    for (int i = 0; i < 200; ++i) {
      player_.SetWatermarkText("text " + std::to_string(i));
      if (i % 50 == 0) {
        player_.StopRecord();
        player_.StartRecord(path, true, ::open(path.c_str(), O_WRONLY | O_APPEND));
      }
      if (i == 100) {
        while (!begun) std::this_thread::yield();
      }
    }
  });
  BeginPlay();
  begun = true;
  for (int i = 0; i < 200; ++i) Input(i == 0 ? 1 : 2, static_cast<uint8_t>(i));
  window.join();
  player_.StopRecord();
  close(file.Release());
  EXPECT_EQ(TRecorder::CallsOf("Qel_Play_SetWatermark").back(),
            "Qel_Play_SetWatermark(3,\"text 199\")");
  EXPECT_EQ(file.Contents().size() % 16, 0u);  // heads of 64 and frames of 16 bytes
}

TEST_F(PreviewPlayerTest, TheStopRequestGoesToTheNotificationWindow) {
  TProtectedSection section;
  player_.ProtectedSection = &section;
  player_.PostStopPlayMessage();  // no window: nothing to post
  const plat::HWND window = plat::CreateWindowHandle();
  player_.NotifyWindow = window;
  player_.PostStopPlayMessage();
  plat::TMsg msg;
  ASSERT_TRUE(plat::GetMessage(&msg, 0));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.message, 0x04C9u);
  EXPECT_EQ(msg.wParam, 0u);
  EXPECT_EQ(msg.lParam, 0);
  EXPECT_FALSE(plat::GetMessage(&msg, 0));
  plat::DestroyWindowHandle(window);
}

}  // namespace
}  // namespace viewer
