#include "player/channel/bg_play_thread.h"

#include "platform/time.h"
#include "player/channel/channel.h"

namespace zrplay {

void TBgPlayThread::Execute() {
  while (!Terminated()) {
    bool worked = false;
    try {
      worked = channel_.PlayStep();
    } catch (...) {
      // One bad frame must not end playing; the next step goes on.
    }
    if (!worked) channel_.WaitForPlayWork();
  }
}

}  // namespace zrplay
