// The per-port exports of snapshots, clips, scene text, the watermark and the encode
// information.
#include <cstring>

#include "player/api/export_call.h"

using namespace zrplay;

// The name travels in a caller array of 512 characters, all of which are copied; one that
// fills the array without a terminator is cut at its last character.
ZRPLAY_EXPORT int32_t Zr_Play_CaptureImage(int32_t port, const char* file_name) {
  return CallChannelLogged(
      port, 0, [](const char* message) { WriteLogF("do snapshot failed, e=%s", message); },
      [&](TChannel& c) {
        if (file_name == nullptr) return 0;
        char name[512];
        std::memcpy(name, file_name, sizeof name);
        name[sizeof name - 1] = 0;
        return c.CaptureImage(name);
      });
}

ZRPLAY_EXPORT int32_t Qel_Play_Clip(int32_t port, int32_t first, int32_t last,
                                    const char* file_name) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Clip(first, last, file_name);
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Qel_Play_SetSceneInfo(int32_t port, const char* text) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.SetSceneInfo(text);
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Qel_Play_SetWatermark(int32_t port, const char* text) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.SetWatermark(text);
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Qel_Play_ReadChannelEncodeInfo(int32_t port, void* record, int32_t* size) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.ReadChannelEncodeInfo(record, size); });
}
