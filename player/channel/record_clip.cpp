#include "player/channel/record_clip.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace zrplay {

namespace {

// The work buffer starts at 512 KiB and grows past a larger frame in steps of 1 KiB.
constexpr size_t kClipBufferSize = 512 * 1024;
constexpr size_t kClipBufferStep = 1024;

}  // namespace

EClipResult ClipRecordFile(TFileReader& reader, int32_t first, int32_t last,
                           const std::string& name) {
  const int32_t start = reader.NearestKeyFrame(first);
  if (start < 0) return EClipResult::NoKeyFrame;
  FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) return EClipResult::Failed;
  std::vector<uint8_t> buffer(kClipBufferSize);
  bool written = true;
  const int32_t end = std::min(last, reader.FrameCount() - 1);
  for (int32_t i = start; i <= end && written; ++i) {
    // A damaged head may claim far more than the file holds; those bytes were never stored.
    if (!reader.FrameLiesInFile(i)) continue;
    const size_t size = static_cast<size_t>(reader.FrameSize(i));
    if (size > buffer.size()) buffer.resize((size / kClipBufferStep + 1) * kClipBufferStep);
    if (size == 0 || !reader.ReadFrame(buffer.data(), i)) continue;
    written = std::fwrite(buffer.data(), 1, size, file) == size;
  }
  written = std::fclose(file) == 0 && written;
  return written ? EClipResult::Written : EClipResult::Failed;
}

}  // namespace zrplay
