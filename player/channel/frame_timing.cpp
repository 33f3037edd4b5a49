#include "player/channel/frame_timing.h"

#include <cmath>

namespace zrplay {

void TFrameTiming::Restart() {
  first_frame_time_ = 0;
  last_frame_time_ = 0;
}

void TFrameTiming::Update(const TFrameHead& head, int32_t max_fps) {
  uint8_t none = 0;
  encode_type_.compare_exchange_strong(none, head.Codec);

  const TDateTime time = FrameTime(head);
  int32_t rate = kDefaultFrameRate;
  if (first_frame_time_.load() == 0) {
    first_frame_time_ = time;
  } else {
    const int64_t d = FrameTimeDistanceMs(time, last_frame_time_.load());
    if (d > 0 && d < 1000) {
      // Halves go to the even neighbour (the default rounding mode).
      rate = static_cast<int32_t>(std::nearbyint(1000.0 / static_cast<double>(d)));
      // A configured cap below 1 would make the rate meaningless; it is not applied.
      if (max_fps >= 1 && rate > max_fps) rate = max_fps;
    }
  }
  frame_rate_ = rate;
  last_frame_time_ = time;
  current_stamp_ =
      static_cast<uint32_t>(head.Microseconds / 1000) + static_cast<uint32_t>(head.Seconds) * 1000u;
}

}  // namespace zrplay
