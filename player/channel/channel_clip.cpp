// The channel's clip of its open record file.
#include "player/channel/channel.h"
#include "player/channel/record_clip.h"

namespace zrplay {

int32_t TChannel::Clip(int32_t first, int32_t last, const char* name) {
  // The channel plays no record file yet, so there is nothing to clip from.
  (void)first;
  (void)last;
  (void)name;
  return 0;
}

}  // namespace zrplay
