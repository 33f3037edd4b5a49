#include "tools/recmake/record_file_reader.h"

namespace recmake {

using zrplay::kFrameHeadSize;
using zrplay::kOverlayRecordSize;

TRecordFileReader::TRecordFileReader(std::istream& in) : in_(in) {
  in_.seekg(0, std::ios::end);
  std::streamoff end = in_.tellg();
  size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
  in_.seekg(0);
  uint8_t first[2 * kFrameHeadSize];
  if (size_ >= sizeof first && in_.read(reinterpret_cast<char*>(first), sizeof first) &&
      zrplay::HasFrameMagic(first + kFrameHeadSize, kFrameHeadSize)) {
    has_file_head_ = true;
    std::memcpy(file_head_, first, kFrameHeadSize);
    pos_ = kFrameHeadSize;
  }
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(pos_));
}

TRecordFileReader::EResult TRecordFileReader::Fail(const std::string& text) {
  failed_ = true;
  error_ = text + " at offset " + std::to_string(frame_offset_);
  return EResult::Error;
}

TRecordFileReader::EResult TRecordFileReader::Next(TRecordFrame& frame) {
  if (failed_) return EResult::Error;
  frame_offset_ = pos_;
  if (pos_ == size_) return EResult::End;
  if (size_ - pos_ < kFrameHeadSize) {
    return Fail("file ends inside a frame head (" + std::to_string(size_ - pos_) + " bytes left)");
  }
  uint8_t raw[kFrameHeadSize];
  if (!in_.read(reinterpret_cast<char*>(raw), kFrameHeadSize)) return Fail("read error");
  if (!zrplay::HasFrameMagic(raw, kFrameHeadSize)) return Fail("no frame head magic");
  zrplay::TFrameHead head = zrplay::ReadFrameHead(raw);
  uint64_t left = size_ - pos_ - kFrameHeadSize;
  if (head.PayloadLength > left) {
    return Fail("frame payload of " + std::to_string(head.PayloadLength) +
                " bytes runs past the end of the file (" + std::to_string(left) + " left)");
  }
  if (head.OverlayCount > 0 && head.OverlaySize != kOverlayRecordSize) {
    return Fail("overlay record size " + std::to_string(head.OverlaySize) + " (not 44)");
  }
  uint64_t overlay_bytes = uint64_t{head.OverlayCount} * kOverlayRecordSize;
  if (overlay_bytes > left - head.PayloadLength) {
    return Fail("overlay records run past the end of the file");
  }
  frame.Head = head;
  frame.Payload.resize(head.PayloadLength);
  frame.Overlays.resize(head.OverlayCount);
  if ((head.PayloadLength > 0 &&
       !in_.read(reinterpret_cast<char*>(frame.Payload.data()), head.PayloadLength)) ||
      (overlay_bytes > 0 && !in_.read(reinterpret_cast<char*>(frame.Overlays.data()),
                                      static_cast<std::streamsize>(overlay_bytes)))) {
    return Fail("read error");
  }
  pos_ += kFrameHeadSize + head.PayloadLength + overlay_bytes;
  return EResult::Frame;
}

}  // namespace recmake
