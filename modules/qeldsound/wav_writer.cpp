#include "modules/qeldsound/wav_writer.h"

#include <cstring>

namespace qelsound {

namespace {

constexpr size_t kHeaderBytes = 44;
// The RIFF size field must hold the data and the 36 header bytes behind it.
constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - 36;

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

}  // namespace

TWavWriter::~TWavWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

bool TWavWriter::Create(const TSoundFormat& format) {
  file_ = std::fopen(path_.c_str(), "wb");
  if (file_ == nullptr) {
    failed_ = true;
    return false;
  }
  format_ = format;
  uint8_t h[kHeaderBytes] = {};
  std::memcpy(h, "RIFF", 4);
  Put32(h + 4, 36);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, 1);  // integer PCM
  Put16(h + 22, static_cast<uint32_t>(format.Channels));
  Put32(h + 24, static_cast<uint32_t>(format.SampleRate));
  Put32(h + 28, static_cast<uint32_t>(format.BytesPerSecond()));
  Put16(h + 32, static_cast<uint32_t>(format.FrameBytes()));
  Put16(h + 34, static_cast<uint32_t>(format.Bits));
  std::memcpy(h + 36, "data", 4);
  Put32(h + 40, 0);
  if (std::fwrite(h, 1, sizeof h, file_) != sizeof h) {
    failed_ = true;
    return false;
  }
  return true;
}

void TWavWriter::Write(const TSoundFormat& format, const uint8_t* data, size_t size) {
  if (size == 0) return;
  if (file_ == nullptr && (failed_ || !Create(format))) {
    skipped_ += size;
    return;
  }
  if (!(format == format_) || failed_ || size > kMaxDataBytes - data_bytes_) {
    skipped_ += size;
    return;
  }
  if (std::fwrite(data, 1, size, file_) != size) {
    failed_ = true;
    skipped_ += size;
    return;
  }
  data_bytes_ += static_cast<uint32_t>(size);
  UpdateSizes();
}

void TWavWriter::UpdateSizes() {
  uint8_t size[4];
  Put32(size, 36 + data_bytes_);
  std::fseek(file_, 4, SEEK_SET);
  std::fwrite(size, 1, 4, file_);
  Put32(size, data_bytes_);
  std::fseek(file_, 40, SEEK_SET);
  std::fwrite(size, 1, 4, file_);
  std::fseek(file_, 0, SEEK_END);
  std::fflush(file_);
}

}  // namespace qelsound
