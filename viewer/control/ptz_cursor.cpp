#include "viewer/control/ptz_cursor.h"

#include <algorithm>
#include <string>

namespace viewer {

namespace {

// Cells of the grid, numbered 3 × row + column.
constexpr int32_t kCellCount = 9;
constexpr int32_t kCentreCell = 4;

// PTZ command of directions 1..8, for the two command tables.
constexpr int32_t kCommands[8] = {19, 0, 20, 2, 3, 21, 1, 22};
constexpr int32_t kQuviCommands[8] = {19, 12, 13, 18, 14, 17, 16, 15};

// Cell of the point (x, y) (not negative) in a 3 × 3 grid of cw × ch cells. The pixels left
// over when a size does not divide by 3 belong to the last column or row, so a point near the
// right or bottom edge never counts as the next row's left cell.
int32_t CellOf(int32_t x, int32_t y, int32_t cw, int32_t ch) {
  return 3 * std::min(y / ch, 2) + std::min(x / cw, 2);
}

}  // namespace

void RegisterDirectionCursors() {
  for (int32_t n = 1; n <= 8; ++n) {
    plat::SetScreenCursorEntry(2 * n - 1, plat::LoadCursor(0, "Cursor_Up_" + std::to_string(n)));
    plat::SetScreenCursorEntry(2 * n, plat::LoadCursor(0, "Cursor_Down_" + std::to_string(n)));
  }
}

plat::TCursor DirectionCursorAt(int32_t width, int32_t height, int32_t x, int32_t y) {
  const int32_t cw = width / 3;
  const int32_t ch = height / 3;
  // Below 9 pixels a cell or sub-cell of the grid would be empty: no direction there.
  if (cw / 3 == 0 || ch / 3 == 0) return plat::crDefault;
  int32_t cell = CellOf(x, y, cw, ch);
  // The edge-middle cells count only in their own sub-cell: the middle of the outer edge.
  struct TOrigin {
    int32_t cell, x, y;
  };
  const TOrigin origins[] = {{1, cw, 0}, {3, 0, ch}, {5, 2 * cw, ch}, {7, cw, 2 * ch}};
  for (const TOrigin& o : origins) {
    if (cell != o.cell) continue;
    if (CellOf(x - o.x, y - o.y, cw / 3, ch / 3) != cell) cell = 0;
    break;
  }
  if (cell < 0 || cell >= kCellCount || cell % 2 == 0) return plat::crDefault;
  return cell < kCentreCell ? 2 * cell + 1 : 2 * (cell - 1) + 1;
}

int32_t DirectionOfCursor(plat::TCursor cursor) {
  return (cursor + 1) / 2;
}

int32_t PtzCommandOfDirection(int32_t direction, bool quvi_mode) {
  if (direction < 1 || direction > 8) return direction;
  return (quvi_mode ? kQuviCommands : kCommands)[direction - 1];
}

}  // namespace viewer
