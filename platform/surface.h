// Pixel store behind a window or a device-independent bitmap: 32-bit BGRA, rows top-down and
// back to back. Internal to the platform library. Drawn by one thread at a time and read by
// others (a host saving what a window shows): every access to the pixels holds `mutex`.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/messages.h"

namespace plat {

struct TSurface {
  std::mutex mutex;
  int32_t width = 0;
  int32_t height = 0;
  // One 0xAARRGGBB value per pixel, so the bytes in memory read B, G, R, A. A bitmap's
  // vector is never resized after creation: its data() is the section's bits pointer.
  std::vector<uint32_t> pixels;
  // Counts the writes into the pixels and stamps the last one (ms since the Unix epoch), so
  // a host that shows the window elsewhere copies and encodes it only when it changed.
  uint64_t version = 0;
  double changed_at_ms = 0;
  // Told of every write (SetWindowChangeListener); empty for most surfaces.
  std::function<void()> on_change;

  // Every writer calls this while holding `mutex`.
  void MarkChanged() {
    ++version;
    changed_at_ms = std::chrono::duration<double, std::milli>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    if (on_change) on_change();
  }
};

// Largest surface we agree to allocate, in pixels (a 16384 x 16384 picture).
constexpr int64_t kMaxSurfacePixels = int64_t{16384} * 16384;

// The surface of a live window, nullptr for 0 or an unknown window. Kept by the window
// registry (messages.cpp) for the window's life; holders keep it alive after that.
std::shared_ptr<TSurface> WindowSurface(HWND hwnd);

// The surface a device context draws into (gdi.cpp): its window's, or its selected bitmap's;
// nullptr for an unknown context or a memory context without a bitmap.
std::shared_ptr<TSurface> TargetOfDC(intptr_t dc);

}  // namespace plat
