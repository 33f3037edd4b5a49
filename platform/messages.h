// Window handles and posted messages. A window belongs to the thread that created it;
// PostMessage from any thread queues the message to that thread, which takes it with
// GetMessage (or pumps with PumpMessages) and hands it to the window's procedure with
// DispatchMessage. When no posted message waits, a window that is due for painting
// (window.h) gets WM_PAINT. Handles are pointer-sized integers: 0 is none, -1 invalid.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/platform_api.h"

namespace plat {

using HWND = intptr_t;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;

constexpr HWND INVALID_HWND = -1;
constexpr UINT WM_USER = 0x0400;

struct TMsg {
  HWND hwnd = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// The window's procedure; runs on the owning thread inside DispatchMessage.
using TWindowProc = std::function<intptr_t(HWND, UINT, WPARAM, LPARAM)>;

// Creates a bare window owned by the calling thread: no class, no parent, never painted by
// itself (window.h makes windows of a class).
QUVI_PLATFORM_API HWND CreateWindowHandle(TWindowProc proc = nullptr);
// Forgets the window; messages still queued for it are dropped.
QUVI_PLATFORM_API void DestroyWindowHandle(HWND hwnd);
QUVI_PLATFORM_API bool IsWindow(HWND hwnd);
// Queues the message to the window's thread; false (nothing posted) for 0 or an unknown window.
QUVI_PLATFORM_API bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Takes the calling thread's next message, waiting up to timeout_ms (INFINITE waits forever);
// false when none came.
QUVI_PLATFORM_API bool GetMessage(TMsg* msg, uint32_t timeout_ms);
// Runs the window's procedure for the message (nothing for a destroyed window).
QUVI_PLATFORM_API intptr_t DispatchMessage(const TMsg& msg);
// Dispatches every message that arrives within timeout_ms; returns how many.
QUVI_PLATFORM_API int PumpMessages(uint32_t timeout_ms);

}  // namespace plat
