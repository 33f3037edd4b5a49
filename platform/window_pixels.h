// Drawing into a window's surface in place, for a drawer whose picture already has the
// window's size and so needs no bitmap of its own and no copy; and reading it in place, for
// a host that shows the window elsewhere and wants neither a copy nor to poll for changes.
// Any thread; the surface is held against every other reader and writer while `draw` or
// `read` runs.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/gdi.h"
#include "platform/messages.h"
#include "platform/platform_api.h"

namespace plat {

// Lets `draw` write the window's whole surface: B, G, R, A per pixel, rows top-down,
// width * 4 bytes apart. False (draw not called) when the window is gone or has no pixels.
QUVI_PLATFORM_API bool DrawWindowPixels(
    HWND hwnd, const std::function<void(uint8_t* bits, int32_t width, int32_t height)>& draw);

// Lets `read` look at the window's pixels (width × height values 0xAARRGGBB, rows top-down)
// when the surface was written since `change` was filled, and updates `change`. False (read
// not called) when nothing changed, or for an unknown window.
QUVI_PLATFORM_API bool ReadWindowPixelsIfChanged(
    HWND hwnd, TSurfaceChange* change,
    const std::function<void(const uint32_t* pixels, int32_t width, int32_t height)>& read);

// Calls `listener` after every write into the window's surface, on the writing thread while
// the surface is held: it must be quick and must not touch the window (e.g. wake a thread).
// One listener per window; nullptr removes it, and once this returns the previous one is not
// running and is not called again. False for an unknown window.
QUVI_PLATFORM_API bool SetWindowChangeListener(HWND hwnd, std::function<void()> listener);

}  // namespace plat
