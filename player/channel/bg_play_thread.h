// TBgPlayThread: the channel's background play thread. Runs the channel's play step until
// terminated, sleeping 1 ms whenever a step did nothing. Borrows its channel, which
// terminates, waits for and frees it on stop.
#pragma once

#include "platform/thread.h"

namespace zrplay {

class TChannel;

class TBgPlayThread final : public plat::TThread {
 public:
  explicit TBgPlayThread(TChannel& channel) : channel_(channel) {}

 protected:
  void Execute() override;

 private:
  TChannel& channel_;
};

}  // namespace zrplay
