// Reads the profile and the picture size out of an H.264 sequence parameter set, for the
// channel's log when it meets its first key frame. Pure functions over caller-owned bytes;
// any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zrplay {

// Bits of a byte range, most significant bit first. Bits at or past the end read as 0, so a
// truncated parameter set yields zeros for its missing fields; no read leaves the range.
class TBitReader {
 public:
  TBitReader(const uint8_t* data, size_t size);

  // `count` (0..32) bits as an unsigned value.
  uint32_t ReadBits(int count);
  // Moves forward without reading; a position past the end only makes later reads 0.
  void SkipBits(uint32_t count);
  // Exp-Golomb codes; at most 32 leading zeros are counted, none past the end.
  uint32_t ReadUE();
  int32_t ReadSE();
  // True once every bit of the range has been consumed.
  bool Exhausted() const { return pos_ >= size_; }

 private:
  uint32_t ReadBit();

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;     // current byte
  int bits_left_ = 8;  // unread bits of the current byte
};

struct TH264SpsInfo {
  int ProfileIdc = 0;
  int ChromaFormatIdc = 1;  // 4:2:0 unless the profile codes it
  int Width = 0;
  int Height = 0;
};

// Parses a sequence parameter set that starts at its NAL header byte, emulation-prevention
// bytes included. Never fails: missing bits read as 0 and the values follow from them.
// Chroma format, bit depths and scaling matrices are read for every profile that codes them,
// and the cropping counts in the units of the chroma format, so 4:2:2, 4:4:4 and multiview
// streams give their true size too.
TH264SpsInfo ParseH264Sps(const uint8_t* bytes, size_t length);

// "Baseline", "Main", ... or "unknown idc = <n>".
std::string H264ProfileName(int profile_idc);

// When `bytes` holds a sequence parameter set (NAL type 7), parses it and logs the profile;
// when its size differs from width × height, stores it there, logs it and returns true.
// False otherwise (not a parameter set: nothing is logged).
bool ProbeH264Sps(const uint8_t* bytes, int length, int& width, int& height);

}  // namespace zrplay
