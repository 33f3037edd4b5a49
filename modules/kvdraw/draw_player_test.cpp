#include "modules/kvdraw/draw_player.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

namespace kvdraw {

// Found by argument-dependent lookup, so it sits beside TRegion.
void PrintTo(const TRegion& r, std::ostream* os) {
  *os << "(" << r.x << "," << r.y << " " << r.width << "x" << r.height << ")";
}

namespace {

struct RegionCase {
  std::string name;
  bool zoom;
  ZRDRAW_RECT rect;
  int32_t width;
  int32_t height;
  TRegion expected;
};

class SourceRegionTest : public testing::TestWithParam<RegionCase> {};

TEST_P(SourceRegionTest, ClipsAndAlignsToWholeChromaSamples) {
  const RegionCase& c = GetParam();
  const TRegion region = SourceRegion(c.zoom ? &c.rect : nullptr, c.width, c.height);
  EXPECT_EQ(region, c.expected);
  // Whatever the rectangle, the region lies on even edges inside the picture's even part.
  EXPECT_EQ(region.x % 2, 0);
  EXPECT_EQ(region.y % 2, 0);
  EXPECT_EQ(region.width % 2, 0);
  EXPECT_EQ(region.height % 2, 0);
  EXPECT_GT(region.width, 0);
  EXPECT_GT(region.height, 0);
  EXPECT_LE(region.x + region.width, c.width);
  EXPECT_LE(region.y + region.height, c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceRegionTest,
    testing::Values(
        RegionCase{"NoZoomWholePicture", false, {}, 64, 48, {0, 0, 64, 48}},
        RegionCase{"NoZoomOddPictureDropsLastColumnAndRow", false, {}, 65, 49, {0, 0, 64, 48}},
        RegionCase{"InsideKeptAsGiven", true, {32, 24, 64, 48}, 64, 48, {32, 24, 32, 24}},
        RegionCase{"OddEdgesWidened", true, {1, 3, 31, 23}, 64, 48, {0, 2, 32, 22}},
        RegionCase{"ClippedToPicture", true, {-10, -10, 1000, 1000}, 64, 48, {0, 0, 64, 48}},
        RegionCase{
            "ClippedToEvenPartOfOddPicture", true, {40, 30, 65, 49}, 65, 49, {40, 30, 24, 18}},
        RegionCase{"MissingPictureShowsWhole", true, {100, 100, 200, 200}, 64, 48, {0, 0, 64, 48}},
        RegionCase{"LeftOfPictureShowsWhole", true, {-50, 0, -1, 10}, 64, 48, {0, 0, 64, 48}},
        RegionCase{"ExtremeValues",
                   true,
                   {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
                   64,
                   48,
                   {0, 0, 64, 48}},
        RegionCase{"OnePixelBecomesOneChromaSample", true, {5, 5, 6, 6}, 64, 48, {4, 4, 2, 2}}),
    [](const testing::TestParamInfo<RegionCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kvdraw
