#include "player/channel/frame_head.h"

namespace zrplay {

const uint8_t kDefaultStreamHead[kFrameHeadSize] = {0x40, 0x00, 0x00, 0x00, 0xA9, 0xCA,
                                                    0xAF, 0x11, 0xBD, 0x2F, 0x10, 0xEE};

bool IsStandardFrameHead(const void* buffer, size_t length) {
  if (buffer == nullptr || length < 12) return false;
  return std::memcmp(buffer, kDefaultStreamHead, 12) == 0;
}

bool HasFrameMagic(const void* block, size_t length) {
  if (block == nullptr || length < kFrameHeadSize) return false;
  uint32_t words[3];
  std::memcpy(words, block, sizeof words);
  return words[0] == kFrameHeadSize && words[1] == kFrameMagic1 && words[2] == kFrameMagic2;
}

TFrameHead MakeFrameHead() {
  TFrameHead h;
  std::memset(&h, 0, sizeof h);
  h.HeadLength = kFrameHeadSize;
  h.Magic1 = kFrameMagic1;
  h.Magic2 = kFrameMagic2;
  h.OverlaySize = kOverlayRecordSize;
  return h;
}

TDateTime UnixToDateTime(int32_t seconds, int32_t microseconds) {
  return 25569.0 + seconds / 86400.0 + ((microseconds / 1000) % 1000) / 86400000.0;
}

}  // namespace zrplay
