// Reads a record stream file frame by frame and checks it strictly: every head must carry
// the magics, and payload and overlay records must lie inside the file. Used by the tools
// to list and serve record files and by the tests to check what recmake wrote. One thread
// at a time; reads from a stream the caller owns.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "tools/recmake/record_frame.h"

namespace recmake {

class TRecordFileReader {
 public:
  enum class EResult { Frame, End, Error };

  // The stream must be seekable (a file or a string stream).
  explicit TRecordFileReader(std::istream& in);

  // True when the file starts with a 64-byte file head (the frames begin at 64). Decided
  // the way the player decides: the second 64 bytes form a valid frame head.
  bool HasFileHead() const { return has_file_head_; }
  // The 64 file-head bytes (zero when there is none).
  const uint8_t* FileHead() const { return file_head_; }

  // Reads the next frame. End at a clean end of the file; Error (see ErrorText) for a
  // damaged head, a frame running past the end, or an overlay record size other than 44.
  EResult Next(TRecordFrame& frame);
  const std::string& ErrorText() const { return error_; }
  // File offset of the frame Next returned last, or of the damage it found.
  uint64_t FrameOffset() const { return frame_offset_; }

 private:
  EResult Fail(const std::string& text);

  std::istream& in_;
  uint64_t size_ = 0;
  uint64_t pos_ = 0;
  uint64_t frame_offset_ = 0;
  bool has_file_head_ = false;
  bool failed_ = false;
  uint8_t file_head_[zrplay::kFrameHeadSize] = {};
  std::string error_;
};

}  // namespace recmake
