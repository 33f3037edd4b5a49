// The per-port exports whose result is fixed: each needs the port's channel (made on first
// use like any other), logs one line behind the channel's prefix, and does nothing else.
#include "player/api/export_call.h"

using namespace zrplay;

ZRPLAY_EXPORT int32_t Zr_Play_GetBufferValue(int32_t port, int32_t type) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Log().WriteF("get buffer value(type=0x%.2X)=%d", static_cast<uint32_t>(type), 0);
    return 0;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetSourceBufferRemain(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Log().WriteF("get source buf remain=%d", 0);
    return 0;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_ResetSourceBuffer(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Log().WriteF("reset source buffer=%d", 1);
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_ResetSourceBufFlag(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Log().WriteF("reset source buf flag=%d", 1);
    return 1;
  });
}

// The threshold is not kept: the callback is never called.
ZRPLAY_EXPORT int32_t Zr_Play_SetSourceBufCallBack(int32_t port, uint32_t,
                                                   ZR_SOURCE_BUF_CALLBACK callback, ZR_USER user,
                                                   void* reserved) {
  return CallChannel(port, 0,
                     [&](TChannel& c) { return c.SetSourceBufCallBack(callback, user, reserved); });
}

namespace {
int32_t SetDisplayBuf(int32_t port, int32_t count) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Log().WriteF("set display buf(%d)=%d", count, 1);
    return 1;
  });
}
}  // namespace

ZRPLAY_EXPORT int32_t Zr_Play_SetDisplayBuf(int32_t port, int32_t count) {
  return SetDisplayBuf(port, count);
}

ZRPLAY_EXPORT int32_t Zr_Play_ResetBuffer(int32_t port, int32_t type) {
  return SetDisplayBuf(port, type);
}

ZRPLAY_EXPORT int32_t Zr_Play_GetDisplayBuf(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Log().WriteF("get display buf=%d", 0);
    return 0;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_ThrowBFrame(int32_t port, int32_t count) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Log().WriteF("throw b frame(value=%d)=%d", count, 1);
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetColor(int32_t port, int32_t brightness, int32_t contrast,
                                       int32_t saturation, int32_t hue) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Log().WriteF("set color(bri=%d, con=%d, sat=%d, hue=%d)=%d", brightness, contrast, saturation,
                   hue, 0);
    return 0;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetColor(int32_t port, int32_t* brightness, int32_t* contrast,
                                       int32_t* saturation, int32_t* hue) {
  // Read for the log only; a missing pointer reads as 0.
  const auto value = [](const int32_t* p) { return p != nullptr ? *p : 0; };
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Log().WriteF("get color(bri=%d, con=%d, sat=%d, hue=%d)=%d", value(brightness),
                   value(contrast), value(saturation), value(hue), 0);
    return 0;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetFileHeadLength(int32_t port, int32_t* length) {
  return CallChannel(port, 0, [&](TChannel& c) {
    int32_t n = 0;
    const int32_t r = c.GetFileHeadLength(n);
    if (length != nullptr) *length = n;
    return r;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetOverlayMode(int32_t port, int32_t, uint32_t) {
  return CallChannel(port, 0, [](TChannel&) { return 1; });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetPictureQuality(int32_t port, int32_t*) {
  return CallChannel(port, 0, [](TChannel&) { return 0; });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetPictureQuality(int32_t port, int32_t) {
  return CallChannel(port, 0, [](TChannel&) { return 0; });
}

// There is no per-port error code: any port that has or can get a channel answers -1.
ZRPLAY_EXPORT int32_t Zr_Play_GetLastError(int32_t port) {
  return CallChannel(port, 0, [](TChannel&) { return -1; });
}
