// Copying a range of a record file into a clip file: the frames from the key frame at or
// before the first index up to the last index, each exactly as the file holds it (frame head,
// payload and overlay records), with no stream head in front. A frame whose head claims more
// than the file holds is left out. Runs on the caller's thread; the reader must have its
// index built.
#pragma once

#include <cstdint>
#include <string>

#include "player/record/file_reader.h"

namespace zrplay {

enum class EClipResult {
  Written,     // the file holds the frames
  NoKeyFrame,  // no key frame at or before the first index: no file is made
  Failed,      // the file could not be made or written in full
};

EClipResult ClipRecordFile(TFileReader& reader, int32_t first, int32_t last,
                           const std::string& name);

}  // namespace zrplay
