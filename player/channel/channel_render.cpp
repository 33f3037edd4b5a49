// The channel's own drawing path: the decoder's picture hook (copy into the frame buffer,
// rotation, callbacks, draw), redrawing, display regions, the picture size and the callback
// registrations.
#include <exception>

#include "player/channel/channel.h"
#include "player/config/player_settings.h"
#include "player/imaging/yv12_picture.h"

namespace zrplay {

void TChannel::DecodeHook(int32_t, const VDEC_DECODED_FRAME* frame, const VDEC_FRAME_INFO*,
                          void* user) {
  if (frame == nullptr || user == nullptr) return;
  static_cast<TChannel*>(user)->TakePicture(*frame);
}

void TChannel::TakePicture(const VDEC_DECODED_FRAME& frame) {
  const int32_t width = frame.nYWidth;
  const int32_t height = frame.nYHeight;
  if (width < 1 || height < 1 || frame.pY == nullptr || frame.pU == nullptr ||
      frame.pV == nullptr) {
    return;
  }
  std::lock_guard lock(picture_lock_);
  const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 3 / 2;
  if (frame_buffer_.size() < size) frame_buffer_.resize(size);
  used_size_ = static_cast<int32_t>(size);
  PackPlanes(frame_buffer_.data(), frame.pY, frame.pU, frame.pV, width, height, frame.nYStride);
  picture_width_ = width;
  picture_height_ = height;
  Rotate();
  DrawOverlays();
  CallCallbacks();
  drawer_.Draw(frame_buffer_.data(), used_size_, picture_width_, picture_height_,
               PlayerSettings.DropDraw);
}

void TChannel::Rotate() {
  bool rotate = false;
  {
    std::lock_guard lock(fed_lock_);
    rotate = last_fed_head_.Rotation == 1;
  }
  if (rotate != rotated_) {
    rotated_ = rotate;
    drawer_.RequestRepaint();
  }
  if (!rotate) return;
  const int32_t width = picture_width_;
  const int32_t height = picture_height_;
  const size_t needed = (static_cast<size_t>(used_size_) + 1023) / 1024 * 1024;
  if (rotation_buffer_.size() < needed) rotation_buffer_.resize(needed);
  RotateYV12(rotation_buffer_.data(), frame_buffer_.data(), width, height);
  std::copy_n(rotation_buffer_.data(), used_size_, frame_buffer_.data());
  picture_width_ = height;
  picture_height_ = width;
}

void TChannel::CallCallbacks() {
  uint32_t stamp = 0;
  try {
    const uint32_t current = timing_.CurrentStamp();
    if (stamp_base_ == 0) stamp_base_ = current;
    stamp = current - stamp_base_;
    TakePendingSnapshot();
    const auto* data = reinterpret_cast<const char*>(frame_buffer_.data());
    const int32_t width = picture_width_;
    const int32_t height = picture_height_;
    std::lock_guard lock(callback_lock_);
    if (dec_callback_ != nullptr) {
      const ZR_FRAME_INFO info{width, height, static_cast<int32_t>(stamp), VDEC_FRAME_TYPE_YV12,
                               timing_.FrameRate()};
      try {
        dec_callback_(port_, data, used_size_, &info, dec_user_, 0);
      } catch (const std::exception& e) {
        log_.WriteF("dec callback failed. e=%s", e.what());
      } catch (...) {
        log_.Write("dec callback failed. e=unknown");
      }
    }
    if (display_callback_ != nullptr) {
      display_callback_(port_, data, used_size_, width, height, static_cast<int32_t>(stamp),
                        VDEC_FRAME_TYPE_YV12, 0);
    }
  } catch (...) {
    // A failing display callback must not stop the picture from being drawn.
  }
}

int32_t TChannel::RefreshPlay() {
  if (StreamState() != ssClosed) {
    std::lock_guard lock(picture_lock_);
    if (used_size_ > 0) {
      drawer_.Draw(frame_buffer_.data(), used_size_, picture_width_, picture_height_, 0);
    }
  }
  return 1;
}

int32_t TChannel::SetDisplayRegion(uint32_t region, const plat::RECT& rect, plat::HWND window,
                                   bool enable) {
  int32_t r = 0;
  if (PlayerSettings.DrawBySDK) {
    const VDEC_RECT source = enable ? VDEC_RECT{rect.left, rect.top, rect.right, rect.bottom}
                                    : VDEC_RECT{0, 0, picture_width_, picture_height_};
    r = decoder_.SetDisplayRegion(vendor_port_, region, source, window, true) ? 1 : 0;
  } else {
    std::lock_guard lock(picture_lock_);
    if (PlayerSettings.UseKV) {
      r = drawer_.Zoom(rect, window, enable);
    } else {
      drawer_.SetRegion(rect, enable);
      r = 1;
    }
  }
  log_.WriteF("set display region(region=%u, rect=((%d,%d),(%d,%d)), wnd=0x%08llX, enable=%d)=%d",
              region, rect.left, rect.top, rect.right, rect.bottom,
              static_cast<unsigned long long>(static_cast<uint32_t>(window)), enable ? 1 : 0, r);
  return r;
}

int32_t TChannel::GetPictureSize(int32_t& width, int32_t& height) {
  int32_t r = 1;
  if (PlayerSettings.DrawBySDK) {
    int32_t w = 0;
    int32_t h = 0;
    r = decoder_.GetPictureSize(vendor_port_, w, h) ? 1 : 0;
    picture_width_ = w;
    picture_height_ = h;
  }
  width = picture_width_;
  height = picture_height_;
  log_.WriteF("get picture size(width=%d, height=%d)=%d", width, height, r);
  return r;
}

int32_t TChannel::SetDecCallBackEx(ZR_DEC_CALLBACK callback, ZR_USER user) {
  {
    std::lock_guard lock(callback_lock_);
    dec_user_ = user;
  }
  return SetDecCallBack(callback);
}

int32_t TChannel::SetDecCallBack(ZR_DEC_CALLBACK callback) {
  {
    std::lock_guard lock(callback_lock_);
    if (callback == dec_callback_) return 1;
    dec_callback_ = callback;
  }
  if (callback != nullptr) {
    // The caller takes every picture as it is decoded; buffering would only delay them.
    buffer_on_live_ = false;
    play_work_.Signal();  // the background thread may be idle without a time limit
    log_.Write("set dec callback");
  } else {
    log_.Write("clear dec callback");
  }
  return 1;
}

int32_t TChannel::SetDisplayCallBack(ZR_DISPLAY_CALLBACK callback) {
  {
    std::lock_guard lock(callback_lock_);
    display_callback_ = callback;
  }
  log_.Write("set display callback=1");
  return 1;
}

}  // namespace zrplay
