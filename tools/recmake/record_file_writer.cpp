#include "tools/recmake/record_file_writer.h"

#include <cerrno>
#include <cstring>

namespace recmake {

TRecordFileWriter::TRecordFileWriter(const std::string& path, bool with_file_head) : path_(path) {
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    throw TRecmakeError("cannot create output file \"" + path + "\": " + std::strerror(errno));
  }
  if (with_file_head) Put(zrplay::kDefaultStreamHead, zrplay::kFrameHeadSize);
}

TRecordFileWriter::~TRecordFileWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

void TRecordFileWriter::Put(const void* data, size_t size) {
  if (file_ == nullptr) throw TRecmakeError("output file \"" + path_ + "\" is closed");
  if (std::fwrite(data, 1, size, file_) != size) {
    throw TRecmakeError("cannot write output file \"" + path_ + "\": " + std::strerror(errno));
  }
  bytes_ += size;
}

void TRecordFileWriter::Write(const TRecordFrame& frame) {
  std::vector<uint8_t> bytes = frame.Serialize();
  Put(bytes.data(), bytes.size());
  ++frames_;
}

void TRecordFileWriter::Close() {
  if (file_ == nullptr) return;
  bool ok = std::fflush(file_) == 0;
  int err = errno;
  ok = std::fclose(file_) == 0 && ok;
  if (!ok && err == 0) err = errno;
  file_ = nullptr;
  if (!ok) {
    throw TRecmakeError("cannot finish output file \"" + path_ + "\": " + std::strerror(err));
  }
}

}  // namespace recmake
