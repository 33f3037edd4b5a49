// The viewer control's binding of the player API. The control does not link the player
// library: it loads the player proxy module "ZrPlayProxy" once per process (beside the
// viewer library first), never unloads it, and every wrapper below looks its export up by
// name at each call, giving the export's failure value when the module or the export is
// missing. Any thread may call; the module handle is process-wide.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/module.h"
#include "player/api/zrplay_api.h"

namespace viewer {

// Module the binding loads: the name given here, else $QUVI_PLAYER_PROXY, else "ZrPlayProxy".
// A name is looked for beside the viewer library first; a path is taken as it is. Only a
// call made before the first use of the binding has an effect.
void SetPlayerProxyModuleName(const std::string& name);
// The proxy module, loaded at the first call; null when loading failed (and it stays so).
plat::HMODULE PlayerProxyModule();

// One wrapper per player API export, with the export's name and arguments.
namespace proxy {
#define VIEWER_DECLARE_PLAYER_WRAPPER(ret, name, params, args, fail) ret name params;
ZRPLAY_EXPORTS(VIEWER_DECLARE_PLAYER_WRAPPER)
ZRPLAY_PROXY_EXTRA_EXPORTS(VIEWER_DECLARE_PLAYER_WRAPPER)
#undef VIEWER_DECLARE_PLAYER_WRAPPER
}  // namespace proxy

// The fixed character array in which a capture file name travels to the player.
constexpr size_t kFileNameArraySize = 512;
using TFileNameArray = std::array<char, kFileNameArraySize>;

// Character i of the name for i below its length, 0 for the rest; a name of 512 characters
// or more fills the array without a terminator.
TFileNameArray FileNameToCharArray(const std::string& name);

// Zr_Play_CaptureImage with the name in its character array. A name of 512 characters or
// more would reach the player unterminated, so it is refused (result 0, no call).
int32_t CaptureImageToFile(int32_t port, const std::string& file_name);

}  // namespace viewer
