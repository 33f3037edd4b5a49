// The play window with a real live view: streamsim's server sends the 704 × 576 fixture, the
// proxy module hands it to the player library, whose renderer draws into the window. While
// connecting the window shows its caption; once playing it shows the decoded pictures (compared
// with a direct libavcodec decode of the fixture) and no caption. The surfaces are saved as PNG
// files to look at ($QUVI_TEST_KEEP_PNG keeps them in that folder).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/messages.h"
#include "platform/window.h"
#include "tests/picture_match.h"
#include "tests/support/test_files.h"
#include "tests/support/wait_until.h"
#include "tools/streamsim/test_support.h"
#include "viewer/control/play_window.h"
#include "viewer/pipeline/connection_thread.h"
#include "viewer/pipeline/play_model.h"
#include "viewer/player/player_binding.h"

namespace {

const std::string kFixture = std::string(QUVI_TEST_DATA_DIR) + "/h264_704x576_g711u.rec";

class TLivePlayWindow : public viewer::TAbstractPlayWindow {
 public:
  explicit TLivePlayWindow(plat::HWND parent) : TAbstractPlayWindow(parent) { InitPlayModel(); }
  std::unique_ptr<viewer::TAbstractPlayModel> CreatePlayModel() override {
    return std::make_unique<viewer::TOstraNvPreviewModel>();
  }
};

// Pumps the window's thread until the condition holds.
bool PumpUntil(const std::function<bool()>& condition) {
  return quvi_test::PollUntil(condition, [] { plat::PumpMessages(10); });
}

// Pixels of that value in rows [top, bottom) of the window.
int CountPixels(plat::HWND hwnd, uint32_t pixel, int top = 0, int bottom = 1 << 30) {
  std::vector<uint32_t> pixels;
  int32_t width = 0, height = 0;
  plat::GetWindowPixels(hwnd, &pixels, &width, &height);
  int count = 0;
  for (int y = std::max(top, 0); y < std::min(bottom, height); ++y)
    for (int x = 0; x < width; ++x) count += pixels[static_cast<size_t>(y) * width + x] == pixel;
  return count;
}

TEST(PlayWindowLiveTest, ShowsTheConnectingCaptionThenThePicturesOfTheStream) {
  ::unsetenv("ZRPLAYPROXY_PLAYER");
  viewer::SetPlayerProxyModuleName(ZRPLAYPROXY_PATH);
  const std::vector<quvi_test::TLumaPicture> pictures = quvi_test::DecodeRecordFileLuma(kFixture);
  ASSERT_GT(pictures.size(), 50u);
  quvi_test::TTempDir dir("play_window_live_test");
  const auto save = [&](const std::string& name, plat::HWND wnd) {
    EXPECT_TRUE(plat::SaveWindowPng(wnd, dir.Path(name + ".png")));
    if (const char* keep = std::getenv("QUVI_TEST_KEEP_PNG"))
      plat::SaveWindowPng(wnd, std::string(keep) + "/play_window_live_" + name + ".png");
  };

  streamsim::TServerOptions options;
  options.DefaultSource = {streamsim::TSourceSpec::EKind::File, kFixture};
  options.RealTime = true;
  options.Loop = true;
  streamsim::test::TRunningServer server(options);
  const plat::HWND host = plat::CreateWindowHandle();
  {
    TLivePlayWindow window(host);
    window.SetBounds(0, 0, 352, 288);
    window.SetFontSize(16);
    window.SetHostIP("127.0.0.1");
    window.SetHostPort(server.Port());
    window.SetChannelNo(0);
    window.SetDVRID("7");
    window.SetLoginUser("admin");
    window.SetPassword("admin");
    window.SetConnectTimeout(2000);
    window.SetReadTimeout(5000);
    plat::PumpMessages(5);
    const plat::HWND wnd = window.Handle();
    const uint32_t white = plat::PixelOf(plat::RGB(255, 255, 255));
    // The rows of the centred caption, which cross the colour bars of the pictures.
    constexpr int kCaptionTop = 120, kCaptionBottom = 170;
    EXPECT_EQ(CountPixels(wnd, white), 0) << "an idle window has no caption";

    // Taken one message at a time, so the window is painted while its caption says connecting.
    window.StartPlay();
    bool connecting_seen = false;
    const auto deadline = std::chrono::steady_clock::now() + quvi_test::kHangGuard;
    plat::TMsg msg;
    while (!connecting_seen && std::chrono::steady_clock::now() < deadline) {
      if (!plat::GetMessage(&msg, 100)) continue;
      plat::DispatchMessage(msg);
      if (msg.message == viewer::kConnectStatusMessage && static_cast<int32_t>(msg.wParam) == -1) {
        EXPECT_EQ(window.Caption(), "正在连接...");
        plat::UpdateWindow(wnd);
        save("connecting", wnd);
        EXPECT_GT(CountPixels(wnd, white, kCaptionTop, kCaptionBottom), 40)
            << "the caption's glyphs are drawn";
        EXPECT_FALSE(quvi_test::WindowShowsAPicture(wnd));
        connecting_seen = true;
      }
    }
    ASSERT_TRUE(connecting_seen);

    // Playing: the pictures of the stream fill the window and the caption is gone.
    ASSERT_TRUE(PumpUntil([&] { return quvi_test::WindowShowsAPicture(wnd); }));
    constexpr double kSame = 4.0;  // mean luma difference of a window showing that picture
    EXPECT_TRUE(PumpUntil([&] {
      return window.Caption().empty() && quvi_test::DistanceToNearestPicture(wnd, pictures) < kSame;
    })) << quvi_test::DistanceToNearestPicture(wnd, pictures);
    EXPECT_TRUE(window.IsPlayingStatus());
    // The caption's band now shows the colour bars, none of them white: no glyphs over the video.
    EXPECT_EQ(CountPixels(wnd, white, kCaptionTop, kCaptionBottom), 0);
    save("playing", wnd);

    window.StopPlay();
    EXPECT_EQ(window.Caption(), "");
  }
  plat::DestroyWindowHandle(host);
}

}  // namespace
