// Cursor PTZ control's rules: which direction cursor a point of the window shows (the 3 × 3
// grid of the window, its edge-middle cells narrowed to the middle ninth at the outer edge),
// the direction cursors' places in the application's screen cursor table, and the PTZ command
// of each direction. Any thread; the cursor table is process-wide.
#pragma once

#include <cstdint>

#include "platform/cursor.h"

namespace viewer {

// Directions, the 3 × 3 grid without its centre, row by row.
constexpr int32_t kDirUpLeft = 1, kDirUp = 2, kDirUpRight = 3, kDirLeft = 4, kDirRight = 5,
                  kDirDownLeft = 6, kDirDown = 7, kDirDownRight = 8;

// Loads the 16 direction cursors by name and puts them into the screen cursor table:
// 2n - 1 is "Cursor_Up_<n>" (released look), 2n "Cursor_Down_<n>" (pressed look).
void RegisterDirectionCursors();

// The screen cursor for the point (x, y) of a width × height window: 3 (up), 7 (left),
// 9 (right) or 13 (down) in the middle of an edge, crDefault anywhere else, and also in a
// window too small for the grid. The point must lie inside the window.
plat::TCursor DirectionCursorAt(int32_t width, int32_t height, int32_t x, int32_t y);

// The direction a screen cursor (released or pressed look) stands for.
int32_t DirectionOfCursor(plat::TCursor cursor);

// The PTZ command number for a direction; other values are the command number themselves.
int32_t PtzCommandOfDirection(int32_t direction, bool quvi_mode);

}  // namespace viewer
