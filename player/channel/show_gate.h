// TShowGate: decides when the background play thread may feed the next buffered live frame,
// so frames leave the list spaced as their capture times were (scaled by the live delay
// factor). Holds the last show time as a millisecond tick. Used by the background play
// thread and, before a frame list exists, by the input thread; each call is serialised by
// the gate's own lock.
#pragma once

#include <cstdint>
#include <mutex>

#include "common/date_time.h"

namespace zrplay {

class TChannelLog;

class TShowGate {
 public:
  // A wait this long or longer is not waited for; the schedule restarts.
  static constexpr int64_t kMaxWaitMs = 4000;

  // Forget the last show time: the next frame goes through at once.
  void Reset();
  // True when the frame may be fed now (now_ms from a millisecond tick). frame_type 5 and 6
  // never move the schedule on. When false, *wait_left_ms (if given) receives the
  // milliseconds until the frame is due.
  bool CanPlay(TDateTime frame_time, TDateTime last_frame_time, float delay_factor,
               uint8_t frame_type, uint32_t now_ms, const TChannelLog& log,
               uint32_t* wait_left_ms = nullptr);

 private:
  std::mutex lock_;
  bool shown_ = false;
  uint32_t last_show_ms_ = 0;
};

}  // namespace zrplay
