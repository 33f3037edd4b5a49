// TWavWriter: writes played samples to a WAV file (RIFF, integer PCM). The file is created at
// the first write and takes that write's format; writes in another format later are left out
// and counted. The header's sizes are brought up to date after every write, so the file can
// be read while it grows. One thread at a time; owns the open file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "modules/qeldsound/sound_format.h"

namespace qelsound {

class TWavWriter {
 public:
  explicit TWavWriter(std::string path) : path_(std::move(path)) {}
  ~TWavWriter();
  TWavWriter(const TWavWriter&) = delete;
  TWavWriter& operator=(const TWavWriter&) = delete;

  void Write(const TSoundFormat& format, const uint8_t* data, size_t size);
  // Bytes left out for another format, for a file that could not be written or one full.
  uint64_t SkippedBytes() const { return skipped_; }
  uint32_t DataBytes() const { return data_bytes_; }

 private:
  bool Create(const TSoundFormat& format);
  void UpdateSizes();

  std::string path_;
  FILE* file_ = nullptr;
  bool failed_ = false;
  TSoundFormat format_;
  uint32_t data_bytes_ = 0;
  uint64_t skipped_ = 0;
};

}  // namespace qelsound
