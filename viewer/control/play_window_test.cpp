// The play window: defaults, captions of the connection status (looked at as PNG files in the
// test temporary folder), the messages it answers, and whole views against the in-process
// stream server with the recording player behind the real proxy module.
#include "viewer/control/play_window.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/viewer_utils.h"
#include "platform/dialogs.h"
#include "platform/process.h"
#include "player/record/file_reader.h"
#include "tests/support/wait_until.h"
#include "tools/streamsim/test_support.h"
#include "viewer/player/testing/player_test_support.h"

namespace viewer {
namespace {

using testing::TLogCapture;
using testing::TRecorder;

class TTestPlayWindow : public TAbstractPlayWindow {
 public:
  explicit TTestPlayWindow(plat::HWND parent) : TAbstractPlayWindow(parent) { InitPlayModel(); }
  std::unique_ptr<TAbstractPlayModel> CreatePlayModel() override {
    return std::make_unique<TOstraNvPreviewModel>();
  }
};

std::string PngPath(const std::string& name) {
  return ::testing::TempDir() + "play_window_" + name + ".png";
}

// Pumps the calling thread's messages until the condition holds.
bool PumpUntil(const std::function<bool()>& condition) {
  return quvi_test::PollUntil(condition, [] { plat::PumpMessages(5); });
}

int CountPixels(plat::HWND hwnd, uint32_t pixel) {
  std::vector<uint32_t> pixels;
  int32_t width = 0, height = 0;
  plat::GetWindowPixels(hwnd, &pixels, &width, &height);
  int count = 0;
  for (uint32_t p : pixels) count += p == pixel;
  return count;
}

const uint32_t kWhite = plat::PixelOf(plat::RGB(255, 255, 255));
const uint32_t kBlack = plat::PixelOf(0);

// A play window in a host window, sized so its captions can be looked at.
class PlayWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = plat::CreateWindowHandle();
    window_ = std::make_unique<TTestPlayWindow>(host_);
    window_->SetBounds(0, 0, 320, 120);
    window_->SetFontSize(16);
    plat::PumpMessages(5);
  }
  void TearDown() override {
    window_.reset();
    plat::DestroyWindowHandle(host_);
  }
  void Post(plat::UINT message, int32_t wparam = 0) {
    plat::PostMessage(window_->Handle(), message, static_cast<plat::WPARAM>(wparam), 0);
    plat::PumpMessages(10);
  }

  plat::HWND host_ = 0;
  std::unique_ptr<TTestPlayWindow> window_;
};

TEST_F(PlayWindowTest, PropertiesAfterConstruction) {
  TAbstractPlayWindow& w = *window_;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Color", std::to_string(w.Color())},
      {"BackgroundColor", std::to_string(w.BackgroundColor())},
      {"Alignment", std::to_string(w.Alignment())},
      {"BorderStyle", std::to_string(w.BorderStyle())},
      {"Align", std::to_string(w.Align())},
      {"Visible", std::to_string(w.Visible())},
      {"BevelOuter", std::to_string(w.BevelOuter())},
      {"IsPALFormat", std::to_string(w.IsPALFormat())},
      {"CenterAddr", w.CenterAddr()},
      {"CenterPort", std::to_string(w.CenterPort())},
      {"CenterServicePath", w.CenterServicePath()},
      {"CenterConnectTimeout", std::to_string(w.CenterConnectTimeout())},
      {"RecordFile", w.RecordFile()},
      {"NoRefresh", std::to_string(w.NoRefresh())},
      {"DigitalZoomMode", std::to_string(w.DigitalZoomMode())},
      {"Caption", w.Caption()},
      {"PlayType", std::to_string(w.PlayType())},
      {"ConnectionType", std::to_string(w.ConnectionType())},
      {"PTZConnectionType", std::to_string(w.PTZConnectionType())},
      {"HostIP", w.HostIP()},
      {"HostPort", std::to_string(w.HostPort())},
      {"ChannelNo", std::to_string(w.ChannelNo())},
      {"PortNo", std::to_string(w.PortNo())},
      {"IsPlaying", std::to_string(w.IsPlaying())},
      {"IsPlayingStatus", std::to_string(w.IsPlayingStatus())},
      {"ReadTimeout", std::to_string(w.ReadTimeout())},
      {"ConnectTimeout", std::to_string(w.ConnectTimeout())},
      {"FullScreen", std::to_string(w.FullScreen())},
      {"Fluency", std::to_string(w.Fluency())},
      {"TryTimes", std::to_string(w.TryTimes())},
      {"CaptureBMPPath", w.CaptureBMPPath()},
      {"AudioPlaying", std::to_string(w.AudioPlaying())},
      {"Volume", std::to_string(w.Volume())},
      {"DVRID", w.DVRID()},
      {"EmbDVRID", std::to_string(w.EmbDVRID())},
      {"DeviceType", std::to_string(w.DeviceType())},
      {"CheckRight", std::to_string(w.CheckRight())},
      {"LinkMode", std::to_string(w.LinkMode())},
      {"GetLastError", std::to_string(w.GetLastError())},
      {"LogPrefix", w.LogPrefix()},
      {"TipConnectingMsg", w.TipConnectingMsg()},
      {"TipConnectFailedMsg", w.TipConnectFailedMsg()},
      {"TipPlayFailedMsg", w.TipPlayFailedMsg()},
      {"TipWaitPlayMsg", w.TipWaitPlayMsg()},
  };
  const std::vector<std::string> expected = {"0",
                                             "0",
                                             "2",
                                             "0",
                                             "0",
                                             "1",
                                             "0",
                                             "0",
                                             "",
                                             "0",
                                             "",
                                             "0",
                                             "",
                                             "0",
                                             "0",
                                             "",
                                             "0",
                                             "0",
                                             "0",
                                             "",
                                             "0",
                                             "-1",
                                             "0",
                                             "0",
                                             "0",
                                             "30000",
                                             "30000",
                                             "0",
                                             "2",
                                             "5",
                                             "",
                                             "0",
                                             "5",
                                             "-1",
                                             "-1",
                                             "0",
                                             "0",
                                             "1",
                                             "0",
                                             "did=-1, ch=-1, stream=1-->",
                                             "正在连接...",
                                             "连接失败，准备重连...",
                                             "播放失败",
                                             "等待数据..."};
  ASSERT_EQ(cases.size(), expected.size());
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(cases[i].second, expected[i]) << cases[i].first;
}

TEST_F(PlayWindowTest, CenterSettingsReachTheWindowsCenterClient) {
  // Until the host names a center, the client sends nothing.
  EXPECT_EQ(window_->CenterClient().CheckActionRight("token", 15, 2, 1234), -999);
  window_->SetCenterAddr("127.0.0.1");
  window_->SetCenterPort(8080);
  window_->SetCenterServicePath("/sc/");
  window_->SetCenterConnectTimeout(700);
  const TCenterSettings settings = window_->CenterClient().Settings();
  EXPECT_EQ(settings.Addr, "127.0.0.1");
  EXPECT_EQ(settings.Port, 8080);
  EXPECT_EQ(settings.ServicePath, "/sc/");
  EXPECT_EQ(settings.ConnectTimeout, 700);
  EXPECT_EQ(window_->CenterAddr(), "127.0.0.1");
  EXPECT_EQ(window_->CenterPort(), 8080);
}

TEST_F(PlayWindowTest, PlayWndResolvesToTheWindowItselfWhenItHasAParent) {
  EXPECT_EQ(window_->PlayHandle(), window_->Handle());
  EXPECT_EQ(window_->PlayWnd(), window_->Handle());
  // Kept from then on, and a host-given window wins.
  const plat::HWND other = plat::CreateWindowHandle();
  window_->SetPlayWnd(other);
  EXPECT_EQ(window_->PlayWnd(), other);
  plat::DestroyWindowHandle(other);

  TTestPlayWindow top(0);
  EXPECT_EQ(top.PlayWnd(), 0);
  EXPECT_EQ(top.PlayHandle(), 0);
}

struct TCaptionCase {
  int32_t code;
  std::string host_tip;  // set on the window before the message; "" leaves the default
  std::string expected;
  bool painted;  // the caption shows white glyph pixels
};

TEST_F(PlayWindowTest, StatusMessagesSetTheCaptionFromTheTipTexts) {
  TLogCapture log;
  window_->SetChannelNo(3);
  const std::vector<TCaptionCase> cases = {
      {-1, "", "正在连接...", true},
      {-2, "", "连接失败，准备重连...", true},
      {-5, "", "等待数据...", true},
      {-7, "", "播放失败", true},
      {-6, "", "", false},
      {-1, "Connecting to camera 3", "Connecting to camera 3", true},
      {-2, "连不上", "连不上", true},
      {-5, "wait", "wait", true},
      {-7, "failed", "failed", true},
      {104, "", "", false},
  };
  for (const TCaptionCase& c : cases) {
    const std::string tag = std::to_string(c.code) + (c.host_tip.empty() ? "" : "_host");
    SCOPED_TRACE(tag);
    if (!c.host_tip.empty()) {
      if (c.code == -1) window_->SetTipConnectingMsg(c.host_tip);
      if (c.code == -2) window_->SetTipConnectFailedMsg(c.host_tip);
      if (c.code == -5) window_->SetTipWaitPlayMsg(c.host_tip);
      if (c.code == -7) window_->SetTipPlayFailedMsg(c.host_tip);
    }
    Post(kConnectStatusMessage, c.code);
    EXPECT_EQ(window_->Caption(), c.expected);
    ASSERT_TRUE(plat::SaveWindowPng(window_->Handle(), PngPath("status_" + tag)));
    EXPECT_EQ(CountPixels(window_->Handle(), kWhite) > 40, c.painted);
    EXPECT_TRUE(log.Has("did=-1, ch=3, stream=1-->recv connect info msg, wparam=" +
                        std::to_string(c.code)));
    EXPECT_TRUE(log.Has("did=-1, ch=3, stream=1-->caption=" + c.expected));
  }
  // A tip set by the host reads back as set.
  EXPECT_EQ(window_->TipConnectFailedMsg(), "连不上");
}

TEST_F(PlayWindowTest, NoRefreshLeavesTheWindowAloneAndAnswersTheEraseQuestion) {
  window_->SetNoRefresh(true);
  EXPECT_EQ(plat::SendMessage(window_->Handle(), plat::WM_ERASEBKGND, 0, 0), 1);
  Post(kConnectStatusMessage, -1);
  EXPECT_EQ(window_->Caption(), "正在连接...");
  EXPECT_EQ(CountPixels(window_->Handle(), kWhite), 0);
  window_->SetNoRefresh(false);
  EXPECT_EQ(plat::SendMessage(window_->Handle(), plat::WM_ERASEBKGND, 0, 0), 0);
  window_->Repaint();
  EXPECT_GT(CountPixels(window_->Handle(), kWhite), 40);
}

TEST_F(PlayWindowTest, SaveFileAsKeepsOnlyAnotherNameTheUserPicked) {
  window_->SetChannelNo(0);
  std::string preset;
  std::string answer;
  plat::SetSaveFileDialogHandler([&](plat::HWND owner, plat::TSaveDialogRequest& r) {
    EXPECT_EQ(owner, window_->Handle());
    EXPECT_EQ(r.filter, "Video Files|*.*");
    EXPECT_EQ(r.initial_dir, "");
    preset = r.file_name;
    r.file_name = answer.empty() ? r.file_name : answer;
    return true;
  });
  answer = "/videos/kept.mp4";
  window_->SaveFileAs();
  EXPECT_EQ(preset.rfind("1-5-", 0), 0u) << preset;  // channel 0 + 1, kind 5
  EXPECT_EQ(window_->SaveAsFileName(), "/videos/kept.mp4");
  answer.clear();  // the preset itself
  window_->SaveFileAs();
  EXPECT_EQ(window_->SaveAsFileName(), "");
  answer = "/videos/kept.mp4";
  window_->SaveFileAs();
  plat::SetSaveFileDialogHandler(nullptr);  // headless: cancelled
  window_->SaveFileAs();
  EXPECT_EQ(window_->SaveAsFileName(), "");
}

TEST_F(PlayWindowTest, IdleWindowStartsNothingFromItsMessagesAndMembers) {
  TLogCapture log;
  window_->SetBackgroundColor(plat::RGB(0, 0, 80));
  EXPECT_EQ(window_->Color(), plat::RGB(0, 0, 80));  // no view: the colour follows
  window_->StartRecord();
  window_->ExitFullScreen();
  EXPECT_FALSE(window_->CaptureBMP());
  Post(kLeaveFullScreenMessage);
  window_->ShowFullScreen();
  EXPECT_TRUE(window_->FullScreen());
  window_->SetFullScreen(false);
  EXPECT_FALSE(window_->FullScreen());
  Post(kStopViewMessage);
  EXPECT_TRUE(log.Has("ch-1 recv stop play msg"));
  EXPECT_TRUE(log.Has("ch-1 stop play->"));
  EXPECT_TRUE(log.Has("ch-1 stop play<-"));
  Post(kReplayOverMessage);
  EXPECT_TRUE(log.Has("on replay over msg"));
  EXPECT_FALSE(window_->IsPlaying());
}

// ---- Whole views ----

// A view of channel 0 against a fast stream server that sends its small file once per
// connection; the window lives in a host window and its data root in a scratch folder.
class PlayWindowViewTest : public PlayWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TRecorder::Attach());
    TRecorder::Reset();
    ::setenv("QUVI_DATA_ROOT", dir_.Path("root").c_str(), 1);
    PlayWindowTest::SetUp();
    StartServer(streamsim::test::FastFileOptions(file_.Path));
    window_->SetHostIP("127.0.0.1");
    window_->SetChannelNo(0);
    window_->SetDVRID("7");
    window_->SetLoginUser("admin");
    window_->SetPassword("admin");
    window_->SetConnectTimeout(2000);
    window_->SetReadTimeout(5000);
    window_->SetOnPlayEndEvent([this](TAbstractPlayModel&) { ++play_ends_; });
  }
  void TearDown() override {
    PlayWindowTest::TearDown();
    ::unsetenv("QUVI_DATA_ROOT");
    TRecorder::Reset();
  }
  // By default the file is sent once per connection as fast as it is read; `loop` keeps it
  // coming at its own pace (fast enough to fill the queue with a flood would drop the head).
  void StartServer(streamsim::TServerOptions options, bool loop = false) {
    options.Loop = loop;
    if (loop) options.RealTime = true;
    server_.reset();
    server_ = std::make_unique<streamsim::test::TRunningServer>(options);
    window_->SetHostPort(server_->Port());
  }
  size_t CallCount(const std::string& prefix) { return TRecorder::CallsOf(prefix).size(); }
  // Started, and the player opened the stream (the pictures would be drawn now).
  void StartAndWaitForPlaying() {
    window_->StartPlay();
    ASSERT_TRUE(PumpUntil([&] { return window_->IsPlayingStatus(); }));
    ASSERT_TRUE(PumpUntil([&] { return CallCount("Zr_Play_InputData(") > 0; }));
  }

  streamsim::test::TTempDir dir_{"play_window_test"};
  streamsim::test::TTestFile file_ = streamsim::test::WriteTestFile(dir_.Path("a.rec"));
  std::unique_ptr<streamsim::test::TRunningServer> server_;
  std::atomic<int> play_ends_{0};
};

TEST_F(PlayWindowViewTest, CaptionsFollowTheConnectionAndVideoIsNotPaintedOver) {
  TLogCapture log;
  // The server answers the open and then sends nothing: the view waits for pictures.
  streamsim::TServerOptions options = streamsim::test::FastFileOptions(file_.Path);
  options.Faults.StallAfter = 0;
  StartServer(options);
  window_->StartPlay();
  EXPECT_TRUE(log.Has("start play-->"));
  char handle[16];
  std::snprintf(handle, sizeof handle, "%08X", static_cast<uint32_t>(window_->Handle()));
  EXPECT_TRUE(log.Has(std::string("play wnd = 0x") + handle));
  // Taken one message at a time, so the window is painted while its caption says connecting.
  bool connecting_seen = false;
  const auto deadline = std::chrono::steady_clock::now() + quvi_test::kHangGuard;
  plat::TMsg msg;
  while (window_->Caption() != "等待数据..." && std::chrono::steady_clock::now() < deadline) {
    if (!plat::GetMessage(&msg, 100)) continue;
    plat::DispatchMessage(msg);
    if (msg.message == kConnectStatusMessage && static_cast<int32_t>(msg.wParam) == -1) {
      EXPECT_EQ(window_->Caption(), "正在连接...");
      plat::UpdateWindow(window_->Handle());
      EXPECT_TRUE(plat::SaveWindowPng(window_->Handle(), PngPath("view_connecting")));
      EXPECT_GT(CountPixels(window_->Handle(), kWhite), 40);
      connecting_seen = true;
    }
  }
  EXPECT_TRUE(connecting_seen);
  ASSERT_EQ(window_->Caption(), "等待数据...");
  plat::PumpMessages(10);
  ASSERT_TRUE(plat::SaveWindowPng(window_->Handle(), PngPath("view_waiting")));
  EXPECT_GT(CountPixels(window_->Handle(), kWhite), 40);
  window_->StopPlay();
  EXPECT_EQ(window_->Caption(), "");
  EXPECT_TRUE(log.Has("ch0 stop play->"));
  EXPECT_TRUE(log.Has("ch0 stop play<-"));

  // A playing view: the caption goes with the first pictures and nothing paints over them.
  StartServer(streamsim::test::FastFileOptions(file_.Path), true);
  log.Clear();
  StartAndWaitForPlaying();
  EXPECT_TRUE(PumpUntil([&] { return log.Has("recv connect info msg, wparam=-6"); }));
  EXPECT_TRUE(PumpUntil([&] { return window_->Caption().empty(); }));
  const plat::HDC dc = plat::GetDC(window_->Handle());
  const plat::RECT all{0, 0, 320, 120};
  plat::FillRect(dc, &all, plat::RGB(0, 200, 0));  // what the player drew
  plat::ReleaseDC(window_->Handle(), dc);
  window_->SetCaption("over the video?");
  window_->Repaint();
  plat::PumpMessages(10);
  EXPECT_EQ(CountPixels(window_->Handle(), plat::PixelOf(plat::RGB(0, 200, 0))), 320 * 120);
  // BackgroundColor set while the view runs leaves Color alone.
  window_->SetBackgroundColor(plat::RGB(90, 0, 0));
  EXPECT_EQ(window_->Color(), 0u);
  EXPECT_EQ(window_->BackgroundColor(), plat::RGB(90, 0, 0));
  window_->StopPlay();
  EXPECT_EQ(play_ends_.load(), 2);  // once per view
}

TEST_F(PlayWindowViewTest, FailedConnectAndBrokenStreamShowTheirTips) {
  TLogCapture log;
  // Nobody listens: connecting, then connect failed.
  server_->Stop();
  window_->SetTryTimes(1);
  window_->StartPlay();
  ASSERT_TRUE(PumpUntil([&] { return window_->Caption() == "连接失败，准备重连..."; }));
  ASSERT_TRUE(plat::SaveWindowPng(window_->Handle(), PngPath("view_connect_failed")));
  EXPECT_GT(CountPixels(window_->Handle(), kWhite), 40);
  window_->StopPlay();
  EXPECT_TRUE(log.Has("recv connect info msg, wparam=-2"));

  // The server closes the stream after two packages: the read fails.
  streamsim::TServerOptions options = streamsim::test::FastFileOptions(file_.Path);
  options.Faults.CloseAfter = 2;
  StartServer(options);
  window_->SetTipPlayFailedMsg("stream broken");
  window_->StartPlay();
  ASSERT_TRUE(PumpUntil([&] { return log.Has("caption=stream broken"); }));
  window_->StopPlay();
}

TEST_F(PlayWindowViewTest, StopRestartAndPlayerStopMessages) {
  TLogCapture log;
  StartAndWaitForPlaying();
  // The player's stop request stops the model only: the caption stays.
  Post(kConnectStatusMessage, -7);
  Post(kStopPlayMessage);
  EXPECT_FALSE(window_->IsPlaying());
  EXPECT_EQ(window_->Caption(), "播放失败");
  EXPECT_TRUE(log.Has("did=7, ch=0, stream=1-->on stop play msg"));
  EXPECT_EQ(play_ends_.load(), 1);

  // Restart: a stop and a new view with a new player.
  TRecorder::Reset();
  Post(kRestartViewMessage);
  EXPECT_TRUE(log.Has("on restart msg"));
  EXPECT_TRUE(window_->IsPlaying());
  ASSERT_TRUE(PumpUntil([&] { return window_->IsPlayingStatus(); }));
  EXPECT_EQ(CallCount("Zr_Play_InitPlayer("), 1u);

  Post(kStopViewMessage);
  EXPECT_FALSE(window_->IsPlaying());
  EXPECT_EQ(window_->Caption(), "");
  EXPECT_TRUE(log.Has("ch0 recv stop play msg"));
  EXPECT_EQ(play_ends_.load(), 2);
}

TEST_F(PlayWindowViewTest, VideoAndStatusGoToTheWindowGivenAsPlayWnd) {
  std::mutex lock;
  std::vector<int32_t> statuses;
  const plat::HWND other = plat::CreateWindowHandle(
      [&](plat::HWND, plat::UINT m, plat::WPARAM w, plat::LPARAM) -> intptr_t {
        std::lock_guard<std::mutex> hold(lock);
        if (m == kConnectStatusMessage) statuses.push_back(static_cast<int32_t>(w));
        return 0;
      });
  window_->SetPlayWnd(other);
  StartAndWaitForPlaying();
  ASSERT_TRUE(PumpUntil([&] {
    std::lock_guard<std::mutex> hold(lock);
    return std::find(statuses.begin(), statuses.end(), -6) != statuses.end();
  }));
  EXPECT_EQ(statuses.front(), -1);
  EXPECT_EQ(window_->Caption(), "") << "this window's caption does not follow the status";
  EXPECT_EQ(CallCount("Zr_Play_Play(0," + std::to_string(other) + ")"), 1u);
  window_->StopPlay();
  plat::DestroyWindowHandle(other);
}

struct TRecordCase {
  const char* name;
  std::string setting;   // "<dir>" stands for the scratch folder
  std::string expected;  // "<root>" the data root, "<gen>" the generated name's pattern
};

TEST_F(PlayWindowViewTest, RecordFileNamesAndTheirContents) {
  StartServer(streamsim::test::FastFileOptions(file_.Path), true);
  StartAndWaitForPlaying();
  TPlayer* player = window_->PlayModel()->Player();
  ASSERT_NE(player, nullptr);
  ASSERT_TRUE(player->HasStreamHead());
  const std::vector<uint8_t> head(player->StreamHead(),
                                  player->StreamHead() + player->StreamHeadLength());
  const std::string dir = dir_.Path("rec");
  const std::vector<TRecordCase> cases = {
      {"empty: the default folder under the data root", "", "<root>/videodata/<gen>"},
      {"ends with a slash", "<dir>/a/", "<dir>/a/<gen>"},
      {"ends with a backslash", "<dir>/b\\", "<dir>/b/<gen>"},
      {"no extension: a folder", "<dir>/c", "<dir>/c/<gen>"},
      {"with extension: as given", "<dir>/d/view.h264", "<dir>/d/view.h264"},
  };
  const auto expand = [&](std::string text) {
    for (auto [key, value] :
         {std::pair<std::string, std::string>{"<dir>", dir}, {"<root>", plat::DataRoot()}}) {
      if (auto p = text.find(key); p != std::string::npos) text.replace(p, key.size(), value);
    }
    return text;
  };
  for (const TRecordCase& c : cases) {
    SCOPED_TRACE(c.name);
    window_->SetRecordFile(expand(c.setting));
    window_->StartRecord();
    const std::string name = player->RecordFileName();
    // Recorded until the player's record reader finds a whole frame behind the head (a
    // frame may be half written when the file first grows).
    EXPECT_TRUE(PumpUntil([&] {
      zrplay::TFileReader reader;
      return reader.Open(name) && reader.BuildIndex();
    })) << name;
    window_->StopRecord();
    std::string expected = expand(c.expected);
    if (auto p = expected.find("<gen>"); p != std::string::npos) {
      // "0-0-YYYYMMDDhhnnss.h264"
      const std::string generated = name.substr(p);
      expected.replace(p, 5, generated);
      EXPECT_EQ(generated.rfind("0-0-", 0), 0u) << generated;
      EXPECT_EQ(generated.size(), std::string("0-0-20241210080509.h264").size()) << generated;
    }
    EXPECT_EQ(name, expected);
    const std::vector<uint8_t> written = streamsim::test::ReadFile(name);
    ASSERT_GE(written.size(), head.size()) << name;
    EXPECT_TRUE(std::equal(head.begin(), head.end(), written.begin())) << "starts with the head";
    // The player's record reader takes it: frames behind the stream head.
    zrplay::TFileReader reader;
    ASSERT_TRUE(reader.Open(name));
    EXPECT_TRUE(reader.BuildIndex());
    EXPECT_GE(reader.FrameCount(), 1);
  }
  window_->StopPlay();
}

TEST_F(PlayWindowViewTest, CaptureNamesAFileUnderTheDataRoot) {
  StartAndWaitForPlaying();
  std::string name;
  EXPECT_TRUE(window_->CaptureBMPResultFilename(name));
  const std::string folder = plat::DataRoot() + "/DVRDat/";
  EXPECT_EQ(name.rfind(folder, 0), 0u) << name;
  EXPECT_NE(name.find("/1/PB/0-2-"), std::string::npos) << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".BMP");
  EXPECT_EQ(CallCount("Zr_Play_CaptureImage(0,\"" + name + "\")"), 1u);
  EXPECT_TRUE(window_->CaptureBMP());
  std::string given = dir_.Path("shot.bmp");
  EXPECT_TRUE(window_->CaptureBMPResultFilename(given));
  EXPECT_EQ(given, dir_.Path("shot.bmp"));
  TRecorder::SetResult("Zr_Play_CaptureImage", 0);
  EXPECT_FALSE(window_->CaptureBMP());
  window_->StopPlay();
  EXPECT_FALSE(window_->CaptureBMP());
}

TEST_F(PlayWindowViewTest, LeavingFullScreenPutsThePictureBackAndReopensSound) {
  StartAndWaitForPlaying();
  EXPECT_TRUE(window_->AudioOpen());
  EXPECT_TRUE(window_->AudioPlaying());
  const std::string play_here = "Zr_Play_Play(0," + std::to_string(window_->Handle()) + ")";
  window_->ShowFullScreen();
  TRecorder::Reset();
  window_->ExitFullScreen();
  EXPECT_FALSE(window_->FullScreen());
  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_Stop(0)").size(), 1u);
  EXPECT_EQ(CallCount(play_here), 1u);
  EXPECT_EQ(CallCount("Zr_Play_OpenSound(0)"), 1u);
  // Not in full screen: the member does nothing, the message restores all the same.
  TRecorder::Reset();
  window_->ExitFullScreen();
  EXPECT_TRUE(TRecorder::Calls().empty());
  std::vector<std::string> boxes;
  plat::SetMessageBoxHandler(
      [&](plat::HWND, const std::string& text, const std::string&, plat::UINT) {
        boxes.push_back(text);
        return plat::IDOK;
      });
  Post(kLeaveFullScreenMessage);
  EXPECT_EQ(CallCount(play_here), 1u);
  EXPECT_TRUE(boxes.empty());
  TRecorder::SetResult("Zr_Play_Play", 0);
  Post(kLeaveFullScreenMessage);
  EXPECT_EQ(boxes, std::vector<std::string>{"恢复正常播放失败！"});
  plat::SetMessageBoxHandler(nullptr);
  window_->StopPlay();
}

TEST_F(PlayWindowViewTest, RefusedVolumeIsTheLastError) {
  StartAndWaitForPlaying();
  window_->SetVolume(11);
  EXPECT_EQ(window_->Volume(), 5);
  EXPECT_EQ(window_->GetLastError(), kStatusInvalidParameter);
  window_->SetVolume(7);
  EXPECT_EQ(window_->Volume(), 7);
  EXPECT_TRUE(window_->AudioOpen());
  EXPECT_TRUE(window_->AudioClose());
  EXPECT_FALSE(window_->AudioPlaying());
  EXPECT_EQ(CallCount("Zr_Play_StopSound(0)"), 1u);
  window_->StopPlay();
}

}  // namespace
}  // namespace viewer
