// Compresses an 8-bit planar 4:2:0 picture to a JPEG in memory with libjpeg. Any thread.
#pragma once

#include <cstdint>
#include <vector>

namespace vdec {

struct TPlanes420 {
  const uint8_t* y = nullptr;
  const uint8_t* u = nullptr;
  const uint8_t* v = nullptr;
  int y_stride = 0;
  int u_stride = 0;
  int v_stride = 0;
  int width = 0;
  int height = 0;
};

// Replaces `out` with the JPEG of the picture at the given quality (1 to 100); false when
// the picture is empty, the quality is out of range, or the library reports a failure.
bool EncodeJpeg(const TPlanes420& picture, int quality, std::vector<uint8_t>& out);

}  // namespace vdec
