#include "player/config/player_settings.h"

namespace zrplay {

TPlayerSettings PlayerSettings;

}  // namespace zrplay
