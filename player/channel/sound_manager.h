// TSoundManager: a channel's sound output. It keeps the window it was made for, the sound
// module's player (made at the first frame played, tried again at the next frame when that
// fails) and the current channels, bits and rate, passed on before the first frame when set
// earlier. Used on the thread that inputs audio and by OpenSound/StopSound, under the
// channel audio lock. Owns the player.
#pragma once

#include <cstdint>

#include "platform/messages.h"
#include "player/channel/audio_params.h"
#include "player/media/sound_output.h"

namespace zrplay {

class TSoundManager {
 public:
  TSoundManager(plat::HWND window, TSoundOutput& output) : window_(window), output_(output) {}
  // Frees the player; a failure there is not passed on.
  ~TSoundManager();
  TSoundManager(const TSoundManager&) = delete;
  TSoundManager& operator=(const TSoundManager&) = delete;

  // Stores the parameters and hands them to the player, or keeps them for the player the
  // next frame makes.
  void SetParams(const TAudioParams& params);
  void PlayFrame(const uint8_t* buffer, int32_t length);

  const TAudioParams& Params() const { return params_; }
  plat::HWND Window() const { return window_; }
  TSoundOutput::THandle Player() const { return player_; }

 private:
  const plat::HWND window_;
  TSoundOutput& output_;
  TSoundOutput::THandle player_ = 0;
  TAudioParams params_;
  bool params_pending_ = false;
};

}  // namespace zrplay
