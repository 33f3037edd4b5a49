// The exports that need no channel, and the registration exports.
#include <cstring>

#include "player/api/export_call.h"
#include "player/channel/frame_head.h"

using namespace zrplay;

ZRPLAY_EXPORT int32_t Zr_Play_Player_FACTORYID() {
  return ZRPLAY_FACTORY_ID;
}

ZRPLAY_EXPORT int32_t Zr_Play_GetCaps() {
  try {
    ChannelManager();
  } catch (...) {
  }
  return 0;
}

ZRPLAY_EXPORT int32_t Zr_Play_GetDefaultFileHeadLength() {
  return static_cast<int32_t>(kFrameHeadSize);
}

ZRPLAY_EXPORT int32_t Zr_Play_IsSyncDecMode() {
  return 0;
}

ZRPLAY_EXPORT int32_t Zr_Play_isVideoFrame(int32_t type) {
  return type <= 10 ? 1 : 0;
}

ZRPLAY_EXPORT int32_t Zr_Play_DefaultFileHead(int32_t factory_id, uint8_t* buffer,
                                              int32_t* length) {
  if (factory_id != ZRPLAY_FACTORY_ID || buffer == nullptr || length == nullptr) return -1;
  *length = static_cast<int32_t>(kFrameHeadSize);
  std::memcpy(buffer, kDefaultStreamHead, kFrameHeadSize);
  return 0;
}

ZRPLAY_EXPORT int32_t Zr_Play_InitPlayer(int32_t port, const uint8_t* head, int32_t length) {
  try {
    if (length < 0 || !IsStandardFrameHead(head, static_cast<size_t>(length))) return -1;
    if (!ChannelManager().Lookup(port)) return -1;
    WriteLogF("CH%d init player OK", port);
    return 0;
  } catch (...) {
    return -1;
  }
}

ZRPLAY_EXPORT int32_t Zr_Play_InitPlayerByFACTORY_ID(int32_t port, int32_t factory_id) {
  try {
    if (factory_id != ZRPLAY_FACTORY_ID) return -1;
    return ChannelManager().Lookup(port) ? 0 : -1;
  } catch (...) {
    return -1;
  }
}

ZRPLAY_EXPORT int32_t Zr_Play_InitPlayerByFile(int32_t port, int32_t) {
  try {
    return ChannelManager().Lookup(port) ? 0 : -1;
  } catch (...) {
    return -1;
  }
}
