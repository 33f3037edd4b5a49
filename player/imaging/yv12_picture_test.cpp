#include "player/imaging/yv12_picture.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace zrplay {
namespace {

// A YV12 buffer of one colour.
std::vector<uint8_t> Solid(int32_t w, int32_t h, uint8_t y, uint8_t u, uint8_t v) {
  std::vector<uint8_t> picture(YV12Size(w, h));
  const size_t luma = size_t(w) * h;
  const size_t chroma = size_t(w / 2) * (h / 2);
  std::fill_n(picture.begin(), luma, y);
  std::fill_n(picture.begin() + luma, chroma, v);  // V comes first
  std::fill_n(picture.begin() + luma + chroma, chroma, u);
  return picture;
}

struct ColourCase {
  const char* name;
  uint8_t y, u, v;
  std::array<int, 3> rgb;
};

TEST(YV12ToBitmap24Test, ConvertsKnownColoursWithRoundingAndLimits) {
  const ColourCase cases[] = {
      {"black", 16, 128, 128, {0, 0, 0}},
      {"white 255.1 limited", 235, 128, 128, {255, 255, 255}},
      {"mid grey 130.46", 128, 128, 128, {130, 130, 130}},
      {"red", 81, 90, 240, {254, 0, 0}},
      {"blue", 41, 240, 110, {0, 0, 255}},
      {"green", 145, 54, 34, {0, 255, 1}},
      {"all high: red and blue limited", 255, 255, 255, {255, 125, 255}},
      {"all low: red and blue limited", 0, 0, 0, {0, 136, 0}},
      {"V only high", 100, 128, 200, {213, 39, 98}},
      {"U high, V low", 0, 255, 0, {0, 36, 238}},
  };
  for (const auto& c : cases) {
    const auto picture = Solid(4, 2, c.y, c.u, c.v);
    const auto bitmap = YV12ToBitmap24(picture.data(), 4, 2);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(bitmap->pixels.size(), 4u * 2 * 3);
    for (int32_t y = 0; y < 2; ++y) {
      for (int32_t x = 0; x < 4; ++x) {
        const uint8_t* p = bitmap->Pixel(x, y);  // B, G, R
        EXPECT_EQ((std::array<int, 3>{p[2], p[1], p[0]}), c.rgb)
            << c.name << " at " << x << "," << y;
      }
    }
  }
}

TEST(YV12ToBitmap24Test, EachTwoByTwoBlockTakesItsOwnChroma) {
  // 4 x 4 grey picture with a different V in each of its four chroma samples and U neutral:
  // red rises with V while luma is the same, so each pixel shows which sample it used.
  auto picture = Solid(4, 4, 128, 128, 128);
  const uint8_t v_samples[4] = {128, 160, 192, 224};  // row-major 2 x 2
  std::copy(v_samples, v_samples + 4, picture.begin() + 16);
  const auto bitmap = YV12ToBitmap24(picture.data(), 4, 4);
  ASSERT_NE(bitmap, nullptr);
  const int red_of_sample[4] = {130, 182, 233, 255};  // 130.46 + 1.596027 × (v - 128)
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x)
      EXPECT_EQ(bitmap->Pixel(x, y)[2], red_of_sample[(y / 2) * 2 + x / 2]) << x << "," << y;
}

TEST(YV12ToBitmap24Test, OddSizesStayInsideThePicture) {
  // An exactly sized buffer: the last column and row reuse the nearest chroma sample (ASan
  // would see a read past it), and a picture one pixel wide has no chroma at all.
  const auto odd = Solid(5, 3, 235, 128, 128);
  const auto bitmap = YV12ToBitmap24(odd.data(), 5, 3);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->pixels, std::vector<uint8_t>(5 * 3 * 3, 255));
  const std::vector<uint8_t> column = {16, 16, 16};
  const auto thin = YV12ToBitmap24(column.data(), 1, 3);
  ASSERT_NE(thin, nullptr);
  EXPECT_EQ(thin->pixels, std::vector<uint8_t>(1 * 3 * 3, 0));

  EXPECT_EQ(YV12ToBitmap24(odd.data(), 0, 3), nullptr);
  EXPECT_EQ(YV12ToBitmap24(odd.data(), 4, -2), nullptr);
  EXPECT_EQ(YV12ToBitmap24(nullptr, 4, 2), nullptr);
}

TEST(PackPlanesTest, StrideLargerThanWidthPacksOnlyThePicture) {
  constexpr int32_t w = 6, h = 4, stride = 10;
  constexpr uint8_t kPad = 0xEE;
  std::vector<uint8_t> y(stride * h, kPad), u(stride / 2 * h / 2, kPad), v(u);
  for (int32_t r = 0; r < h; ++r)
    for (int32_t c = 0; c < w; ++c) y[r * stride + c] = uint8_t(r * 10 + c);
  for (int32_t r = 0; r < h / 2; ++r) {
    for (int32_t c = 0; c < w / 2; ++c) {
      v[r * stride / 2 + c] = uint8_t(100 + r * 10 + c);
      u[r * stride / 2 + c] = uint8_t(200 + r * 10 + c);
    }
  }
  std::vector<uint8_t> out(YV12Size(w, h) + 4, 0x55);  // four guard bytes after the picture
  PackPlanes(out.data(), y.data(), u.data(), v.data(), w, h, stride);
  const std::vector<uint8_t> expected = {
      0,    1,    2,    3,    4,   5,   10, 11, 12, 13, 14, 15,  // Y
      20,   21,   22,   23,   24,  25,  30, 31, 32, 33, 34, 35,  //
      100,  101,  102,  110,  111, 112,                          // V
      200,  201,  202,  210,  211, 212,                          // U
      0x55, 0x55, 0x55, 0x55,                                    // untouched
  };
  EXPECT_EQ(out, expected);
}

TEST(RotateYV12Test, TurnsEveryPlaneClockwise) {
  // 6 x 4 picture, values naming their row and column in each plane.
  const std::vector<uint8_t> source = {
      0,   1,   2,   3,   4,   5,   10, 11, 12, 13, 14, 15,  // Y rows 0, 1
      20,  21,  22,  23,  24,  25,  30, 31, 32, 33, 34, 35,  // Y rows 2, 3
      100, 101, 102, 110, 111, 112,                          // V 3 x 2
      200, 201, 202, 210, 211, 212,                          // U 3 x 2
  };
  std::vector<uint8_t> out(source.size() + 2, 0x55);
  RotateYV12(out.data(), source.data(), 6, 4);
  // Now 4 x 6: each row is a source column read from the bottom up.
  const std::vector<uint8_t> expected = {
      30,   20,   10,  0,   31,  21,  11, 1, 32, 22, 12, 2,  //
      33,   23,   13,  3,   34,  24,  14, 4, 35, 25, 15, 5,  //
      110,  100,  111, 101, 112, 102,                        // V 2 x 3
      210,  200,  211, 201, 212, 202,                        // U 2 x 3
      0x55, 0x55,
  };
  EXPECT_EQ(out, expected);

  // The 4 x 2 case: the first row of the result is the first column, bottom to top.
  const std::vector<uint8_t> small = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::vector<uint8_t> turned(small.size());
  RotateYV12(turned.data(), small.data(), 4, 2);
  EXPECT_EQ(turned, (std::vector<uint8_t>{5, 1, 6, 2, 7, 3, 8, 4, 9, 10, 11, 12}));
}

}  // namespace
}  // namespace zrplay
