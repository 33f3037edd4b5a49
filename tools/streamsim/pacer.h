// When each frame of a stream goes out: in real time the distance between capture times,
// as fast as possible otherwise. A frame earlier than the latest seen goes at once without
// moving the schedule, and a gap longer than the cap counts as the cap, so a file with a
// jump in its times does not stall the stream. One stream connection's thread.
#pragma once

#include <cstdint>

#include "tools/streamsim/socket_io.h"

namespace streamsim {

class TPacer {
 public:
  static constexpr int64_t kMaxGapUs = 1000000;

  explicit TPacer(bool real_time) : real_time_(real_time) {}
  // The moment the frame with this capture time is due; the first frame is due now.
  TClock::time_point Due(int64_t capture_us);

 private:
  bool real_time_;
  bool started_ = false;
  int64_t latest_us_ = 0;
  TClock::time_point latest_due_{};
};

}  // namespace streamsim
