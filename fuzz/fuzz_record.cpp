// Arbitrary file bytes through the record file reader: opening, indexing (with its
// resynchronisation over damaged stretches) and every per-frame query must neither crash
// nor read outside their buffers, and the index must stay well formed.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "player/record/file_reader.h"

namespace {

// The bytes live in an in-memory file reached through its /proc path, as a real path.
int MemoryFile() {
  static const int fd = ::memfd_create("fuzz_record", MFD_CLOEXEC);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = MemoryFile();
  if (fd < 0 || ::ftruncate(fd, 0) != 0) return 0;
  if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  zrplay::TFileReader reader;
  reader.SetLogSink([](const std::string&) {});
  reader.Open(path);
  const bool indexed = reader.BuildIndex();
  const int count = reader.FrameCount();
  if (indexed != (count > 0)) __builtin_trap();

  std::vector<uint8_t> buffer;
  int64_t previous = -1;
  for (int i = -1; i <= count; ++i) {
    const int64_t start = reader.FrameStart64(i);
    const int32_t frame_size = reader.FrameSize(i);
    if (i >= 0 && i < count) {
      // Heads lie inside the file, in strictly growing order, each with its payload.
      if (start <= previous || start + 64 >= static_cast<int64_t>(size)) __builtin_trap();
      if (frame_size != 0 && frame_size <= 64) __builtin_trap();
      previous = start;
    }
    (void)reader.FrameStart(i);
    (void)reader.FrameTime(i);
    (void)reader.FrameType(i);
    (void)reader.IsKeyFrame(i);
    if (frame_size <= (1 << 20)) {
      buffer.assign(static_cast<size_t>(frame_size > 0 ? frame_size : 1), 0);
      reader.ReadFrame(buffer.data(), i);
    }
  }
  (void)reader.DurationMs();
  (void)reader.IndexListing();
  // A second build over the same file gives the same index.
  reader.BuildIndex();
  if (reader.FrameCount() != count) __builtin_trap();
  reader.Close();
  return 0;
}
