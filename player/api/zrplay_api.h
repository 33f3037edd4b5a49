// The player library's C API: the 71 per-port and library-level exports, their callback
// types, and one list of them (ZRPLAY_EXPORTS) that the library, the proxy module and the
// viewer control's binding all expand, so the names, argument order and failure values are
// written down once. Ports and 32-bit values stay 32-bit; handles, pointers and user values
// are pointer-sized; booleans are 1/0.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef intptr_t ZR_HWND;
typedef intptr_t ZR_USER;

// Frame information handed to decode callbacks: type 3 = YV12 picture, 100 = PCM audio.
typedef struct ZR_FRAME_INFO {
  int32_t nWidth;
  int32_t nHeight;
  int32_t nStamp;
  int32_t nType;
  int32_t nFrameRate;
} ZR_FRAME_INFO;

typedef struct ZR_RECT {
  int32_t left, top, right, bottom;
} ZR_RECT;

typedef void (*ZR_DEC_CALLBACK)(int32_t port, const char* data, int32_t size,
                                const ZR_FRAME_INFO* info, ZR_USER user, int32_t reserved);
typedef void (*ZR_DISPLAY_CALLBACK)(int32_t port, const char* data, int32_t size, int32_t width,
                                    int32_t height, int32_t stamp, int32_t type, int32_t reserved);
typedef void (*ZR_FILE_REF_CALLBACK)(int32_t port, ZR_USER user);
// Stored by the library and never called.
typedef void (*ZR_SOURCE_BUF_CALLBACK)(int32_t port, uint32_t remain, ZR_USER user, void* reserved);

#ifdef __cplusplus
}
#endif

// X(result type, name, (parameters), (argument names), failure value)
#define ZRPLAY_EXPORTS(X)                                                                          \
  X(int32_t, Zr_Play_Player_FACTORYID, (void), (), 0)                                              \
  X(int32_t, Zr_Play_GetCaps, (void), (), 0)                                                       \
  X(int32_t, Zr_Play_GetDefaultFileHeadLength, (void), (), 0)                                      \
  X(int32_t, Zr_Play_IsSyncDecMode, (void), (), 0)                                                 \
  X(int32_t, Zr_Play_isVideoFrame, (int32_t type), (type), 0)                                      \
  X(int32_t, Zr_Play_DefaultFileHead, (int32_t factory_id, uint8_t * buffer, int32_t * length),    \
    (factory_id, buffer, length), -1)                                                              \
  X(int32_t, Zr_Play_InitPlayer, (int32_t port, const uint8_t* head, int32_t length),              \
    (port, head, length), -1)                                                                      \
  X(int32_t, Zr_Play_InitPlayerByFACTORY_ID, (int32_t port, int32_t factory_id),                   \
    (port, factory_id), -1)                                                                        \
  X(int32_t, Zr_Play_InitPlayerByFile, (int32_t port, int32_t unused), (port, unused), -1)         \
  X(int32_t, Zr_Play_SetStreamOpenMode, (int32_t port, int32_t mode), (port, mode), 0)             \
  X(int32_t, Zr_Play_GetStreamOpenMode, (int32_t port), (port), -1)                                \
  X(int32_t, Zr_Play_OpenStream,                                                                   \
    (int32_t port, const uint8_t* head, int32_t size, int32_t pool_size),                          \
    (port, head, size, pool_size), 0)                                                              \
  X(int32_t, Zr_Play_InputData, (int32_t port, const uint8_t* data, int32_t size),                 \
    (port, data, size), 0)                                                                         \
  X(int32_t, Zr_Play_InputVideoData, (int32_t port, const uint8_t* data, int32_t size),            \
    (port, data, size), 0)                                                                         \
  X(int32_t, Zr_Play_CloseStream, (int32_t port), (port), 0)                                       \
  X(int32_t, Zr_Play_Play, (int32_t port, ZR_HWND window), (port, window), 0)                      \
  X(int32_t, Zr_Play_Stop, (int32_t port), (port), 0)                                              \
  X(int32_t, Zr_Play_Pause, (int32_t port, int32_t pause), (port, pause), 0)                       \
  X(int32_t, Zr_Play_OpenFile, (int32_t port, const char* file_name), (port, file_name), 0)        \
  X(int32_t, Zr_Play_CloseFile, (int32_t port), (port), 0)                                         \
  X(int32_t, Zr_Play_SetFileRefCallBack,                                                           \
    (int32_t port, ZR_FILE_REF_CALLBACK callback, ZR_USER user), (port, callback, user), 0)        \
  X(int32_t, Zr_Play_SetFileEndMsg, (int32_t port, ZR_HWND window, uint32_t message),              \
    (port, window, message), 0)                                                                    \
  X(int32_t, Zr_Play_OpenSound, (int32_t port), (port), 0)                                         \
  X(int32_t, Zr_Play_StopSound, (int32_t port), (port), 0)                                         \
  X(int32_t, Zr_Play_SetVolume, (int32_t port, int32_t volume), (port, volume), 0)                 \
  X(int32_t, Zr_Play_GetVolume, (int32_t port), (port), 0)                                         \
  X(int32_t, Zr_Play_SetPlaySpeed, (int32_t port, int32_t old_level, int32_t new_level),           \
    (port, old_level, new_level), 0)                                                               \
  X(int32_t, Zr_Play_Slow, (int32_t port), (port), 0)                                              \
  X(int32_t, Zr_Play_Fast, (int32_t port), (port), 0)                                              \
  X(int32_t, Zr_Play_OneByOneForward, (int32_t port), (port), 0)                                   \
  X(int32_t, Zr_Play_OneByOneBack, (int32_t port), (port), 0)                                      \
  X(int32_t, Zr_Play_RefreshPlay, (int32_t port), (port), 0)                                       \
  X(int32_t, Zr_Play_GetPlayedFrames, (int32_t port), (port), 0)                                   \
  X(int32_t, Zr_Play_GetCurrFrameNum, (int32_t port), (port), 0)                                   \
  X(int32_t, Zr_Play_GetFileTotalMSec, (int32_t port), (port), 0)                                  \
  X(int32_t, Zr_Play_GetFileTotalFrames, (int32_t port), (port), 0)                                \
  X(int32_t, Zr_Play_GetPlayedTime, (int32_t port), (port), 0)                                     \
  X(int32_t, Zr_Play_GetPlayedTimeEx, (int32_t port), (port), 0)                                   \
  X(double, Zr_Play_GetPlayedPos, (int32_t port), (port), -1.0)                                    \
  X(int32_t, Zr_Play_SetPlayedPos, (int32_t port, double position), (port, position), 0)           \
  X(int32_t, Zr_Play_SetPlayedTimeEx, (int32_t port, int32_t ms), (port, ms), 0)                   \
  X(int32_t, Zr_Play_SetCurrFrameNum, (int32_t port, int32_t frame), (port, frame), 0)             \
  X(int32_t, Zr_Play_GetKeyFramePos, (int32_t port, int32_t value, int32_t kind),                  \
    (port, value, kind), -1)                                                                       \
  X(int32_t, Zr_Play_GetLastKeyPos, (int32_t port, int32_t value, int32_t kind),                   \
    (port, value, kind), -1)                                                                       \
  X(int32_t, Zr_Play_SetDisplayRegion,                                                             \
    (int32_t port, int32_t region, const ZR_RECT* rect, ZR_HWND window, int32_t enable),           \
    (port, region, rect, window, enable), 0)                                                       \
  X(int32_t, Zr_Play_GetPictureSize, (int32_t port, int32_t * width, int32_t * height),            \
    (port, width, height), 0)                                                                      \
  X(int32_t, Zr_Play_SetDecCallBack, (int32_t port, ZR_DEC_CALLBACK callback), (port, callback),   \
    0)                                                                                             \
  X(int32_t, Qel_Play_SetDecCallBackEx, (int32_t port, ZR_DEC_CALLBACK callback, ZR_USER user),    \
    (port, callback, user), 0)                                                                     \
  X(int32_t, Zr_Play_SetDecCBStream, (int32_t port, int32_t stream), (port, stream), 0)            \
  X(int32_t, Zr_Play_SetDisplayCallBack, (int32_t port, ZR_DISPLAY_CALLBACK callback),             \
    (port, callback), 0)                                                                           \
  X(int32_t, Zr_Play_CaptureImage, (int32_t port, const char* file_name), (port, file_name), 0)    \
  X(int32_t, Qel_Play_Clip, (int32_t port, int32_t first, int32_t last, const char* file_name),    \
    (port, first, last, file_name), 0)                                                             \
  X(int32_t, Qel_Play_SetSceneInfo, (int32_t port, const char* text), (port, text), 0)             \
  X(int32_t, Qel_Play_SetWatermark, (int32_t port, const char* text), (port, text), 0)             \
  X(int32_t, Qel_Play_ReadChannelEncodeInfo, (int32_t port, void* record, int32_t* size),          \
    (port, record, size), 0)                                                                       \
  X(int32_t, Zr_Play_GetBufferValue, (int32_t port, int32_t type), (port, type), 0)                \
  X(int32_t, Zr_Play_GetSourceBufferRemain, (int32_t port), (port), 0)                             \
  X(int32_t, Zr_Play_ResetSourceBuffer, (int32_t port), (port), 0)                                 \
  X(int32_t, Zr_Play_ResetSourceBufFlag, (int32_t port), (port), 0)                                \
  X(int32_t, Zr_Play_SetSourceBufCallBack,                                                         \
    (int32_t port, uint32_t threshold, ZR_SOURCE_BUF_CALLBACK callback, ZR_USER user,              \
     void* reserved),                                                                              \
    (port, threshold, callback, user, reserved), 0)                                                \
  X(int32_t, Zr_Play_SetDisplayBuf, (int32_t port, int32_t count), (port, count), 0)               \
  X(int32_t, Zr_Play_ResetBuffer, (int32_t port, int32_t type), (port, type), 0)                   \
  X(int32_t, Zr_Play_GetDisplayBuf, (int32_t port), (port), 0)                                     \
  X(int32_t, Zr_Play_ThrowBFrame, (int32_t port, int32_t count), (port, count), 0)                 \
  X(int32_t, Zr_Play_SetColor,                                                                     \
    (int32_t port, int32_t brightness, int32_t contrast, int32_t saturation, int32_t hue),         \
    (port, brightness, contrast, saturation, hue), 0)                                              \
  X(int32_t, Zr_Play_GetColor,                                                                     \
    (int32_t port, int32_t * brightness, int32_t * contrast, int32_t * saturation, int32_t * hue), \
    (port, brightness, contrast, saturation, hue), 0)                                              \
  X(int32_t, Zr_Play_GetFileHeadLength, (int32_t port, int32_t * length), (port, length), 0)       \
  X(int32_t, Zr_Play_SetOverlayMode, (int32_t port, int32_t mode, uint32_t color_key),             \
    (port, mode, color_key), 0)                                                                    \
  X(int32_t, Zr_Play_GetPictureQuality, (int32_t port, int32_t * high_quality),                    \
    (port, high_quality), 0)                                                                       \
  X(int32_t, Zr_Play_SetPictureQuality, (int32_t port, int32_t high_quality),                      \
    (port, high_quality), 0)                                                                       \
  X(int32_t, Zr_Play_GetLastError, (int32_t port), (port), 0)

// The factory identifier the player library answers.
#define ZRPLAY_FACTORY_ID 29

// Added by the proxy module: initialises a player on a port nobody else holds and writes the
// port back through `port`. 0 on success, -1 on failure.
#define ZRPLAY_PROXY_EXTRA_EXPORTS(X)                                                             \
  X(int32_t, Zr_Play_InitPlayer_FetchPort, (int32_t * port, const uint8_t* head, int32_t length), \
    (port, head, length), -1)
