// Cursor PTZ control's rules: the cursor each point of the window shows, with the narrowed
// edge cells, the screen cursor table of the direction cursors, and the two command tables.
#include "viewer/control/ptz_cursor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace viewer {
namespace {

struct TPointCase {
  int32_t width, height, x, y;
  plat::TCursor expected;
};

TEST(PtzCursor, EdgeMiddlesShowTheirDirectionAndEverythingElseTheDefault) {
  const std::vector<TPointCase> cases = {
      // A 300 × 300 window: cells of 100, sub-cells of 33.
      {300, 300, 150, 10, 3},
      {300, 300, 150, 50, plat::crDefault},  // top-middle cell, but not at the edge
      {300, 300, 10, 150, 7},
      {300, 300, 290, 150, 9},
      {300, 300, 150, 290, 13},
      {300, 300, 150, 150, plat::crDefault},  // centre
      {300, 300, 5, 5, plat::crDefault},      // corners
      {300, 300, 295, 5, plat::crDefault},
      {300, 300, 5, 295, plat::crDefault},
      {300, 300, 295, 295, plat::crDefault},
      // The sub-cell's bounds: x 133..165 and y 0..32 for the top.
      {300, 300, 133, 0, 3},
      {300, 300, 165, 32, 3},
      {300, 300, 132, 0, plat::crDefault},
      {300, 300, 166, 0, plat::crDefault},
      {300, 300, 150, 33, plat::crDefault},
      {300, 300, 0, 133, 7},
      {300, 300, 33, 150, plat::crDefault},
      {300, 300, 299, 165, 9},
      {300, 300, 150, 299, 13},
      // A 400 × 300 window: cells of 133 × 100, sub-cells of 44 × 33.
      {400, 300, 200, 10, 3},
      {400, 300, 390, 150, 9},
      {400, 300, 200, 299, 13},
      // Sizes that do not divide by 3: the pixels left over belong to the last column or row,
      // so the right edge is never taken for the next row's left cell.
      {301, 301, 300, 10, plat::crDefault},
      {301, 301, 300, 150, 9},
      {301, 301, 150, 300, 13},
      // Too small for the grid.
      {8, 300, 4, 150, plat::crDefault},
      {300, 8, 150, 0, plat::crDefault},
      {9, 9, 4, 0, 3},
  };
  for (const TPointCase& c : cases)
    EXPECT_EQ(DirectionCursorAt(c.width, c.height, c.x, c.y), c.expected)
        << c.width << "x" << c.height << " at (" << c.x << "," << c.y << ")";
}

TEST(PtzCursor, DirectionCursorsFillTheScreenCursorTable) {
  RegisterDirectionCursors();
  for (int32_t n = 1; n <= 8; ++n) {
    EXPECT_EQ(plat::CursorName(plat::ScreenCursorEntry(2 * n - 1)),
              "CURSOR_UP_" + std::to_string(n));
    EXPECT_EQ(plat::CursorName(plat::ScreenCursorEntry(2 * n)), "CURSOR_DOWN_" + std::to_string(n));
    // Both looks of a cursor stand for its direction.
    EXPECT_EQ(DirectionOfCursor(2 * n - 1), n);
    EXPECT_EQ(DirectionOfCursor(2 * n), n);
  }
  plat::TCursorImage released, pressed;
  ASSERT_TRUE(plat::GetCursorImage(plat::ScreenCursorEntry(3), &released));
  ASSERT_TRUE(plat::GetCursorImage(plat::ScreenCursorEntry(4), &pressed));
  EXPECT_NE(released.pixels, pressed.pixels) << "the pressed look differs";
  // Up points up: the hot spot at the top.
  EXPECT_LT(released.hot_y, released.height / 4);
}

TEST(PtzCursor, CommandTables) {
  const std::vector<int32_t> plain = {19, 0, 20, 2, 3, 21, 1, 22};
  const std::vector<int32_t> quvi = {19, 12, 13, 18, 14, 17, 16, 15};
  for (int32_t d = 1; d <= 8; ++d) {
    EXPECT_EQ(PtzCommandOfDirection(d, false), plain[d - 1]) << d;
    EXPECT_EQ(PtzCommandOfDirection(d, true), quvi[d - 1]) << d;
  }
  for (int32_t other : {0, 9, 40, -1}) {
    EXPECT_EQ(PtzCommandOfDirection(other, false), other);
    EXPECT_EQ(PtzCommandOfDirection(other, true), other);
  }
}

}  // namespace
}  // namespace viewer
