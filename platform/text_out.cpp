#include "platform/text_out.h"

#include <algorithm>
#include <mutex>

#include "platform/font_raster.h"
#include "platform/surface.h"

namespace plat {

namespace {

bool MakeFont(const TFontSpec& font_spec, TRasterFont& font) {
  const TFontFace face = FindFontFace(font_spec.name, font_spec.bold);
  return font.Create({.height = font_spec.PixelHeight(), .bold = font_spec.bold}, face);
}

}  // namespace

RECT MeasureText(const std::string& text, const TFontSpec& font) {
  TRasterFont raster;
  if (!MakeFont(font, raster)) return RECT{};
  const TTextExtent extent = raster.Measure(text);
  return RECT{0, 0, extent.cx, extent.cy};
}

bool DrawText(HDC dc, const std::string& text, const RECT& rect, UINT format,
              const TFontSpec& font) {
  auto surface = TargetOfDC(dc);
  TRasterFont raster;
  if (!surface || !MakeFont(font, raster)) return false;
  const TTextExtent extent = raster.Measure(text);
  if (extent.cx <= 0 || extent.cy <= 0) return true;
  int32_t x = rect.left;
  if (format & DT_CENTER) {
    x = rect.left + (rect.right - rect.left - extent.cx) / 2;
  } else if (format & DT_RIGHT) {
    x = rect.right - extent.cx;
  }
  const int32_t y =
      (format & DT_VCENTER) ? rect.top + (rect.bottom - rect.top - extent.cy) / 2 : rect.top;
  TMonoBitmap glyphs;
  if (!glyphs.Create(extent.cx, extent.cy)) return false;
  raster.Draw(glyphs, text, 0, 0, TClipRect{0, 0, extent.cx, extent.cy}, true, false);
  const uint32_t pixel = PixelOf(font.color);
  std::lock_guard<std::mutex> lock(surface->mutex);
  const int32_t left = std::max({rect.left, x, 0});
  const int32_t top = std::max({rect.top, y, 0});
  const int32_t right = std::min({rect.right, x + extent.cx, surface->width});
  const int32_t bottom = std::min({rect.bottom, y + extent.cy, surface->height});
  for (int32_t row = top; row < bottom; ++row)
    for (int32_t column = left; column < right; ++column)
      if (glyphs.Pixel(column - x, row - y))
        surface->pixels[size_t(row) * surface->width + column] = pixel;
  surface->MarkChanged();
  return true;
}

}  // namespace plat
