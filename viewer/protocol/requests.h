// Requests of the stream server protocol: one input struct per message, encoders that build
// the exact bytes, and decoders that read them back (for the server side and for tests).
// The byte layout of each request is written once, in requests.cpp; stateless, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/protocol/wire_format.h"

namespace viewer {

// The addresses of a request head. Both words are filled only through the stream-media relay
// (connection type 1) and only from valid dotted quads; otherwise they are 0.
struct TRequestAddressing {
  uint8_t ConnectionType = 0;
  std::string ClientAddress;  // the client's network identity (ClientNetID)
  std::string TargetAddress;  // which address depends on the command
};

// Inputs of each request. Text fields are cut or zero-padded to their width; Token is the raw
// 128 bytes of the login answer. Integers travel as their low 8, 16 or 32 bits.
struct TLoginRequest {
  static constexpr uint32_t kCode = wire::kLoginRequest;
  std::string LoginUser;
  std::string Password;
};
struct TLogoutRequest {
  static constexpr uint32_t kCode = wire::kLogoutRequest;
  std::string Token;
};
struct TOpenLiveRequest {
  static constexpr uint32_t kCode = wire::kOpenLiveRequest;
  std::string Token;
  std::string DVRID = "-1";
  int32_t ChannelNo = 0;
  int32_t LinkMode = 0;
};
struct TLinkModeRequest {
  static constexpr uint32_t kCode = wire::kLinkModeRequest;
  std::string Token;
  std::string DVRID = "-1";
  int32_t ChannelNo = 0;
  int32_t PreviousLinkMode = 0;
  int32_t NewLinkMode = 0;
};
struct TPtzRequest {
  static constexpr uint32_t kCode = wire::kPtzRequest;
  std::string Token;
  std::string DVRID = "-1";
  int32_t ChannelNo = 0;
  int32_t Command = 0;
  int32_t Enabled = 0;
};
struct TPtzSpeedRequest : TPtzRequest {
  static constexpr uint32_t kCode = wire::kPtzSpeedRequest;
  int32_t Speed = 0;
};
// What a PTZ command becomes on its way through the PTZ proxy: the PTZ request's code and
// 160 bytes, but with the device identifier's full 64-bit number and the value that the proxy
// takes (the preset index for preset commands).
struct TPtzProxyRequest {
  static constexpr uint32_t kCode = wire::kPtzRequest;
  std::string Token;
  int64_t DVRID = -1;
  int32_t ChannelNo = 0;
  int32_t Command = 0;
  int32_t Value = 0;
};
struct TVideoParamsRequest {
  static constexpr uint32_t kCode = wire::kVideoParamsRequest;
  std::string Token;
  int32_t ChannelNo = 0;
  int32_t Brightness = 0;
  int32_t Contrast = 0;
  int32_t Saturation = 0;
  int32_t Hue = 0;
};
struct TClientIdentityRequest {
  static constexpr uint32_t kCode = wire::kClientIdentityRequest;
  std::string LocalAddress;  // dotted quad; 0 on the wire when it is none
};

// The number of a device identifier text (DVRID): leading blanks, an optional sign and decimal
// digits, nothing else, within 64 bits. Raises EInvalidDeviceId naming the text otherwise. The
// play model keeps this number; the requests use DeviceIdValue, so both read a text alike.
int64_t DeviceIdNumber(const std::string& dvrid);
// The device identifier as it travels: DeviceIdNumber, which must also fit 32 bits, widened
// to 64 bits ("-1" gives all bits set). Raises EInvalidDeviceId otherwise.
int64_t DeviceIdValue(const std::string& dvrid);

// The complete request, length patched in. Raises EInvalidDeviceId for a bad DVRID, in which
// case nothing has been built.
template <class R>
std::vector<uint8_t> EncodeRequest(const TRequestAddressing& addressing, const R& request);

// Total size of a request of kind R on the wire.
template <class R>
size_t RequestSize();

// The head of any request, as numbers (addresses with the first dotted-quad number in the
// top byte).
struct TRequestHead {
  uint32_t Length = 0;
  uint32_t Code = 0;
  uint32_t Constant = 0;
  uint32_t ClientAddress = 0;
  uint32_t TargetAddress = 0;
};
// False when fewer than the head's 20 bytes are given.
bool DecodeRequestHead(const uint8_t* data, size_t size, TRequestHead& head);

// Reads a request of kind R back; false unless the bytes are exactly one such request (size,
// length word, code and the constant fields all match). Texts lose their trailing zero bytes; the
// device identifier comes back as its decimal 64-bit value.
template <class R>
bool DecodeRequest(const uint8_t* data, size_t size, R& request, TRequestHead* head = nullptr);

}  // namespace viewer
