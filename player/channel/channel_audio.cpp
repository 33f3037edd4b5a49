// The channel's sound operations and its audio gate: open and stop sound, volume, the
// decode-callback stream selector, and handing audio frames to the audio path.
#include "player/channel/channel.h"

namespace zrplay {

int32_t TChannel::OpenSound() {
  audio_.OpenSound(window_.load());
  log_.Write("open sound=1");
  return 1;
}

int32_t TChannel::StopSound() {
  audio_.StopSound();
  log_.Write("stop sound=1");
  return 1;
}

int32_t TChannel::SetVolume(int32_t volume) {
  log_.WriteF("set volume(%d)=0", volume);
  return 0;
}

int32_t TChannel::GetVolume() {
  log_.Write("get volume=0");
  return 0;
}

int32_t TChannel::SetDecCBStream(int32_t selector) {
  audio_.SetAudioEnabled(selector != 1);
  log_.WriteF("set dec cb stream(%d)=1", selector);
  return 1;
}

bool TChannel::AudioGateOpen() {
  bool callback_set = false;
  {
    std::lock_guard lock(callback_lock_);
    callback_set = dec_callback_ != nullptr;
  }
  return zrplay::AudioGateOpen(audio_.AudioEnabled(), paused_.load(), speed_level_.load(),
                               audio_.SoundOpen(), callback_set);
}

void TChannel::InputAudio(const uint8_t* block, size_t size) {
  TAudioPath::TCallback callback;
  {
    std::lock_guard lock(callback_lock_);
    callback.Callback = dec_callback_;
    callback.User = dec_user_;
  }
  if (callback.Callback != nullptr) {
    // The stamp the pictures report: the last fed frame's, from the first picture's on.
    std::lock_guard lock(picture_lock_);
    callback.Stamp = static_cast<int32_t>(timing_.CurrentStamp() - stamp_base_);
  }
  audio_.Input(block, size, callback);
}

}  // namespace zrplay
