// The channel's snapshots (the pending snapshot of its own drawing path, or a JPEG made by the
// decoder when it draws) and its encode information.
#include <linux/limits.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/process.h"
#include "player/channel/channel.h"
#include "player/config/player_settings.h"
#include "player/imaging/bitmap_file.h"
#include "player/imaging/yv12_picture.h"

namespace zrplay {

namespace {

constexpr int32_t kEncodeInfoSize = 28;
// The decoder is asked for a JPEG of at most two bytes a pixel, at its best quality.
constexpr size_t kSdkJpegBytesPerPixel = 2;
constexpr int32_t kSdkJpegQuality = 100;

bool HasJpegExtension(const std::string& name) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string extension = name.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".jpg";
}

}  // namespace

int32_t TChannel::CaptureImage(const char* name) {
  const std::string file = name != nullptr ? name : "";
  log_.Write("do snapshost, file=" + file + "-->");
  // A name the platform cannot open is refused before anything is made for it.
  if (file.empty() || file.size() >= PATH_MAX) return 0;
  const std::string folder = plat::ExtractFileDir(file);
  if (!folder.empty() && !plat::DirectoryExists(folder) && !plat::ForceDirectories(folder)) {
    return 0;
  }
  if (PlayerSettings.DrawBySDK) return SnapshotBySdk(file);
  {
    std::lock_guard lock(picture_lock_);
    pending_snapshot_ = file;
  }
  log_.Write("do snapshot, file=" + file);
  TakePendingSnapshot();
  return 1;
}

void TChannel::TakePendingSnapshot() {
  std::string name;
  std::unique_ptr<TBitmap24> bitmap;
  {
    // Holding the picture lock keeps the decode hook (and the callbacks it calls) off the
    // picture while it is converted.
    std::lock_guard lock(picture_lock_);
    if (pending_snapshot_.empty()) return;
    const int32_t width = picture_width_;
    const int32_t height = picture_height_;
    // The size may already be known from the stream's parameter set before any picture has
    // been decoded into the frame buffer: the name waits for that picture.
    if (!FrameBufferHolds(width, height)) return;
    name = std::move(pending_snapshot_);
    pending_snapshot_.clear();
    bitmap = YV12ToBitmap24(frame_buffer_.data(), width, height);
  }
  if (!bitmap) return;
  std::vector<uint8_t> bytes;
  if (HasJpegExtension(name)) {
    if (!EncodeJpeg(*bitmap, kSnapshotJpegQuality, bytes)) return;
  } else {
    bytes = EncodeBmp(*bitmap);
  }
  if (!WriteWholeFile(name, bytes)) return;
  log_.Write("snap to file " + name);
}

int32_t TChannel::SnapshotBySdk(const std::string& name) {
  int32_t width = 0;
  int32_t height = 0;
  if (!decoder_.GetPictureSize(vendor_port_, width, height)) return 0;
  log_.WriteF("snap by sdk, width=%d, height=%d", width, height);
  if (width < 1 || height < 1) return 0;
  const size_t size =
      static_cast<size_t>(width) * static_cast<size_t>(height) * kSdkJpegBytesPerPixel;
  if (size > UINT32_MAX) return 0;
  std::vector<uint8_t> buffer(size);
  uint32_t produced = 0;
  if (!decoder_.GetPicJPEG(vendor_port_, buffer.data(), static_cast<uint32_t>(size), produced,
                           kSdkJpegQuality) ||
      produced > size) {
    return 0;
  }
  buffer.resize(produced);
  if (!WriteWholeFile(name, buffer)) return 0;
  log_.Write("do snapshot, file=" + name);
  return 1;
}

int32_t TChannel::ReadChannelEncodeInfo(void* record, int32_t* size) {
  if (size == nullptr) return 0;
  if (*size < kEncodeInfoSize) {
    *size = kEncodeInfoSize;
    return 0;
  }
  *size = kEncodeInfoSize;
  if (record == nullptr) return 0;
  int32_t width = picture_width_;
  int32_t height = picture_height_;
  if ((width < 1 || height < 1) && PlayerSettings.DrawBySDK) {
    if (!decoder_.GetPictureSize(vendor_port_, width, height)) return 0;
    picture_width_ = width;
    picture_height_ = height;
  }
  if (width < 1 || height < 1) return 0;
  uint8_t bytes[kEncodeInfoSize] = {};
  const int32_t fields[3] = {static_cast<int32_t>(timing_.EncodeType()), width, height};
  std::memcpy(bytes, fields, sizeof fields);
  std::memcpy(record, bytes, sizeof bytes);
  return 1;
}

}  // namespace zrplay
