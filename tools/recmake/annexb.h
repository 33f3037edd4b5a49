// Annex-B byte streams of H.264 and H.265: splitting an access unit into NAL units and
// keeping parameter sets in front of every key frame, so that a player can start decoding
// at any key frame of a record file. One thread at a time; owns copies of the last
// parameter sets seen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace recmake {

enum class EVideoCodec { H264, H265 };

struct TNalUnit {
  size_t Offset = 0;  // of the NAL header byte, just after the start code
  size_t Size = 0;    // up to the next start code, trailing zero bytes excluded
  int Type = 0;
};

// The NAL units of an Annex-B buffer (start codes of three or four bytes). Bytes before
// the first start code are ignored.
std::vector<TNalUnit> SplitAnnexB(EVideoCodec codec, const uint8_t* data, size_t size);
bool IsParameterSetNal(EVideoCodec codec, int type);
// IDR pictures (H.264) and intra random access points (H.265).
bool IsRandomAccessNal(EVideoCodec codec, int type);

class TParameterSetKeeper {
 public:
  explicit TParameterSetKeeper(EVideoCodec codec) : codec_(codec) {}

  // Remembers the parameter sets the access unit carries. A key access unit that lacks
  // some of them gets the remembered ones put in front (after an access unit delimiter).
  std::vector<uint8_t> Process(std::vector<uint8_t> access_unit, bool key);
  // True once every kind of parameter set the codec needs has been seen.
  bool Complete() const;

 private:
  std::vector<int> NeededTypes() const;

  EVideoCodec codec_;
  std::map<int, std::vector<uint8_t>> sets_;  // NAL type -> last NAL of that type
};

}  // namespace recmake
