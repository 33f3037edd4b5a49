#include "player/channel/picture_drawer.h"

#include "platform/window_pixels.h"
#include "player/channel/channel_log.h"

namespace zrplay {

TPictureDrawer::TPictureDrawer() = default;

TPictureDrawer::~TPictureDrawer() {
  if (renderer_ != 0) ZrDraw_FreePlayer(renderer_);
  if (dc_ != 0) plat::ReleaseDC(window_, dc_);
}

void TPictureDrawer::Open(plat::HWND window, bool use_kv, const TChannelLog& log) {
  // A second play into the same window keeps what it has; into another window the old
  // handle or context is given back first rather than leaked.
  if ((renderer_ != 0 || dc_ != 0) && window != window_) Close(log);
  window_ = window;
  if (use_kv) {
    if (renderer_ != 0) return;
    log.Write("create draw handle-->");
    const plat::HMONITOR monitor = plat::MonitorFromWindow(window, plat::MONITOR_DEFAULTTONULL);
    log.WriteF("monitor=0x%08llX", static_cast<unsigned long long>(static_cast<uint32_t>(monitor)));
    plat::MONITORINFO info;
    if (monitor != 0 && plat::GetMonitorInfo(monitor, &info)) {
      log.WriteF("monitor handle=0x%08llX, x=%d, y=%d",
                 static_cast<unsigned long long>(static_cast<uint32_t>(monitor)),
                 info.rcMonitor.left, info.rcMonitor.top);
      renderer_ = ZrDraw_CreatePlayerEx(monitor, window, info.rcMonitor.left, info.rcMonitor.top);
    } else {
      renderer_ = ZrDraw_CreatePlayer(window);
    }
    log.WriteF("create draw handle<--0x%08llX",
               static_cast<unsigned long long>(static_cast<uint32_t>(renderer_)));
  } else if (dc_ == 0) {
    dc_ = plat::GetDC(window);
  }
}

void TPictureDrawer::Close(const TChannelLog& log) {
  if (renderer_ != 0) {
    log.Write("free draw handle-->");
    ZrDraw_FreePlayer(renderer_);
    renderer_ = 0;
    log.Write("free draw handle<--");
  }
  if (dc_ != 0) {
    plat::ReleaseDC(window_, dc_);
    dc_ = 0;
  }
}

void TPictureDrawer::Draw(const uint8_t* picture, int32_t size, int32_t width, int32_t height,
                          int32_t drop_draw) {
  if (renderer_ != 0) {
    DrawByRenderer(picture, size, width, height, drop_draw);
  } else if (dc_ != 0) {
    DrawByBitmap(picture, width, height);
  }
}

void TPictureDrawer::DrawByRenderer(const uint8_t* picture, int32_t size, int32_t width,
                                    int32_t height, int32_t drop_draw) {
  // The platform's windows keep what was drawn and need no invalidation: the next picture
  // fills the whole client area anyway.
  if (repaint_pending_) ++repaints_;
  repaint_pending_ = false;
  if (drop_draw > 1 && ++drawn_frames_ % static_cast<uint32_t>(drop_draw) == 0) return;
  ZrDraw_DrawOneFrame(renderer_, picture, size, width, height, 0);
}

void TPictureDrawer::DrawByBitmap(const uint8_t* picture, int32_t width, int32_t height) {
  // Stretching a picture onto a window of its own size is a plain copy: skip the bitmap.
  if (!region_enabled_ && DrawIntoWindow(picture, width, height)) return;
  if (!bitmap_) bitmap_ = std::make_unique<TKVMemBmp>();
  bitmap_->SetFrame(picture, width, height);
  plat::SetStretchBltMode(dc_, plat::COLORONCOLOR);
  plat::RECT client;
  if (!plat::GetClientRect(window_, &client)) return;  // the window has gone
  plat::RECT source{0, 0, width, height};
  if (region_enabled_) source = region_;
  plat::StretchBlt(dc_, client.left, client.top, client.right - client.left,
                   client.bottom - client.top, bitmap_->context(), source.left, source.top,
                   source.right - source.left, source.bottom - source.top, plat::SRCCOPY);
}

bool TPictureDrawer::DrawIntoWindow(const uint8_t* picture, int32_t width, int32_t height) {
  bool drawn = false;
  plat::DrawWindowPixels(window_, [&](uint8_t* bits, int32_t window_width, int32_t window_height) {
    if (window_width != width || window_height != height) return;
    Yv12ToBgra(picture, width, height, bits, width * 4, padded_chroma_);
    drawn = true;
  });
  return drawn;
}

void TPictureDrawer::SetRegion(const plat::RECT& rect, bool enable) {
  region_ = rect;
  region_enabled_ = enable;
}

int32_t TPictureDrawer::Zoom(const plat::RECT& rect, plat::HWND window, bool enable) {
  const ZRDRAW_RECT source{rect.left, rect.top, rect.right, rect.bottom};
  return ZrDraw_DoZoom(renderer_, &source, window,
                       enable ? ZRDRAW_ZOOM_ENABLE : ZRDRAW_ZOOM_DISABLE);
}

}  // namespace zrplay
