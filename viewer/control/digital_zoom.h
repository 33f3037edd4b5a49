// The arithmetic of digital zoom: which part of the decoded picture a window shows after a
// zoom to a rectangle of the window, or a step in or out around a point. Regions are in
// picture pixels (left, top, right, bottom); window points in client coordinates of a
// window_width × window_height window. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/gdi.h"

namespace viewer {

// The integer nearest to numerator / denominator (denominator > 0); a value exactly halfway
// goes to the even neighbour.
int32_t NearestRatio(int64_t numerator, int64_t denominator);

// Zoom to the window rectangle `selection`: each side scaled from the window to the region
// shown now and moved into it (negative points count as 0, nothing beyond the region's right
// or bottom edge), so a zoom refines the region already shown. Nullopt for an empty window.
std::optional<plat::RECT> RefineZoomRegion(const plat::RECT& shown, int32_t window_width,
                                           int32_t window_height, const plat::RECT& selection);

// Zoom-in steps shrink the region to 90 % and are refused below this width or height.
constexpr int32_t kMinZoomStepSize = 100;

// A step in (region 90 % as wide and high) or out (110 %) placed by the window point (x, y):
// the point's share of the window is the region's offset's share of the room left in the
// picture. Nullopt when refused: zooming in on a region narrower or lower than
// kMinZoomStepSize, zooming out when the region is already as wide or as high as the picture,
// or an empty window.
std::optional<plat::RECT> StepZoomRegion(const plat::RECT& shown, int32_t picture_width,
                                         int32_t picture_height, int32_t window_width,
                                         int32_t window_height, int32_t x, int32_t y, bool zoom_in);

}  // namespace viewer
