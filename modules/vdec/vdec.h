/* The vendor decoding library: per-port video decoding of H.264, H.265, MPEG-4 and MJPEG
 * elementary streams for the player library.
 *
 * A caller takes a port (VDEC_GetFreePort), opens its stream with a buffer pool size
 * (VDEC_OpenStream), plays it (VDEC_Play), which starts the port's decoding thread, and feeds
 * elementary-stream bytes (VDEC_InputData). Each input block is taken as whole units, so a
 * picture is decoded as soon as its block arrives: for H.264 and H.265 whole NAL units (one or
 * more pictures, or some slices of one), bytes before a block's first start code being
 * dropped; for MPEG-4 and MJPEG one picture. The codec is found from the stream itself (its
 * first parameter set or header). Every decoded picture is handed to the decode hook on the
 * port's decoding thread.
 *
 * All calls may come from any thread and return a BOOL: nonzero is success. A port number
 * that is out of range or not taken fails every call except VDEC_GetFreePort.
 */
#ifndef QUVI_MODULES_VDEC_VDEC_H
#define QUVI_MODULES_VDEC_VDEC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VDEC_API __attribute__((visibility("default")))

typedef int32_t VDEC_BOOL;
/* Window handle: pointer-sized; 0 is none. */
typedef intptr_t VDEC_HWND;

/* Number of ports; port numbers run from 0 to VDEC_MAX_PORTS - 1. */
#define VDEC_MAX_PORTS 256
/* Display regions per port; region numbers run from 0 to VDEC_MAX_DISPLAY_REGIONS - 1. */
#define VDEC_MAX_DISPLAY_REGIONS 4

#define VDEC_STREAM_REALTIME 0
#define VDEC_STREAM_FILE 1

/* Stream selector of VDEC_SetDecCBStream. */
#define VDEC_DECCB_VIDEO 1
#define VDEC_DECCB_AUDIO 2
#define VDEC_DECCB_ALL 3

/* Frame type in VDEC_FRAME_INFO: a planar 4:2:0 picture with 8-bit samples. */
#define VDEC_FRAME_TYPE_YV12 3

/* One decoded picture, valid only during the decode hook call. Chroma strides are always
 * half the luma stride, so the three planes can be read with the luma stride alone. */
typedef struct VDEC_DECODED_FRAME {
  const uint8_t* pY;
  const uint8_t* pU;
  const uint8_t* pV;
  int32_t nYStride;
  int32_t nUStride;
  int32_t nVStride;
  int32_t nYWidth;
  int32_t nUWidth;
  int32_t nVWidth;
  int32_t nYHeight;
  int32_t nUHeight;
  int32_t nVHeight;
} VDEC_DECODED_FRAME;

/* What the decoder knows about the picture: its size, its stream time in milliseconds
 * (picture index times the frame duration), VDEC_FRAME_TYPE_YV12, and the frame rate (the
 * stream's own when it carries one, else 25). */
typedef struct VDEC_FRAME_INFO {
  int32_t nWidth;
  int32_t nHeight;
  int32_t nStamp;
  int32_t nType;
  int32_t nFrameRate;
} VDEC_FRAME_INFO;

typedef struct VDEC_RECT {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
} VDEC_RECT;

/* Called on the port's decoding thread for every decoded picture. It may call any VDEC_*
 * function, but VDEC_OpenStream, VDEC_Play, VDEC_Stop, VDEC_CloseStream and VDEC_ReleasePort
 * fail there for its own port (they may have to wait for that very thread). */
typedef void (*VDEC_DecodeCallBack)(int32_t nPort, const VDEC_DECODED_FRAME* pFrame,
                                    const VDEC_FRAME_INFO* pFrameInfo, void* pUser);

/* Takes the lowest free port and writes it to *pPort. Fails when all ports are taken. */
VDEC_API VDEC_BOOL VDEC_GetFreePort(int32_t* pPort);
/* Stops and closes the port, forgets its settings and frees it. */
VDEC_API VDEC_BOOL VDEC_ReleasePort(int32_t nPort);

/* VDEC_STREAM_REALTIME or VDEC_STREAM_FILE; any other mode fails. The caller paces its own
 * input in both modes: pictures are delivered as soon as they are decoded. */
VDEC_API VDEC_BOOL VDEC_SetStreamOpenMode(int32_t nPort, uint32_t nMode);
/* Opens the stream with an input buffer of nBufPoolSize bytes (at least 1). The header is
 * not needed (the codec is found in the stream) and is ignored. Opening an open stream keeps
 * its buffered input and decoder and sets the new buffer size. */
VDEC_API VDEC_BOOL VDEC_OpenStream(int32_t nPort, const uint8_t* pFileHeadBuf, uint32_t nSize,
                                   uint32_t nBufPoolSize);
/* Copies the block into the input buffer. Fails when the stream is not open or the block
 * does not fit beside what is still buffered (the caller retries later). A block larger than
 * the whole buffer is taken only into an empty buffer, so that no frame is refused forever. */
VDEC_API VDEC_BOOL VDEC_InputData(int32_t nPort, const uint8_t* pBuf, uint32_t nSize);
/* Stops the port if it plays and drops the buffered input. Closing a closed stream succeeds. */
VDEC_API VDEC_BOOL VDEC_CloseStream(int32_t nPort);

/* Stored and answered. */
VDEC_API VDEC_BOOL VDEC_SetEngine(int32_t nPort, int32_t nDecodeType, int32_t nRenderType);
/* Starts decoding the open stream (fails when it is not open). hWnd is where the library
 * will draw; 0 plays without a window, pictures going only to the decode hook. Playing a
 * playing port only changes the window. */
VDEC_API VDEC_BOOL VDEC_Play(int32_t nPort, VDEC_HWND hWnd);
/* Stored and answered. */
VDEC_API VDEC_BOOL VDEC_AntiAliasEnable(int32_t nPort, int32_t bEnable);
/* VDEC_DECCB_VIDEO, VDEC_DECCB_AUDIO or VDEC_DECCB_ALL: which streams reach the decode hook.
 * Pictures reach it unless only audio is selected; any other value fails. */
VDEC_API VDEC_BOOL VDEC_SetDecCBStream(int32_t nPort, uint32_t nStream);
/* Sets or (with NULL) clears the decode hook. When this returns, a hook call with the old
 * hook is no longer running (unless the call is made from that hook). */
VDEC_API VDEC_BOOL VDEC_SetDecodeCallBack(int32_t nPort, VDEC_DecodeCallBack pfnDecode,
                                          void* pUser);
/* Stops the decoding thread and waits for it: no hook runs after this returns. Buffered
 * input stays until the stream is closed. Stopping an idle port succeeds. */
VDEC_API VDEC_BOOL VDEC_Stop(int32_t nPort);
/* Pause (nonzero) or resume (0) the port's own presentation; fails when the port does not
 * play. Decoding of what the caller feeds goes on while paused, since the caller paces and
 * single-steps its own input. */
VDEC_API VDEC_BOOL VDEC_Pause(int32_t nPort, uint32_t nPause);
/* One speed step up or down (levels -4 to 4); fails at the end of the range. */
VDEC_API VDEC_BOOL VDEC_Fast(int32_t nPort);
VDEC_API VDEC_BOOL VDEC_Slow(int32_t nPort);
/* Stores the source rectangle of a display region and the window it is shown in. With
 * bEnable the rectangle must be non-empty and not negative, or all zero for the whole
 * picture. */
VDEC_API VDEC_BOOL VDEC_SetDisplayRegion(int32_t nPort, uint32_t nRegionNum,
                                         const VDEC_RECT* pSrcRect, VDEC_HWND hDestWnd,
                                         int32_t bEnable);
/* Size of the last decoded picture; fails (writing 0 and 0) before the first picture. */
VDEC_API VDEC_BOOL VDEC_GetPictureSize(int32_t nPort, int32_t* pWidth, int32_t* pHeight);
/* Writes a JPEG (quality 1 to 100) of the last decoded picture into pJpeg and its length to
 * *pJpegSize. Fails before the first picture (length 0) and when the buffer is too small
 * (length = the size needed). */
VDEC_API VDEC_BOOL VDEC_GetPicJPEG(int32_t nPort, uint8_t* pJpeg, uint32_t nBufSize,
                                   uint32_t* pJpegSize, int32_t nQuality);

/* Where the decoder's own messages go: warnings and errors of the codec library, one line
 * each without its line end, with its level (16 error, 24 warning, lower is more severe).
 * Less severe messages, and every message while no callback is set, are dropped: the library
 * never prints to the host's standard error. NULL drops all. The callback may run on any
 * decoding thread, and on several at once. */
typedef void (*VDEC_LogCallBack)(int32_t nLevel, const char* pLine);
VDEC_API VDEC_BOOL VDEC_SetLogCallBack(VDEC_LogCallBack pfnLog);

#ifdef __cplusplus
}
#endif

#endif /* QUVI_MODULES_VDEC_VDEC_H */
