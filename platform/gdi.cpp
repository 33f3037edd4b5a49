#include "platform/gdi.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/surface.h"
#include "platform/window.h"
#include "platform/window_pixels.h"
#include "platform/window_state.h"

namespace plat {

namespace {

constexpr uint32_t kOpaqueBlack = 0xFF000000u;

struct TDeviceContext {
  HWND window = 0;  // 0 for a memory context
  std::shared_ptr<TSurface> window_surface;
  HBITMAP selected = 0;
  std::shared_ptr<TSurface> selected_surface;
  int stretch_mode = BLACKONWHITE;

  std::shared_ptr<TSurface> Target() const { return window ? window_surface : selected_surface; }
};

// Handle tables for contexts and bitmaps; pixels are guarded by each surface's own lock.
std::mutex g_mutex;
std::map<HDC, std::shared_ptr<TDeviceContext>> g_contexts;
std::map<HBITMAP, std::shared_ptr<TSurface>> g_bitmaps;
intptr_t g_next_handle = 0x01000010;

intptr_t NewHandleLocked() {
  const intptr_t h = g_next_handle;
  g_next_handle += 0x10;
  return h;
}

std::shared_ptr<TDeviceContext> ContextOf(HDC dc) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_contexts.find(dc);
  return it == g_contexts.end() ? nullptr : it->second;
}

std::shared_ptr<TSurface> BitmapOf(HBITMAP bitmap) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_bitmaps.find(bitmap);
  return it == g_bitmaps.end() ? nullptr : it->second;
}

bool UsableSize(int64_t width, int64_t height) {
  return width >= 0 && height >= 0 && width * height <= kMaxSurfacePixels;
}

bool Is32BitRgb(const BITMAPINFO* info, UINT usage) {
  return info && usage == DIB_RGB_COLORS && info->bmiHeader.biBitCount == 32 &&
         info->bmiHeader.biCompression == BI_RGB && info->bmiHeader.biPlanes == 1;
}

// Source coordinate for each destination offset: the source pixel under the centre of the
// destination pixel. Filled into the calling thread's own array, so drawing a picture
// allocates nothing once the thread has drawn one of that size.
const std::vector<int64_t>& NearestMap(int32_t dst_size, int32_t src_origin, int32_t src_size,
                                       std::vector<int64_t>& map) {
  map.resize(static_cast<size_t>(dst_size));
  for (int32_t d = 0; d < dst_size; ++d)
    map[d] = src_origin + (int64_t{2} * d + 1) * src_size / (int64_t{2} * dst_size);
  return map;
}

// Sizes are positive, so both maps grow with the destination offset.
void StretchLocked(TSurface& dst, int32_t x, int32_t y, int32_t width, int32_t height,
                   const std::vector<uint32_t>& src_pixels, int32_t src_w, int32_t src_h,
                   int32_t src_x, int32_t src_y, int32_t src_width, int32_t src_height) {
  thread_local std::vector<int64_t> xs_array, ys_array;
  const auto& ys = NearestMap(height, src_y, src_height, ys_array);
  // Destination columns inside the target.
  const int64_t dx_begin = std::max<int64_t>(0, -int64_t{x});
  const int64_t dx_end = std::min<int64_t>(width, int64_t{dst.width} - x);
  if (dx_begin >= dx_end) return;
  const bool same_width = width == src_width;
  const std::vector<int64_t>* xs = nullptr;
  if (!same_width) xs = &NearestMap(width, src_x, src_width, xs_array);
  // At the same width each destination column takes the source column src_x + dx: whole
  // runs are copied, clipped to the source too.
  const int64_t run_begin = std::max<int64_t>(dx_begin, -int64_t{src_x});
  const int64_t run_end = std::min<int64_t>(dx_end, int64_t{src_w} - src_x);
  for (int32_t dy = 0; dy < height; ++dy) {
    const int64_t ty = int64_t{y} + dy;
    const int64_t sy = ys[dy];
    if (ty < 0 || ty >= dst.height || sy < 0 || sy >= src_h) continue;
    uint32_t* out = dst.pixels.data() + ty * dst.width;
    const uint32_t* in = src_pixels.data() + sy * src_w;
    if (same_width) {
      if (run_begin < run_end) {
        std::memcpy(out + x + run_begin, in + src_x + run_begin,
                    static_cast<size_t>(run_end - run_begin) * sizeof(uint32_t));
      }
      continue;
    }
    for (int64_t dx = dx_begin; dx < dx_end; ++dx) {
      const int64_t sx = (*xs)[dx];
      if (sx >= 0 && sx < src_w) out[x + dx] = in[sx];
    }
  }
  dst.MarkChanged();
}

}  // namespace

std::shared_ptr<TSurface> TargetOfDC(HDC dc) {
  auto context = ContextOf(dc);
  return context ? context->Target() : nullptr;
}

bool MoveWindow(HWND hwnd, int32_t x, int32_t y, int32_t width, int32_t height) {
  auto surface = WindowSurface(hwnd);
  auto state = WindowStateOf(hwnd);
  if (!surface || !state || !UsableSize(width, height)) return false;
  bool classed = false;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->x = x;
    state->y = y;
    classed = !state->class_name.empty();
  }
  {
    std::lock_guard<std::mutex> lock(surface->mutex);
    if (surface->width == width && surface->height == height) return true;
    surface->pixels.assign(static_cast<size_t>(width) * height, kOpaqueBlack);
    surface->width = width;
    surface->height = height;
    surface->MarkChanged();
  }
  // A window of a class shows its new size once its thread paints it.
  if (classed) InvalidateRect(hwnd, nullptr, true);
  return true;
}

namespace {
// The one virtual monitor's handle: any nonzero value that is not a window handle's.
constexpr HMONITOR kVirtualMonitor = 0x10001;
}  // namespace

HMONITOR MonitorFromWindow(HWND hwnd, uint32_t /*flags*/) {
  return IsWindow(hwnd) ? kVirtualMonitor : 0;
}

bool GetMonitorInfo(HMONITOR monitor, MONITORINFO* info) {
  if (monitor != kVirtualMonitor || info == nullptr) return false;
  info->rcMonitor = RECT{0, 0, kVirtualMonitorWidth, kVirtualMonitorHeight};
  info->rcWork = info->rcMonitor;
  info->dwFlags = MONITORINFOF_PRIMARY;
  return true;
}

bool GetClientRect(HWND hwnd, RECT* rect) {
  auto surface = WindowSurface(hwnd);
  if (!surface || !rect) return false;
  std::lock_guard<std::mutex> lock(surface->mutex);
  *rect = RECT{0, 0, surface->width, surface->height};
  return true;
}

HDC GetDC(HWND hwnd) {
  auto surface = WindowSurface(hwnd);
  if (!surface) return 0;
  auto context = std::make_shared<TDeviceContext>();
  context->window = hwnd;
  context->window_surface = std::move(surface);
  std::lock_guard<std::mutex> lock(g_mutex);
  const HDC dc = NewHandleLocked();
  g_contexts[dc] = std::move(context);
  return dc;
}

int ReleaseDC(HWND hwnd, HDC dc) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_contexts.find(dc);
  if (it == g_contexts.end() || it->second->window == 0 || it->second->window != hwnd) return 0;
  g_contexts.erase(it);
  return 1;
}

HDC CreateCompatibleDC(HDC dc) {
  if (dc != 0 && !ContextOf(dc)) return 0;
  std::lock_guard<std::mutex> lock(g_mutex);
  const HDC memory_dc = NewHandleLocked();
  g_contexts[memory_dc] = std::make_shared<TDeviceContext>();
  return memory_dc;
}

bool DeleteDC(HDC dc) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_contexts.find(dc);
  if (it == g_contexts.end() || it->second->window != 0) return false;
  g_contexts.erase(it);
  return true;
}

HBITMAP CreateDIBSection(HDC /*dc*/, const BITMAPINFO* info, UINT usage, void** bits, void* section,
                         uint32_t /*offset*/) {
  if (bits) *bits = nullptr;
  if (!Is32BitRgb(info, usage) || section != nullptr) return 0;
  const int64_t width = info->bmiHeader.biWidth;
  const int64_t height = -int64_t{info->bmiHeader.biHeight};
  if (width <= 0 || height <= 0 || !UsableSize(width, height)) return 0;
  auto surface = std::make_shared<TSurface>();
  try {
    surface->pixels.assign(static_cast<size_t>(width * height), 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  surface->width = static_cast<int32_t>(width);
  surface->height = static_cast<int32_t>(height);
  void* memory = surface->pixels.data();
  std::lock_guard<std::mutex> lock(g_mutex);
  const HBITMAP bitmap = NewHandleLocked();
  g_bitmaps[bitmap] = std::move(surface);
  if (bits) *bits = memory;
  return bitmap;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto context = g_contexts.find(dc);
  auto bitmap = g_bitmaps.find(object);
  if (context == g_contexts.end() || bitmap == g_bitmaps.end() || context->second->window != 0)
    return 0;
  const HGDIOBJ previous = context->second->selected;
  context->second->selected = object;
  context->second->selected_surface = bitmap->second;
  return previous;
}

bool DeleteObject(HGDIOBJ object) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_bitmaps.erase(object) != 0;
}

int SetDIBits(HDC /*dc*/, HBITMAP bitmap, UINT start, UINT lines, const void* bits,
              const BITMAPINFO* info, UINT usage) {
  auto surface = BitmapOf(bitmap);
  if (!surface || !bits || !Is32BitRgb(info, usage)) return 0;
  const bool top_down = info->bmiHeader.biHeight < 0;
  const int64_t source_height =
      top_down ? -int64_t{info->bmiHeader.biHeight} : info->bmiHeader.biHeight;
  std::lock_guard<std::mutex> lock(surface->mutex);
  const int64_t height = surface->height;
  if (info->bmiHeader.biWidth != surface->width || source_height != height || start >= height)
    return 0;
  const int64_t count = std::min<int64_t>(lines, height - start);
  const auto* rows = static_cast<const uint32_t*>(bits);
  for (int64_t i = 0; i < count; ++i) {
    const int64_t scan = start + i;
    const int64_t row = top_down ? scan : height - 1 - scan;
    std::memcpy(surface->pixels.data() + row * surface->width, rows + i * surface->width,
                static_cast<size_t>(surface->width) * 4);
  }
  if (count > 0) surface->MarkChanged();
  return static_cast<int>(count);
}

int SetStretchBltMode(HDC dc, int mode) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_contexts.find(dc);
  if (it == g_contexts.end() || mode <= 0) return 0;
  return std::exchange(it->second->stretch_mode, mode);
}

bool StretchBlt(HDC dst, int32_t x, int32_t y, int32_t width, int32_t height, HDC src,
                int32_t src_x, int32_t src_y, int32_t src_width, int32_t src_height, uint32_t rop) {
  if (rop != SRCCOPY || width <= 0 || height <= 0 || src_width <= 0 || src_height <= 0)
    return false;
  auto dst_context = ContextOf(dst);
  auto src_context = ContextOf(src);
  if (!dst_context || !src_context) return false;
  auto to = dst_context->Target();
  auto from = src_context->Target();
  if (!to || !from) return false;
  if (to == from) {
    // Overlapping copy within one surface: sample from a snapshot.
    std::lock_guard<std::mutex> lock(to->mutex);
    const std::vector<uint32_t> source = to->pixels;
    StretchLocked(*to, x, y, width, height, source, to->width, to->height, src_x, src_y, src_width,
                  src_height);
    return true;
  }
  std::scoped_lock lock(to->mutex, from->mutex);
  StretchLocked(*to, x, y, width, height, from->pixels, from->width, from->height, src_x, src_y,
                src_width, src_height);
  return true;
}

bool DrawWindowPixels(
    HWND hwnd, const std::function<void(uint8_t* bits, int32_t width, int32_t height)>& draw) {
  auto surface = WindowSurface(hwnd);
  if (!surface || !draw) return false;
  std::lock_guard<std::mutex> lock(surface->mutex);
  if (surface->width <= 0 || surface->height <= 0) return false;
  draw(reinterpret_cast<uint8_t*>(surface->pixels.data()), surface->width, surface->height);
  surface->MarkChanged();
  return true;
}

bool ReadWindowPixelsIfChanged(
    HWND hwnd, TSurfaceChange* change,
    const std::function<void(const uint32_t* pixels, int32_t width, int32_t height)>& read) {
  auto surface = WindowSurface(hwnd);
  if (!surface || !change || !read) return false;
  std::lock_guard<std::mutex> lock(surface->mutex);
  if (surface->version == change->version) return false;
  change->version = surface->version;
  change->changed_at_ms = surface->changed_at_ms;
  read(surface->pixels.data(), surface->width, surface->height);
  return true;
}

bool SetWindowChangeListener(HWND hwnd, std::function<void()> listener) {
  auto surface = WindowSurface(hwnd);
  if (!surface) return false;
  std::function<void()> previous;  // goes outside the lock: it may hold what it wakes
  std::lock_guard<std::mutex> lock(surface->mutex);
  previous = std::exchange(surface->on_change, std::move(listener));
  return true;
}

bool GetWindowPixels(HWND hwnd, std::vector<uint32_t>* pixels, int32_t* width, int32_t* height) {
  auto surface = WindowSurface(hwnd);
  if (!surface || !pixels || !width || !height) return false;
  std::lock_guard<std::mutex> lock(surface->mutex);
  *pixels = surface->pixels;
  *width = surface->width;
  *height = surface->height;
  return true;
}

bool GetWindowPixelsIfChanged(HWND hwnd, TSurfaceChange* change, std::vector<uint32_t>* pixels,
                              int32_t* width, int32_t* height) {
  auto surface = WindowSurface(hwnd);
  if (!surface || !change || !pixels || !width || !height) return false;
  std::lock_guard<std::mutex> lock(surface->mutex);
  if (surface->version == change->version) return false;
  change->version = surface->version;
  change->changed_at_ms = surface->changed_at_ms;
  *pixels = surface->pixels;
  *width = surface->width;
  *height = surface->height;
  return true;
}

bool SaveWindowPng(HWND hwnd, const std::string& path) {
  std::vector<uint32_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  if (!GetWindowPixels(hwnd, &pixels, &width, &height) || width == 0 || height == 0) return false;
  std::vector<uint8_t> rgb(pixels.size() * 3);
  for (size_t i = 0; i < pixels.size(); ++i) {
    rgb[i * 3] = static_cast<uint8_t>(pixels[i] >> 16);
    rgb[i * 3 + 1] = static_cast<uint8_t>(pixels[i] >> 8);
    rgb[i * 3 + 2] = static_cast<uint8_t>(pixels[i]);
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  const bool written =
      png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), width * 3, nullptr) != 0;
  png_image_free(&image);
  return written;
}

}  // namespace plat
