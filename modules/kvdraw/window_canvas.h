// TWindowCanvas: a BGRA picture the size of a window's client rectangle, kept in a memory
// bitmap, and its copy into the window's surface. Used by one draw handle under that handle's
// lock; owns its memory context and bitmap, re-made only when the window's size changes.
#pragma once

#include <cstdint>

#include "platform/gdi.h"

namespace kvdraw {

class TWindowCanvas {
 public:
  TWindowCanvas() = default;
  ~TWindowCanvas();
  TWindowCanvas(const TWindowCanvas&) = delete;
  TWindowCanvas& operator=(const TWindowCanvas&) = delete;

  // Sizes the canvas to the window's client rectangle. False when the window is gone, its
  // client rectangle is empty or no bitmap of that size can be made.
  bool Fit(plat::HWND window);
  // Pixel memory of the fitted canvas: B, G, R, A per pixel, rows top-down, stride() apart.
  uint8_t* bits() const { return static_cast<uint8_t*>(bits_); }
  int32_t stride() const { return width_ * 4; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  // Copies the canvas into the window's surface, top-left aligned. False when the window is
  // gone.
  bool Present(plat::HWND window) const;
  // Frees the bitmap and the context.
  void Release();

 private:
  plat::HDC context_ = 0;
  plat::HBITMAP bitmap_ = 0;
  void* bits_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

}  // namespace kvdraw
