// TBufferFrame: one frame waiting in a channel's frame list: a private copy of the whole
// block given to input (frame head, payload and anything behind it). Immutable after
// construction; owned by the list, then by the thread that takes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "player/channel/frame_head.h"

namespace zrplay {

class TBufferFrame {
 public:
  // Copies size bytes from block; throws std::invalid_argument when they cannot hold a
  // frame head.
  TBufferFrame(const uint8_t* block, size_t size);

  const TFrameHead& Head() const { return head_; }
  const uint8_t* Data() const { return data_.get(); }
  size_t Length() const { return length_; }
  TDateTime FrameTime() const { return time_; }
  bool IsKeyFrame() const { return IsKeyFrameType(head_.FrameType); }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t length_;
  TFrameHead head_;
  TDateTime time_;
};

}  // namespace zrplay
