// Test support for end-to-end tests that look at a window: the luma of every picture of a
// record file decoded directly with libavcodec, and how far what a window shows lies from
// the nearest of them. Test code only; one thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/messages.h"

namespace quvi_test {

struct TLumaPicture {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Y;
};

// Every video picture of the record file, decoded single-threaded with libavcodec (H.264).
std::vector<TLumaPicture> DecodeRecordFileLuma(const std::string& path);

// Mean absolute luma difference between the window and the nearest picture, sampled on a
// grid with the window scaled onto the picture; a large value when the window is empty.
double DistanceToNearestPicture(plat::HWND window, const std::vector<TLumaPicture>& pictures);

// As DistanceToNearestPicture, with the window scaled onto the region (picture pixels, right
// and bottom excluded) of each picture: what a window zoomed into that region shows.
double DistanceToNearestRegion(plat::HWND window, const std::vector<TLumaPicture>& pictures,
                               int left, int top, int right, int bottom);

// True when at least a quarter of the window's pixels are not black.
bool WindowShowsAPicture(plat::HWND window);

}  // namespace quvi_test
