#include "modules/kvdraw/window_canvas.h"

namespace kvdraw {

TWindowCanvas::~TWindowCanvas() {
  Release();
}

bool TWindowCanvas::Fit(plat::HWND window) {
  plat::RECT client;
  if (!plat::GetClientRect(window, &client)) return false;
  const int32_t width = client.right - client.left;
  const int32_t height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return false;
  if (bitmap_ && width == width_ && height == height_) return true;
  Release();
  context_ = plat::CreateCompatibleDC(0);
  if (!context_) return false;
  plat::BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(plat::BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = plat::BI_RGB;
  bitmap_ = plat::CreateDIBSection(context_, &info, plat::DIB_RGB_COLORS, &bits_, nullptr, 0);
  if (!bitmap_) {
    Release();
    return false;
  }
  // A fresh context had no bitmap before, so the result (the previous one, 0) says nothing.
  plat::SelectObject(context_, bitmap_);
  width_ = width;
  height_ = height;
  return true;
}

bool TWindowCanvas::Present(plat::HWND window) const {
  if (!bitmap_) return false;
  const plat::HDC dc = plat::GetDC(window);
  if (!dc) return false;
  // Same size on both sides: the stretching copy is a plain copy.
  const bool copied =
      plat::StretchBlt(dc, 0, 0, width_, height_, context_, 0, 0, width_, height_, plat::SRCCOPY);
  plat::ReleaseDC(window, dc);
  return copied;
}

void TWindowCanvas::Release() {
  if (bitmap_) plat::DeleteObject(bitmap_);
  if (context_) plat::DeleteDC(context_);
  context_ = 0;
  bitmap_ = 0;
  bits_ = nullptr;
  width_ = 0;
  height_ = 0;
}

}  // namespace kvdraw
