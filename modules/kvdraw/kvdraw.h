/* The renderer module: draws YV12 pictures into a window's surface, scaled to the window's
 * client rectangle, optionally zoomed to a source rectangle of the picture.
 *
 * A caller makes a draw handle for a window (ZrDraw_CreatePlayer or ZrDraw_CreatePlayerEx),
 * draws each picture with ZrDraw_DrawOneFrame, zooms with ZrDraw_DoZoom and frees the handle
 * with ZrDraw_FreePlayer. A YV12 picture of width W and height H is one contiguous buffer:
 * the Y plane (W x H), then V, then U, each (W div 2) x (H div 2). An odd last column or row
 * has no chroma of its own and is not shown.
 *
 * Threads: any thread may call. One handle is usually drawn by one thread (the decoder's)
 * while another (the window's) zooms or frees it; each handle serialises its calls, and once
 * ZrDraw_FreePlayer has returned nothing more is drawn through that handle and every call with
 * it fails. Handle values are never reused.
 */
#ifndef QUVI_MODULES_KVDRAW_KVDRAW_H
#define QUVI_MODULES_KVDRAW_KVDRAW_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZRDRAW_API __attribute__((visibility("default")))

/* Draw handle: pointer-sized; 0 is none (failure). */
typedef intptr_t ZRDRAW_HANDLE;
/* Window handle of the platform layer: pointer-sized; 0 is none, -1 invalid. */
typedef intptr_t ZRDRAW_HWND;
/* Monitor handle: pointer-sized, opaque to the renderer. */
typedef intptr_t ZRDRAW_HMONITOR;

/* A rectangle in picture pixels: left and top inside, right and bottom just outside. Laid
 * out like the platform's RECT. */
typedef struct ZRDRAW_RECT {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
} ZRDRAW_RECT;

/* Largest picture width or height drawn; larger pictures are refused. */
#define ZRDRAW_MAX_PICTURE_SIDE 16384

/* ZrDraw_DoZoom's enable flag. */
#define ZRDRAW_ZOOM_ENABLE (-1)
#define ZRDRAW_ZOOM_DISABLE 0

/* A draw handle for a live window; 0 when the window is 0, -1 or unknown. */
ZRDRAW_API ZRDRAW_HANDLE ZrDraw_CreatePlayer(ZRDRAW_HWND window);

/* The same, for a window known to lie on the given monitor whose bounds start at (left,
 * top). Every window has its own surface here, so the monitor does not change how the
 * picture is drawn; it is kept only to describe the handle. */
ZRDRAW_API ZRDRAW_HANDLE ZrDraw_CreatePlayerEx(ZRDRAW_HMONITOR monitor, ZRDRAW_HWND window,
                                               int32_t left, int32_t top);

/* Draws one YV12 picture of width x height into the handle's window, filling its client
 * rectangle: the whole picture, or the zoom rectangle while zoom is enabled. `size` is the
 * number of bytes the buffer holds and must cover width x height x 3 / 2; `flags` must be 0.
 * Returns 1 when the window shows the picture, 0 when nothing was drawn: unknown or freed
 * handle, null buffer, short size, width or height below 2 or above ZRDRAW_MAX_PICTURE_SIDE,
 * unknown flags, a window that is gone or has an empty client rectangle. */
ZRDRAW_API int32_t ZrDraw_DrawOneFrame(ZRDRAW_HANDLE handle, const uint8_t* buffer, int32_t size,
                                       int32_t width, int32_t height, int32_t flags);

/* Enable (ZRDRAW_ZOOM_ENABLE, or any nonzero value): later pictures show only the part of the
 * picture inside *source, scaled to the whole window. The rectangle is kept as given and is
 * clipped to each picture when drawn; where it misses a picture entirely, that picture is
 * shown whole. Disable (0): later pictures are shown whole again; `source` may be null.
 * A nonzero `window` that is a live window becomes the handle's window from now on; 0 keeps
 * the current one. Returns 1 on success, 0 (nothing changed) for an unknown or freed handle,
 * an enable without a rectangle or with an empty one (right <= left or bottom <= top), or a
 * window that is -1 or unknown. */
ZRDRAW_API int32_t ZrDraw_DoZoom(ZRDRAW_HANDLE handle, const ZRDRAW_RECT* source,
                                 ZRDRAW_HWND window, int32_t enable);

/* Frees the handle, waiting for a draw through it that is running on another thread. Returns
 * 1, or 0 for an unknown or already freed handle. */
ZRDRAW_API int32_t ZrDraw_FreePlayer(ZRDRAW_HANDLE handle);

#ifdef __cplusplus
}
#endif

#endif /* QUVI_MODULES_KVDRAW_KVDRAW_H */
