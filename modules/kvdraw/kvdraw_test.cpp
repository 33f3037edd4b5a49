// The renderer through its C exports: pictures of four coloured quadrants drawn into windows
// of several sizes, zoom, refused input and handles, and a draw racing zoom and free.
#include "modules/kvdraw/kvdraw.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/gdi.h"
#include "platform/messages.h"

namespace {

struct TColor {
  const char* name;
  uint8_t y, u, v;  // studio-range YUV of the colour
  uint8_t r, g, b;  // what the window should show
};

constexpr TColor kRed{"red", 82, 90, 240, 255, 0, 0};
constexpr TColor kGreen{"green", 145, 54, 34, 0, 255, 0};
constexpr TColor kBlue{"blue", 41, 240, 110, 0, 0, 255};
constexpr TColor kWhite{"white", 235, 128, 128, 255, 255, 255};
// Top-left, top-right, bottom-left, bottom-right.
const TColor kQuadrants[4] = {kRed, kGreen, kBlue, kWhite};

// A YV12 picture (Y, then V, then U) whose even part is split into four equal quadrants on
// whole chroma samples; an odd last column or row repeats its neighbour's luma. The buffer
// is width x height x 3 / 2 bytes, as the player's frame buffer is (for odd sizes a little
// more than the planes need).
std::vector<uint8_t> QuadrantPicture(int32_t width, int32_t height) {
  const int32_t cw = width / 2, ch = height / 2;
  const int32_t split_x = cw / 2, split_y = ch / 2;  // in chroma samples
  std::vector<uint8_t> yv12(size_t(width) * height * 3 / 2);
  auto quadrant = [&](int32_t cx, int32_t cy) -> const TColor& {
    return kQuadrants[(cy >= split_y ? 2 : 0) + (cx >= split_x ? 1 : 0)];
  };
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      yv12[size_t(y) * width + x] = quadrant(std::min(x / 2, cw - 1), std::min(y / 2, ch - 1)).y;
  uint8_t* v = yv12.data() + size_t(width) * height;
  uint8_t* u = v + size_t(cw) * ch;
  for (int32_t cy = 0; cy < ch; ++cy)
    for (int32_t cx = 0; cx < cw; ++cx) {
      v[size_t(cy) * cw + cx] = quadrant(cx, cy).v;
      u[size_t(cy) * cw + cx] = quadrant(cx, cy).u;
    }
  return yv12;
}

// What one window shows.
struct TShot {
  std::vector<uint32_t> pixels;
  int32_t width = 0;
  int32_t height = 0;

  uint32_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * width + x]; }
};

TShot Shoot(plat::HWND window) {
  TShot shot;
  EXPECT_TRUE(plat::GetWindowPixels(window, &shot.pixels, &shot.width, &shot.height));
  return shot;
}

testing::AssertionResult Near(const TShot& shot, int32_t x, int32_t y, const TColor& c) {
  const uint32_t p = shot.At(x, y);
  const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF, a = p >> 24;
  constexpr int kTolerance = 10;
  if (a == 0xFF && std::abs(r - c.r) <= kTolerance && std::abs(g - c.g) <= kTolerance &&
      std::abs(b - c.b) <= kTolerance)
    return testing::AssertionSuccess();
  char text[96];
  std::snprintf(text, sizeof text, "pixel (%d,%d) = %08X, expected %s", x, y, p, c.name);
  return testing::AssertionFailure() << text;
}

// The centre of each quadrant of the window shows that quadrant's colour.
void ExpectQuadrants(plat::HWND window) {
  const TShot shot = Shoot(window);
  ASSERT_GT(shot.width, 0);
  const int32_t xs[2] = {shot.width / 4, shot.width * 3 / 4};
  const int32_t ys[2] = {shot.height / 4, shot.height * 3 / 4};
  for (int q = 0; q < 4; ++q) EXPECT_TRUE(Near(shot, xs[q % 2], ys[q / 2], kQuadrants[q]));
}

// Every pixel of the window shows the colour.
void ExpectFilled(plat::HWND window, const TColor& color) {
  const TShot shot = Shoot(window);
  ASSERT_GT(shot.width, 0);
  int failures = 0;
  for (int32_t y = 0; y < shot.height; ++y)
    for (int32_t x = 0; x < shot.width && failures < 3; ++x) {
      auto near = Near(shot, x, y, color);
      if (!near) {
        ++failures;
        ADD_FAILURE() << near.message();
      }
    }
}

// A window of the test's thread, sized, and a draw handle for it.
class KVDrawTest : public testing::Test {
 protected:
  void SetUp() override { window_ = plat::CreateWindowHandle(); }
  void TearDown() override {
    if (handle_) ZrDraw_FreePlayer(handle_);
    plat::DestroyWindowHandle(window_);
  }

  void Open(int32_t window_width, int32_t window_height) {
    ASSERT_TRUE(plat::MoveWindow(window_, 0, 0, window_width, window_height));
    handle_ = ZrDraw_CreatePlayer(window_);
    ASSERT_NE(handle_, 0);
  }

  int32_t Draw(const std::vector<uint8_t>& picture, int32_t width, int32_t height) {
    return ZrDraw_DrawOneFrame(handle_, picture.data(), int32_t(picture.size()), width, height, 0);
  }

  plat::HWND window_ = 0;
  ZRDRAW_HANDLE handle_ = 0;
};

struct SizeCase {
  std::string name;
  int32_t picture_width, picture_height;
  int32_t window_width, window_height;
};

class KVDrawSizeTest : public KVDrawTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(KVDrawSizeTest, QuadrantsFillTheClientRectangle) {
  const SizeCase& c = GetParam();
  Open(c.window_width, c.window_height);
  const auto picture = QuadrantPicture(c.picture_width, c.picture_height);
  ASSERT_EQ(Draw(picture, c.picture_width, c.picture_height), 1);
  ExpectQuadrants(window_);
  // The picture reaches every edge of the window: the four corners carry the quadrant colours.
  const TShot shot = Shoot(window_);
  EXPECT_TRUE(Near(shot, 0, 0, kRed));
  EXPECT_TRUE(Near(shot, shot.width - 1, 0, kGreen));
  EXPECT_TRUE(Near(shot, 0, shot.height - 1, kBlue));
  EXPECT_TRUE(Near(shot, shot.width - 1, shot.height - 1, kWhite));
}

INSTANTIATE_TEST_SUITE_P(Sizes, KVDrawSizeTest,
                         testing::Values(SizeCase{"SameSize", 64, 48, 64, 48},
                                         SizeCase{"Enlarged", 64, 48, 320, 240},
                                         SizeCase{"ShrunkToOddWindow", 64, 48, 17, 13},
                                         SizeCase{"OddPictureOtherAspect", 65, 49, 100, 30},
                                         SizeCase{"LargePictureTallWindow", 640, 480, 33, 200},
                                         SizeCase{"SmallestQuadrants", 4, 4, 4, 4}),
                         [](const testing::TestParamInfo<SizeCase>& info) {
                           return info.param.name;
                         });

TEST_F(KVDrawTest, ResizedWindowIsFilledAtItsNewSize) {
  Open(64, 48);
  const auto picture = QuadrantPicture(64, 48);
  ASSERT_EQ(Draw(picture, 64, 48), 1);
  ASSERT_TRUE(plat::MoveWindow(window_, 0, 0, 150, 90));
  ASSERT_EQ(Draw(picture, 64, 48), 1);
  ExpectQuadrants(window_);
  EXPECT_TRUE(Near(Shoot(window_), 149, 89, kWhite));
}

TEST_F(KVDrawTest, ZoomShowsOneQuadrantAndDisablingRestoresTheWhole) {
  Open(80, 60);
  const auto picture = QuadrantPicture(64, 48);
  const ZRDRAW_RECT quadrants[4] = {
      {0, 0, 32, 24}, {32, 0, 64, 24}, {0, 24, 32, 48}, {32, 24, 64, 48}};
  for (int q = 0; q < 4; ++q) {
    SCOPED_TRACE(kQuadrants[q].name);
    ASSERT_EQ(ZrDraw_DoZoom(handle_, &quadrants[q], 0, ZRDRAW_ZOOM_ENABLE), 1);
    ASSERT_EQ(Draw(picture, 64, 48), 1);
    ExpectFilled(window_, kQuadrants[q]);
  }
  ASSERT_EQ(ZrDraw_DoZoom(handle_, nullptr, 0, ZRDRAW_ZOOM_DISABLE), 1);
  ASSERT_EQ(Draw(picture, 64, 48), 1);
  ExpectQuadrants(window_);
}

TEST_F(KVDrawTest, ZoomRectangleIsClippedToEachPicture) {
  Open(40, 40);
  // Reaches past the picture: only its bottom-right quadrant remains.
  const ZRDRAW_RECT past{32, 24, 1000, 1000};
  ASSERT_EQ(ZrDraw_DoZoom(handle_, &past, 0, ZRDRAW_ZOOM_ENABLE), 1);
  ASSERT_EQ(Draw(QuadrantPicture(64, 48), 64, 48), 1);
  ExpectFilled(window_, kWhite);
  // Kept as given: a larger picture later shows more of it (its bottom-right quadrant and
  // beyond), still without reading outside.
  ASSERT_EQ(Draw(QuadrantPicture(128, 96), 128, 96), 1);
  ExpectQuadrants(window_);
  // Missing the picture entirely: the whole picture is shown.
  const ZRDRAW_RECT outside{2000, 2000, 3000, 3000};
  ASSERT_EQ(ZrDraw_DoZoom(handle_, &outside, 0, ZRDRAW_ZOOM_ENABLE), 1);
  ASSERT_EQ(Draw(QuadrantPicture(64, 48), 64, 48), 1);
  ExpectQuadrants(window_);
}

TEST_F(KVDrawTest, BadZoomChangesNothing) {
  Open(40, 40);
  const ZRDRAW_RECT red{0, 0, 32, 24};
  ASSERT_EQ(ZrDraw_DoZoom(handle_, &red, 0, ZRDRAW_ZOOM_ENABLE), 1);
  const ZRDRAW_RECT empty{10, 10, 10, 20};
  const ZRDRAW_RECT inverted{30, 30, 10, 10};
  EXPECT_EQ(ZrDraw_DoZoom(handle_, nullptr, 0, ZRDRAW_ZOOM_ENABLE), 0);
  EXPECT_EQ(ZrDraw_DoZoom(handle_, &empty, 0, ZRDRAW_ZOOM_ENABLE), 0);
  EXPECT_EQ(ZrDraw_DoZoom(handle_, &inverted, 0, ZRDRAW_ZOOM_ENABLE), 0);
  EXPECT_EQ(ZrDraw_DoZoom(handle_, nullptr, plat::INVALID_HWND, ZRDRAW_ZOOM_DISABLE), 0);
  EXPECT_EQ(ZrDraw_DoZoom(handle_, nullptr, 0x7FFF0000, ZRDRAW_ZOOM_DISABLE), 0);
  ASSERT_EQ(Draw(QuadrantPicture(64, 48), 64, 48), 1);
  ExpectFilled(window_, kRed);
}

TEST_F(KVDrawTest, ZoomWithAWindowMovesTheDrawingThere) {
  Open(32, 32);
  const plat::HWND other = plat::CreateWindowHandle();
  ASSERT_TRUE(plat::MoveWindow(other, 0, 0, 24, 24));
  const ZRDRAW_RECT green{32, 0, 64, 24};
  ASSERT_EQ(ZrDraw_DoZoom(handle_, &green, other, ZRDRAW_ZOOM_ENABLE), 1);
  ASSERT_EQ(Draw(QuadrantPicture(64, 48), 64, 48), 1);
  ExpectFilled(other, kGreen);
  ExpectFilled(window_, TColor{"black", 16, 128, 128, 0, 0, 0});  // never drawn into
  plat::DestroyWindowHandle(other);
}

TEST_F(KVDrawTest, CreateEx) {
  ASSERT_TRUE(plat::MoveWindow(window_, 0, 0, 32, 24));
  handle_ = ZrDraw_CreatePlayerEx(0x1234, window_, -1920, 0);
  ASSERT_NE(handle_, 0);
  ASSERT_EQ(Draw(QuadrantPicture(64, 48), 64, 48), 1);
  ExpectQuadrants(window_);
}

struct RefusedCase {
  std::string name;
  bool null_buffer;
  int32_t size_change;  // added to the exact size width x height x 3 / 2
  int32_t width, height, flags;
};

class KVDrawRefusedTest : public KVDrawTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(KVDrawRefusedTest, NothingIsDrawn) {
  const RefusedCase& c = GetParam();
  Open(16, 16);
  // Large enough for every case, so a read past the claimed size would not be caught by a
  // short allocation but by the result and the untouched window.
  const std::vector<uint8_t> picture(size_t(64) * 48 * 3 / 2, 200);
  const int64_t exact = int64_t{c.width} * c.height * 3 / 2;
  const int64_t size = std::max<int64_t>(0, std::min<int64_t>(INT32_MAX, exact + c.size_change));
  EXPECT_EQ(ZrDraw_DrawOneFrame(handle_, c.null_buffer ? nullptr : picture.data(), int32_t(size),
                                c.width, c.height, c.flags),
            0);
  const TShot shot = Shoot(window_);
  for (uint32_t p : shot.pixels) ASSERT_EQ(p, 0xFF000000u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KVDrawRefusedTest,
    testing::Values(RefusedCase{"NullBuffer", true, 0, 64, 48, 0},
                    RefusedCase{"OneByteShort", false, -1, 64, 48, 0},
                    RefusedCase{"SizeZero", false, -4608, 64, 48, 0},
                    RefusedCase{"WidthZero", false, 0, 0, 48, 0},
                    RefusedCase{"HeightZero", false, 0, 64, 0, 0},
                    RefusedCase{"NegativeWidth", false, 0, -64, 48, 0},
                    RefusedCase{"NegativeBoth", false, 0, -64, -48, 0},
                    RefusedCase{"OnePixelWide", false, 0, 1, 48, 0},
                    RefusedCase{"TooWide", false, 0, ZRDRAW_MAX_PICTURE_SIDE + 2, 2, 0},
                    RefusedCase{"HugeSidesOverflowingSize", false, 0, 1 << 30, 1 << 30, 0},
                    RefusedCase{"UnknownFlags", false, 0, 64, 48, 1}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

TEST_F(KVDrawTest, UnknownAndFreedHandlesAreRefused) {
  EXPECT_EQ(ZrDraw_CreatePlayer(0), 0);
  EXPECT_EQ(ZrDraw_CreatePlayer(plat::INVALID_HWND), 0);
  EXPECT_EQ(ZrDraw_CreatePlayer(0x7FFF0000), 0);
  EXPECT_EQ(ZrDraw_CreatePlayerEx(1, 0, 0, 0), 0);

  Open(16, 16);
  const auto picture = QuadrantPicture(64, 48);
  const ZRDRAW_RECT rect{0, 0, 32, 24};
  const ZRDRAW_HANDLE freed = handle_;
  ASSERT_EQ(ZrDraw_FreePlayer(freed), 1);
  handle_ = 0;
  for (ZRDRAW_HANDLE h : {ZRDRAW_HANDLE{0}, ZRDRAW_HANDLE{-1}, ZRDRAW_HANDLE{12345}, freed}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(ZrDraw_DrawOneFrame(h, picture.data(), int32_t(picture.size()), 64, 48, 0), 0);
    EXPECT_EQ(ZrDraw_DoZoom(h, &rect, 0, ZRDRAW_ZOOM_ENABLE), 0);
    EXPECT_EQ(ZrDraw_FreePlayer(h), 0);
  }
  for (uint32_t p : Shoot(window_).pixels) ASSERT_EQ(p, 0xFF000000u);
  // A new handle for the same window is a new value: the freed one stays unknown.
  const ZRDRAW_HANDLE again = ZrDraw_CreatePlayer(window_);
  EXPECT_NE(again, freed);
  EXPECT_EQ(ZrDraw_DrawOneFrame(freed, picture.data(), int32_t(picture.size()), 64, 48, 0), 0);
  EXPECT_EQ(ZrDraw_FreePlayer(again), 1);
}

TEST_F(KVDrawTest, EmptyOrVanishedWindowDrawsNothing) {
  handle_ = ZrDraw_CreatePlayer(window_);  // never sized: an empty client rectangle
  ASSERT_NE(handle_, 0);
  const auto picture = QuadrantPicture(64, 48);
  EXPECT_EQ(Draw(picture, 64, 48), 0);
  EXPECT_TRUE(Shoot(window_).pixels.empty());
  // Sized later: drawing starts.
  ASSERT_TRUE(plat::MoveWindow(window_, 0, 0, 20, 20));
  EXPECT_EQ(Draw(picture, 64, 48), 1);
  ExpectQuadrants(window_);
  // Sized back to nothing, then gone: nothing drawn, no failure beyond the result.
  ASSERT_TRUE(plat::MoveWindow(window_, 0, 0, 0, 0));
  EXPECT_EQ(Draw(picture, 64, 48), 0);
  plat::DestroyWindowHandle(window_);
  EXPECT_EQ(Draw(picture, 64, 48), 0);
  EXPECT_EQ(ZrDraw_FreePlayer(handle_), 1);
  handle_ = 0;
}

// The decoder's thread draws while the window's thread zooms and then frees the handle: the
// free waits for a running draw, and nothing is drawn after it returns.
TEST_F(KVDrawTest, FreeWhileAnotherThreadDraws) {
  Open(48, 36);
  const auto picture = QuadrantPicture(64, 48);
  std::atomic<int> drawn{0};
  std::atomic<bool> refused{false};
  std::thread decoder([&] {
    while (Draw(picture, 64, 48) == 1) drawn.fetch_add(1);
    refused = true;
  });
  while (drawn.load() < 3) std::this_thread::yield();
  const ZRDRAW_RECT rect{0, 0, 32, 24};
  for (int i = 0; i < 20; ++i)
    ASSERT_EQ(ZrDraw_DoZoom(handle_, &rect, 0, i % 2 ? ZRDRAW_ZOOM_DISABLE : ZRDRAW_ZOOM_ENABLE),
              1);
  ASSERT_EQ(ZrDraw_FreePlayer(handle_), 1);
  const TShot after_free = Shoot(window_);
  decoder.join();
  EXPECT_TRUE(refused);
  EXPECT_EQ(Shoot(window_).pixels, after_free.pixels);
  EXPECT_EQ(Draw(picture, 64, 48), 0);
  handle_ = 0;
}

}  // namespace
