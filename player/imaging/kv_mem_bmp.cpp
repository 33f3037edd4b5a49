#include "player/imaging/kv_mem_bmp.h"

#include <libyuv/convert_argb.h>

#include <algorithm>

#include "player/imaging/yv12_picture.h"
#include "player/player_log.h"

namespace zrplay {

namespace {

// Handles are logged as 8 hexadecimal digits, as the desktop's 32-bit handles were.
unsigned HandleDigits(intptr_t handle) {
  return static_cast<unsigned>(handle);
}

// Copies a (w div 2) × (h div 2) chroma plane into one of ((w + 1) div 2) × ((h + 1) div 2),
// repeating the last column and row (neutral grey when the source plane is empty).
void PadChroma(uint8_t* out, const uint8_t* in, int32_t w, int32_t h) {
  const int32_t in_w = w / 2, in_h = h / 2;
  const int32_t out_w = (w + 1) / 2, out_h = (h + 1) / 2;
  for (int32_t r = 0; r < out_h; ++r) {
    for (int32_t c = 0; c < out_w; ++c) {
      *out++ = (in_w == 0 || in_h == 0)
                   ? 128
                   : in[static_cast<size_t>(std::min(r, in_h - 1)) * in_w + std::min(c, in_w - 1)];
    }
  }
}

}  // namespace

TKVMemBmp::TKVMemBmp() = default;

TKVMemBmp::~TKVMemBmp() {
  Release();
}

void TKVMemBmp::SetFrame(const uint8_t* buffer, int32_t width, int32_t height) {
  if (width != width_ || height != height_) {
    Release();
    width_ = width;
    height_ = height;
    Create();
  }
  if (!buffer || !bitmap_ || width_ <= 0 || height_ <= 0) return;
  // Into the section itself: a staging array would cost a second copy of every picture.
  Yv12ToBgra(buffer, width_, height_, static_cast<uint8_t*>(bits_), width_ * 4, padded_chroma_);
}

void Yv12ToBgra(const uint8_t* buffer, int32_t w, int32_t h, uint8_t* pixels, int32_t stride,
                std::vector<uint8_t>& padded_chroma) {
  if (w % 2 == 0 && h % 2 == 0) {
    const size_t luma = static_cast<size_t>(w) * h;
    libyuv::I420ToARGB(buffer, w, buffer + luma * 5 / 4, w / 2, buffer + luma, w / 2, pixels,
                       stride, w, h);
    return;
  }
  const size_t luma = static_cast<size_t>(w) * h;
  const size_t in_chroma = static_cast<size_t>(w / 2) * (h / 2);
  const int32_t padded_w = (w + 1) / 2;
  const size_t padded = static_cast<size_t>(padded_w) * ((h + 1) / 2);
  padded_chroma.resize(padded * 2);
  uint8_t* v = padded_chroma.data();
  uint8_t* u = v + padded;
  PadChroma(v, buffer + luma, w, h);
  PadChroma(u, buffer + luma + in_chroma, w, h);
  libyuv::I420ToARGB(buffer, w, u, padded_w, v, padded_w, pixels, stride, w, h);
}

void TKVMemBmp::Create() {
  if (width_ <= 0 || height_ <= 0) return;
  if (!context_) {
    context_ = plat::CreateCompatibleDC(0);
    WriteLogF("create dc = 0x%08X", HandleDigits(context_));
  }
  header_ = plat::BITMAPINFO{};
  header_.bmiHeader.biSize = sizeof(plat::BITMAPINFOHEADER);
  header_.bmiHeader.biWidth = width_;
  header_.bmiHeader.biHeight = -height_;
  header_.bmiHeader.biPlanes = 1;
  header_.bmiHeader.biBitCount = 32;
  header_.bmiHeader.biCompression = plat::BI_RGB;
  header_.bmiHeader.biSizeImage =
      static_cast<uint32_t>(width_) * static_cast<uint32_t>(height_) * 4;
  bitmap_ = plat::CreateDIBSection(context_, &header_, plat::DIB_RGB_COLORS, &bits_, nullptr, 0);
  if (!bitmap_) return;  // nothing visible; the next size change tries again
  plat::SelectObject(context_, bitmap_);
}

void TKVMemBmp::Release() {
  if (bitmap_) {
    plat::DeleteObject(bitmap_);
    bitmap_ = 0;
    bits_ = nullptr;
  }
  if (context_) {
    plat::DeleteDC(context_);
    WriteLogF("free dc 0x%08X", HandleDigits(context_));
    context_ = 0;
  }
}

}  // namespace zrplay
