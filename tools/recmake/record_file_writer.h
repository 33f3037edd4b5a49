// Writes a record stream file: the 64-byte file head (the default stream head) unless
// asked to leave it out, then each frame as head, payload and overlay records. One thread
// at a time; owns the open file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/recmake/record_frame.h"

namespace recmake {

class TRecordFileWriter {
 public:
  // Creates (truncates) the file and writes the file head; throws TRecmakeError when the
  // file cannot be created or written.
  TRecordFileWriter(const std::string& path, bool with_file_head = true);
  ~TRecordFileWriter();
  TRecordFileWriter(const TRecordFileWriter&) = delete;
  TRecordFileWriter& operator=(const TRecordFileWriter&) = delete;

  void Write(const TRecordFrame& frame);
  // Flushes and closes; throws when the data could not all be written.
  void Close();

  uint64_t FramesWritten() const { return frames_; }
  uint64_t BytesWritten() const { return bytes_; }

 private:
  void Put(const void* data, size_t size);

  std::string path_;
  FILE* file_ = nullptr;
  uint64_t frames_ = 0;
  uint64_t bytes_ = 0;
};

}  // namespace recmake
