// TSoundOutput: the calls the channels make into the sound module, so a channel can be given
// another output (tests give one that records what it is told). QelSoundOutput() is the
// process-wide one over QelDSound. Implementations serve any thread.
#pragma once

#include <cstdint>

#include "modules/qeldsound/qeldsound.h"

namespace zrplay {

class TSoundOutput {
 public:
  using THandle = QELSOUND_HANDLE;

  virtual ~TSoundOutput() = default;
  // A player for the window; 0 when none could be made.
  virtual THandle CreatePlayer(intptr_t window) = 0;
  virtual int32_t SetParam(THandle player, int32_t channels, int32_t bits, int32_t rate) = 0;
  virtual int32_t PlayOneFrame(THandle player, const uint8_t* data, int32_t length) = 0;
  virtual int32_t FreePlayer(THandle player) = 0;
};

// The sound module's output, made on first use.
TSoundOutput& QelSoundOutput();
// Ends it; the library's unload runs this once its channels are gone.
void DestroyQelSoundOutput();

}  // namespace zrplay
