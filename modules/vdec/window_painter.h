// TWindowPainter: draws a port's pictures into the window the port plays in when the caller
// gave one: the picture, or the display region's part of it, converted to 32-bit and scaled
// to the window's client area. Used by the port's decoding thread only; owns its conversion
// state, its memory context and bitmap.
#pragma once

#include <cstdint>

#include "modules/vdec/vdec.h"
#include "platform/gdi.h"

struct AVFrame;
struct SwsContext;

namespace vdec {

class TWindowPainter {
 public:
  TWindowPainter() = default;
  ~TWindowPainter();
  TWindowPainter(const TWindowPainter&) = delete;
  TWindowPainter& operator=(const TWindowPainter&) = delete;

  // Draws the source rectangle of the 8-bit 4:2:0 picture (right and bottom outside; all
  // zero for the whole picture) over the window's client area. Nothing for a window that is
  // gone or has no area, or a rectangle outside the picture.
  void Paint(VDEC_HWND window, const AVFrame& picture, const VDEC_RECT& source);

 private:
  bool EnsureBitmap(int32_t width, int32_t height);
  void FreeBitmap();

  SwsContext* sws_ = nullptr;
  plat::HDC memory_dc_ = 0;
  plat::HBITMAP bitmap_ = 0;
  plat::HGDIOBJ previous_ = 0;
  uint8_t* bits_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

}  // namespace vdec
