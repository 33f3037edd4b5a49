#include "player/imaging/yv12_picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zrplay {

namespace {

size_t ChromaPlaneSize(int32_t width, int32_t height) {
  return static_cast<size_t>(width / 2) * static_cast<size_t>(height / 2);
}

// One colour channel: rounded to the nearest integer, halves to even (the default rounding
// mode), then limited to a byte.
uint8_t ToByte(double value) {
  return static_cast<uint8_t>(std::clamp(std::nearbyint(value), 0.0, 255.0));
}

void CopyRows(uint8_t*& out, const uint8_t* in, size_t row_bytes, int32_t rows, size_t pitch) {
  for (int32_t r = 0; r < rows; ++r) {
    std::memcpy(out, in + pitch * static_cast<size_t>(r), row_bytes);
    out += row_bytes;
  }
}

void RotatePlane(uint8_t* destination, const uint8_t* source, int32_t w, int32_t h) {
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      destination[static_cast<size_t>(x) * h + y] = source[static_cast<size_t>(h - 1 - y) * w + x];
}

}  // namespace

size_t YV12Size(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<size_t>(width) * static_cast<size_t>(height) +
         2 * ChromaPlaneSize(width, height);
}

std::unique_ptr<TBitmap24> YV12ToBitmap24(const uint8_t* buffer, int32_t width, int32_t height) {
  if (!buffer || width <= 0 || height <= 0) return nullptr;
  auto bitmap = std::make_unique<TBitmap24>();
  bitmap->width = width;
  bitmap->height = height;
  bitmap->pixels.resize(static_cast<size_t>(width) * height * 3);

  const size_t luma_size = static_cast<size_t>(width) * height;
  const int32_t chroma_w = width / 2;
  const int32_t chroma_h = height / 2;
  const uint8_t* v_plane = buffer + luma_size;
  const uint8_t* u_plane = v_plane + ChromaPlaneSize(width, height);
  const bool has_chroma = chroma_w > 0 && chroma_h > 0;

  uint8_t* out = bitmap->pixels.data();
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* y_row = buffer + static_cast<size_t>(width) * r;
    const size_t chroma_row = static_cast<size_t>(std::min(r / 2, chroma_h - 1)) * chroma_w;
    for (int32_t c = 0; c < width; ++c) {
      int u = 128;
      int v = 128;
      if (has_chroma) {
        const size_t at = chroma_row + std::min(c / 2, chroma_w - 1);
        u = u_plane[at];
        v = v_plane[at];
      }
      const double d = 1.16483 * (y_row[c] - 16);
      *out++ = ToByte(d + 2.017232 * (u - 128));                         // B
      *out++ = ToByte(d - 0.391762 * (u - 128) - 0.812968 * (v - 128));  // G
      *out++ = ToByte(d + 1.596027 * (v - 128));                         // R
    }
  }
  return bitmap;
}

void PackPlanes(uint8_t* destination, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                int32_t width, int32_t height, int32_t stride) {
  if (!destination || width <= 0 || height <= 0) return;
  uint8_t* out = destination;
  const size_t pitch = static_cast<size_t>(stride);
  CopyRows(out, y, static_cast<size_t>(width), height, pitch);
  CopyRows(out, v, static_cast<size_t>(width / 2), height / 2, pitch / 2);
  CopyRows(out, u, static_cast<size_t>(width / 2), height / 2, pitch / 2);
}

void RotateYV12(uint8_t* destination, const uint8_t* source, int32_t width, int32_t height) {
  if (!destination || !source || width <= 0 || height <= 0) return;
  RotatePlane(destination, source, width, height);
  const size_t luma_size = static_cast<size_t>(width) * height;
  const size_t chroma_size = ChromaPlaneSize(width, height);
  RotatePlane(destination + luma_size, source + luma_size, width / 2, height / 2);
  RotatePlane(destination + luma_size + chroma_size, source + luma_size + chroma_size, width / 2,
              height / 2);
}

}  // namespace zrplay
