#include "viewer/player/player.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/packages.h"
#include "viewer/viewer_log.h"

namespace viewer {

TPlayer::~TPlayer() {
  WriteLogF("CH%d Destroy player %X", Port.load(), LogId(this));
  StopRecord();
}

void TPlayer::WriteRecordHead() {
  plat::TLock lock(record_lock_);
  if (!recording_ || record_head_written_) return;
  if (has_stream_head_) WriteRecordBytes(stream_head_.data(), stream_head_length_);
  record_head_written_ = true;
}

void TPlayer::WriteRecordPackage(const TAbstractPackage& package) {
  plat::TLock lock(record_lock_);
  if (record_file_ == -1 || !recording_ || !record_head_written_) return;
  const size_t offset = static_cast<size_t>(GetRecordOffset());
  if (!package.Data || package.DataSize < offset) return;
  WriteRecordBytes(package.Data.get() + offset, GetRecordLength(package));
}

size_t TPlayer::GetRecordLength(const TAbstractPackage& package) const {
  const size_t offset = static_cast<size_t>(GetRecordOffset());
  return package.DataSize > offset ? package.DataSize - offset : 0;
}

void TPlayer::WriteRecordBytes(const uint8_t* data, size_t size) {
  while (size > 0 && record_file_ >= 0) {
    const ssize_t written = ::write(record_file_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // a failed write loses the rest of this block, nothing else
    data += written;
    size -= static_cast<size_t>(written);
  }
}

void TPlayer::StartRecord(const std::string& file_name, bool recording, int file) {
  plat::TLock lock(record_lock_);
  if (record_file_ != file) {
    if (record_file_ >= 0) ::close(record_file_);
    // Every record file starts with the stream head, also one that follows another
    // recording without a stop in between.
    record_head_written_ = false;
  }
  record_file_name_ = file_name;
  recording_ = recording;
  record_file_ = file;
}

void TPlayer::StopRecord() {
  plat::TLock lock(record_lock_);
  recording_ = false;
  record_head_written_ = false;
  // Forgotten once closed, so a second stop cannot close a descriptor reused meanwhile.
  if (record_file_ >= 0) ::close(record_file_);
  record_file_ = -1;
}

bool TPlayer::Recording() {
  plat::TLock lock(record_lock_);
  return recording_;
}

bool TPlayer::RecordHeadWritten() {
  plat::TLock lock(record_lock_);
  return record_head_written_;
}

std::string TPlayer::RecordFileName() {
  plat::TLock lock(record_lock_);
  return record_file_name_;
}

void TPlayer::SetWatermarkText(const std::string& text) {
  {
    plat::TLock lock(watermark_lock_);
    if (text == watermark_text_) return;
    watermark_text_ = text;
  }
  ApplyWatermark();
}

std::string TPlayer::WatermarkText() {
  plat::TLock lock(watermark_lock_);
  return watermark_text_;
}

bool TPlayer::MediaOf(const TAbstractPackage& package, const uint8_t*& media,
                      int32_t& length) const {
  const size_t head = static_cast<size_t>(GetPackageHeadSize());
  if (!package.Data || package.FrameLength < 0 || package.DataSize < head ||
      package.DataSize - head < static_cast<size_t>(package.FrameLength))
    return false;
  media = package.Data.get() + head;
  length = package.FrameLength;
  return true;
}

void TPlayer::StoreStreamHead(const uint8_t* data, int32_t length) {
  plat::TLock lock(record_lock_);  // the recording reads the head under this lock
  if (length < 0 || length > kStreamHeadCapacity)
    throw EOpenStream("stream head of " + std::to_string(length) + " bytes exceeds " +
                      std::to_string(kStreamHeadCapacity));
  if (length > 0) std::memcpy(stream_head_.data(), data, static_cast<size_t>(length));
  stream_head_length_ = length;
  has_stream_head_ = true;
}

}  // namespace viewer
