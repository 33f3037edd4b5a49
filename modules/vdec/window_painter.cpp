#include "modules/vdec/window_painter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <algorithm>

namespace vdec {

TWindowPainter::~TWindowPainter() {
  FreeBitmap();
  sws_freeContext(sws_);
}

void TWindowPainter::FreeBitmap() {
  if (memory_dc_ != 0) {
    plat::SelectObject(memory_dc_, previous_);
    plat::DeleteDC(memory_dc_);
  }
  if (bitmap_ != 0) plat::DeleteObject(bitmap_);
  memory_dc_ = 0;
  bitmap_ = 0;
  previous_ = 0;
  bits_ = nullptr;
  width_ = height_ = 0;
}

bool TWindowPainter::EnsureBitmap(int32_t width, int32_t height) {
  if (bits_ != nullptr && width == width_ && height == height_) return true;
  FreeBitmap();
  plat::BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = plat::BI_RGB;
  memory_dc_ = plat::CreateCompatibleDC(0);
  void* bits = nullptr;
  bitmap_ = plat::CreateDIBSection(memory_dc_, &info, plat::DIB_RGB_COLORS, &bits, nullptr, 0);
  if (memory_dc_ == 0 || bitmap_ == 0 || bits == nullptr) {
    FreeBitmap();
    return false;
  }
  previous_ = plat::SelectObject(memory_dc_, bitmap_);
  bits_ = static_cast<uint8_t*>(bits);
  width_ = width;
  height_ = height;
  return true;
}

void TWindowPainter::Paint(VDEC_HWND window, const AVFrame& picture, const VDEC_RECT& source) {
  plat::RECT client;
  if (!plat::GetClientRect(window, &client)) return;
  const int32_t out_w = client.right - client.left;
  const int32_t out_h = client.bottom - client.top;
  if (out_w <= 0 || out_h <= 0) return;

  VDEC_RECT r = source;
  if (r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0) {
    r = VDEC_RECT{0, 0, picture.width, picture.height};
  }
  // Chroma rows and columns cover two luma ones: the part starts on an even sample.
  r.left = std::max(0, r.left) & ~1;
  r.top = std::max(0, r.top) & ~1;
  r.right = std::min(r.right, picture.width);
  r.bottom = std::min(r.bottom, picture.height);
  const int32_t in_w = r.right - r.left;
  const int32_t in_h = r.bottom - r.top;
  if (in_w <= 0 || in_h <= 0) return;

  sws_ = sws_getCachedContext(sws_, in_w, in_h, static_cast<AVPixelFormat>(picture.format), out_w,
                              out_h, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (sws_ == nullptr || !EnsureBitmap(out_w, out_h)) return;
  const uint8_t* planes[4] = {
      picture.data[0] + static_cast<ptrdiff_t>(r.top) * picture.linesize[0] + r.left,
      picture.data[1] + static_cast<ptrdiff_t>(r.top / 2) * picture.linesize[1] + r.left / 2,
      picture.data[2] + static_cast<ptrdiff_t>(r.top / 2) * picture.linesize[2] + r.left / 2,
      nullptr};
  uint8_t* out[4] = {bits_, nullptr, nullptr, nullptr};
  const int out_stride[4] = {out_w * 4, 0, 0, 0};
  if (sws_scale(sws_, planes, picture.linesize, 0, in_h, out, out_stride) <= 0) return;

  const plat::HDC dc = plat::GetDC(window);
  if (dc == 0) return;
  plat::StretchBlt(dc, client.left, client.top, out_w, out_h, memory_dc_, 0, 0, out_w, out_h,
                   plat::SRCCOPY);
  plat::ReleaseDC(window, dc);
}

}  // namespace vdec
