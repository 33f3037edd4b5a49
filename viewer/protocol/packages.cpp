#include "viewer/protocol/packages.h"

#include <cstdio>
#include <new>

#include "common/viewer_utils.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/protocol/wire_format.h"

namespace viewer {

namespace {

std::string InvalidSize(int32_t length) {
  return "Invalid pack size: " + std::to_string(length);
}

bool IsKnownPackageCode(uint32_t code) {
  return code == wire::kNoMediaPackage || code == wire::kOpenLiveResponse ||
         code == wire::kPlayPackage;
}

}  // namespace

const uint8_t* TAbstractPackage::Media() const {
  return Data ? Data.get() + wire::kPlayPackageHeadSize : nullptr;
}

void TOstraPreviewPlayPackage::ReadFrom(TKvIPObject& client) {
  // Length and code in one read: the same bytes and failures as two integer reads, one
  // system call fewer per package.
  uint8_t head[wire::kMessageHeadSize];
  try {
    client.ReadBuffer(head, sizeof head);
  } catch (const std::exception& e) {
    throw EReadPackageHead(e.what());
  }
  PackLength = static_cast<int32_t>(ReadUInt32(head + wire::kLengthOffset, true));
  PackType = ReadUInt32(head + wire::kCodeOffset, true);
  if (PackLength < wire::kMinPackLength || PackLength > wire::kMaxPackLength)
    throw EInvalidPackageLength(InvalidSize(PackLength));
  if (!IsKnownPackageCode(PackType)) {
    char text[64];
    std::snprintf(text, sizeof text, "Invalid pack frame type: 0x%X", PackType);
    throw EInvalidPackageLength(text);
  }
  // A play package must hold its five frame words; nothing below may read past Data.
  if (PackType == wire::kPlayPackage && PackLength < wire::kMinPlayPackLength)
    throw EInvalidPackageLength(InvalidSize(PackLength));

  const size_t size = static_cast<size_t>(PackLength) - wire::kMessageHeadSize;
  std::unique_ptr<uint8_t[]> data;
  try {
    // Uninitialised on purpose: the read overwrites every byte, and packages come at line rate.
    if (size > 0) data.reset(new uint8_t[size]);
    client.ReadBuffer(data.get(), size);
  } catch (const std::exception& e) {
    throw EReadPackage(e.what());
  }
  Data = std::move(data);
  DataSize = size;
  if (PackType != wire::kPlayPackage) return;

  const uint8_t* d = Data.get();
  for (int i = 0; i < 3; ++i) Words[i] = ReadUInt32(d + wire::kPlayWordsOffset + 4 * i, true);
  FrameType = static_cast<int32_t>(ReadUInt32(d + wire::kFrameTypeOffset, true));
  FrameLength = static_cast<int32_t>(ReadUInt32(d + wire::kFrameLengthOffset, true));
  // The player takes FrameLength media bytes from Data; a length the package does not hold
  // would send it past the end.
  if (FrameLength < 0 || static_cast<size_t>(FrameLength) > size - wire::kPlayPackageHeadSize)
    throw EInvalidPackageLength("Invalid frame length: " + std::to_string(FrameLength));
}

}  // namespace viewer
