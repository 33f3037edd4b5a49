// The per-port exports of sound: open and stop, volume, and which stream reaches the decode
// callback.
#include "player/api/export_call.h"

using namespace zrplay;

ZRPLAY_EXPORT int32_t Zr_Play_OpenSound(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.OpenSound();
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_StopSound(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.StopSound();
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetVolume(int32_t port, int32_t volume) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.SetVolume(volume);
    return 0;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetVolume(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.GetVolume();
    return 0;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetDecCBStream(int32_t port, int32_t stream) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.SetDecCBStream(stream);
    return 1;
  });
}
