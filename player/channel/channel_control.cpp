// The channel's pace: pause, the speed ladder and single-frame stepping, for record files
// and live streams alike.
#include "player/channel/channel.h"
#include "player/channel/speed_ladder.h"

namespace zrplay {

int32_t TChannel::Pause(int32_t pause) {
  const uint32_t flag = static_cast<uint32_t>(pause) & 0x7F;
  paused_ = pause != 0;
  single_step_ = false;
  const bool r = decoder_.Pause(vendor_port_, flag != 0);
  play_work_.Signal();
  log_.WriteF("pause(%u)=%d", flag, r ? 1 : 0);
  return r ? 1 : 0;
}

int32_t TChannel::SetPlaySpeed(int32_t old_level, int32_t new_level) {
  if (old_level != new_level) {
    speed_level_ = new_level;
    live_delay_factor_ = LiveDelayFactor(new_level);
    play_work_.Signal();
    log_.WriteF("set play speed(old=%d, new=%d)=1", old_level, new_level);
  }
  return 1;
}

int32_t TChannel::Fast() {
  const int32_t level = speed_level_;
  if (level < kFastestSpeedLevel) {
    speed_level_ = level + 1;
    live_delay_factor_ = LiveDelayFactor(level + 1);
    play_work_.Signal();
    decoder_.Fast(vendor_port_);
    log_.WriteF("fast=1, speed=%d", level + 1);
  }
  single_step_ = false;
  return 1;
}

int32_t TChannel::Slow() {
  const int32_t level = speed_level_;
  if (level > kSlowestSpeedLevel) {
    speed_level_ = level - 1;
    live_delay_factor_ = LiveDelayFactor(level - 1);
    play_work_.Signal();
    decoder_.Slow(vendor_port_);
    log_.WriteF("set slow=1, speed=%d", level - 1);
  }
  single_step_ = false;
  return 1;
}

int32_t TChannel::OneByOneForward() {
  int32_t r = 0;
  if (StreamState() == ssRecordFile) {
    std::lock_guard lock(file_lock_);
    const int32_t index = current_index_;
    const int32_t count = reader_ ? reader_->FrameCount() : 0;
    if (index < count - 1) {
      paused_ = true;
      ShowFrameLocked(index);
      SetCurrentIndexLocked(index + 1);
      if (current_index_ == count - 1) PostFileEnd();
      r = 1;
    }
  } else {
    // The live step lets exactly one buffered frame through per pending step.
    paused_ = true;
    single_step_ = true;
    step_pending_ = true;
    play_work_.Signal();
  }
  log_.WriteF("one by one=%d", r);
  return r;
}

int32_t TChannel::OneByOneBack() {
  if (StreamState() != ssRecordFile) return 0;
  std::lock_guard lock(file_lock_);
  const int32_t index = current_index_;
  if (!reader_ || index <= 0) return 0;
  paused_ = true;
  SetCurrentIndexLocked(index - 1);
  ShowFrameLocked(current_index_);
  log_.Write("one by one back=1");
  return 1;
}

}  // namespace zrplay
