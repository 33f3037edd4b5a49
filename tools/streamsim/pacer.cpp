#include "tools/streamsim/pacer.h"

#include <algorithm>

namespace streamsim {

TClock::time_point TPacer::Due(int64_t capture_us) {
  const TClock::time_point now = TClock::now();
  if (!real_time_) return now;
  if (!started_) {
    started_ = true;
    latest_us_ = capture_us;
    latest_due_ = now;
    return now;
  }
  if (capture_us <= latest_us_) return std::min(now, latest_due_);
  latest_due_ += std::chrono::microseconds(std::min(capture_us - latest_us_, kMaxGapUs));
  latest_us_ = capture_us;
  return latest_due_;
}

}  // namespace streamsim
