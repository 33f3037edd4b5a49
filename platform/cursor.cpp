#include "platform/cursor.h"

#include <strings.h>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>

#include "platform/window_state.h"

namespace plat {

namespace {

constexpr int32_t kCursorSize = 32;
constexpr uint32_t kOutline = 0xFF000000u;
constexpr uint32_t kReleasedFill = 0xFFFFFFFFu;
constexpr uint32_t kPressedFill = 0xFFE02020u;

struct TCaseless {
  bool operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  }
};

struct TCursorEntry {
  std::string name;
  TCursorImage image;
};

// Standard cursors take the handles 1..; resources follow from kFirstResource on.
constexpr HCURSOR kFirstResource = 0x1000;

struct TCursorTables {
  std::mutex mutex;
  std::map<std::string, HCURSOR, TCaseless> by_name;
  std::map<HCURSOR, TCursorEntry> resources;
  std::map<TCursor, HCURSOR> screen_table;
  HCURSOR next = kFirstResource;
  TCursor screen_cursor = crDefault;
};

// One arrow of the direction cursors: pointing along (dx, dy) (y grows downwards), filled with
// `fill` and outlined in black, the hot spot at its tip.
TCursorImage DirectionArrow(int32_t dx, int32_t dy, uint32_t fill) {
  TCursorImage image;
  image.width = image.height = kCursorSize;
  image.pixels.assign(size_t(kCursorSize) * kCursorSize, 0);
  const double length = std::hypot(double(dx), double(dy));
  const double ux = dx / length, uy = dy / length;
  const double centre = (kCursorSize - 1) / 2.0;
  // Head from u = 2 to the tip at u = 13, shaft from u = -12 to 2, in pixels from the centre.
  const auto inside = [&](double px, double py) {
    const double u = (px - centre) * ux + (py - centre) * uy;
    const double v = -(px - centre) * uy + (py - centre) * ux;
    if (u >= 2 && u <= 13) return std::abs(v) <= (13 - u) * 0.8;
    return u >= -12 && u < 2 && std::abs(v) <= 2.5;
  };
  for (int32_t y = 0; y < kCursorSize; ++y)
    for (int32_t x = 0; x < kCursorSize; ++x) {
      uint32_t& pixel = image.pixels[size_t(y) * kCursorSize + x];
      if (inside(x, y)) {
        pixel = fill;
        continue;
      }
      for (int32_t ny = -1; ny <= 1 && pixel == 0; ++ny)
        for (int32_t nx = -1; nx <= 1 && pixel == 0; ++nx)
          if (inside(x + nx, y + ny)) pixel = kOutline;
    }
  image.hot_x = int32_t(std::lround(centre + 13 * ux));
  image.hot_y = int32_t(std::lround(centre + 13 * uy));
  return image;
}

HCURSOR RegisterLocked(TCursorTables& tables, const std::string& name, const TCursorImage& image) {
  auto it = tables.by_name.find(name);
  if (it != tables.by_name.end()) return it->second;
  const HCURSOR handle = tables.next++;
  tables.by_name.emplace(name, handle);
  tables.resources.emplace(handle, TCursorEntry{name, image});
  return handle;
}

TCursorTables& Tables() {
  static TCursorTables* tables = [] {
    auto* t = new TCursorTables;
    // Directions 1..8: the 3 × 3 grid without its centre, row by row.
    constexpr int32_t kDirections[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0},
                                           {1, 0},   {-1, 1}, {0, 1},  {1, 1}};
    for (int32_t n = 1; n <= 8; ++n) {
      const auto [dx, dy] = kDirections[n - 1];
      RegisterLocked(*t, "CURSOR_UP_" + std::to_string(n), DirectionArrow(dx, dy, kReleasedFill));
      RegisterLocked(*t, "CURSOR_DOWN_" + std::to_string(n), DirectionArrow(dx, dy, kPressedFill));
    }
    return t;
  }();
  return *tables;
}

bool IsStandard(TCursor cursor) {
  return cursor == crNone || cursor == crArrow || cursor == crCross || cursor == crIBeam ||
         cursor == crHandPoint;
}

}  // namespace

HCURSOR RegisterCursorResource(const std::string& name, const TCursorImage& image) {
  if (name.empty() || image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != size_t(image.width) * size_t(image.height))
    return 0;
  TCursorTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  return RegisterLocked(tables, name, image);
}

HCURSOR LoadCursor(intptr_t /*module*/, const std::string& name) {
  TCursorTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  auto it = tables.by_name.find(name);
  return it == tables.by_name.end() ? 0 : it->second;
}

HCURSOR StandardCursor(TCursor cursor) {
  if (cursor == crDefault) cursor = crArrow;
  // Standard handles are the cursor numbers negated: small positive values below resources.
  return IsStandard(cursor) ? HCURSOR{-cursor} : 0;
}

bool GetCursorImage(HCURSOR cursor, TCursorImage* image) {
  TCursorTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  auto it = tables.resources.find(cursor);
  if (it == tables.resources.end() || !image) return false;
  *image = it->second.image;
  return true;
}

std::string CursorName(HCURSOR cursor) {
  TCursorTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  auto it = tables.resources.find(cursor);
  return it == tables.resources.end() ? "" : it->second.name;
}

void SetScreenCursorEntry(TCursor number, HCURSOR cursor) {
  TCursorTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  tables.screen_table[number] = cursor;
}

HCURSOR ScreenCursorEntry(TCursor number) {
  TCursorTables& tables = Tables();
  {
    std::lock_guard<std::mutex> lock(tables.mutex);
    auto it = tables.screen_table.find(number);
    if (it != tables.screen_table.end()) return it->second;
  }
  return StandardCursor(number);
}

void SetScreenCursor(TCursor number) {
  TCursorTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  tables.screen_cursor = number;
}

TCursor GetScreenCursor() {
  TCursorTables& tables = Tables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  return tables.screen_cursor;
}

bool SetWindowCursor(HWND hwnd, TCursor number) {
  auto state = WindowStateOf(hwnd);
  if (!state) return false;
  std::lock_guard<std::mutex> lock(state->mutex);
  state->cursor = number;
  return true;
}

TCursor GetWindowCursor(HWND hwnd) {
  auto state = WindowStateOf(hwnd);
  if (!state) return crDefault;
  std::lock_guard<std::mutex> lock(state->mutex);
  return state->cursor;
}

HCURSOR CursorShownOver(HWND hwnd) {
  const TCursor screen = GetScreenCursor();
  if (screen != crDefault) return ScreenCursorEntry(screen);
  const TCursor own = GetWindowCursor(hwnd);
  return ScreenCursorEntry(own == crDefault ? crArrow : own);
}

}  // namespace plat
