// Picture-level tools around the channel's current picture, one contiguous YV12 buffer of
// width W and height H: the Y plane (W × H), then V, then U, each (W div 2) × (H div 2).
// Callers pass buffers of at least W × H × 3 div 2 bytes. Plain functions on the drawing
// thread; they own nothing but the bitmap they return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zrplay {

// A 24-bit picture for snapshot files: rows of B, G, R bytes, top-down and back to back.
struct TBitmap24 {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // width × height × 3

  const uint8_t* Pixel(int32_t x, int32_t y) const {
    return &pixels[(static_cast<size_t>(y) * width + x) * 3];
  }
};

// Bytes of a YV12 picture of that size.
size_t YV12Size(int32_t width, int32_t height);

// The picture as a new 24-bit bitmap (each channel rounded half to even and limited to
// 0..255); nullptr for a width or height below 1. Where an odd size leaves the last column or
// row without chroma of its own, it takes the nearest chroma sample there is (neutral when the
// picture has none), rather than reading past its plane.
std::unique_ptr<TBitmap24> YV12ToBitmap24(const uint8_t* buffer, int32_t width, int32_t height);

// Packs a decoded picture given as three planes (Y rows `stride` bytes apart, chroma rows
// stride div 2) into `destination` as contiguous YV12 (Y, V, U) of YV12Size bytes.
void PackPlanes(uint8_t* destination, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                int32_t width, int32_t height, int32_t stride);

// Writes the picture turned 90 degrees clockwise into `destination` (height wide, width
// high, YV12 of the same size): the source's bottom-left pixel becomes the top-left.
void RotateYV12(uint8_t* destination, const uint8_t* source, int32_t width, int32_t height);

}  // namespace zrplay
