// Cursors: images registered under resource names (the 16 direction cursors are built in as
// "CURSOR_UP_1".."CURSOR_UP_8" and "CURSOR_DOWN_1".."CURSOR_DOWN_8"), the application's screen
// cursor table and its current screen cursor (a process-wide number), and each window's own
// cursor. There is no pointer on screen here: a host asks CursorShownOver what to draw.
// Any thread may call; the tables are process-wide.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/messages.h"
#include "platform/platform_api.h"

namespace plat {

using HCURSOR = intptr_t;
// A cursor number: 0 the default, negative the standard cursors, positive the entries an
// application adds to its screen cursor table.
using TCursor = int32_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crHandPoint = -21;

// A cursor picture: width × height values 0xAARRGGBB (alpha 0 transparent), rows top-down, and
// the hot spot.
struct TCursorImage {
  int32_t width = 0;
  int32_t height = 0;
  int32_t hot_x = 0;
  int32_t hot_y = 0;
  std::vector<uint32_t> pixels;
};

// Adds a cursor resource under a name (matched case-insensitively) and returns its handle; a
// name already registered keeps its first image and handle. 0 for an empty name or an image
// whose pixels do not match its size.
QUVI_PLATFORM_API HCURSOR RegisterCursorResource(const std::string& name,
                                                 const TCursorImage& image);
// The cursor resource of that name, 0 when there is none. The module handle is accepted for the
// shape of the call and not used: resources are process-wide.
QUVI_PLATFORM_API HCURSOR LoadCursor(intptr_t module, const std::string& name);
// The handle of a standard cursor (crArrow, crCross, crHandPoint, …; crDefault gives crArrow).
QUVI_PLATFORM_API HCURSOR StandardCursor(TCursor cursor);
QUVI_PLATFORM_API bool GetCursorImage(HCURSOR cursor, TCursorImage* image);
// The resource name a handle was registered under ("" for a standard or unknown cursor).
QUVI_PLATFORM_API std::string CursorName(HCURSOR cursor);

// The application's screen cursor table: number → cursor. Standard numbers are always there.
QUVI_PLATFORM_API void SetScreenCursorEntry(TCursor number, HCURSOR cursor);
QUVI_PLATFORM_API HCURSOR ScreenCursorEntry(TCursor number);
// The screen cursor, which overrides every window's own cursor while it is not crDefault.
QUVI_PLATFORM_API void SetScreenCursor(TCursor number);
QUVI_PLATFORM_API TCursor GetScreenCursor();
// A window's own cursor number; false for an unknown window.
QUVI_PLATFORM_API bool SetWindowCursor(HWND hwnd, TCursor number);
QUVI_PLATFORM_API TCursor GetWindowCursor(HWND hwnd);
// What the pointer shows over the window: the screen cursor when set, else the window's own,
// else the arrow.
QUVI_PLATFORM_API HCURSOR CursorShownOver(HWND hwnd);

}  // namespace plat
