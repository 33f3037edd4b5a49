#include "player/channel/sound_manager.h"

#include "player/player_log.h"

namespace zrplay {

TSoundManager::~TSoundManager() {
  if (player_ == 0) return;
  try {
    output_.FreePlayer(player_);
  } catch (...) {
    // The player is gone either way.
  }
}

void TSoundManager::SetParams(const TAudioParams& params) {
  params_ = params;
  if (player_ != 0) {
    output_.SetParam(player_, params.Channels, params.Bits, params.SampleRate);
  } else {
    params_pending_ = true;
  }
  WriteLogF("set audio param, ch=%d, bits=%d, samples=%d", params.Channels, params.Bits,
            params.SampleRate);
}

void TSoundManager::PlayFrame(const uint8_t* buffer, int32_t length) {
  if (player_ == 0) {
    player_ = output_.CreatePlayer(window_);
    if (player_ == 0) return;
    if (params_pending_) {
      params_pending_ = false;
      output_.SetParam(player_, params_.Channels, params_.Bits, params_.SampleRate);
    }
  }
  output_.PlayOneFrame(player_, buffer, length);
}

}  // namespace zrplay
