#include "player/imaging/kv_mem_bmp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "player/config/test_log_capture.h"
#include "player/imaging/yv12_picture.h"

namespace zrplay {
namespace {

struct Rgb {
  int r, g, b;
};

// 8 x 4 test picture of four 4 x 2 quadrants: red, blue / green, white.
constexpr int32_t kW = 8, kH = 4;
std::vector<uint8_t> QuadrantPicture() {
  struct Yuv {
    uint8_t y, u, v;
  } quadrant[2][2] = {{{81, 90, 240}, {41, 240, 110}}, {{145, 54, 34}, {235, 128, 128}}};
  std::vector<uint8_t> picture(YV12Size(kW, kH));
  uint8_t* v_plane = picture.data() + kW * kH;
  uint8_t* u_plane = v_plane + (kW / 2) * (kH / 2);
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) picture[y * kW + x] = quadrant[y / 2][x / 4].y;
  for (int32_t y = 0; y < kH / 2; ++y) {
    for (int32_t x = 0; x < kW / 2; ++x) {
      v_plane[y * kW / 2 + x] = quadrant[y][x / 2].v;
      u_plane[y * kW / 2 + x] = quadrant[y][x / 2].u;
    }
  }
  return picture;
}
const Rgb kQuadrantRgb[2][2] = {{{255, 0, 0}, {0, 0, 255}}, {{0, 255, 0}, {255, 255, 255}}};

// The display conversion is fixed point; allow it a little next to the exact values.
void ExpectNear(uint32_t pixel, Rgb want, const std::string& where) {
  const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
  EXPECT_LE(std::abs(r - want.r), 4) << where << " red " << r;
  EXPECT_LE(std::abs(g - want.g), 4) << where << " green " << g;
  EXPECT_LE(std::abs(b - want.b), 4) << where << " blue " << b;
}

// A window sized for the test and the stretching copy the channel makes into it.
class MemBmpDrawTest : public ::testing::Test {
 protected:
  void SetUp() override { window_ = plat::CreateWindowHandle(); }
  void TearDown() override { plat::DestroyWindowHandle(window_); }

  std::vector<uint32_t> StretchIntoWindow(const TKVMemBmp& bmp, int32_t w, int32_t h) {
    EXPECT_TRUE(plat::MoveWindow(window_, 0, 0, w, h));
    const plat::HDC dc = plat::GetDC(window_);
    plat::SetStretchBltMode(dc, plat::COLORONCOLOR);
    EXPECT_TRUE(plat::StretchBlt(dc, 0, 0, w, h, bmp.context(), 0, 0, bmp.width(), bmp.height(),
                                 plat::SRCCOPY));
    plat::ReleaseDC(window_, dc);
    std::vector<uint32_t> pixels;
    int32_t got_w = 0, got_h = 0;
    EXPECT_TRUE(plat::GetWindowPixels(window_, &pixels, &got_w, &got_h));
    EXPECT_EQ(pixels.size(), size_t(w) * h);
    return pixels;
  }

  plat::HWND window_ = 0;
};

TEST_F(MemBmpDrawTest, FrameStretchedIntoALargerWindowKeepsColoursAndNearestSamples) {
  TKVMemBmp bmp;
  EXPECT_EQ(bmp.context(), 0);
  const auto picture = QuadrantPicture();
  bmp.SetFrame(picture.data(), kW, kH);
  ASSERT_NE(bmp.context(), 0);

  // 12 x 10: column 5 still samples source column 3 (left), 6 samples 4 (right); row 4
  // samples row 1 (top), row 5 samples row 2 (bottom).
  constexpr int32_t ww = 12, wh = 10;
  const auto pixels = StretchIntoWindow(bmp, ww, wh);
  for (int32_t y = 0; y < wh; ++y) {
    for (int32_t x = 0; x < ww; ++x) {
      const int32_t sx = (2 * x + 1) * kW / (2 * ww), sy = (2 * y + 1) * kH / (2 * wh);
      ExpectNear(pixels[y * ww + x], kQuadrantRgb[sy / 2][sx / 4],
                 std::to_string(x) + "," + std::to_string(y));
    }
  }
  EXPECT_EQ(pixels[0] >> 24, 0xFFu);  // opaque

  // A second frame in the same bitmap replaces the first.
  bmp.SetFrame(std::vector<uint8_t>(YV12Size(kW, kH), 16).data(), kW, kH);
  const auto dark = StretchIntoWindow(bmp, 3, 3);
  for (uint32_t p : dark) ExpectNear(p, Rgb{0, 135, 0}, "dark green");
}

TEST_F(MemBmpDrawTest, OddSizedFrameConvertsWithoutReadingPastIt) {
  // Exactly sized buffer; the last column and row take the nearest chroma there is.
  const int32_t w = 5, h = 3;
  std::vector<uint8_t> picture(YV12Size(w, h), 128);
  std::fill_n(picture.begin(), w * h, 235);
  TKVMemBmp bmp;
  bmp.SetFrame(picture.data(), w, h);
  for (uint32_t p : StretchIntoWindow(bmp, w, h)) ExpectNear(p, Rgb{255, 255, 255}, "white");
}

TEST(MemBmpSizeTest, SizeChangeRecreatesContextAndBitmapWithLogLines) {
  TLogCapture capture;
  std::vector<uint8_t> picture(YV12Size(704, 576), 128);
  plat::HDC first = 0, second = 0;
  {
    TKVMemBmp bmp;
    bmp.SetFrame(picture.data(), 704, 576);
    first = bmp.context();
    bmp.SetFrame(picture.data(), 704, 576);  // same size: nothing re-created
    EXPECT_EQ(bmp.context(), first);
    bmp.SetFrame(picture.data(), 704, 288);  // one dimension is enough
    second = bmp.context();
    ASSERT_NE(second, 0);
    EXPECT_EQ(bmp.width(), 704);
    EXPECT_EQ(bmp.height(), 288);
  }
  char hex[2][16];
  std::snprintf(hex[0], sizeof hex[0], "%08X", unsigned(first));
  std::snprintf(hex[1], sizeof hex[1], "%08X", unsigned(second));
  std::vector<std::string> dc_lines;
  for (const auto& line : capture.Lines())
    if (line.find(" dc ") != std::string::npos) dc_lines.push_back(line);
  EXPECT_EQ(dc_lines, (std::vector<std::string>{
                          std::string("create dc = 0x") + hex[0],
                          std::string("free dc 0x") + hex[0],
                          std::string("create dc = 0x") + hex[1],
                          std::string("free dc 0x") + hex[1],
                      }));
  // The freed contexts are gone from the platform.
  EXPECT_FALSE(plat::DeleteDC(first));
  EXPECT_FALSE(plat::DeleteDC(second));
}

TEST(MemBmpSizeTest, EmptySizeLeavesNothingToDraw) {
  TLogCapture capture;
  TKVMemBmp bmp;
  bmp.SetFrame(nullptr, 0, 0);
  EXPECT_EQ(bmp.context(), 0);
  std::vector<uint8_t> picture(YV12Size(4, 2), 16);
  bmp.SetFrame(picture.data(), 4, 2);
  EXPECT_NE(bmp.context(), 0);
  bmp.SetFrame(picture.data(), 4, -2);  // releases, creates nothing
  EXPECT_EQ(bmp.context(), 0);
  bmp.SetFrame(picture.data(), 4, 2);
  EXPECT_NE(bmp.context(), 0);
  size_t creates = 0;
  for (const auto& line : capture.Lines()) creates += line.rfind("create dc", 0) == 0;
  EXPECT_EQ(creates, 2u);
}

}  // namespace
}  // namespace zrplay
