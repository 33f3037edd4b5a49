#include "tools/streamsim/play_packages.h"

#include <cstring>

#include "viewer/protocol/responses.h"
#include "viewer/protocol/wire_format.h"

namespace streamsim {

namespace wire = viewer::wire;

namespace {

constexpr int32_t kOtherVideo = 2;

}  // namespace

int32_t PlayFrameType(const recmake::TRecordFrame& frame) {
  if (frame.IsAudio()) return wire::kFrameAudio;
  return frame.IsKey() ? wire::kFrameVideo : kOtherVideo;
}

std::vector<uint8_t> StreamHeadPackage(const std::vector<uint8_t>& head) {
  return viewer::EncodePlayPackage(wire::kFrameStreamHead, head.data(), head.size());
}

std::vector<uint8_t> FramePackage(const recmake::TRecordFrame& frame) {
  const zrplay::TFrameHead& h = frame.Head;
  std::vector<uint8_t> bytes;
  // The sources keep head and vectors in step; a frame that is not gets its lengths
  // written from the vectors, so the package never claims bytes it lacks.
  if (h.PayloadLength == frame.Payload.size() && h.OverlayCount == frame.Overlays.size()) {
    bytes.resize(frame.WireSize());
    std::memcpy(bytes.data(), &h, zrplay::kFrameHeadSize);
    if (!frame.Payload.empty()) {
      std::memcpy(bytes.data() + zrplay::kFrameHeadSize, frame.Payload.data(),
                  frame.Payload.size());
    }
    if (!frame.Overlays.empty()) {
      std::memcpy(bytes.data() + zrplay::kFrameHeadSize + frame.Payload.size(),
                  frame.Overlays.data(), frame.Overlays.size() * zrplay::kOverlayRecordSize);
    }
  } else {
    bytes = frame.Serialize();
  }
  return viewer::EncodePlayPackage(PlayFrameType(frame), bytes.data(), bytes.size());
}

std::vector<uint8_t> KeepAlivePackage() {
  return viewer::EncodeNoMediaPackage(nullptr, 0);
}

std::vector<uint8_t> GarbageBytes() {
  std::vector<uint8_t> bytes(256);
  uint32_t state = 0x5EEDF00Du;
  for (uint8_t& b : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

std::vector<uint8_t> OversizePackage() {
  const size_t media = static_cast<size_t>(wire::kMaxPackLength) + 1 - wire::kMinPlayPackLength;
  const std::vector<uint8_t> zeros(media, 0);
  return viewer::EncodePlayPackage(kOtherVideo, zeros.data(), zeros.size());
}

}  // namespace streamsim
