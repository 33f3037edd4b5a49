#include "modules/kvdraw/draw_player.h"

#include <libyuv/convert_argb.h>
#include <libyuv/scale.h>

#include <algorithm>

namespace kvdraw {

namespace {

int32_t EvenDown(int32_t v) {
  return v & ~1;
}

int32_t EvenUp(int32_t v) {
  return (v + 1) & ~1;
}

}  // namespace

TRegion SourceRegion(const ZRDRAW_RECT* zoom, int32_t width, int32_t height) {
  const TRegion whole{0, 0, EvenDown(width), EvenDown(height)};
  if (!zoom) return whole;
  const int32_t left = EvenDown(std::max(zoom->left, 0));
  const int32_t top = EvenDown(std::max(zoom->top, 0));
  // The whole width is even, so widening the right and bottom edges stays inside it.
  const int32_t right = EvenUp(std::min(zoom->right, whole.width));
  const int32_t bottom = EvenUp(std::min(zoom->bottom, whole.height));
  if (right <= left || bottom <= top) return whole;
  return TRegion{left, top, right - left, bottom - top};
}

bool DrawablePicture(const uint8_t* buffer, int32_t size, int32_t width, int32_t height) {
  if (!buffer || width < 2 || height < 2 || width > ZRDRAW_MAX_PICTURE_SIDE ||
      height > ZRDRAW_MAX_PICTURE_SIDE)
    return false;
  return int64_t{size} >= int64_t{width} * height * 3 / 2;
}

TDrawPlayer::TDrawPlayer(plat::HWND window) : window_(window) {}

bool TDrawPlayer::Draw(const uint8_t* buffer, int32_t size, int32_t width, int32_t height) {
  if (!DrawablePicture(buffer, size, width, height)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_ || !canvas_.Fit(window_)) return false;

  const TRegion region = SourceRegion(zoom_enabled_ ? &zoom_ : nullptr, width, height);
  const size_t luma = static_cast<size_t>(width) * height;
  const int32_t chroma_stride = width / 2;
  const size_t chroma_plane = static_cast<size_t>(chroma_stride) * (height / 2);
  const size_t chroma_offset =
      static_cast<size_t>(region.y / 2) * chroma_stride + static_cast<size_t>(region.x / 2);
  const uint8_t* src_y = buffer + static_cast<size_t>(region.y) * width + region.x;
  const uint8_t* src_v = buffer + luma + chroma_offset;
  const uint8_t* src_u = buffer + luma + chroma_plane + chroma_offset;

  const int32_t out_w = canvas_.width();
  const int32_t out_h = canvas_.height();
  const int32_t out_chroma_w = (out_w + 1) / 2;
  const size_t out_luma = static_cast<size_t>(out_w) * out_h;
  const size_t out_chroma = static_cast<size_t>(out_chroma_w) * ((out_h + 1) / 2);
  scaled_.resize(out_luma + 2 * out_chroma);
  uint8_t* dst_y = scaled_.data();
  uint8_t* dst_u = dst_y + out_luma;
  uint8_t* dst_v = dst_u + out_chroma;

  if (libyuv::I420Scale(src_y, width, src_u, chroma_stride, src_v, chroma_stride, region.width,
                        region.height, dst_y, out_w, dst_u, out_chroma_w, dst_v, out_chroma_w,
                        out_w, out_h, libyuv::kFilterBilinear) != 0)
    return false;
  if (libyuv::I420ToARGB(dst_y, out_w, dst_u, out_chroma_w, dst_v, out_chroma_w, canvas_.bits(),
                         canvas_.stride(), out_w, out_h) != 0)
    return false;
  return canvas_.Present(window_);
}

bool TDrawPlayer::Zoom(const ZRDRAW_RECT* source, plat::HWND window, bool enable) {
  if (window == plat::INVALID_HWND || (window != 0 && !plat::IsWindow(window))) return false;
  if (enable && (!source || source->right <= source->left || source->bottom <= source->top))
    return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return false;
  if (window != 0) window_ = window;
  zoom_enabled_ = enable;
  if (enable) zoom_ = *source;
  return true;
}

void TDrawPlayer::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  canvas_.Release();
  scaled_.clear();
  scaled_.shrink_to_fit();
}

}  // namespace kvdraw
