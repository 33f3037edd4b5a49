// A live view from end to end: streamsim's server serving a fixture, the viewer's play model
// with a real window, the proxy module, the player library, vdec and the renderer. The
// window must show the stream's picture (compared with a direct libavcodec decode of the
// fixture), the statistics count what arrived, a recording is a valid record file, and stop
// ends everything down to the player library's channel. The same view without a window runs
// the no-decode player, which records but never reaches the library.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/gdi.h"
#include "platform/messages.h"
#include "tests/picture_match.h"
#include "tests/support/audio_measure.h"
#include "tests/support/test_files.h"
#include "tests/support/wait_until.h"
#include "tools/common/player_library.h"
#include "tools/recmake/record_file_reader.h"
#include "tools/streamsim/test_support.h"
#include "viewer/pipeline/play_model.h"
#include "viewer/player/player_binding.h"

namespace {

const std::string kFixture = std::string(QUVI_TEST_DATA_DIR) + "/h264_704x576_g711u.rec";
constexpr int kWidth = 704;
constexpr int kHeight = 576;

using quvi_test::WaitUntil;

class LiveViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The proxy finds the player library beside itself, as in a real installation.
    ::unsetenv("ZRPLAYPROXY_PLAYER");
    viewer::SetPlayerProxyModuleName(ZRPLAYPROXY_PATH);
  }
  void SetUp() override {
    streamsim::TServerOptions options;
    options.DefaultSource = {streamsim::TSourceSpec::EKind::File, kFixture};
    options.RealTime = true;
    options.Loop = true;
    server_ = std::make_unique<streamsim::test::TRunningServer>(options);
    model_ = std::make_unique<viewer::TOstraNvPreviewModel>();
    model_->SetHostIP("127.0.0.1");
    model_->SetHostPort(server_->Port());
    model_->SetChannelNo(0);
    model_->SetDVRID("7");
    model_->SetLoginUser("admin");
    model_->SetPassword("admin");
    model_->SetConnectTimeout(2000);
    model_->SetReadTimeout(5000);
  }
  void TearDown() override {
    model_.reset();
    if (window_ != 0) plat::DestroyWindowHandle(window_);
  }
  void OpenWindow() {
    window_ = plat::CreateWindowHandle();
    ASSERT_TRUE(plat::MoveWindow(window_, 0, 0, kWidth, kHeight));
    model_->SetPlayWnd(window_);
  }
  // Records from the start of the view; the file is checked after the stop.
  std::string StartRecording() {
    const std::string name = dir_.Path("view.h264");
    EXPECT_TRUE(model_->StartRecord(name));
    // Counted before a package is queued: none can have been recorded without it. A busy
    // machine may let the stream come first, and a recording begun later starts where the
    // stream is.
    recording_before_stream_ = model_->CurFrameNumReceived() == 0;
    return name;
  }
  // Every frame of the recording reads cleanly; the number of video frames.
  int CheckRecording(const std::string& name) const {
    std::ifstream in(name, std::ios::binary);
    recmake::TRecordFileReader reader(in);
    recmake::TRecordFrame frame;
    int video = 0;
    recmake::TRecordFileReader::EResult r;
    bool first = true;
    while ((r = reader.Next(frame)) == recmake::TRecordFileReader::EResult::Frame) {
      if (first && frame.IsVideo() && recording_before_stream_) {
        EXPECT_TRUE(frame.IsKey()) << "a recording begun with the stream starts at its key frame";
      }
      if (frame.IsVideo()) first = false;
      video += frame.IsVideo() ? 1 : 0;
    }
    EXPECT_EQ(r, recmake::TRecordFileReader::EResult::End) << reader.ErrorText();
    return video;
  }

  quvi_test::TTempDir dir_{"live_view_test"};
  std::unique_ptr<streamsim::test::TRunningServer> server_;
  std::unique_ptr<viewer::TOstraNvPreviewModel> model_;
  plat::HWND window_ = 0;
  bool recording_before_stream_ = false;
};

TEST_F(LiveViewTest, TheWindowShowsTheStreamsPictureAndStopEndsTheChannel) {
  const std::vector<quvi_test::TLumaPicture> pictures = quvi_test::DecodeRecordFileLuma(kFixture);
  ASSERT_GT(pictures.size(), 50u);
  OpenWindow();
  const size_t log_from = quvi_tools::PlayerLogSize();
  model_->StartPlay();
  const std::string record = StartRecording();
  ASSERT_TRUE(WaitUntil([&] { return quvi_test::WindowShowsAPicture(window_); }))
      << "no picture within 10 s";
  ASSERT_TRUE(WaitUntil([&] { return model_->CurFrameNumReceived() > 25; }));

  // The window shows one of the stream's pictures (the one current when it was read).
  EXPECT_LT(quvi_test::DistanceToNearestPicture(window_, pictures), 4.0)
      << "the window is not a picture of the stream";
  ASSERT_TRUE(plat::SaveWindowPng(window_, dir_.Path("live.png")));
  if (const char* keep = std::getenv("QUVI_TEST_KEEP_PNG"))
    plat::SaveWindowPng(window_, std::string(keep) + "/live_view.png");

  // Rates are counted over whole seconds.
  EXPECT_TRUE(WaitUntil([&] { return model_->Bitrate() > 0 && model_->FrameRateReceived() > 0; }));
  viewer::TPlayer* player = model_->Player();
  ASSERT_NE(player, nullptr);
  const int32_t port = player->Port;
  model_->StopPlay();
  EXPECT_EQ(model_->Player(), nullptr);
  EXPECT_EQ(model_->CurFrameNumReceived(), 0);
  EXPECT_GT(CheckRecording(record), 0);

  // The library ran the view's port and took its channel away at the end.
  const std::vector<std::string> lines = quvi_tools::PlayerLogLines(log_from);
  const auto has = [&](const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
  };
  EXPECT_TRUE(has("CH" + std::to_string(port) + " init player OK"));
  EXPECT_TRUE(has("unreg channel<--port=" + std::to_string(port)));
  // Nothing is drawn any more.
  std::vector<uint32_t> pixels;
  int32_t w = 0, h = 0;
  ASSERT_TRUE(plat::GetWindowPixels(window_, &pixels, &w, &h));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::vector<uint32_t> later;
  ASSERT_TRUE(plat::GetWindowPixels(window_, &later, &w, &h));
  EXPECT_EQ(pixels, later);
}

TEST_F(LiveViewTest, WithoutAWindowTheNoDecodePlayerRecordsWithoutThePlayerLibrary) {
  const size_t log_from = quvi_tools::PlayerLogSize();
  model_->StartPlay();
  const std::string record = StartRecording();
  ASSERT_TRUE(WaitUntil([&] { return model_->CurFrameNumReceived() > 25; }));
  viewer::TPlayer* player = model_->Player();
  ASSERT_NE(player, nullptr);
  auto* preview = dynamic_cast<viewer::TOstraNvPlayer*>(player);
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(preview->NoDecode);
  model_->StopPlay();
  EXPECT_GT(CheckRecording(record), 0);
  for (const std::string& line : quvi_tools::PlayerLogLines(log_from))
    EXPECT_EQ(line.find("init player OK"), std::string::npos) << line;
}

TEST_F(LiveViewTest, WithSoundOpenTheWavFileHoldsTheStreamsTone) {
  const std::string wav = dir_.Path("sound.wav");
  ::setenv("QELDSOUND_WAV", wav.c_str(), 1);
  OpenWindow();
  model_->OpenSound();  // wanted before the start: the view opens it with its stream
  model_->StartPlay();
  ASSERT_TRUE(WaitUntil([&] { return model_->CurFrameNumReceived() > 60; }));
  // The sound reaches the file behind the packages (decoded and played on other threads).
  WaitUntil([&] {
    const quvi_test::TWav written = quvi_test::ReadWav(wav);
    return written.Ok && written.Frames() > static_cast<size_t>(written.SampleRate / 2);
  });
  model_->StopPlay();
  ::unsetenv("QELDSOUND_WAV");
  const quvi_test::TWav sound = quvi_test::ReadWav(wav);
  ASSERT_TRUE(sound.Ok) << wav;
  ASSERT_GT(sound.Frames(), static_cast<size_t>(sound.SampleRate / 2)) << "half a second at least";
  // The fixture's tone.
  EXPECT_NEAR(quvi_test::DominantFrequency(sound.Channel(0), sound.SampleRate), 440, 10);
}

}  // namespace
