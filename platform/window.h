// Child windows of a user-interface thread: window classes with one procedure each, parents and
// children, visibility and enabled state, painting (WM_PAINT after every posted message, with
// invalidation and the erase-background question), mouse input that a host injects as window
// messages, and colour fills of a window's surface. Messages, queues and the loop are those of
// messages.h; surfaces and device contexts those of gdi.h.
// Threads: a window belongs to the thread that creates it; SendMessage, DestroyWindow and
// BeginPaint belong on that thread. InvalidateRect, ShowWindow, EnableWindow, the injections
// and the queries may come from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi.h"
#include "platform/messages.h"
#include "platform/platform_api.h"

namespace plat {

// A colour as the desktop's API gives it: 0x00BBGGRR.
using COLORREF = uint32_t;
constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
  return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16);
}
// The surface pixel (0xAARRGGBB, opaque) of a colour.
constexpr uint32_t PixelOf(COLORREF colour) {
  return 0xFF000000u | ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSELEAVE = 0x02A3;

// Key and button state in the wParam of mouse messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// Client coordinates of mouse messages: x in the low 16 bits, y in the high, both signed.
constexpr LPARAM MAKELPARAM(int32_t x, int32_t y) {
  return LPARAM(uint32_t(uint16_t(x)) | (uint32_t(uint16_t(y)) << 16));
}
constexpr int32_t GET_X_LPARAM(LPARAM l) {
  return int16_t(uint16_t(l & 0xFFFF));
}
constexpr int32_t GET_Y_LPARAM(LPARAM l) {
  return int16_t(uint16_t((l >> 16) & 0xFFFF));
}

// No colour: a class without a background brush leaves erasing to its procedure.
constexpr COLORREF CLR_NONE = 0xFFFFFFFFu;

struct WNDCLASS {
  std::string lpszClassName;
  TWindowProc lpfnWndProc;            // every window of the class runs it
  COLORREF hbrBackground = CLR_NONE;  // what DefWindowProc's erase fills with
};

// Registers a class for the whole process; false for an empty name, no procedure or a name
// already taken (names match case-insensitively).
QUVI_PLATFORM_API bool RegisterClass(const WNDCLASS& window_class);
QUVI_PLATFORM_API bool IsClassRegistered(const std::string& class_name);
// A window of the class owned by the calling thread, at (x, y) of its parent's client area with
// a client rectangle of width × height (an opaque black surface). The procedure gets WM_CREATE
// before this returns; a visible window is due for painting. 0 for an unknown class, a parent
// that is not a window, or an unusable size.
QUVI_PLATFORM_API HWND CreateWindow(const std::string& class_name, HWND parent, int32_t x,
                                    int32_t y, int32_t width, int32_t height, bool visible);
// Destroys the window's children (last made first), sends it WM_DESTROY and forgets it; a
// bare handle of CreateWindowHandle is simply forgotten. False for an unknown window.
QUVI_PLATFORM_API bool DestroyWindow(HWND hwnd);
QUVI_PLATFORM_API HWND GetParent(HWND hwnd);
// The window's class name ("" for a bare handle or an unknown window).
QUVI_PLATFORM_API std::string GetClassName(HWND hwnd);

// Calls the window's procedure at once on the calling thread, which must own the window;
// 0 without calling anything for an unknown window or another thread's window.
QUVI_PLATFORM_API intptr_t SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The default answers: WM_ERASEBKGND fills the client area with the class background (1) or
// answers 0 when the class has none; everything else answers 0.
QUVI_PLATFORM_API intptr_t DefWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// A value kept for the window's owner (a window object behind a class procedure).
QUVI_PLATFORM_API intptr_t GetWindowUserData(HWND hwnd);
QUVI_PLATFORM_API bool SetWindowUserData(HWND hwnd, intptr_t value);

// Shows or hides the window; showing makes it due for painting. Returns whether it was visible
// before. WM_SHOWWINDOW goes to the window when the state changes (posted from other threads).
QUVI_PLATFORM_API bool ShowWindow(HWND hwnd, bool visible);
// Visible itself and every parent visible.
QUVI_PLATFORM_API bool IsWindowVisible(HWND hwnd);
// A disabled window gets no mouse input. Returns whether it was disabled before.
QUVI_PLATFORM_API bool EnableWindow(HWND hwnd, bool enabled);
QUVI_PLATFORM_API bool IsWindowEnabled(HWND hwnd);
// The window's rectangle in its parent's client coordinates.
QUVI_PLATFORM_API bool GetWindowRect(HWND hwnd, RECT* rect);

// Makes the whole client area due for painting (the rectangle is not tracked); erase asks
// BeginPaint to send WM_ERASEBKGND first. Nothing for a hidden window. False for an unknown
// window.
QUVI_PLATFORM_API bool InvalidateRect(HWND hwnd, const RECT* rect, bool erase);
QUVI_PLATFORM_API bool ValidateRect(HWND hwnd, const RECT* rect);
// Paints at once (sends WM_PAINT) when the window is due; only on the owning thread.
QUVI_PLATFORM_API bool UpdateWindow(HWND hwnd);
QUVI_PLATFORM_API bool IsPaintDue(HWND hwnd);

struct PAINTSTRUCT {
  HDC hdc = 0;
  bool fErase = false;  // the background still needs erasing: WM_ERASEBKGND answered 0
  RECT rcPaint;
};
// A context for painting the window's client area; sends WM_ERASEBKGND (wParam = the context)
// when an erase is pending. EndPaint gives the context back.
QUVI_PLATFORM_API HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint);
QUVI_PLATFORM_API bool EndPaint(HWND hwnd, const PAINTSTRUCT* paint);

// Fills the rectangle of the context's surface with a colour (clipped to the surface).
QUVI_PLATFORM_API bool FillRect(HDC dc, const RECT* rect, COLORREF colour);
// Draws a one-pixel frame just inside the rectangle.
QUVI_PLATFORM_API bool FrameRect(HDC dc, const RECT* rect, COLORREF colour);

// ---- Mouse input a host feeds in, delivered as the desktop would deliver it ----
// Each posts the mouse messages to the window's thread; false (nothing posted) for an unknown,
// hidden or disabled window. A move into another window first posts WM_MOUSELEAVE to the
// window the mouse was over.
enum class TMouseButtonId { Left, Right, Middle };
QUVI_PLATFORM_API bool InjectMouseMove(HWND hwnd, int32_t x, int32_t y, WPARAM keys = 0);
QUVI_PLATFORM_API bool InjectMouseButton(HWND hwnd, TMouseButtonId button, bool down, int32_t x,
                                         int32_t y, WPARAM keys = 0);
// Left button down and up.
QUVI_PLATFORM_API bool InjectClick(HWND hwnd, int32_t x, int32_t y);
// Down, up, double-click, up: what the desktop sends for two quick presses.
QUVI_PLATFORM_API bool InjectDoubleClick(HWND hwnd, int32_t x, int32_t y);
QUVI_PLATFORM_API bool InjectMouseLeave(HWND hwnd);

}  // namespace plat
