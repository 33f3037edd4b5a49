#include "modules/vdec/elementary_stream.h"

namespace vdec {

namespace {

// What one NAL unit means for access-unit boundaries.
struct TUnitKind {
  bool vcl = false;             // carries slice data
  bool key = false;             // slice of an IDR / random-access picture
  bool begins_picture = false;  // a new picture starts here (given a picture is under way)
};

bool IsH264ProfileIdc(uint8_t p) {
  switch (p) {
    case 44:
    case 66:
    case 77:
    case 83:
    case 86:
    case 88:
    case 100:
    case 110:
    case 118:
    case 122:
    case 128:
    case 134:
    case 135:
    case 138:
    case 139:
    case 144:
    case 244:
      return true;
    default:
      return false;
  }
}

// Unit begins right after the start code: its header byte(s), then the payload.
TUnitKind H264Kind(const uint8_t* unit, size_t size) {
  TUnitKind k;
  if (size < 1) return k;
  const int type = unit[0] & 0x1F;
  if (type >= 1 && type <= 5) {
    k.vcl = true;
    k.key = type == 5;
    // first_mb_in_slice is ue(v); its value 0 is coded as a single 1 bit.
    k.begins_picture = size >= 2 && (unit[1] & 0x80) != 0;
  } else {
    k.begins_picture =
        type == 6 || type == 7 || type == 8 || type == 9 || (type >= 14 && type <= 18);
  }
  return k;
}

TUnitKind H265Kind(const uint8_t* unit, size_t size) {
  TUnitKind k;
  if (size < 2) return k;
  const int type = (unit[0] >> 1) & 0x3F;
  if (type <= 31) {
    k.vcl = true;
    k.key = type >= 16 && type <= 21;
    // first_slice_segment_in_pic_flag is the first bit after the two-byte header.
    k.begins_picture = size >= 3 && (unit[2] & 0x80) != 0;
  } else {
    k.begins_picture = (type >= 32 && type <= 35) || type == 39 || (type >= 41 && type <= 44) ||
                       (type >= 48 && type <= 55);
  }
  return k;
}

bool IsH264ParameterSet(const uint8_t* unit, size_t size) {
  // Forbidden bit clear, nal_ref_idc nonzero (required for a sequence parameter set).
  return size >= 2 && (unit[0] & 0x80) == 0 && (unit[0] & 0x60) != 0 && (unit[0] & 0x1F) == 7 &&
         IsH264ProfileIdc(unit[1]);
}

bool IsH265ParameterSet(const uint8_t* unit, size_t size) {
  if (size < 2 || (unit[0] & 0x80) != 0) return false;
  const int type = (unit[0] >> 1) & 0x3F;
  const int layer = ((unit[0] & 1) << 5) | (unit[1] >> 3);
  const int temporal_id_plus1 = unit[1] & 7;
  return type >= 32 && type <= 34 && layer == 0 && temporal_id_plus1 != 0;
}

bool IsMpeg4Header(uint8_t code) {
  // Visual object sequence and visual object start codes; their values are not valid
  // H.264 or H.265 unit headers (forbidden bit set).
  return code == 0xB0 || code == 0xB5;
}

}  // namespace

size_t FindStartCode(const uint8_t* data, size_t size, size_t from) {
  size_t i = from;
  while (i + 2 < size) {
    const uint8_t c = data[i + 2];
    if (c > 1) {
      i += 3;
    } else if (c == 1 && data[i + 1] == 0 && data[i] == 0) {
      return i;
    } else {
      ++i;
    }
  }
  return size;
}

TStreamCodec DetectStreamCodec(const uint8_t* data, size_t size) {
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
    return TStreamCodec::Mjpeg;
  }
  size_t pos = FindStartCode(data, size, 0);
  while (pos < size) {
    const size_t unit = pos + 3;
    const size_t next = FindStartCode(data, size, unit);
    const uint8_t* p = data + unit;
    const size_t n = next - unit;
    if (n >= 1 && IsMpeg4Header(p[0])) return TStreamCodec::Mpeg4;
    if (IsH265ParameterSet(p, n)) return TStreamCodec::H265;
    if (IsH264ParameterSet(p, n)) return TStreamCodec::H264;
    pos = next;
  }
  return TStreamCodec::None;
}

bool SplitAccessUnits(TStreamCodec codec, const uint8_t* data, size_t size,
                      const TAccessUnitSink& sink) {
  if (codec != TStreamCodec::H264 && codec != TStreamCodec::H265) {
    return size == 0 || sink(TAccessUnit{data, size, true, false});
  }
  size_t pos = FindStartCode(data, size, 0);
  if (pos == size) return true;
  // A four-byte start code's leading zero goes with the unit it introduces.
  TAccessUnit au;
  size_t au_start = pos;
  while (au_start > 0 && data[au_start - 1] == 0) --au_start;
  while (pos < size) {
    const size_t unit = pos + 3;
    const size_t next = FindStartCode(data, size, unit);
    const TUnitKind kind = codec == TStreamCodec::H264 ? H264Kind(data + unit, next - unit)
                                                       : H265Kind(data + unit, next - unit);
    if (kind.begins_picture && au.has_slices) {
      size_t cut = pos;
      while (cut > au_start && data[cut - 1] == 0) --cut;
      au.data = data + au_start;
      au.size = cut - au_start;
      if (!sink(au)) return false;
      au = TAccessUnit{};
      au_start = cut;
    }
    au.has_slices = au.has_slices || kind.vcl;
    au.key = au.key || kind.key;
    pos = next;
  }
  au.data = data + au_start;
  au.size = size - au_start;
  return sink(au);
}

}  // namespace vdec
