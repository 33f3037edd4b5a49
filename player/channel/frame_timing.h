// TFrameTiming: what a channel knows about the time line of the frames it feeds: the codec
// of the first fed frame, the first and last frame times, the measured frame rate and the
// current stamp. Written by whichever thread feeds, read by the decoder's thread and the
// background play thread; each value is atomic on its own.
#pragma once

#include <atomic>
#include <cstdint>

#include "player/channel/frame_head.h"

namespace zrplay {

class TFrameTiming {
 public:
  static constexpr int32_t kDefaultFrameRate = 25;

  // A new play run: first and last frame times go back to 0 (none yet).
  void Restart();
  // Takes in the next fed frame. The rate is measured from the distance to the last frame
  // when it is under a second, and held at max_fps when that is 1 or more.
  void Update(const TFrameHead& head, int32_t max_fps);

  uint8_t EncodeType() const { return encode_type_.load(); }
  int32_t FrameRate() const { return frame_rate_.load(); }
  TDateTime FirstFrameTime() const { return first_frame_time_.load(); }
  TDateTime LastFrameTime() const { return last_frame_time_.load(); }
  // Capture time in milliseconds, wrapping in 32 bits.
  uint32_t CurrentStamp() const { return current_stamp_.load(); }

 private:
  std::atomic<uint8_t> encode_type_{0};
  std::atomic<int32_t> frame_rate_{kDefaultFrameRate};
  std::atomic<TDateTime> first_frame_time_{0};
  std::atomic<TDateTime> last_frame_time_{0};
  std::atomic<uint32_t> current_stamp_{0};
};

}  // namespace zrplay
