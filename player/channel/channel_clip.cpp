// The channel's clip of its open record file.
#include "player/channel/channel.h"
#include "player/channel/record_clip.h"

namespace zrplay {

int32_t TChannel::Clip(int32_t first, int32_t last, const char* name) {
  const std::shared_ptr<TFileReader> reader = OpenReader();
  // Until its index is built the file has no frames to clip.
  if (!reader || BuildingIndex() || name == nullptr) return 0;
  // No key frame to start from writes no file, which the caller is told.
  return ClipRecordFile(*reader, first, last, name) == EClipResult::Written ? 1 : 0;
}

}  // namespace zrplay
