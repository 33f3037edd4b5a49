// TKVMemBmp: the channel's current YV12 picture as a 32-bit top-down bitmap selected into a
// memory context, the source the channel stretches into its window when it draws frames
// itself. Used only by the thread that draws the channel's frames, which converts straight
// into the bitmap section's memory (no other thread touches that bitmap). Owns its context
// and its bitmap section; re-creates them only when the picture size changes.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi.h"

namespace zrplay {

// Converts a width x height YV12 picture (Y, then V, then U, packed) into 32-bit B, G, R, A
// pixels `stride` bytes apart. An odd size's chroma is first padded into `scratch` so the
// conversion never reads past the picture. Any thread; the caller owns both buffers.
void Yv12ToBgra(const uint8_t* yv12, int32_t width, int32_t height, uint8_t* out, int32_t stride,
                std::vector<uint8_t>& scratch);

class TKVMemBmp {
 public:
  TKVMemBmp();
  ~TKVMemBmp();
  TKVMemBmp(const TKVMemBmp&) = delete;
  TKVMemBmp& operator=(const TKVMemBmp&) = delete;

  // Fills the bitmap with the YV12 picture (at least YV12Size(width, height) bytes). A size
  // below 1 leaves nothing visible.
  void SetFrame(const uint8_t* buffer, int32_t width, int32_t height);

  // The memory context holding the bitmap; 0 before the first frame.
  plat::HDC context() const { return context_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

 private:
  void Release();
  void Create();

  plat::HDC context_ = 0;
  plat::HBITMAP bitmap_ = 0;
  int32_t height_ = 0;
  int32_t width_ = 0;
  void* bits_ = nullptr;
  plat::BITMAPINFO header_{};
  std::vector<uint8_t> padded_chroma_;  // only for odd sizes
};

}  // namespace zrplay
