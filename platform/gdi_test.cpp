#include "platform/gdi.h"
#include "platform/window_pixels.h"

#include "platform/window.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace plat {
namespace {

BITMAPINFO Info32(int32_t width, int32_t height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// Pixel value that names its own position, so a wrong sample shows which one it was.
uint32_t Mark(int32_t x, int32_t y) {
  return 0xFF000000u | (uint32_t(y) << 8) | uint32_t(x);
}

// A memory context holding a top-down bitmap filled with Mark(x, y); one test's scratch.
class MemoryPicture {
 public:
  MemoryPicture(int32_t width, int32_t height) : width_(width), height_(height) {
    dc_ = CreateCompatibleDC(0);
    const BITMAPINFO info = Info32(width, -height);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    std::vector<uint32_t> rows(size_t(width) * height);
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) rows[size_t(y) * width + x] = Mark(x, y);
    SetDIBits(dc_, bitmap_, 0, height, rows.data(), &info, DIB_RGB_COLORS);
    SelectObject(dc_, bitmap_);
  }
  ~MemoryPicture() {
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_; }
  const uint32_t* bits() const { return static_cast<const uint32_t*>(bits_); }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

 private:
  int32_t width_, height_;
  HDC dc_ = 0;
  HBITMAP bitmap_ = 0;
  void* bits_ = nullptr;
};

class WindowSurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override { window_ = CreateWindowHandle(); }
  void TearDown() override { DestroyWindowHandle(window_); }
  std::vector<uint32_t> Pixels(int32_t* width = nullptr, int32_t* height = nullptr) {
    std::vector<uint32_t> pixels;
    int32_t w = 0, h = 0;
    EXPECT_TRUE(GetWindowPixels(window_, &pixels, &w, &h));
    if (width) *width = w;
    if (height) *height = h;
    return pixels;
  }
  HWND window_ = 0;
};

TEST_F(WindowSurfaceTest, MoveWindowSizesClientRectAndClearsSurface) {
  RECT rect{1, 1, 1, 1};
  ASSERT_TRUE(GetClientRect(window_, &rect));
  EXPECT_EQ(rect.right, 0);  // no surface before the window is placed
  ASSERT_TRUE(MoveWindow(window_, 10, 20, 7, 5));
  ASSERT_TRUE(GetClientRect(window_, &rect));
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, 7);
  EXPECT_EQ(rect.bottom, 5);
  int32_t w = 0, h = 0;
  const auto pixels = Pixels(&w, &h);
  EXPECT_EQ(w, 7);
  EXPECT_EQ(h, 5);
  EXPECT_EQ(pixels, std::vector<uint32_t>(35, 0xFF000000u));

  EXPECT_FALSE(MoveWindow(window_, 0, 0, -1, 5));
  EXPECT_FALSE(MoveWindow(window_, 0, 0, 1 << 20, 1 << 20));
  const HWND gone = CreateWindowHandle();
  DestroyWindowHandle(gone);
  EXPECT_FALSE(MoveWindow(gone, 0, 0, 4, 4));
  EXPECT_FALSE(GetClientRect(gone, &rect));
  EXPECT_EQ(GetDC(gone), 0);
}

TEST(DibSectionTest, OnlyTopDown32BitRgbIsMade) {
  struct Case {
    const char* name;
    int32_t width, height;
    uint16_t bit_count;
    uint32_t compression;
  } cases[] = {
      {"bottom-up", 4, 4, 32, BI_RGB},
      {"24-bit", 4, -4, 24, BI_RGB},
      {"compressed", 4, -4, 32, 3},
      {"zero width", 0, -4, 32, BI_RGB},
      {"too big", 1 << 20, -(1 << 20), 32, BI_RGB},
  };
  for (const auto& c : cases) {
    BITMAPINFO info = Info32(c.width, c.height);
    info.bmiHeader.biBitCount = c.bit_count;
    info.bmiHeader.biCompression = c.compression;
    void* bits = &info;
    EXPECT_EQ(CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, nullptr, 0), 0) << c.name;
    EXPECT_EQ(bits, nullptr) << c.name;
  }
  EXPECT_EQ(CreateDIBSection(0, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0), 0);
}

TEST(DibSectionTest, SetDIBitsPlacesScanLinesByOrientation) {
  MemoryPicture picture(3, 4);
  // The constructor set every line from top-down memory.
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 3; ++x) ASSERT_EQ(picture.bits()[y * 3 + x], Mark(x, y));

  // Bottom-up memory: scan 0 is the bottom row, so lines 1..2 land on rows 2 and 1.
  const std::vector<uint32_t> two_lines = {1, 1, 1, 2, 2, 2};
  const BITMAPINFO bottom_up = Info32(3, 4);
  EXPECT_EQ(SetDIBits(0, picture.bitmap(), 1, 2, two_lines.data(), &bottom_up, DIB_RGB_COLORS), 2);
  EXPECT_EQ(picture.bits()[2 * 3], 1u);
  EXPECT_EQ(picture.bits()[1 * 3], 2u);
  EXPECT_EQ(picture.bits()[3 * 3], Mark(0, 3));  // untouched

  // Lines past the bottom are cut off; a start past it or a size mismatch copies nothing.
  const BITMAPINFO top_down = Info32(3, -4);
  EXPECT_EQ(SetDIBits(0, picture.bitmap(), 3, 5, two_lines.data(), &top_down, DIB_RGB_COLORS), 1);
  EXPECT_EQ(picture.bits()[3 * 3], 1u);
  EXPECT_EQ(SetDIBits(0, picture.bitmap(), 4, 1, two_lines.data(), &top_down, DIB_RGB_COLORS), 0);
  const BITMAPINFO narrower = Info32(2, -4);
  EXPECT_EQ(SetDIBits(0, picture.bitmap(), 0, 1, two_lines.data(), &narrower, DIB_RGB_COLORS), 0);
  EXPECT_EQ(SetDIBits(0, 0, 0, 1, two_lines.data(), &top_down, DIB_RGB_COLORS), 0);
}

TEST_F(WindowSurfaceTest, StretchBltSamplesTheNearestSourcePixel) {
  struct Case {
    const char* name;
    int32_t src_w, src_h;  // whole source stretched onto the whole window
    int32_t dst_w, dst_h;
  } cases[] = {
      {"enlarge 2x", 2, 2, 4, 4},
      {"shrink 3x", 6, 6, 2, 2},
      {"uneven", 5, 3, 7, 8},
      {"same size", 3, 2, 3, 2},
  };
  for (const auto& c : cases) {
    MemoryPicture picture(c.src_w, c.src_h);
    ASSERT_TRUE(MoveWindow(window_, 0, 0, c.dst_w, c.dst_h));
    const HDC dc = GetDC(window_);
    EXPECT_EQ(SetStretchBltMode(dc, COLORONCOLOR), BLACKONWHITE);
    ASSERT_TRUE(
        StretchBlt(dc, 0, 0, c.dst_w, c.dst_h, picture.dc(), 0, 0, c.src_w, c.src_h, SRCCOPY))
        << c.name;
    EXPECT_EQ(ReleaseDC(window_, dc), 1);
    const auto pixels = Pixels();
    for (int32_t y = 0; y < c.dst_h; ++y) {
      for (int32_t x = 0; x < c.dst_w; ++x) {
        // Centre of destination pixel x maps to source (x + 0.5) * src_w / dst_w.
        const int32_t sx = int32_t((x + 0.5) * c.src_w / c.dst_w);
        const int32_t sy = int32_t((y + 0.5) * c.src_h / c.dst_h);
        ASSERT_EQ(pixels[size_t(y) * c.dst_w + x], Mark(sx, sy))
            << c.name << " at " << x << "," << y;
      }
    }
    MoveWindow(window_, 0, 0, 0, 0);  // next case starts from a fresh surface
  }
}

TEST_F(WindowSurfaceTest, StretchBltClipsToBothSurfacesAndRefusesWhatItCannotDo) {
  MemoryPicture picture(4, 4);
  ASSERT_TRUE(MoveWindow(window_, 0, 0, 3, 3));
  const HDC dc = GetDC(window_);
  // Half off the window's top-left and reading past the source's right edge.
  ASSERT_TRUE(StretchBlt(dc, -1, -1, 3, 3, picture.dc(), 2, 0, 3, 3, SRCCOPY));
  const auto pixels = Pixels();
  EXPECT_EQ(pixels[0], Mark(3, 1));
  EXPECT_EQ(pixels[1], 0xFF000000u);  // its source column 5 lies outside the picture
  EXPECT_EQ(pixels[3], Mark(3, 2));
  EXPECT_EQ(pixels[2 * 3 + 2], 0xFF000000u);  // outside the destination rectangle

  // Same-size copies take whole runs; every offset off either surface's edges keeps exactly
  // the pixels that lie inside both.
  const struct {
    int32_t x, y, src_x, src_y;
  } offsets[] = {{-2, 0, 0, 0}, {2, 1, 0, 0}, {0, 0, -2, -1}, {1, -1, 3, 2}, {-1, 2, -3, 1}};
  for (const auto& o : offsets) {
    MoveWindow(window_, 0, 0, 0, 0);
    ASSERT_TRUE(MoveWindow(window_, 0, 0, 3, 3));
    const HDC window_dc = GetDC(window_);
    ASSERT_TRUE(
        StretchBlt(window_dc, o.x, o.y, 3, 3, picture.dc(), o.src_x, o.src_y, 3, 3, SRCCOPY));
    ReleaseDC(window_, window_dc);
    const auto shown = Pixels();
    for (int32_t ty = 0; ty < 3; ++ty) {
      for (int32_t tx = 0; tx < 3; ++tx) {
        const int32_t dx = tx - o.x, dy = ty - o.y;
        const int32_t sx = o.src_x + dx, sy = o.src_y + dy;
        const bool copied =
            dx >= 0 && dx < 3 && dy >= 0 && dy < 3 && sx >= 0 && sx < 4 && sy >= 0 && sy < 4;
        EXPECT_EQ(shown[size_t(ty) * 3 + tx], copied ? Mark(sx, sy) : 0xFF000000u)
            << "offset " << o.x << "," << o.y << " from " << o.src_x << "," << o.src_y << " at "
            << tx << "," << ty;
      }
    }
  }

  const HDC empty = CreateCompatibleDC(0);  // nothing selected yet
  EXPECT_FALSE(StretchBlt(dc, 0, 0, 3, 3, empty, 0, 0, 1, 1, SRCCOPY));
  EXPECT_FALSE(StretchBlt(dc, 0, 0, 3, 3, picture.dc(), 0, 0, 4, 4, 0x00EE0086 /*SRCPAINT*/));
  EXPECT_FALSE(StretchBlt(dc, 0, 0, -3, 3, picture.dc(), 0, 0, 4, 4, SRCCOPY));
  EXPECT_FALSE(StretchBlt(dc, 0, 0, 3, 3, 0, 0, 0, 4, 4, SRCCOPY));
  EXPECT_EQ(SelectObject(dc, picture.bitmap()), 0);  // a window context takes no bitmap
  EXPECT_FALSE(DeleteDC(dc));                        // nor is it deleted: it is released
  EXPECT_EQ(ReleaseDC(window_ + 1, dc), 0);
  EXPECT_EQ(ReleaseDC(window_, dc), 1);
  EXPECT_TRUE(DeleteDC(empty));
  EXPECT_FALSE(DeleteDC(empty));
}

// Each kind of write into a 4 x 3 window: a stretched copy, a fill, a drawing in place from
// another thread (as a decoder draws), and last a new size of 5 x 3.
std::vector<std::function<void()>> EveryKindOfWrite(HWND window, HDC dc,
                                                    const MemoryPicture& picture) {
  return {
      [=, &picture] { StretchBlt(dc, 0, 0, 4, 3, picture.dc(), 0, 0, 4, 3, SRCCOPY); },
      [=] {
        const RECT r{0, 0, 2, 2};
        FillRect(dc, &r, 0x0000FF);
      },
      [=] {
        std::thread([=] {
          DrawWindowPixels(window, [](uint8_t* bits, int32_t, int32_t) { bits[0] = 0x5A; });
        }).join();
      },
      [=] { MoveWindow(window, 0, 0, 5, 3); },
  };
}

// A host that shows the window elsewhere copies it only when something drew into it, and
// learns when that was.
TEST_F(WindowSurfaceTest, ChangedPixelsAreCopiedOnlyAfterAWrite) {
  ASSERT_TRUE(MoveWindow(window_, 0, 0, 4, 3));
  TSurfaceChange seen;
  std::vector<uint32_t> pixels;
  int32_t w = 0, h = 0;
  ASSERT_TRUE(GetWindowPixelsIfChanged(window_, &seen, &pixels, &w, &h));  // never copied yet
  EXPECT_EQ(pixels.size(), 12u);
  EXPECT_GT(seen.changed_at_ms, 1.6e12);  // wall clock, ms since the epoch
  EXPECT_FALSE(GetWindowPixelsIfChanged(window_, &seen, &pixels, &w, &h));

  MemoryPicture picture(4, 3);
  const HDC dc = GetDC(window_);
  for (const auto& write : EveryKindOfWrite(window_, dc, picture)) {
    const TSurfaceChange before = seen;
    write();
    ASSERT_TRUE(GetWindowPixelsIfChanged(window_, &seen, &pixels, &w, &h));
    EXPECT_GT(seen.version, before.version);
    EXPECT_GE(seen.changed_at_ms, before.changed_at_ms);
    EXPECT_EQ(pixels.size(), size_t(w) * h);
    EXPECT_FALSE(GetWindowPixelsIfChanged(window_, &seen, &pixels, &w, &h));
  }
  ReleaseDC(window_, dc);
  EXPECT_EQ(w, 5);
  EXPECT_FALSE(GetWindowPixelsIfChanged(0, &seen, &pixels, &w, &h));
}

// The same host reading the pixels in place, woken by each write instead of looking again
// and again: the listener hears every kind of write (from the drawing thread), the reader
// sees what was written, and a removed listener hears nothing more.
TEST_F(WindowSurfaceTest, ChangeListenerAndInPlaceReaderFollowEveryWrite) {
  ASSERT_TRUE(MoveWindow(window_, 0, 0, 4, 3));
  std::atomic<int> heard{0};
  ASSERT_TRUE(SetWindowChangeListener(window_, [&] { ++heard; }));
  TSurfaceChange seen;
  std::vector<uint32_t> copy;
  int32_t w = 0, h = 0;
  const auto read = [&](const uint32_t* pixels, int32_t width, int32_t height) {
    copy.assign(pixels, pixels + size_t(width) * height);
    w = width;
    h = height;
  };
  ASSERT_TRUE(ReadWindowPixelsIfChanged(window_, &seen, read));  // never read yet
  EXPECT_EQ(copy.size(), 12u);
  EXPECT_FALSE(ReadWindowPixelsIfChanged(window_, &seen, read));

  MemoryPicture picture(4, 3);
  const HDC dc = GetDC(window_);
  for (const auto& write : EveryKindOfWrite(window_, dc, picture)) {
    const int before = heard;
    const uint64_t version = seen.version;
    write();
    EXPECT_GE(heard, before + 1);
    ASSERT_TRUE(ReadWindowPixelsIfChanged(window_, &seen, read));
    EXPECT_GT(seen.version, version);
    EXPECT_EQ(copy, Pixels());
    EXPECT_EQ(copy.size(), size_t(w) * h);
    EXPECT_FALSE(ReadWindowPixelsIfChanged(window_, &seen, read));
  }
  EXPECT_EQ(w, 5);

  ASSERT_TRUE(SetWindowChangeListener(window_, nullptr));
  const int before = heard;
  StretchBlt(dc, 0, 0, 4, 3, picture.dc(), 0, 0, 4, 3, SRCCOPY);
  EXPECT_EQ(heard, before);
  EXPECT_TRUE(ReadWindowPixelsIfChanged(window_, &seen, read));  // still counted
  ReleaseDC(window_, dc);
  EXPECT_FALSE(SetWindowChangeListener(0, [] {}));
  EXPECT_FALSE(ReadWindowPixelsIfChanged(window_ + 1000, &seen, read));
}

TEST(MemoryContextTest, SelectReturnsPreviousAndDeletedBitmapStaysDrawable) {
  MemoryPicture a(2, 2), b(2, 2);
  const HDC dc = CreateCompatibleDC(0);
  EXPECT_EQ(SelectObject(dc, a.bitmap()), 0);
  EXPECT_EQ(SelectObject(dc, b.bitmap()), a.bitmap());
  // The handle goes, the selected bitmap keeps being a target until the context goes.
  const HBITMAP doomed = b.bitmap();
  EXPECT_TRUE(DeleteObject(doomed));
  EXPECT_FALSE(DeleteObject(doomed));
  EXPECT_TRUE(StretchBlt(dc, 0, 0, 2, 2, a.dc(), 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(SelectObject(dc, doomed), 0);
  EXPECT_TRUE(DeleteDC(dc));
}

TEST_F(WindowSurfaceTest, DrawWindowPixelsWritesTheSurfaceInPlace) {
  ASSERT_TRUE(MoveWindow(window_, 0, 0, 3, 2));
  int32_t seen_w = 0, seen_h = 0;
  ASSERT_TRUE(DrawWindowPixels(window_, [&](uint8_t* bits, int32_t w, int32_t h) {
    seen_w = w;
    seen_h = h;
    for (int32_t i = 0; i < w * h; ++i) {
      bits[i * 4] = static_cast<uint8_t>(i);  // blue
      bits[i * 4 + 1] = 0x20;                 // green
      bits[i * 4 + 2] = 0x30;                 // red
      bits[i * 4 + 3] = 0xFF;
    }
  }));
  EXPECT_EQ(seen_w, 3);
  EXPECT_EQ(seen_h, 2);
  const auto pixels = Pixels();
  ASSERT_EQ(pixels.size(), 6u);
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(pixels[i], 0xFF302000u | i);

  bool called = false;
  EXPECT_FALSE(
      DrawWindowPixels(window_ + 1000, [&](uint8_t*, int32_t, int32_t) { called = true; }));
  MoveWindow(window_, 0, 0, 0, 0);
  EXPECT_FALSE(DrawWindowPixels(window_, [&](uint8_t*, int32_t, int32_t) { called = true; }));
  EXPECT_FALSE(called);
}

TEST_F(WindowSurfaceTest, SavedPngReadsBackAsTheSurface) {
  MemoryPicture picture(5, 3);
  ASSERT_TRUE(MoveWindow(window_, 0, 0, 5, 3));
  const HDC dc = GetDC(window_);
  ASSERT_TRUE(StretchBlt(dc, 0, 0, 5, 3, picture.dc(), 0, 0, 5, 3, SRCCOPY));
  ReleaseDC(window_, dc);

  const std::string path = testing::TempDir() + "gdi_test_" + std::to_string(getpid()) + ".png";
  ASSERT_TRUE(SaveWindowPng(window_, path));
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
  EXPECT_EQ(image.width, 5u);
  EXPECT_EQ(image.height, 3u);
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      const uint8_t* p = &rgb[size_t(y * 5 + x) * 3];
      EXPECT_EQ(p[0], 0) << x << "," << y;  // red
      EXPECT_EQ(p[1], y) << x << "," << y;  // green
      EXPECT_EQ(p[2], x) << x << "," << y;  // blue
    }
  }
  unlink(path.c_str());

  EXPECT_FALSE(SaveWindowPng(window_, "/nonexistent-dir/x.png"));
  ASSERT_TRUE(MoveWindow(window_, 0, 0, 0, 0));
  EXPECT_FALSE(SaveWindowPng(window_, path));  // nothing to show
}

TEST_F(WindowSurfaceTest, OneThreadDrawsWhileAnotherReadsAndResizes) {
  MemoryPicture picture(8, 8);
  ASSERT_TRUE(MoveWindow(window_, 0, 0, 16, 16));
  std::atomic<bool> stop{false};
  std::thread drawer([&] {
    const HDC dc = GetDC(window_);
    while (!stop) StretchBlt(dc, 0, 0, 16, 16, picture.dc(), 0, 0, 8, 8, SRCCOPY);
    ReleaseDC(window_, dc);
  });
  for (int i = 0; i < 200; ++i) {
    int32_t w = 0, h = 0;
    const auto pixels = Pixels(&w, &h);
    ASSERT_EQ(pixels.size(), size_t(w) * h);
    MoveWindow(window_, 0, 0, 16 + i % 2, 16);
  }
  stop = true;
  drawer.join();
}

TEST(MonitorTest, TheOneVirtualMonitorHoldsEveryWindowAndNothingElse) {
  const HWND window = CreateWindowHandle();
  const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONULL);
  ASSERT_NE(monitor, 0);
  EXPECT_NE(monitor, window);
  MONITORINFO info;
  ASSERT_TRUE(GetMonitorInfo(monitor, &info));
  EXPECT_EQ(info.rcMonitor.left, 0);
  EXPECT_EQ(info.rcMonitor.top, 0);
  EXPECT_EQ(info.rcMonitor.right, kVirtualMonitorWidth);
  EXPECT_EQ(info.rcMonitor.bottom, kVirtualMonitorHeight);
  EXPECT_EQ(info.dwFlags, MONITORINFOF_PRIMARY);
  EXPECT_FALSE(GetMonitorInfo(monitor + 1, &info));
  EXPECT_FALSE(GetMonitorInfo(monitor, nullptr));
  DestroyWindowHandle(window);
  for (const HWND none : {window, HWND{0}, INVALID_HWND}) {
    EXPECT_EQ(MonitorFromWindow(none, MONITOR_DEFAULTTONULL), 0) << none;
  }
}

}  // namespace
}  // namespace plat
