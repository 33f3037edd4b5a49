// Load and unload of the player library: the log (and settings) are ready before any export
// can run and the log's stop line is written when the library goes away.
#include "player/config/player_settings.h"
#include "player/player_log.h"

namespace {
__attribute__((constructor)) void LoadPlayer() {
  zrplay::StartPlayerLog();
  zrplay::LoadPlayerSettings();
}
__attribute__((destructor)) void UnloadPlayer() {
  zrplay::StopPlayerLog();
}
}  // namespace
