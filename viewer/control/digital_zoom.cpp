#include "viewer/control/digital_zoom.h"

#include <algorithm>

namespace viewer {

int32_t NearestRatio(int64_t numerator, int64_t denominator) {
  int64_t quotient = numerator / denominator;
  int64_t remainder = numerator % denominator;
  // Floor division, so the remainder is in 0..denominator-1.
  if (remainder < 0) {
    --quotient;
    remainder += denominator;
  }
  const int64_t twice = 2 * remainder;
  if (twice > denominator || (twice == denominator && (quotient & 1) != 0)) ++quotient;
  return static_cast<int32_t>(quotient);
}

std::optional<plat::RECT> RefineZoomRegion(const plat::RECT& shown, int32_t window_width,
                                           int32_t window_height, const plat::RECT& selection) {
  if (window_width <= 0 || window_height <= 0) return std::nullopt;
  const int64_t w = int64_t(shown.right) - shown.left;
  const int64_t h = int64_t(shown.bottom) - shown.top;
  const auto x_of = [&](int32_t x) {
    return std::min(NearestRatio(std::max(x, 0) * w, window_width) + shown.left, shown.right);
  };
  const auto y_of = [&](int32_t y) {
    return std::min(NearestRatio(std::max(y, 0) * h, window_height) + shown.top, shown.bottom);
  };
  return plat::RECT{x_of(selection.left), y_of(selection.top), x_of(selection.right),
                    y_of(selection.bottom)};
}

std::optional<plat::RECT> StepZoomRegion(const plat::RECT& shown, int32_t picture_width,
                                         int32_t picture_height, int32_t window_width,
                                         int32_t window_height, int32_t x, int32_t y,
                                         bool zoom_in) {
  if (window_width <= 0 || window_height <= 0) return std::nullopt;
  int32_t w = shown.right - shown.left;
  int32_t h = shown.bottom - shown.top;
  if (zoom_in) {
    if (w < kMinZoomStepSize || h < kMinZoomStepSize) return std::nullopt;
    w = NearestRatio(int64_t(w) * 9, 10);
    h = NearestRatio(int64_t(h) * 9, 10);
  } else {
    if (w >= picture_width || h >= picture_height) return std::nullopt;
    w = NearestRatio(int64_t(w) * 11, 10);
    h = NearestRatio(int64_t(h) * 11, 10);
  }
  w = std::min(w, picture_width);
  h = std::min(h, picture_height);
  plat::RECT region;
  region.left = std::max(NearestRatio(int64_t(picture_width - w) * x, window_width), 0);
  region.right = std::min(region.left + w, picture_width);
  region.top = std::max(NearestRatio(int64_t(picture_height - h) * y, window_height), 0);
  region.bottom = std::min(region.top + h, picture_height);
  return region;
}

}  // namespace viewer
