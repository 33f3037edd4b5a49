// Load and unload of the player library: the log (and settings) are ready before any export
// can run; at unload every channel still registered is destroyed, then the bindings of the
// media modules the channels used, then the log's stop line is written.
#include "player/api/channel_manager.h"
#include "player/config/player_settings.h"
#include "player/media/aac_decoder_module.h"
#include "player/media/sound_output.h"
#include "player/media/video_decoder.h"
#include "player/player_log.h"

namespace {
__attribute__((constructor)) void LoadPlayer() {
  zrplay::StartPlayerLog();
  zrplay::LoadPlayerSettings();
}
__attribute__((destructor)) void UnloadPlayer() {
  zrplay::DestroyChannelManager();
  zrplay::DestroyAacDecoderModule();
  zrplay::DestroyQelSoundOutput();
  zrplay::DestroyVendorVideoDecoder();
  zrplay::StopPlayerLog();
}
}  // namespace
