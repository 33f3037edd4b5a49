// TTestRecordFile: assembles small record files byte by byte for the reader's tests and
// benchmark (file head, frames with chosen heads and payload sizes, raw damage); TTempDir is
// the shared scratch folder. Test and benchmark code only.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "player/channel/frame_head.h"
#include "tests/support/test_files.h"

namespace zrplay {

class TTestRecordFile {
 public:
  struct TFrame {
    uint8_t type = 1;
    int32_t seconds = 1700000000;
    int32_t microseconds = 0;
    uint32_t payload = 100;
    uint8_t overlay_count = 0;
    uint8_t overlay_size = kOverlayRecordSize;
  };

  // A 64-byte file head; the default one is not itself a frame head.
  TTestRecordFile& FileHead(uint8_t fill = 'F') { return Raw(std::string(kFrameHeadSize, fill)); }
  // One frame: head, payload bytes (a counting pattern) and zeroed overlay records.
  TTestRecordFile& Frame(const TFrame& f) {
    TFrameHead h = MakeFrameHead();
    h.Codec = f.type == kFrameTypeAudio ? kCodecG711A : kCodecH264;
    h.FrameType = f.type;
    h.Seconds = f.seconds;
    h.Microseconds = f.microseconds;
    h.PayloadLength = f.payload;
    h.OverlayCount = f.overlay_count;
    h.OverlaySize = f.overlay_size;
    Raw(std::string(reinterpret_cast<const char*>(&h), sizeof h));
    for (uint32_t i = 0; i < f.payload; ++i) bytes_.push_back(static_cast<char>(i * 7 + 3));
    bytes_.append(static_cast<size_t>(f.overlay_count) * f.overlay_size, '\0');
    return *this;
  }
  TTestRecordFile& Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
  }
  // Cuts the file short by count bytes.
  TTestRecordFile& DropTail(size_t count) {
    bytes_.resize(bytes_.size() - count);
    return *this;
  }
  int64_t Size() const { return static_cast<int64_t>(bytes_.size()); }
  const std::string& Bytes() const { return bytes_; }

  void Save(const std::string& path) const {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes_;
  }

 private:
  std::string bytes_;
};

using TTempDir = quvi_test::TTempDir;

}  // namespace zrplay
