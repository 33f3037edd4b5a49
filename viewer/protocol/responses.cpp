#include "viewer/protocol/responses.h"

#include "common/memory_stream.h"
#include "common/viewer_utils.h"
#include "viewer/protocol/wire_format.h"

namespace viewer {

namespace {

// Length word left free, then the code; the caller writes the rest and patches the length.
TMemoryStream StartMessage(uint32_t code) {
  TMemoryStream s;
  s.Seek(wire::kCodeOffset);
  WriteUInt32BE(s, code);
  return s;
}

}  // namespace

bool DecodeResponseHead(const uint8_t* data, size_t size, TResponseHead& head) {
  if (size < wire::kResponseHeadSize) return false;
  head.Length = ReadUInt32(data + wire::kLengthOffset, true);
  head.Code = ReadUInt32(data + wire::kCodeOffset, true);
  head.Status = static_cast<int32_t>(ReadUInt32(data + wire::kResponseStatusOffset, true));
  return true;
}

std::vector<uint8_t> EncodeResponse(uint32_t code, int32_t status, const uint8_t* body,
                                    size_t body_size) {
  TMemoryStream s = StartMessage(code);
  for (int i = 0; i < 3; ++i) WriteUInt32BE(s, 0);
  WriteUInt32BE(s, static_cast<uint32_t>(status));
  s.Write(body, body_size);
  return PatchLengthAndGetBytes(s);
}

std::vector<uint8_t> EncodeLoginResponse(int32_t status, const std::string& token,
                                         const std::string& user_name) {
  if (status != 0) return EncodeResponse(wire::kLoginResponse, status, nullptr, 0);
  TMemoryStream body;
  WriteFixedString(body, token, wire::kTokenSize);
  body.Write(user_name.data(), user_name.size());
  return EncodeResponse(wire::kLoginResponse, status, body.Bytes().data(), body.Size());
}

std::vector<uint8_t> EncodeOpenLiveResponse(int32_t status,
                                            const std::optional<TVideoParams>& params) {
  TMemoryStream body;
  if (params) {
    for (int32_t v : {params->Brightness, params->Contrast, params->Saturation, params->Hue})
      WriteUInt32BE(body, static_cast<uint32_t>(v));
  }
  return EncodeResponse(wire::kOpenLiveResponse, status, body.Bytes().data(), body.Size());
}

std::vector<uint8_t> EncodeClientIdentityResponse(int32_t status, const std::string& address) {
  TMemoryStream body;
  if (status == 0) WriteUInt32BE(body, DottedQuadToAddress(address, false));
  return EncodeResponse(wire::kClientIdentityResponse, status, body.Bytes().data(), body.Size());
}

std::vector<uint8_t> EncodePlayPackage(int32_t frame_type, const uint8_t* media, size_t size,
                                       const uint32_t (&words)[3]) {
  TMemoryStream s = StartMessage(wire::kPlayPackage);
  for (uint32_t w : words) WriteUInt32BE(s, w);
  WriteUInt32BE(s, static_cast<uint32_t>(frame_type));
  WriteUInt32BE(s, static_cast<uint32_t>(size));
  s.Write(media, size);
  return PatchLengthAndGetBytes(s);
}

std::vector<uint8_t> EncodeNoMediaPackage(const uint8_t* payload, size_t size) {
  TMemoryStream s = StartMessage(wire::kNoMediaPackage);
  s.Write(payload, size);
  return PatchLengthAndGetBytes(s);
}

}  // namespace viewer
