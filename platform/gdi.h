// Window surfaces, device contexts and bitmaps: the least of the desktop's drawing calls the
// player needs to show a picture. Each window has a client rectangle and a 32-bit BGRA
// surface; a device context draws into a window's surface or into the bitmap selected into
// it; StretchBlt copies between them with nearest sampling. Handles are pointer-sized
// integers, 0 meaning none or failure. Any thread may call; each surface has its own lock,
// so one thread can draw while another reads or saves what a window shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/messages.h"
#include "platform/platform_api.h"

namespace plat {

using HDC = intptr_t;
using HGDIOBJ = intptr_t;
using HBITMAP = HGDIOBJ;

struct RECT {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

#pragma pack(push, 1)
struct BITMAPINFOHEADER {
  uint32_t biSize = 0;
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // negative: rows top-down
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
struct RGBQUAD {
  uint8_t rgbBlue = 0;
  uint8_t rgbGreen = 0;
  uint8_t rgbRed = 0;
  uint8_t rgbReserved = 0;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);

constexpr uint32_t BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr int BLACKONWHITE = 1;
constexpr int COLORONCOLOR = 3;
constexpr uint32_t SRCCOPY = 0x00CC0020;

// Places the window and sizes its client rectangle to (0, 0, width, height); a new size
// gives a new surface, opaque black. False for an unknown window or an unusable size.
QUVI_PLATFORM_API bool MoveWindow(HWND hwnd, int32_t x, int32_t y, int32_t width, int32_t height);
QUVI_PLATFORM_API bool GetClientRect(HWND hwnd, RECT* rect);

// A context drawing into the window's surface; give it back with ReleaseDC.
QUVI_PLATFORM_API HDC GetDC(HWND hwnd);
QUVI_PLATFORM_API int ReleaseDC(HWND hwnd, HDC dc);
// A memory context (dc 0 or any context: all are screen-compatible, 32-bit); it draws into
// the bitmap selected into it and into nothing before that. Free it with DeleteDC.
QUVI_PLATFORM_API HDC CreateCompatibleDC(HDC dc);
QUVI_PLATFORM_API bool DeleteDC(HDC dc);

// A device-independent bitmap section. Only what the player draws with is made: 32 bits per
// pixel, BI_RGB, rows top-down (negative height), memory owned by the bitmap (no section
// handle). *bits receives the pixel memory (B, G, R, A per pixel, rows back to back), valid
// until the bitmap is deleted and no context holds it; nullptr on failure.
QUVI_PLATFORM_API HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                           void* section, uint32_t offset);
// Selects a bitmap into a memory context; returns the bitmap selected before (0 when there
// was none) or 0 on failure (window contexts take no bitmap).
QUVI_PLATFORM_API HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Frees the bitmap's handle; a context it is still selected into keeps drawing into it.
QUVI_PLATFORM_API bool DeleteObject(HGDIOBJ object);
// Copies scan lines [start, start + lines) from 32-bit BI_RGB memory described by info
// (same width and height as the bitmap; negative height means the memory is top-down,
// positive bottom-up with scan 0 at the bottom). Returns the number of lines copied, 0 on
// failure.
QUVI_PLATFORM_API int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void* bits,
                                const BITMAPINFO* info, UINT usage);

// Stores the context's stretching mode and returns the previous one (0 on failure). Every
// mode stretches as COLORONCOLOR does.
QUVI_PLATFORM_API int SetStretchBltMode(HDC dc, int mode);
// Copies the source rectangle to the destination rectangle (SRCCOPY only, sizes positive):
// each destination pixel takes the source pixel nearest to its centre. Pixels that fall
// outside either surface are left alone. False when a context has nothing to draw on.
QUVI_PLATFORM_API bool StretchBlt(HDC dst, int32_t x, int32_t y, int32_t width, int32_t height,
                                  HDC src, int32_t src_x, int32_t src_y, int32_t src_width,
                                  int32_t src_height, uint32_t rop);

// Monitors: there is one virtual monitor, of kVirtualMonitorWidth × kVirtualMonitorHeight at
// (0, 0), and it holds every window (windows have no place on a screen here).
using HMONITOR = intptr_t;
struct MONITORINFO {
  uint32_t cbSize = sizeof(MONITORINFO);
  RECT rcMonitor;
  RECT rcWork;
  uint32_t dwFlags = 0;
};
constexpr uint32_t MONITOR_DEFAULTTONULL = 0;
constexpr uint32_t MONITORINFOF_PRIMARY = 1;
constexpr int32_t kVirtualMonitorWidth = 1920;
constexpr int32_t kVirtualMonitorHeight = 1080;
// The monitor holding the window; 0 for 0, -1 or a window that does not exist.
QUVI_PLATFORM_API HMONITOR MonitorFromWindow(HWND hwnd, uint32_t flags);
// Bounds and work area of the monitor (the same here); false for any other handle.
QUVI_PLATFORM_API bool GetMonitorInfo(HMONITOR monitor, MONITORINFO* info);

// A copy of what the window shows: width × height values 0xAARRGGBB, rows top-down.
QUVI_PLATFORM_API bool GetWindowPixels(HWND hwnd, std::vector<uint32_t>* pixels, int32_t* width,
                                       int32_t* height);
// Which state of a window's surface a caller last copied: the surface counts its writes and
// stamps the last one with the wall clock (ms since the Unix epoch).
struct TSurfaceChange {
  uint64_t version = 0;  // 0: nothing copied yet
  double changed_at_ms = 0;
};
// GetWindowPixels, only when the surface was written since `change` was filled: then copies
// the pixels and updates `change`; false when nothing changed or for an unknown window.
QUVI_PLATFORM_API bool GetWindowPixelsIfChanged(HWND hwnd, TSurfaceChange* change,
                                                std::vector<uint32_t>* pixels, int32_t* width,
                                                int32_t* height);
// Writes what the window shows to an 8-bit RGB PNG file; false for an empty surface or a
// file that cannot be written.
QUVI_PLATFORM_API bool SaveWindowPng(HWND hwnd, const std::string& path);

}  // namespace plat
