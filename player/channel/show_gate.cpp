#include "player/channel/show_gate.h"

#include <cmath>

#include "player/channel/channel_log.h"
#include "player/channel/frame_head.h"

namespace zrplay {

void TShowGate::Reset() {
  std::lock_guard lock(lock_);
  shown_ = false;
  last_show_ms_ = 0;
}

bool TShowGate::CanPlay(TDateTime frame_time, TDateTime last_frame_time, float delay_factor,
                        uint8_t frame_type, uint32_t now_ms, const TChannelLog& log,
                        uint32_t* wait_left_ms) {
  const int64_t d = FrameTimeDistanceMs(frame_time, last_frame_time);
  const auto wait = static_cast<int64_t>(
      std::llround(static_cast<double>(d) * static_cast<double>(delay_factor)));
  std::lock_guard lock(lock_);
  bool resync = false;
  if (!shown_) {
    resync = true;
    log.Write("can play, first frame");
  } else if (wait >= kMaxWaitMs) {
    resync = true;
    log.WriteF("can play, frame delay=%lld", static_cast<long long>(wait));
  } else {
    // Unsigned difference: the tick may wrap between two frames.
    const int64_t elapsed = static_cast<uint32_t>(now_ms - last_show_ms_);
    if (wait > elapsed) {
      if (wait_left_ms != nullptr) *wait_left_ms = static_cast<uint32_t>(wait - elapsed);
      return false;
    }
    resync = 3 * wait <= elapsed && elapsed > 100;
  }
  shown_ = true;
  if (resync) {
    last_show_ms_ = now_ms;
  } else if (frame_type != kFrameTypeAudio && frame_type != kFrameTypeData) {
    last_show_ms_ += static_cast<uint32_t>(wait);
  }
  return true;
}

}  // namespace zrplay
