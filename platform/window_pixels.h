// Drawing into a window's surface in place, for a drawer whose picture already has the
// window's size and so needs no bitmap of its own and no copy. Any thread; the surface is
// held against every other reader and writer while `draw` runs.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/messages.h"
#include "platform/platform_api.h"

namespace plat {

// Lets `draw` write the window's whole surface: B, G, R, A per pixel, rows top-down,
// width * 4 bytes apart. False (draw not called) when the window is gone or has no pixels.
QUVI_PLATFORM_API bool DrawWindowPixels(
    HWND hwnd, const std::function<void(uint8_t* bits, int32_t width, int32_t height)>& draw);

}  // namespace plat
