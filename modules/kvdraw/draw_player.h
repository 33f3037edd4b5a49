// TDrawPlayer: one draw handle's state, the window it draws into and its zoom, and the
// drawing of a YV12 picture there (libyuv scaling to the window's size, then conversion to
// BGRA). Any thread may call; one lock serialises the calls, so the window's thread can zoom
// or close while the decoder's thread draws. Owns its canvas and its scaling buffer.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "modules/kvdraw/kvdraw.h"
#include "modules/kvdraw/window_canvas.h"
#include "platform/messages.h"

namespace kvdraw {

// A part of a picture, in pixels.
struct TRegion {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;

  bool operator==(const TRegion&) const = default;
};

// The part of a width x height picture to show, on even pixel edges so that it starts and
// ends on whole chroma samples: the zoom rectangle (nullptr when zoom is off) clipped to the
// picture and widened to even edges, or the whole picture when zoom is off or the rectangle
// misses it. An odd last column or row, which has no chroma, is never part of it.
TRegion SourceRegion(const ZRDRAW_RECT* zoom, int32_t width, int32_t height);

// Whether a buffer of `size` bytes can be drawn as a YV12 picture of width x height: not
// null, covering width x height x 3 / 2 bytes, each side from 2 to ZRDRAW_MAX_PICTURE_SIDE.
bool DrawablePicture(const uint8_t* buffer, int32_t size, int32_t width, int32_t height);

class TDrawPlayer {
 public:
  explicit TDrawPlayer(plat::HWND window);
  TDrawPlayer(const TDrawPlayer&) = delete;
  TDrawPlayer& operator=(const TDrawPlayer&) = delete;

  // Draws the picture into the whole client rectangle; false when nothing was drawn.
  bool Draw(const uint8_t* buffer, int32_t size, int32_t width, int32_t height);
  // Sets or clears the zoom rectangle and, when `window` is nonzero, the window to draw into;
  // false (nothing changed) for a bad rectangle or window, or after Close.
  bool Zoom(const ZRDRAW_RECT* source, plat::HWND window, bool enable);
  // Waits for a running draw, frees the canvas; every later call fails.
  void Close();

 private:
  std::mutex mutex_;
  bool closed_ = false;
  plat::HWND window_;
  bool zoom_enabled_ = false;
  ZRDRAW_RECT zoom_{};
  TWindowCanvas canvas_;
  std::vector<uint8_t> scaled_;  // the shown region as I420 at the canvas's size
};

}  // namespace kvdraw
