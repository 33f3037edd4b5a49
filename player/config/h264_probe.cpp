#include "player/config/h264_probe.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "player/player_log.h"

namespace zrplay {

TBitReader::TBitReader(const uint8_t* data, size_t size)
    : data_(data), size_(data == nullptr ? 0 : size) {}

uint32_t TBitReader::ReadBit() {
  if (pos_ >= size_) return 0;
  --bits_left_;
  const uint32_t bit = (data_[pos_] >> bits_left_) & 1u;
  if (bits_left_ == 0) {
    ++pos_;
    bits_left_ = 8;
  }
  return bit;
}

uint32_t TBitReader::ReadBits(int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 1) | ReadBit();
  return value;
}

void TBitReader::SkipBits(uint32_t count) {
  if (pos_ >= size_) return;  // already past the end: stays there
  const size_t bits = static_cast<size_t>(count) + static_cast<size_t>(8 - bits_left_);
  pos_ += bits / 8;
  bits_left_ = 8 - static_cast<int>(bits % 8);
}

uint32_t TBitReader::ReadUE() {
  int zeros = 0;
  while (zeros < 32 && !Exhausted() && ReadBit() == 0) ++zeros;
  const uint64_t value = static_cast<uint64_t>(ReadBits(zeros)) + (uint64_t{1} << zeros) - 1;
  return static_cast<uint32_t>(value);  // 32 zeros wrap, as 32-bit arithmetic does
}

int32_t TBitReader::ReadSE() {
  const uint64_t k = ReadUE();
  const int64_t value = (k & 1) ? static_cast<int64_t>((k + 1) / 2) : -static_cast<int64_t>(k / 2);
  return static_cast<int32_t>(value);
}

namespace {

// Profiles whose parameter sets carry chroma format, bit depths and scaling matrices (144 is
// the High 4:4:4 of the first editions).
constexpr int kProfilesWithChromaFields[] = {100, 110, 122, 244, 44,  83,  86,
                                             118, 128, 138, 139, 134, 135, 144};

bool HasChromaFields(int profile_idc) {
  return std::find(std::begin(kProfilesWithChromaFields), std::end(kProfilesWithChromaFields),
                   profile_idc) != std::end(kProfilesWithChromaFields);
}

struct TProfileName {
  int idc;
  const char* name;
};
constexpr TProfileName kProfileNames[] = {
    {44, "CAVLC 4:4:4 Intra"},
    {66, "Baseline"},
    {77, "Main"},
    {88, "Extended"},
    {100, "High"},
    {110, "High 10 or High 10 Intra"},
    {118, "Multiview High"},
    {122, "High 4:2:2 Predictive or High 4:2:2 Intra"},
    {128, "Stereo High"},
    {144, "High 4:4:4 or High 4:4:4 Intra"},
};

void SkipScalingList(TBitReader& r, int size) {
  int64_t last = 8, next = 8;
  for (int j = 0; j < size; ++j) {
    if (next != 0) {
      const int64_t delta = r.ReadSE();
      next = ((last + delta + 256) % 256 + 256) % 256;
    }
    if (next != 0) last = next;
  }
}

// Calls `fn` with each payload byte, leaving out the emulation-prevention bytes: each
// 00 00 03 stands for 00 00.
template <typename Fn>
void ForEachPayloadByte(const uint8_t* bytes, size_t length, Fn fn) {
  int zeros = 0;
  for (size_t i = 0; i < length; ++i) {
    if (zeros >= 2 && bytes[i] == 3) {
      zeros = 0;
      continue;
    }
    zeros = bytes[i] == 0 ? zeros + 1 : 0;
    fn(bytes[i]);
  }
}

}  // namespace

TH264SpsInfo ParseH264Sps(const uint8_t* bytes, size_t length) {
  TH264SpsInfo info;
  if (bytes == nullptr) length = 0;
  // An exactly sized copy, so that a read past the payload is a read past the allocation.
  size_t size = 0;
  ForEachPayloadByte(bytes, length, [&](uint8_t) { ++size; });
  const std::unique_ptr<uint8_t[]> rbsp(new uint8_t[size]);
  size_t filled = 0;
  ForEachPayloadByte(bytes, length, [&](uint8_t b) { rbsp[filled++] = b; });
  TBitReader r(rbsp.get(), size);
  r.SkipBits(8);  // NAL header
  info.ProfileIdc = static_cast<int>(r.ReadBits(8));
  r.SkipBits(16);  // constraint flags, level_idc
  r.ReadUE();      // seq_parameter_set_id

  bool separate_colour_planes = false;
  if (HasChromaFields(info.ProfileIdc)) {
    info.ChromaFormatIdc = static_cast<int>(r.ReadUE());
    if (info.ChromaFormatIdc == 3) separate_colour_planes = r.ReadBits(1) != 0;
    r.ReadUE();                // bit_depth_luma_minus8
    r.ReadUE();                // bit_depth_chroma_minus8
    r.SkipBits(1);             // qpprime_y_zero_transform_bypass_flag
    if (r.ReadBits(1) != 0) {  // seq_scaling_matrix_present_flag
      // Six 4x4 lists, then two 8x8 lists, or six for 4:4:4.
      const int lists = info.ChromaFormatIdc == 3 ? 12 : 8;
      for (int i = 0; i < lists; ++i) {
        if (r.ReadBits(1) != 0) SkipScalingList(r, i < 6 ? 16 : 64);
      }
    }
  }

  r.ReadUE();  // log2_max_frame_num_minus4
  const uint32_t poc_type = r.ReadUE();
  if (poc_type == 0) {
    r.ReadUE();  // log2_max_pic_order_cnt_lsb_minus4
  } else if (poc_type == 1) {
    r.SkipBits(1);  // delta_pic_order_always_zero_flag
    r.ReadSE();     // offset_for_non_ref_pic
    r.ReadSE();     // offset_for_top_to_bottom_field
    const uint32_t cycle = r.ReadUE();
    // Every further value is 0 once the bits are used up, so stop there.
    for (uint32_t i = 0; i < cycle && !r.Exhausted(); ++i) r.ReadSE();
  }
  r.ReadUE();     // max_num_ref_frames
  r.SkipBits(1);  // gaps_in_frame_num_value_allowed_flag

  // Unsigned arithmetic: absurd sizes from damaged sets wrap instead of overflowing.
  uint32_t width = (r.ReadUE() + 1u) * 16u;
  const uint32_t map_height = (r.ReadUE() + 1u) * 16u;
  const uint32_t frame_mbs_only = r.ReadBits(1);
  if (frame_mbs_only == 0) r.SkipBits(1);  // mb_adaptive_frame_field_flag
  r.SkipBits(1);                           // direct_8x8_inference_flag
  uint32_t height = (2u - frame_mbs_only) * map_height;
  if (r.ReadBits(1) != 0) {  // frame_cropping_flag
    const uint32_t left = r.ReadUE(), right = r.ReadUE();
    const uint32_t top = r.ReadUE(), bottom = r.ReadUE();
    // Crop offsets count chroma samples: two luma columns/rows per unit where chroma is
    // subsampled that way, one otherwise; field coding doubles the rows.
    const bool subsampled = !separate_colour_planes && info.ChromaFormatIdc != 0;
    const uint32_t unit_x = subsampled && info.ChromaFormatIdc != 3 ? 2u : 1u;
    const uint32_t unit_y =
        (subsampled && info.ChromaFormatIdc == 1 ? 2u : 1u) * (2u - frame_mbs_only);
    width -= unit_x * (left + right);
    height -= unit_y * (top + bottom);
  }
  r.SkipBits(1);  // vui_parameters_present_flag; the rest is not needed

  info.Width = static_cast<int>(width);
  info.Height = static_cast<int>(height);
  return info;
}

std::string H264ProfileName(int profile_idc) {
  for (const auto& p : kProfileNames) {
    if (p.idc == profile_idc) return p.name;
  }
  return "unknown idc = " + std::to_string(profile_idc);
}

bool ProbeH264Sps(const uint8_t* bytes, int length, int& width, int& height) {
  if (bytes == nullptr || length <= 0 || (bytes[0] & 0x1F) != 7) return false;
  const TH264SpsInfo info = ParseH264Sps(bytes, static_cast<size_t>(length));
  WriteLogF("profile idc = %d, H264 %s", info.ProfileIdc, H264ProfileName(info.ProfileIdc).c_str());
  if (info.Width == width && info.Height == height) return false;
  width = info.Width;
  height = info.Height;
  WriteLogF("width=%d, height=%d", width, height);
  return true;
}

}  // namespace zrplay
