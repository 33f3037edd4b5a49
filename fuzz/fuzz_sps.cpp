// Arbitrary bytes through the H.264 parameter-set probe: it must neither crash nor read
// outside the bytes it is given, whatever they hold.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "player/config/h264_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > static_cast<size_t>(std::numeric_limits<int>::max())) return 0;
  int width = 0, height = 0;
  zrplay::ProbeH264Sps(data, static_cast<int>(size), width, height);
  // The parse alone as well, so sets whose first byte is not type 7 are covered too.
  zrplay::ParseH264Sps(data, size);
  return 0;
}
