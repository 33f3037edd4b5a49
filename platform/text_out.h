// Text output into a window surface or bitmap through a device context: one line in a font
// named by family, size in points, colour and weight, aligned in a rectangle. Glyphs come from
// the shared font engine (font_raster.h), so a CJK-capable face fills in what the named family
// lacks. Any thread; each call makes its own font.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi.h"
#include "platform/platform_api.h"
#include "platform/window.h"

namespace plat {

struct TFontSpec {
  std::string name;  // family; empty for the system's default CJK-capable sans
  int32_t size = 9;  // points at 96 pixels per inch
  COLORREF color = 0;
  bool bold = false;
  // Cell height in pixels (ascent plus descent) of the size.
  int32_t PixelHeight() const { return (size * 96 + 36) / 72; }
};

// Horizontal placement, as DrawText's format flags.
constexpr UINT DT_LEFT = 0x0;
constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_RIGHT = 0x2;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_SINGLELINE = 0x20;

// Width and cell height of the line in the font; (0, 0) when no face can be loaded.
QUVI_PLATFORM_API RECT MeasureText(const std::string& text, const TFontSpec& font);
// Draws UTF-8 text as one line inside the rectangle (clipped to it): left, centred or right,
// at the top or centred vertically. Only glyph pixels are written (a transparent background).
// False for a context without a surface or a font that cannot be made.
QUVI_PLATFORM_API bool DrawText(HDC dc, const std::string& text, const RECT& rect, UINT format,
                                const TFontSpec& font);

}  // namespace plat
