// TRecordFilePacer: decides when the background play thread may show the next frame of a
// record file, so frames leave spaced as their capture times were, scaled by the record file
// delay factor of the speed level. Holds the last show time as a millisecond tick. Used by
// the background play thread; Reset comes from play on the caller's thread. Each call is
// serialised by the pacer's own lock.
#pragma once

#include <cstdint>
#include <mutex>

#include "common/date_time.h"

namespace zrplay {

class TRecordFilePacer {
 public:
  // A gap longer than this between two frames is not waited for.
  static constexpr int64_t kMaxWaitMs = 1000;

  // Forget the last show time: the next frame goes at once.
  void Reset();
  // True when the frame may be shown at now_ms (a millisecond tick). last_frame_time is the
  // time of the last frame fed (0 before any). A frame let through moves the last show time
  // to now, except audio (frame type 5), which is played without waiting and moves nothing.
  bool Admit(TDateTime frame_time, int32_t frame_type, TDateTime last_frame_time,
             float delay_factor, uint32_t now_ms);

 private:
  std::mutex lock_;
  bool shown_ = false;
  uint32_t last_show_ms_ = 0;
};

}  // namespace zrplay
