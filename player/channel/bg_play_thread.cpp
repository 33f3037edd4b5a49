#include "player/channel/bg_play_thread.h"

#include <pthread.h>

#include "platform/time.h"
#include "player/channel/channel.h"

namespace zrplay {

void TBgPlayThread::Execute() {
  // Named so that profiles and the process's thread list tell the pacing stage apart.
  pthread_setname_np(pthread_self(), "zrplay-bg");
  while (!Terminated()) {
    bool worked = false;
    try {
      worked = channel_.PlayStep();
    } catch (...) {
      // One bad frame must not end playing; the next step goes on.
    }
    if (!worked) channel_.WaitForPlayWork([this] { return Terminated(); });
  }
}

}  // namespace zrplay
