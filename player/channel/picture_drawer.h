// TPictureDrawer: draws the channel's YV12 pictures into its window when the channel draws
// itself: through the renderer module (a draw handle) or by stretching a memory bitmap into
// the window's device context. Opened by play and closed by stop on the caller's thread
// while the decoder is stopped; draws on the decoder's thread. The caller serialises draws
// with display region changes. Owns the draw handle, the device context and the memory
// bitmap (which lives until the drawer is destroyed).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "modules/kvdraw/kvdraw.h"
#include "platform/gdi.h"
#include "player/imaging/kv_mem_bmp.h"

namespace zrplay {

class TChannelLog;

class TPictureDrawer {
 public:
  TPictureDrawer();
  ~TPictureDrawer();
  TPictureDrawer(const TPictureDrawer&) = delete;
  TPictureDrawer& operator=(const TPictureDrawer&) = delete;

  // A window handle is usable when it is neither 0 nor all bits set.
  static bool IsValidWindow(plat::HWND window) { return window != 0 && window != -1; }

  // Makes the draw handle (use_kv) or takes the window's device context.
  void Open(plat::HWND window, bool use_kv, const TChannelLog& log);
  // Frees the draw handle and gives the device context back.
  void Close(const TChannelLog& log);

  // drop_draw above 1 skips every drop_draw-th picture on the renderer path.
  void Draw(const uint8_t* picture, int32_t size, int32_t width, int32_t height, int32_t drop_draw);
  // The bitmap path's source rectangle (right and bottom outside).
  void SetRegion(const plat::RECT& rect, bool enable);
  // Zoom through the draw handle; the module's answer (0 without a handle).
  int32_t Zoom(const plat::RECT& rect, plat::HWND window, bool enable);

  ZRDRAW_HANDLE RendererHandle() const { return renderer_; }
  plat::HDC DeviceContext() const { return dc_; }
  // Set when the picture turns; the next renderer draw repaints the window first.
  void RequestRepaint() { repaint_pending_ = true; }
  // Repaints done for turned pictures; any thread.
  uint32_t Repaints() const { return repaints_.load(); }

 private:
  void DrawByRenderer(const uint8_t* picture, int32_t size, int32_t width, int32_t height,
                      int32_t drop_draw);
  void DrawByBitmap(const uint8_t* picture, int32_t width, int32_t height);
  // Converts a picture of the window's own size straight into the window; false (nothing
  // drawn) when the sizes differ or the window has gone.
  bool DrawIntoWindow(const uint8_t* picture, int32_t width, int32_t height);

  plat::HWND window_ = 0;
  ZRDRAW_HANDLE renderer_ = 0;
  plat::HDC dc_ = 0;
  std::unique_ptr<TKVMemBmp> bitmap_;
  std::vector<uint8_t> padded_chroma_;  // DrawIntoWindow's, only for odd sizes
  plat::RECT region_{};
  bool region_enabled_ = false;
  bool repaint_pending_ = false;
  uint32_t drawn_frames_ = 0;
  std::atomic<uint32_t> repaints_{0};
};

}  // namespace zrplay
