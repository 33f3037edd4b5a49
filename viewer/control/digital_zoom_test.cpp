// Digital zoom's arithmetic: rounding halves to even, refining the region shown, and the steps
// around a point with their limits.
#include "viewer/control/digital_zoom.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace viewer {
namespace {

std::string Text(const std::optional<plat::RECT>& r) {
  if (!r) return "refused";
  return std::to_string(r->left) + "," + std::to_string(r->top) + "-" + std::to_string(r->right) +
         "," + std::to_string(r->bottom);
}

TEST(DigitalZoom, NearestGoesToTheEvenNeighbourOnlyWhenExactlyHalfway) {
  struct TCase {
    int64_t num, den;
    int32_t expected;
  };
  const std::vector<TCase> cases = {
      {387, 2, 194},   {317, 2, 158},   {5, 2, 2},       {7, 2, 4},       {-5, 2, -2},
      {-7, 2, -4},     {3168, 10, 317}, {2592, 10, 259}, {3165, 10, 316}, {3175, 10, 318},
      {1001, 2000, 1}, {999, 2000, 0},  {0, 7, 0},       {-1, 3, 0},      {-2, 3, -1},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(NearestRatio(c.num, c.den), c.expected) << c.num << "/" << c.den;
}

TEST(DigitalZoom, ZoomRefinesTheRegionAlreadyShown) {
  const plat::RECT whole{0, 0, 704, 576};
  struct TCase {
    const char* name;
    plat::RECT shown, selection;
    std::string expected;
  };
  const std::vector<TCase> cases = {
      {"the middle half of a 400 x 300 window", whole, {100, 75, 300, 225}, "176,144-528,432"},
      {"inside a zoomed region", {176, 144, 528, 432}, {0, 0, 200, 150}, "176,144-352,288"},
      {"negative points count as 0", whole, {-50, -20, 200, 150}, "0,0-352,288"},
      {"nothing beyond the region's edges",
       {176, 144, 528, 432},
       {0, 0, 800, 600},
       "176,144-528,432"},
      {"the whole window is the region shown",
       {10, 20, 110, 220},
       {0, 0, 400, 300},
       "10,20-110,220"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(Text(RefineZoomRegion(c.shown, 400, 300, c.selection)), c.expected) << c.name;
  EXPECT_EQ(Text(RefineZoomRegion(whole, 0, 300, {0, 0, 10, 10})), "refused");
}

TEST(DigitalZoom, StepsAroundAPointWithTheirLimits) {
  struct TCase {
    const char* name;
    plat::RECT shown;
    int32_t x, y;
    bool in;
    std::string expected;
  };
  const std::vector<TCase> cases = {
      // 352 x 288 shrinks to 316.8 → 317 and 259.2 → 259; 193.5 → 194 and 158.5 → 158.
      {"in, from the zoomed middle", {176, 144, 528, 432}, 200, 150, true, "194,158-511,417"},
      {"in, placed at the top left corner", {0, 0, 704, 576}, 0, 0, true, "0,0-634,518"},
      {"in, placed at the bottom right corner", {0, 0, 704, 576}, 400, 300, true, "70,58-704,576"},
      {"in, a point beyond the window stays in the picture",
       {0, 0, 704, 576},
       800,
       600,
       true,
       "140,116-704,576"},
      {"in, 100 x 100 is still allowed", {0, 0, 100, 100}, 0, 0, true, "0,0-90,90"},
      {"in, narrower than 100 is refused", {0, 0, 99, 300}, 0, 0, true, "refused"},
      {"in, lower than 100 is refused", {0, 0, 300, 99}, 0, 0, true, "refused"},
      {"out, grows by a tenth (halves to even again)",
       {176, 144, 528, 432},
       200,
       150,
       false,
       "158,130-545,447"},
      {"out, no wider than the picture", {0, 0, 700, 500}, 0, 0, false, "0,0-704,550"},
      {"out, the whole picture is refused", {0, 0, 704, 576}, 200, 150, false, "refused"},
      {"out, as wide as the picture is refused", {0, 0, 704, 300}, 200, 150, false, "refused"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(Text(StepZoomRegion(c.shown, 704, 576, 400, 300, c.x, c.y, c.in)), c.expected)
        << c.name;
}

}  // namespace
}  // namespace viewer
