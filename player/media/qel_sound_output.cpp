// The sound module behind TSoundOutput: each call forwards to its QelSound_* counterpart.
#include "player/media/sound_output.h"

#include "platform/module_object.h"

namespace zrplay {

namespace {

class TQelSoundOutput final : public TSoundOutput {
 public:
  THandle CreatePlayer(intptr_t window) override { return QelSound_CreatePlayer(window); }
  int32_t SetParam(THandle player, int32_t channels, int32_t bits, int32_t rate) override {
    return QelSound_SetParam(player, channels, bits, rate);
  }
  int32_t PlayOneFrame(THandle player, const uint8_t* data, int32_t length) override {
    return QelSound_PlayOneFrame(player, data, length);
  }
  int32_t FreePlayer(THandle player) override { return QelSound_FreePlayer(player); }
};

plat::TModuleObject<TQelSoundOutput> g_output;

}  // namespace

TSoundOutput& QelSoundOutput() {
  return g_output.Get();
}

void DestroyQelSoundOutput() {
  g_output.Destroy();
}

}  // namespace zrplay
