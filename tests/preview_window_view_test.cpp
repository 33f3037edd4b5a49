// The preview window with a real live view of a 704 × 576 stream in a 400 × 300 window: digital
// zoom shows the chosen region of the decoded pictures (the window compared with that region of
// a direct libavcodec decode of the fixture, scaled), a drag up and to the left shows the whole
// picture again, and the watermark set during a view appears in its pictures and stays for the
// next view. The window's surfaces are saved as PNG files to look at ($QUVI_TEST_KEEP_PNG keeps
// them in that folder).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
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
#include "viewer/control/preview_window.h"
#include "viewer/player/player_binding.h"

namespace {

const std::string kFixture = std::string(QUVI_TEST_DATA_DIR) + "/h264_704x576_g711u.rec";

// Pumps the window's thread until the condition holds.
bool PumpUntil(const std::function<bool()>& condition) {
  return quvi_test::PollUntil(condition, [] { plat::PumpMessages(10); });
}

class PreviewWindowViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::unsetenv("ZRPLAYPROXY_PLAYER");
    viewer::SetPlayerProxyModuleName(ZRPLAYPROXY_PATH);
    pictures_ = new std::vector<quvi_test::TLumaPicture>(quvi_test::DecodeRecordFileLuma(kFixture));
  }
  static void TearDownTestSuite() {
    delete pictures_;
    pictures_ = nullptr;
  }
  void SetUp() override {
    ASSERT_GT(pictures_->size(), 50u);
    streamsim::TServerOptions options;
    options.DefaultSource = {streamsim::TSourceSpec::EKind::File, kFixture};
    options.RealTime = true;
    options.Loop = true;
    server_ = std::make_unique<streamsim::test::TRunningServer>(options);
    host_ = plat::CreateWindowHandle();
    window_ = std::make_unique<viewer::TOstraNvPreviewWindow>(host_);
    window_->SetBounds(0, 0, 400, 300);
    window_->SetHostIP("127.0.0.1");
    window_->SetHostPort(server_->Port());
    window_->SetChannelNo(0);
    window_->SetDVRID("7");
    window_->SetLoginUser("admin");
    window_->SetPassword("admin");
    window_->SetConnectTimeout(2000);
    window_->SetReadTimeout(5000);
  }
  void TearDown() override {
    window_.reset();
    plat::DestroyWindowHandle(host_);
  }
  plat::HWND Wnd() { return window_->Handle(); }
  void StartAndWaitForPictures() {
    window_->StartPlay();
    ASSERT_TRUE(PumpUntil([&] { return quvi_test::WindowShowsAPicture(Wnd()); }));
    ASSERT_TRUE(PumpUntil([&] { return Whole() < kSame; })) << Whole();
  }
  double Whole() { return quvi_test::DistanceToNearestPicture(Wnd(), *pictures_); }
  double Region(const plat::RECT& r) {
    return quvi_test::DistanceToNearestRegion(Wnd(), *pictures_, r.left, r.top, r.right, r.bottom);
  }
  void Save(const std::string& name) {
    ASSERT_TRUE(plat::SaveWindowPng(Wnd(), dir_.Path(name + ".png")));
    if (const char* keep = std::getenv("QUVI_TEST_KEEP_PNG"))
      plat::SaveWindowPng(Wnd(), std::string(keep) + "/preview_" + name + ".png");
  }
  void Drag(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    ASSERT_TRUE(plat::InjectMouseButton(Wnd(), plat::TMouseButtonId::Left, true, x0, y0));
    ASSERT_TRUE(plat::InjectMouseMove(Wnd(), x1, y1, plat::MK_LBUTTON));
    ASSERT_TRUE(plat::InjectMouseButton(Wnd(), plat::TMouseButtonId::Left, false, x1, y1));
    plat::PumpMessages(10);
  }

  // Mean luma difference below which the window shows that picture (or region).
  static constexpr double kSame = 4.0;
  static std::vector<quvi_test::TLumaPicture>* pictures_;
  quvi_test::TTempDir dir_{"preview_window_view_test"};
  std::unique_ptr<streamsim::test::TRunningServer> server_;
  plat::HWND host_ = 0;
  std::unique_ptr<viewer::TOstraNvPreviewWindow> window_;
};

std::vector<quvi_test::TLumaPicture>* PreviewWindowViewTest::pictures_ = nullptr;

std::string Text(const plat::RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

// The luma of the window's rows 60 to 219: the colour bars of the fixture's pattern, which stay
// the same from picture to picture (the clock and the moving box lie outside).
std::vector<double> BarsLuma(plat::HWND window) {
  std::vector<uint32_t> pixels;
  int32_t w = 0, h = 0;
  std::vector<double> luma;
  if (!plat::GetWindowPixels(window, &pixels, &w, &h) || h < 220) return luma;
  for (int y = 60; y < 220; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * w + x];
      luma.push_back(0.299 * ((p >> 16) & 0xFF) + 0.587 * ((p >> 8) & 0xFF) + 0.114 * (p & 0xFF));
    }
  return luma;
}

// Share of the pixels whose luma differs by more than 30 between two looks at the bars.
double ShareChanged(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.empty() || a.size() != b.size()) return 1;
  size_t changed = 0;
  for (size_t i = 0; i < a.size(); ++i) changed += std::abs(a[i] - b[i]) > 30;
  return double(changed) / a.size();
}

TEST_F(PreviewWindowViewTest, ZoomShowsTheChosenRegionOfThePictures) {
  StartAndWaitForPictures();
  Save("zoom_0_whole");
  window_->SetDigitalZoomMode(true);

  // Each time the window must match the new region, and match it better than what it showed
  // before (the bars of the pattern make neighbouring regions look alike).
  window_->Zoom(100, 75, 300, 225);
  EXPECT_EQ(Text(window_->ZoomRect()), "176,144-528,432");
  const plat::RECT middle = window_->ZoomRect();
  EXPECT_TRUE(PumpUntil([&] { return Region(middle) < kSame && Region(middle) + 4 < Whole(); }))
      << "region " << Region(middle) << ", whole " << Whole();
  Save("zoom_1_middle");

  window_->ZoomByPoint(200, 150, 1);
  EXPECT_EQ(Text(window_->ZoomRect()), "194,158-511,417");
  const plat::RECT step = window_->ZoomRect();
  EXPECT_TRUE(PumpUntil([&] { return Region(step) < kSame && 2 * Region(step) < Region(middle); }))
      << "region " << Region(step) << ", before " << Region(middle);
  Save("zoom_2_step_in");

  // A drag from the bottom right to the top left: the whole picture again.
  Drag(300, 225, 100, 75);
  EXPECT_FALSE(window_->ZoomActive());
  EXPECT_TRUE(PumpUntil([&] { return Whole() < kSame && Whole() + 4 < Region(step); }))
      << "whole " << Whole() << ", region " << Region(step);
  Save("zoom_3_unzoomed");
  window_->StopPlay();
}

TEST_F(PreviewWindowViewTest, WatermarkAppearsInThePicturesAndStaysForTheNextView) {
  StartAndWaitForPictures();
  const std::vector<double> plain = BarsLuma(Wnd());
  Save("watermark_0_none");
  // Later pictures without a watermark leave the bars as they were.
  plat::PumpMessages(200);
  EXPECT_LT(ShareChanged(plain, BarsLuma(Wnd())), 0.0005);

  // The text is drawn thin and tiled: a small but clear share of the bars' pixels changes.
  constexpr double kMarked = 0.002;
  const auto watermarked = [&] {
    return quvi_test::WindowShowsAPicture(Wnd()) && Whole() < 3 * kSame &&
           ShareChanged(plain, BarsLuma(Wnd())) > kMarked;
  };
  window_->SetWatermark("QUVI WATERMARK");
  EXPECT_TRUE(PumpUntil(watermarked)) << ShareChanged(plain, BarsLuma(Wnd()));
  Save("watermark_1_during");
  window_->StopPlay();
  EXPECT_FALSE(quvi_test::WindowShowsAPicture(Wnd())) << "the stopped window is cleared";

  // The next view starts with the text.
  window_->StartPlay();
  EXPECT_TRUE(PumpUntil(watermarked)) << ShareChanged(plain, BarsLuma(Wnd()));
  Save("watermark_2_next_view");
  window_->StopPlay();
}

}  // namespace
