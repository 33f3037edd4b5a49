// The per-port exports of playback control: record files, pause, speed, single steps,
// positions and the file callbacks.
#include "player/api/export_call.h"

using namespace zrplay;

ZRPLAY_EXPORT int32_t Zr_Play_Pause(int32_t port, int32_t pause) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.Pause(pause); });
}

ZRPLAY_EXPORT int32_t Zr_Play_OpenFile(int32_t port, const char* file_name) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.OpenFile(file_name); });
}

ZRPLAY_EXPORT int32_t Zr_Play_CloseFile(int32_t port) {
  const int32_t r = CallChannel(port, 0, [&](TChannel& c) {
    c.CloseFile();
    return 1;
  });
  try {
    ChannelManager().Unregister(port);
  } catch (...) {
  }
  return r;
}

ZRPLAY_EXPORT int32_t Zr_Play_SetFileRefCallBack(int32_t port, ZR_FILE_REF_CALLBACK callback,
                                                 ZR_USER user) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.SetFileRefCallBack(callback, user);
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetFileEndMsg(int32_t port, ZR_HWND window, uint32_t message) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.SetFileEndMsg(window, message);
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetPlaySpeed(int32_t port, int32_t old_level, int32_t new_level) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.SetPlaySpeed(old_level, new_level);
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_Slow(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Slow();
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_Fast(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.Fast();
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_OneByOneForward(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.OneByOneForward(); });
}

ZRPLAY_EXPORT int32_t Zr_Play_OneByOneBack(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.OneByOneBack(); });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetPlayedFrames(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.GetPlayedFrames(); });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetCurrFrameNum(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.GetCurrFrameNum(); });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetFileTotalMSec(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.GetFileTotalMSec(); });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetFileTotalFrames(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.GetFileTotalFrames(); });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetPlayedTime(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.GetPlayedTime(); });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetPlayedTimeEx(int32_t port) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.GetPlayedTimeEx(); });
}

ZRPLAY_EXPORT double Zr_Play_GetPlayedPos(int32_t port) {
  return CallChannel(port, -1.0, [&](TChannel& c) { return c.GetPlayedPos(); });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetPlayedPos(int32_t port, double position) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.SetPlayedPos(position);
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetPlayedTimeEx(int32_t port, int32_t ms) {
  return CallChannel(port, 0, [&](TChannel& c) { return c.SetPlayedTimeEx(ms); });
}

ZRPLAY_EXPORT int32_t Zr_Play_SetCurrFrameNum(int32_t port, int32_t frame) {
  return CallChannel(port, 0, [&](TChannel& c) {
    c.SetCurrFrameNum(frame);
    return 1;
  });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetKeyFramePos(int32_t port, int32_t value, int32_t kind) {
  return CallChannel(port, -1, [&](TChannel& c) { return c.GetKeyFramePos(value, kind); });
}

ZRPLAY_EXPORT int32_t Zr_Play_GetLastKeyPos(int32_t port, int32_t value, int32_t kind) {
  return CallChannel(port, -1, [&](TChannel& c) { return c.GetLastKeyPos(value, kind); });
}
