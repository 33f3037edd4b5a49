#include "viewer/protocol/requests.h"

#include <concepts>
#include <cstring>
#include <limits>
#include <type_traits>

#include "common/memory_stream.h"
#include "common/viewer_utils.h"
#include "viewer/protocol/exceptions.h"

namespace viewer {

namespace {

template <class M, class T>
concept Is = std::same_as<std::remove_const_t<M>, T>;

// The body of every request, field by field after the 20-byte head. The encoder, the decoder
// and the size count all walk these, so each layout exists once.
template <class V, class M>
requires Is<M, TLoginRequest>
void Layout(V& v, M& m) {
  v.Text(m.LoginUser, wire::kLoginUserSize);
  v.Text(m.Password, wire::kPasswordSize);
  v.Constant32(1);
  v.Zeros(wire::kLoginReservedSize);
}

template <class V, class M>
requires Is<M, TLogoutRequest>
void Layout(V& v, M& m) {
  v.Text(m.Token, wire::kTokenSize);
}

template <class V, class M>
requires Is<M, TOpenLiveRequest>
void Layout(V& v, M& m) {
  v.Text(m.Token, wire::kTokenSize);
  v.DeviceId(m.DVRID);
  v.U16(m.ChannelNo);
  v.U32(m.LinkMode);
}

template <class V, class M>
requires Is<M, TLinkModeRequest>
void Layout(V& v, M& m) {
  v.Text(m.Token, wire::kTokenSize);
  v.DeviceId(m.DVRID);
  v.U16(m.ChannelNo);
  v.U32(m.PreviousLinkMode);
  v.U32(m.NewLinkMode);
}

template <class V, class M>
requires Is<M, TPtzRequest>
void Layout(V& v, M& m) {
  v.Text(m.Token, wire::kTokenSize);
  v.DeviceId(m.DVRID);
  v.U16(m.ChannelNo);
  v.U8(m.Command);
  v.U8(m.Enabled);
}

template <class V, class M>
requires Is<M, TPtzSpeedRequest>
void Layout(V& v, M& m) {
  using Base = std::conditional_t<std::is_const_v<M>, const TPtzRequest, TPtzRequest>;
  Layout(v, static_cast<Base&>(m));
  v.U8(m.Speed);
}

template <class V, class M>
requires Is<M, TPtzProxyRequest>
void Layout(V& v, M& m) {
  v.Text(m.Token, wire::kTokenSize);
  v.I64(m.DVRID);
  v.U16(m.ChannelNo);
  v.U8(m.Command);
  v.U8(m.Value);
}

template <class V, class M>
requires Is<M, TVideoParamsRequest>
void Layout(V& v, M& m) {
  v.Text(m.Token, wire::kTokenSize);
  v.U16(m.ChannelNo);
  v.U32(m.Brightness);
  v.U32(m.Contrast);
  v.U32(m.Saturation);
  v.U32(m.Hue);
}

template <class V, class M>
requires Is<M, TClientIdentityRequest>
void Layout(V& v, M& m) {
  v.Address(m.LocalAddress);
}

// Writes the fields with the big-endian writers.
struct TEncoder {
  TMemoryStream& s;
  void Text(const std::string& text, size_t width) { WriteFixedString(s, text, width); }
  void U8(int32_t v) {
    const uint8_t b = static_cast<uint8_t>(v);
    s.Write(&b, 1);
  }
  void U16(int32_t v) { WriteUInt16BE(s, static_cast<uint16_t>(v)); }
  void U32(int32_t v) { WriteUInt32BE(s, static_cast<uint32_t>(v)); }
  void DeviceId(const std::string& dvrid) {
    WriteUInt64BE(s, static_cast<uint64_t>(DeviceIdValue(dvrid)));
  }
  void I64(int64_t v) { WriteUInt64BE(s, static_cast<uint64_t>(v)); }
  void Address(const std::string& text) { WriteUInt32BE(s, DottedQuadToAddress(text, false)); }
  void Constant32(uint32_t v) { WriteUInt32BE(s, v); }
  void Zeros(size_t n) {
    const std::vector<uint8_t> zeros(n, 0);
    s.Write(zeros.data(), n);
  }
};

// Counts the bytes of the fields.
struct TSizer {
  size_t size = 0;
  void Text(const std::string&, size_t width) { size += width; }
  void U8(int32_t) { size += 1; }
  void U16(int32_t) { size += 2; }
  void U32(int32_t) { size += 4; }
  void DeviceId(const std::string&) { size += 8; }
  void I64(int64_t) { size += 8; }
  void Address(const std::string&) { size += 4; }
  void Constant32(uint32_t) { size += 4; }
  void Zeros(size_t n) { size += n; }
};

// Reads the fields back from a byte range, never past its end (ok turns false instead).
struct TDecoder {
  const uint8_t* p;
  const uint8_t* end;
  bool ok = true;

  const uint8_t* Take(size_t n) {
    if (!ok || static_cast<size_t>(end - p) < n) {
      ok = false;
      return nullptr;
    }
    const uint8_t* at = p;
    p += n;
    return at;
  }
  uint64_t Number(size_t n) {
    const uint8_t* at = Take(n);
    uint64_t v = 0;
    for (size_t i = 0; at && i < n; ++i) v = (v << 8) | at[i];
    return v;
  }
  void Text(std::string& text, size_t width) {
    const uint8_t* at = Take(width);
    if (!at) return;
    size_t n = width;
    while (n > 0 && at[n - 1] == 0) --n;
    text.assign(reinterpret_cast<const char*>(at), n);
  }
  void U8(int32_t& v) { v = static_cast<int32_t>(Number(1)); }
  void U16(int32_t& v) { v = static_cast<int32_t>(Number(2)); }
  void U32(int32_t& v) { v = static_cast<int32_t>(static_cast<uint32_t>(Number(4))); }
  void DeviceId(std::string& dvrid) { dvrid = std::to_string(static_cast<int64_t>(Number(8))); }
  void I64(int64_t& v) { v = static_cast<int64_t>(Number(8)); }
  void Address(std::string& text) {
    text = AddressToDottedQuad(static_cast<uint32_t>(Number(4)), false);
  }
  void Constant32(uint32_t v) {
    if (Number(4) != v) ok = false;
  }
  void Zeros(size_t n) {
    const uint8_t* at = Take(n);
    for (size_t i = 0; at && i < n; ++i) ok = ok && at[i] == 0;
  }
};

}  // namespace

int64_t DeviceIdNumber(const std::string& dvrid) {
  const auto fail = [&] {
    return EInvalidDeviceId("'" + dvrid + "' is not a valid integer value");
  };
  size_t i = 0;
  while (i < dvrid.size() && (dvrid[i] == ' ' || dvrid[i] == '\t')) ++i;
  bool negative = false;
  if (i < dvrid.size() && (dvrid[i] == '-' || dvrid[i] == '+')) negative = dvrid[i++] == '-';
  if (i == dvrid.size()) throw fail();
  // Accumulated as a negative number, whose range reaches one further than the positive one.
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  int64_t value = 0;
  for (; i < dvrid.size(); ++i) {
    const char c = dvrid[i];
    if (c < '0' || c > '9') throw fail();
    const int digit = c - '0';
    if (value < (kMin + digit) / 10) throw fail();
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == kMin) throw fail();
    value = -value;
  }
  return value;
}

int64_t DeviceIdValue(const std::string& dvrid) {
  const int64_t value = DeviceIdNumber(dvrid);
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    throw EInvalidDeviceId("'" + dvrid + "' is no 32-bit device identifier");
  return value;
}

template <class R>
std::vector<uint8_t> EncodeRequest(const TRequestAddressing& addressing, const R& request) {
  TMemoryStream s;
  WritePacketPrefix(s, R::kCode, addressing.ClientAddress, addressing.TargetAddress,
                    addressing.ConnectionType == 1);
  TEncoder encoder{s};
  Layout(encoder, request);
  return PatchLengthAndGetBytes(s);
}

template <class R>
size_t RequestSize() {
  TSizer sizer;
  const R request{};
  Layout(sizer, request);
  return wire::kRequestHeadSize + sizer.size;
}

bool DecodeRequestHead(const uint8_t* data, size_t size, TRequestHead& head) {
  if (size < wire::kRequestHeadSize) return false;
  head.Length = ReadUInt32(data + wire::kLengthOffset, true);
  head.Code = ReadUInt32(data + wire::kCodeOffset, true);
  head.Constant = ReadUInt32(data + wire::kRequestConstantOffset, true);
  head.ClientAddress = ReadUInt32(data + wire::kClientAddressOffset, true);
  head.TargetAddress = ReadUInt32(data + wire::kTargetAddressOffset, true);
  return true;
}

template <class R>
bool DecodeRequest(const uint8_t* data, size_t size, R& request, TRequestHead* head) {
  TRequestHead h;
  if (size != RequestSize<R>() || !DecodeRequestHead(data, size, h)) return false;
  if (h.Length != size || h.Code != R::kCode || h.Constant != wire::kRequestConstant) return false;
  TDecoder decoder{data + wire::kRequestHeadSize, data + size};
  R decoded{};
  Layout(decoder, decoded);
  if (!decoder.ok) return false;
  request = std::move(decoded);
  if (head) *head = h;
  return true;
}

#define QUVI_REQUEST_KIND(R)                                                           \
  template std::vector<uint8_t> EncodeRequest<R>(const TRequestAddressing&, const R&); \
  template size_t RequestSize<R>();                                                    \
  template bool DecodeRequest<R>(const uint8_t*, size_t, R&, TRequestHead*);

QUVI_REQUEST_KIND(TLoginRequest)
QUVI_REQUEST_KIND(TLogoutRequest)
QUVI_REQUEST_KIND(TOpenLiveRequest)
QUVI_REQUEST_KIND(TLinkModeRequest)
QUVI_REQUEST_KIND(TPtzRequest)
QUVI_REQUEST_KIND(TPtzSpeedRequest)
QUVI_REQUEST_KIND(TPtzProxyRequest)
QUVI_REQUEST_KIND(TVideoParamsRequest)
QUVI_REQUEST_KIND(TClientIdentityRequest)

#undef QUVI_REQUEST_KIND

}  // namespace viewer
