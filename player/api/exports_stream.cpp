// The per-port exports of stream input, play state, pictures and callbacks.
#include "player/api/export_call.h"

using namespace zrplay;

ZRPLAY_EXPORT int32_t Zr_Play_SetStreamOpenMode(int32_t port, int32_t mode) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.SetStreamOpenMode(mode); });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetStreamOpenMode(int32_t port) {
  return CallChannel(port, -1, [&](TChannel& c) { return c.GetStreamOpenMode(); });
}

ZRPLAY_EXPORT int32_t Zr_Play_OpenStream(int32_t port, const uint8_t* head, int32_t size,
                                         int32_t pool_size) {
  return CallChannel(port, 0, [&](TChannel& c) {
    if (size < 0) return 0;
    return c.OpenStream(head, static_cast<uint32_t>(size), static_cast<uint32_t>(pool_size));
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_InputData(int32_t port, const uint8_t* data, int32_t size) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.InputData(data, size); });
}

ZRPLAY_EXPORT int32_t Zr_Play_InputVideoData(int32_t port, const uint8_t* data, int32_t size) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.InputVideoData(data, size); });
}

ZRPLAY_EXPORT int32_t Zr_Play_CloseStream(int32_t port) {
  const int32_t r = CallChannel(port, 0, [&](TChannel& c) { return c.CloseStream(); });
  try {
    ChannelManager().Unregister(port);
  } catch (...) {
  }
  return r;
}

ZRPLAY_EXPORT int32_t Zr_Play_Play(int32_t port, ZR_HWND window) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.Play(window); });
}

ZRPLAY_EXPORT int32_t Zr_Play_Stop(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.Stop(); });
}

ZRPLAY_EXPORT int32_t Zr_Play_RefreshPlay(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.RefreshPlay(); });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetDisplayRegion(int32_t port, int32_t region, const ZR_RECT* rect,
                                               ZR_HWND window, int32_t enable) {
  return CallChannel(port, 0, [&](TChannel& c) {
    plat::RECT r;
    if (rect != nullptr) r = plat::RECT{rect->left, rect->top, rect->right, rect->bottom};
    return c.SetDisplayRegion(static_cast<uint32_t>(region), r, window, enable != 0);
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetPictureSize(int32_t port, int32_t* width, int32_t* height) {
  return CallChannel(port, 0, [&](TChannel& c) {
    int32_t w = 0;
    int32_t h = 0;
    const int32_t r = c.GetPictureSize(w, h);
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return r;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetDecCallBack(int32_t port, ZR_DEC_CALLBACK callback) {
  return CallChannelLogged(
      port, 0,
      [&](const char* message) { WriteLogF("Port %d SetDecCallback failed. e=%s", port, message); },
      [&](TChannel& c) { return c.SetDecCallBack(callback); });
}

ZRPLAY_EXPORT int32_t Qel_Play_SetDecCallBackEx(int32_t port, ZR_DEC_CALLBACK callback,
                                                ZR_USER user) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.SetDecCallBackEx(callback, user); });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetDisplayCallBack(int32_t port, ZR_DISPLAY_CALLBACK callback) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.SetDisplayCallBack(callback); });
}
