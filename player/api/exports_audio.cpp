// The per-port exports of sound: open and stop, volume, and which stream reaches the decode
// callback.
#include "player/api/export_call.h"

using namespace zrplay;

// TEMPORARY switch, set by player/api/CMakeLists.txt only until the channel's audio is on
// this branch; remove it with the stubs below then.
#ifndef ZRPLAY_PENDING_CHANNEL_AUDIO

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

#else
// TODO(remove with ZRPLAY_PENDING_CHANNEL_AUDIO): failure values until the channel has its
// audio.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define ZRPLAY_PENDING_EXPORT(ret, name, params, fail) \
  ZRPLAY_EXPORT ret name params {                      \
    return fail;                                       \
  }
ZRPLAY_PENDING_EXPORT(int32_t, Zr_Play_OpenSound, (int32_t port), 0)
ZRPLAY_PENDING_EXPORT(int32_t, Zr_Play_StopSound, (int32_t port), 0)
ZRPLAY_PENDING_EXPORT(int32_t, Zr_Play_SetVolume, (int32_t port, int32_t volume), 0)
ZRPLAY_PENDING_EXPORT(int32_t, Zr_Play_GetVolume, (int32_t port), 0)
ZRPLAY_PENDING_EXPORT(int32_t, Zr_Play_SetDecCBStream, (int32_t port, int32_t stream), 0)
#endif
