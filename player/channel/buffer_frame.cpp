#include "player/channel/buffer_frame.h"

#include <stdexcept>

namespace zrplay {

TBufferFrame::TBufferFrame(const uint8_t* block, size_t size) : length_(size) {
  if (block == nullptr || size < kFrameHeadSize) {
    throw std::invalid_argument("a buffered frame needs a whole frame head");
  }
  data_ = std::make_unique_for_overwrite<uint8_t[]>(size);
  std::memcpy(data_.get(), block, size);
  head_ = ReadFrameHead(block);
  time_ = zrplay::FrameTime(head_);
}

}  // namespace zrplay
