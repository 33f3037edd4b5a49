#include "player/channel/record_file_pacer.h"

#include <cmath>

#include "player/channel/frame_head.h"

namespace zrplay {

void TRecordFilePacer::Reset() {
  std::lock_guard lock(lock_);
  shown_ = false;
  last_show_ms_ = 0;
}

bool TRecordFilePacer::Admit(TDateTime frame_time, int32_t frame_type, TDateTime last_frame_time,
                             float delay_factor, uint32_t now_ms) {
  std::lock_guard lock(lock_);
  const bool audio = frame_type == kFrameTypeAudio;
  bool now = !shown_ || last_frame_time == 0 || audio;
  if (!now) {
    const int64_t d = FrameTimeDistanceMs(frame_time, last_frame_time);
    if (d > kMaxWaitMs) {
      now = true;
    } else {
      const auto wait = static_cast<int64_t>(
          std::nearbyint(static_cast<double>(delay_factor) * static_cast<double>(d)));
      // Unsigned difference: the tick may wrap between two frames.
      const int64_t elapsed = static_cast<uint32_t>(now_ms - last_show_ms_);
      now = elapsed >= wait;
    }
  }
  if (now && !audio) {
    shown_ = true;
    last_show_ms_ = now_ms;
  }
  return now;
}

}  // namespace zrplay
