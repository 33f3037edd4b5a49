// The preview window on real windows: its settings, its messages, cursor PTZ through injected
// mouse messages observed at the stream server (server path) and at its PTZ proxy listener
// (proxy path), digital zoom and the watermark as the player receives them (the recording
// player behind the real proxy module), with a view against the in-process stream server.
#include "viewer/control/preview_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/cursor.h"
#include "tests/support/wait_until.h"
#include "tools/streamsim/test_support.h"
#include "viewer/control/control_window_factory.h"
#include "viewer/control/preview_control_window.h"
#include "viewer/control/ptz_cursor.h"
#include "viewer/player/testing/player_test_support.h"
#include "viewer/viewer_log.h"

namespace viewer {
namespace {

using testing::TLogCapture;
using testing::TRecorder;

// Pumps the calling thread's messages until the condition holds.
bool PumpUntil(const std::function<bool()>& condition) {
  return quvi_test::PollUntil(condition, [] { plat::PumpMessages(5); });
}

int CountLines(const std::vector<std::string>& lines, const std::vector<std::string>& pieces) {
  int count = 0;
  for (const std::string& line : lines) {
    bool all = true;
    for (const std::string& p : pieces) all = all && line.find(p) != std::string::npos;
    count += all;
  }
  return count;
}

// A preview window of 300 × 300 in a host window, with the server ready for views and PTZ.
class PreviewWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TRecorder::Attach());
    TRecorder::Reset();
    plat::SetScreenCursor(plat::crDefault);
    host_ = plat::CreateWindowHandle();
    window_ = std::make_unique<TOstraNvPreviewWindow>(host_);
    window_->SetBounds(0, 0, 300, 300);
    plat::PumpMessages(5);
    streamsim::TServerOptions options = streamsim::test::FastFileOptions(file_.Path);
    options.PtzProxyPort = 0;
    options.Loop = true;
    options.RealTime = true;
    server_ = std::make_unique<streamsim::test::TRunningServer>(options);
    window_->SetHostIP("127.0.0.1");
    window_->SetHostPort(server_->Port());
    window_->SetChannelNo(0);
    window_->SetDVRID("7");
    window_->SetLoginUser("admin");
    window_->SetPassword("admin");
    window_->SetConnectTimeout(2000);
  }
  void TearDown() override {
    window_.reset();
    plat::DestroyWindowHandle(host_);
    plat::SetScreenCursor(plat::crDefault);
    TRecorder::Reset();
  }
  void Move(int32_t x, int32_t y, plat::WPARAM keys = 0) {
    ASSERT_TRUE(plat::InjectMouseMove(window_->Handle(), x, y, keys));
    plat::PumpMessages(5);
  }
  void Button(bool down, int32_t x, int32_t y) {
    ASSERT_TRUE(plat::InjectMouseButton(window_->Handle(), plat::TMouseButtonId::Left, down, x, y));
    plat::PumpMessages(5);
  }
  void StartAndWaitForPlaying() {
    window_->StartPlay();
    ASSERT_TRUE(PumpUntil([&] { return window_->IsPlayingStatus(); }));
  }
  std::vector<std::string> ServerLines() { return server_->Log().Lines(); }

  streamsim::test::TTempDir dir_{"preview_window_test"};
  streamsim::test::TTestFile file_ = streamsim::test::WriteTestFile(dir_.Path("a.rec"));
  std::unique_ptr<streamsim::test::TRunningServer> server_;
  plat::HWND host_ = 0;
  std::unique_ptr<TOstraNvPreviewWindow> window_;
};

TEST_F(PreviewWindowTest, SettingsAfterConstruction) {
  TOstraNvPreviewWindow& w = *window_;
  const std::vector<std::pair<const char*, int32_t>> cases = {
      {"PTZCommandID", w.PTZCommandID()},
      {"PTZControlEnabled", w.PTZControlEnabled()},
      {"PTZPresetIndex", w.PTZPresetIndex()},
      {"PTZSpeed", w.PTZSpeed()},
      {"Brightness", w.Brightness()},
      {"Contrast", w.Contrast()},
      {"Saturation", w.Saturation()},
      {"Hue", w.Hue()},
      {"CursorCtrl", w.CursorCtrl()},
      {"QuviMode", w.QuviMode()},
      {"DigitalZoomMode", w.DigitalZoomMode()},
      {"ZoomActive", w.ZoomActive()},
      {"PlayType", w.PlayType()},
      {"LinkMode", w.LinkMode()},
  };
  const std::vector<int32_t> expected = {-1, -1, 0, -1, 70, 75, 85, 127, 0, 0, 0, 0, 0, 1};
  ASSERT_EQ(cases.size(), expected.size());
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(cases[i].second, expected[i]) << cases[i].first;
  // The 16 direction cursors are in the screen cursor table.
  EXPECT_EQ(plat::CursorName(plat::ScreenCursorEntry(3)), "CURSOR_UP_2");
  EXPECT_EQ(plat::CursorName(plat::ScreenCursorEntry(16)), "CURSOR_DOWN_8");
}

TEST_F(PreviewWindowTest, MessagesOfThePreviewAndFamilyWindows) {
  TLogCapture log;
  plat::PostMessage(window_->Handle(), 0x4CA, 60 * 256 + 61, 62 * 256 + 63);
  plat::PostMessage(window_->Handle(), 0x52D, 3, 0);
  plat::PumpMessages(10);
  EXPECT_EQ(window_->Brightness(), 60);
  EXPECT_EQ(window_->Contrast(), 61);
  EXPECT_EQ(window_->Saturation(), 62);
  EXPECT_EQ(window_->Hue(), 63);
  // A picture setting out of range is refused; 127 is only stored while no view runs.
  window_->SetBrightness(128);
  window_->SetBrightness(-1);
  EXPECT_EQ(window_->Brightness(), 60);
  window_->SetBrightness(127);
  EXPECT_EQ(window_->Brightness(), 127);
  EXPECT_EQ(CountLines(ServerLines(), {"video_params"}), 0);

  StartAndWaitForPlaying();
  plat::PostMessage(window_->Handle(), 0x4CB, 502, 0);
  plat::PumpMessages(10);
  EXPECT_EQ(window_->GetLastError(), 502);
  window_->SetHue(128);
  EXPECT_EQ(window_->GetLastError(), kStatusInvalidParameter);
  window_->SetHue(100);  // sent to the camera while the view runs
  EXPECT_FALSE(server_->Log().WaitFor({"video_params", "\"hue\":100"}).empty());
  EXPECT_EQ(window_->GetLastError(), 0);

  plat::PostMessage(window_->Handle(), kPlayStoppedMessage, 0, 0);
  plat::PumpMessages(10);
  EXPECT_TRUE(log.Has("recv play stop msg"));
  EXPECT_FALSE(window_->IsPlaying());
}

struct TCursorCase {
  int32_t x, y;
  plat::TCursor expected;
};

TEST_F(PreviewWindowTest, PointingAtTheEdgesShowsTheDirectionCursors) {
  TLogCapture log;
  // Switched off: the cursor stays the default.
  Move(150, 10);
  EXPECT_EQ(plat::GetScreenCursor(), plat::crDefault);
  window_->SetCursorCtrl(true);
  EXPECT_TRUE(log.Has("set can ctrl by cursor to 1"));
  const std::vector<TCursorCase> cases = {
      {150, 10, 3},
      {150, 50, plat::crDefault},
      {10, 150, 7},
      {290, 150, 9},
      {150, 290, 13},
      {150, 150, plat::crDefault},
      {10, 10, plat::crDefault},
      {290, 290, plat::crDefault},
  };
  for (const TCursorCase& c : cases) {
    Move(c.x, c.y);
    EXPECT_EQ(plat::GetScreenCursor(), c.expected) << "(" << c.x << "," << c.y << ")";
  }
  // What the pointer shows over the window is that entry of the screen cursor table.
  Move(150, 10);
  EXPECT_EQ(plat::CursorName(plat::CursorShownOver(window_->Handle())), "CURSOR_UP_2");
  // Moves with a button held, and points outside, leave the cursor alone.
  Move(10, 150, plat::MK_LBUTTON);
  EXPECT_EQ(plat::GetScreenCursor(), 3);
  Move(150, 300);
  EXPECT_EQ(plat::GetScreenCursor(), 3);
  // Leaving the window puts the default cursor back.
  ASSERT_TRUE(plat::InjectMouseLeave(window_->Handle()));
  plat::PumpMessages(5);
  EXPECT_EQ(plat::GetScreenCursor(), plat::crDefault);
  window_->SetCursorCtrl(false);
  EXPECT_TRUE(log.Has("set can ctrl by cursor to 0"));
  Move(150, 10);
  EXPECT_EQ(plat::GetScreenCursor(), plat::crDefault);
}

TEST_F(PreviewWindowTest, PressAndReleaseSteerTheCameraThroughTheServer) {
  StartAndWaitForPlaying();
  window_->SetCursorCtrl(true);
  // Nothing while the default cursor shows.
  Move(150, 150);
  Button(true, 150, 150);
  Button(false, 150, 150);
  // Top middle: command 0 with 1 on the press, the pressed cursor, 0 on the release.
  Move(150, 10);
  Button(true, 150, 10);
  EXPECT_EQ(plat::GetScreenCursor(), 4);
  EXPECT_EQ(window_->CursorDirection(), kDirUp);
  EXPECT_FALSE(
      server_->Log().WaitFor({"\"request\":\"ptz\"", "\"command\":0,\"enabled\":1"}).empty());
  Button(false, 150, 10);
  EXPECT_FALSE(
      server_->Log().WaitFor({"\"request\":\"ptz\"", "\"command\":0,\"enabled\":0"}).empty());
  // With QuviMode the other table: up is 12, right is 14.
  window_->SetQuviMode(true);
  Move(150, 10);
  Button(true, 150, 10);
  Button(false, 150, 10);
  Move(290, 150);
  Button(true, 290, 150);
  EXPECT_EQ(window_->CursorDirection(), kDirRight);
  Button(false, 290, 150);
  for (const char* sent : {"\"command\":12,\"enabled\":1", "\"command\":12,\"enabled\":0",
                           "\"command\":14,\"enabled\":1", "\"command\":14,\"enabled\":0"})
    EXPECT_FALSE(server_->Log().WaitFor({"\"request\":\"ptz\"", sent}).empty()) << sent;
  EXPECT_EQ(CountLines(ServerLines(), {"\"event\":\"request\"", "\"request\":\"ptz\""}), 6)
      << "nothing for the centre";
  EXPECT_EQ(window_->GetLastError(), 0);
  window_->StopPlay();
}

TEST_F(PreviewWindowTest, PressAndReleaseSteerTheCameraThroughTheProxy) {
  window_->SetPTZConnectionType(2);
  window_->SetPTZProxyIP("127.0.0.1");
  window_->SetPTZProxyPort(server_->PtzProxyPort());
  window_->SetToken("tok");
  window_->SetCursorCtrl(true);
  Move(150, 150);
  Button(true, 150, 150);
  Button(false, 150, 150);
  Move(150, 10);
  Button(true, 150, 10);
  // Waited for before the release, which would otherwise replace it while still pending.
  const std::string press =
      server_->Log().WaitFor({"ptz_proxy_request", "\"command\":0,\"value\":1"});
  ASSERT_FALSE(press.empty());
  EXPECT_NE(press.find("\"length\":160"), std::string::npos) << press;
  EXPECT_NE(press.find("\"token\":\"tok\",\"dvrid\":7,\"channel\":0,"), std::string::npos) << press;
  Button(false, 150, 10);
  EXPECT_FALSE(server_->Log().WaitFor({"ptz_proxy_request", "\"command\":0,\"value\":0"}).empty());
  window_->SetQuviMode(true);
  Move(10, 150);
  Button(true, 10, 150);
  EXPECT_FALSE(server_->Log().WaitFor({"ptz_proxy_request", "\"command\":18,\"value\":1"}).empty());
  Button(false, 10, 150);
  EXPECT_FALSE(server_->Log().WaitFor({"ptz_proxy_request", "\"command\":18,\"value\":0"}).empty());
  EXPECT_EQ(CountLines(ServerLines(), {"ptz_proxy_request"}), 4) << "nothing for the centre";
  EXPECT_EQ(CountLines(ServerLines(), {"\"event\":\"request\"", "\"request\":\"ptz\""}), 0)
      << "nothing went to the server";
}

TEST_F(PreviewWindowTest, TheControlsWindowIsThePreviewWindow) {
  std::unique_ptr<TControlWindow> made = CreateControlWindow(host_, 320, 240);
  auto* control = dynamic_cast<TPreviewControlWindow*>(made.get());
  ASSERT_NE(control, nullptr) << "without a factory the control gets the preview window";
  TOstraNvPreviewWindow& w = control->Window();
  EXPECT_EQ(control->Handle(), w.Handle());
  EXPECT_EQ(plat::GetParent(w.Handle()), host_);
  EXPECT_EQ(w.Width(), 320);
  EXPECT_EQ(w.Height(), 240);
  // Settings reach the window and its model in the window's own types.
  control->SetHostPort(4321);
  control->SetConnectionType(1);
  control->SetPTZSpeed(6);
  control->SetQuviMode(true);
  control->SetCursorCtrl(true);
  control->SetAlignment(plat::taRightJustify);
  control->SetDVRID("12");
  plat::TFontDesc font;
  font.Name = "Noto Sans";
  font.Size = 14;
  font.Bold = true;
  control->SetFont(font);
  control->SetFontColor(plat::RGB(1, 2, 3));
  EXPECT_EQ(w.HostPort(), 4321);
  EXPECT_EQ(w.ConnectionType(), 1);
  EXPECT_EQ(w.PTZSpeed(), 6);
  EXPECT_TRUE(w.QuviMode());
  EXPECT_TRUE(w.CursorCtrl());
  EXPECT_EQ(w.Alignment(), plat::taRightJustify);
  EXPECT_EQ(w.DVRID(), "12");
  EXPECT_EQ(w.Font().name, "Noto Sans");
  EXPECT_EQ(control->FontSize(), 14);
  EXPECT_TRUE(control->Font().Bold);
  EXPECT_EQ(control->FontColor(), plat::RGB(1, 2, 3));
  EXPECT_EQ(control->Brightness(), 70);
  // The control's handlers are the window's and the model's.
  int clicks = 0;
  control->SetOnClick([&] { ++clicks; });
  ASSERT_TRUE(plat::InjectClick(w.Handle(), 5, 5));
  plat::PumpMessages(10);
  EXPECT_EQ(clicks, 1);
  std::vector<int32_t> codes;
  control->SetStatusHandler([&](int32_t code) { codes.push_back(code); });
  ASSERT_TRUE(w.StatusHandler());
  w.PlayModel()->NotifyStatus(-5);
  EXPECT_EQ(codes, std::vector<int32_t>{-5});
}

// A 400 × 300 window over a 704 × 576 picture.
class PreviewZoomTest : public PreviewWindowTest {
 protected:
  void SetUp() override {
    PreviewWindowTest::SetUp();
    window_->SetBounds(0, 0, 400, 300);
    TRecorder::SetEncodeInfo(4, 704, 576);
  }
  std::vector<std::string> Regions() { return TRecorder::CallsOf("Zr_Play_SetDisplayRegion("); }
  std::string Region(const char* rect, int enable) {
    return "Zr_Play_SetDisplayRegion(0,0," + std::string(rect) + "," +
           std::to_string(window_->Handle()) + "," + std::to_string(enable) + ")";
  }
};

TEST_F(PreviewZoomTest, ZoomRefinesAndStepsWithinTheirLimits) {
  TLogCapture log;
  StartAndWaitForPlaying();
  const std::string wnd = viewer::Hex8(static_cast<uint32_t>(window_->Handle()));
  window_->SetDigitalZoomMode(true);
  EXPECT_TRUE(log.Has("set digital zoom mode to 1"));
  EXPECT_EQ(window_->Cursor(), plat::crCross);

  // While the player cannot tell the picture size nothing is zoomed.
  TRecorder::SetResult("Zr_Play_GetPictureSize", 0);
  window_->Zoom(100, 75, 300, 225);
  window_->ZoomByPoint(200, 150, 1);
  EXPECT_TRUE(Regions().empty());
  EXPECT_EQ(log.Count("do zoom failed, get pic size failed, port = 0"), 2);
  EXPECT_EQ(window_->Cursor(), plat::crCross);
  TRecorder::SetResult("Zr_Play_GetPictureSize", 1);
  TRecorder::Reset();
  TRecorder::SetEncodeInfo(4, 704, 576);

  window_->Zoom(100, 75, 300, 225);
  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_GetPictureSize(").size(), 1u);
  ASSERT_EQ(Regions(), std::vector<std::string>{Region("(176,144,528,432)", 1)});
  EXPECT_TRUE(window_->ZoomActive());
  EXPECT_EQ(window_->Cursor(), plat::crHandPoint);
  EXPECT_TRUE(log.Has("do zoom, port = 0, wnd=0x" + wnd + ", rect=((176,144),(528,432))"));

  window_->ZoomByPoint(200, 150, 1);
  EXPECT_EQ(Regions().back(), Region("(194,158,511,417)", 1));
  EXPECT_TRUE(log.Has("do zoom by point, port = 0, wnd=0x" + wnd +
                      ", zoom in flag=1, x=200, y=150, 317 x 259, rect=((194,158),(511,417))"));
  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_GetPictureSize(").size(), 1u) << "size read once";

  // Stepping in stops below 100 pixels.
  window_->Zoom(0, 0, 120, 120);  // 317 × 259 shown: 95 × 104
  EXPECT_EQ(Regions().back(), Region("(194,158,289,262)", 1));
  size_t calls = Regions().size();
  window_->ZoomByPoint(200, 150, 1);
  EXPECT_EQ(Regions().size(), calls) << "narrower than 100: refused";
  window_->ZoomByPoint(200, 150, 0);  // out is allowed
  EXPECT_EQ(Regions().back(), Region("(300,231,404,345)", 1));

  // Unzoomed, a step out of the whole picture is refused; the size is read again.
  window_->UnZoom();
  EXPECT_EQ(Regions().back(), Region("(300,231,404,345)", 0));
  EXPECT_FALSE(window_->ZoomActive());
  EXPECT_EQ(window_->Cursor(), plat::crDefault);
  EXPECT_TRUE(log.Has("close zoom mode-->"));
  EXPECT_TRUE(log.Has("close zoom mode"));
  calls = Regions().size();
  window_->ZoomByPoint(200, 150, 0);
  EXPECT_EQ(Regions().size(), calls) << "the whole picture: refused";
  EXPECT_EQ(TRecorder::CallsOf("Zr_Play_GetPictureSize(").size(), 2u);

  window_->StopPlay();
}

TEST_F(PreviewZoomTest, DraggingZoomsAndADragUpAndLeftUnzooms) {
  TLogCapture log;
  StartAndWaitForPlaying();
  // Out of zoom mode a drag does nothing.
  Button(true, 100, 75);
  Button(false, 300, 225);
  EXPECT_TRUE(Regions().empty());

  window_->SetDigitalZoomMode(true);
  Button(true, 100, 75);
  EXPECT_TRUE(log.Has("do zoom, port = 0, capture point(100,75)"));
  Button(false, 300, 225);
  ASSERT_EQ(Regions(), std::vector<std::string>{Region("(176,144,528,432)", 1)});
  // A second drag refines the region shown.
  Button(true, 0, 0);
  Button(false, 200, 150);
  EXPECT_EQ(Regions().back(), Region("(176,144,352,288)", 1));
  // From bottom right to top left: back to the whole picture.
  Button(true, 300, 225);
  Button(false, 100, 75);
  EXPECT_EQ(Regions().back(), Region("(176,144,352,288)", 0));
  EXPECT_FALSE(window_->ZoomActive());
  EXPECT_EQ(window_->Cursor(), plat::crDefault);
  EXPECT_TRUE(window_->DigitalZoomMode()) << "the zoom mode itself stays";
  // Leaving zoom mode unzooms a zoomed view.
  Button(true, 100, 75);
  Button(false, 300, 225);
  window_->SetDigitalZoomMode(false);
  EXPECT_EQ(Regions().back(), Region("(176,144,528,432)", 0));
  EXPECT_TRUE(log.Has("set digital zoom mode to 0"));
  window_->StopPlay();
}

TEST_F(PreviewWindowTest, WatermarkReachesTheRunningPlayerAndTheNextView) {
  TLogCapture log;
  window_->SetWatermark("before");
  EXPECT_TRUE(log.Has("set watermark before"));
  EXPECT_TRUE(TRecorder::CallsOf("Qel_Play_SetWatermark(").empty()) << "no player yet";
  StartAndWaitForPlaying();
  EXPECT_TRUE(PumpUntil(
      [] { return TRecorder::CallsOf("Qel_Play_SetWatermark(0,\"before\")").size() == 1; }));
  window_->SetWatermark("during");
  EXPECT_EQ(TRecorder::CallsOf("Qel_Play_SetWatermark(0,\"during\")").size(), 1u);
  window_->SetWatermark("during");  // unchanged: nothing more
  EXPECT_EQ(TRecorder::CallsOf("Qel_Play_SetWatermark(").size(), 2u);
  window_->StopPlay();
  TRecorder::Reset();
  StartAndWaitForPlaying();
  EXPECT_TRUE(PumpUntil(
      [] { return TRecorder::CallsOf("Qel_Play_SetWatermark(0,\"during\")").size() == 1; }));
  window_->StopPlay();
}

}  // namespace
}  // namespace viewer
