// The channel's play state as the input side sees it: the start of a play run and stop.
#include "platform/time.h"
#include "player/channel/channel.h"

namespace zrplay {

void TChannel::ResetForPlay() {
  timing_.Restart();
  paused_ = false;
  single_step_ = false;
  speed_level_ = 0;
  playing_ = true;
}

int32_t TChannel::Stop() {
  if (!playing_.exchange(false)) return 1;
  paused_ = false;
  log_.Write("stop-->");
  const bool r = decoder_.Stop(vendor_port_);
  log_.Write("stop<--");
  // Lets input calls still running on other threads return before the stream closes.
  plat::Sleep(10);
  decoder_.CloseStream(vendor_port_);
  log_.Write("close stream");
  single_step_ = false;
  FreeBufferedFrames();
  log_.WriteF("stop=%d", r ? 1 : 0);
  return r ? 1 : 0;
}

void TChannel::FreeBufferedFrames() {
  frame_list_.Free();
  current_frame_.reset();
  log_.Write("free buffer frame list");
}

}  // namespace zrplay
