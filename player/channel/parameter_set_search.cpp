#include "player/channel/parameter_set_search.h"

namespace zrplay {

int64_t FindH264SequenceParameterSet(const uint8_t* bytes, size_t size) {
  constexpr uint8_t kNalTypeSps = 7;
  int zeros = 0;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = bytes[i];
    if (b == 0) {
      ++zeros;
    } else if (b != 1) {
      zeros = 0;
    } else if (zeros > 2) {
      if (i + 1 >= size) return -1;
      if ((bytes[i + 1] & 0x1F) == kNalTypeSps) return static_cast<int64_t>(i + 1);
      zeros = 0;
      ++i;
    }
  }
  return -1;
}

}  // namespace zrplay
