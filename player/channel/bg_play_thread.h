// TBgPlayThread: the channel's background play thread. Runs the channel's play step until
// terminated; after a step that did nothing it waits as the channel says (until the next
// frame is due or something arrives, 1 ms for record files). Borrows its channel, which
// terminates, wakes, waits for and frees it on stop.
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
