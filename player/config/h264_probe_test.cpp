#include "player/config/h264_probe.h"

#include <gtest/gtest.h>

#include <bit>
#include <memory>
#include <string>
#include <vector>

#include "player/config/test_log_capture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace zrplay {
namespace {

// ---------------------------------------------------------------------------------------------
// Bit reader

std::vector<uint8_t> FromBits(const std::string& bits) {
  std::vector<uint8_t> bytes((bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); ++i) {
    if (bits[i] == '1') bytes[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  }
  return bytes;
}

TEST(BitReader, ReadsMostSignificantBitFirstAndZerosPastTheEnd) {
  const uint8_t bytes[] = {0xA5, 0x0F};
  TBitReader r(bytes, 2);
  EXPECT_EQ(r.ReadBits(3), 0b101u);
  EXPECT_EQ(r.ReadBits(9), 0b001010000u);
  EXPECT_FALSE(r.Exhausted());
  EXPECT_EQ(r.ReadBits(8), 0xF0u);  // last 4 bits, then 4 zero bits past the end
  EXPECT_TRUE(r.Exhausted());
  EXPECT_EQ(r.ReadBits(32), 0u);

  TBitReader s(bytes, 2);
  s.SkipBits(4);
  EXPECT_EQ(s.ReadBits(8), 0x50u);
  s.SkipBits(1000);  // far past the end: reads stay inside the range and give 0
  EXPECT_TRUE(s.Exhausted());
  EXPECT_EQ(s.ReadBits(32), 0u);
  EXPECT_EQ(s.ReadUE(), 0u);

  TBitReader whole(bytes, 2);
  EXPECT_EQ(whole.ReadBits(16), 0xA50Fu);
  TBitReader empty(nullptr, 5);
  EXPECT_EQ(empty.ReadBits(8), 0u);
  EXPECT_TRUE(empty.Exhausted());
}

TEST(BitReader, ExpGolombCodes) {
  struct Case {
    std::string bits;
    uint32_t ue;
    int32_t se;
  };
  const Case cases[] = {
      {"1", 0, 0},
      {"010", 1, 1},
      {"011", 2, -1},
      {"00100", 3, 2},
      {"00101", 4, -2},
      {"00111", 6, -3},
      {"0001000", 7, 4},
      {"000000011111111", 254, -127},
      // 32 zeros, the most counted: 2^32 - 1 plus 32 one bits, kept to 32 bits.
      {std::string(32, '0') + std::string(32, '1'), 0xFFFFFFFEu, -0x7FFFFFFF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bits);
    const auto bytes = FromBits(c.bits + "1");  // a marker after the code
    TBitReader r(bytes.data(), bytes.size());
    EXPECT_EQ(r.ReadUE(), c.ue);
    TBitReader s(bytes.data(), bytes.size());
    EXPECT_EQ(s.ReadSE(), c.se);
    EXPECT_EQ(s.ReadBits(1), 1u);  // the code was consumed exactly
  }
}

// ---------------------------------------------------------------------------------------------
// Hand-built parameter sets, for the syntax paths an encoder does not produce.

class TBitWriter {
 public:
  void U(int n, uint64_t v) {
    for (int i = n - 1; i >= 0; --i) bits_.push_back(((v >> i) & 1) != 0);
  }
  void UE(uint32_t v) {
    const uint64_t x = uint64_t{v} + 1;
    const int len = std::bit_width(x);
    U(len - 1, 0);
    U(len, x);
  }
  void SE(int32_t v) {
    UE(v > 0 ? 2 * static_cast<uint32_t>(v) - 1 : 2 * static_cast<uint32_t>(-v));
  }
  // The payload with its stop bit, emulation-prevention bytes inserted.
  std::vector<uint8_t> Nal() const {
    auto bits = bits_;
    bits.push_back(true);
    while (bits.size() % 8 != 0) bits.push_back(false);
    std::vector<uint8_t> out;
    int zeros = 0;
    for (size_t i = 0; i < bits.size(); i += 8) {
      uint8_t b = 0;
      for (int k = 0; k < 8; ++k) b = static_cast<uint8_t>((b << 1) | (bits[i + k] ? 1 : 0));
      if (zeros >= 2 && b <= 3) {
        out.push_back(3);
        zeros = 0;
      }
      zeros = b == 0 ? zeros + 1 : 0;
      out.push_back(b);
    }
    return out;
  }

 private:
  std::vector<bool> bits_;
};

struct SpsFields {
  int profile = 66;
  int chroma_format = 1;  // written only for profiles that code it
  bool separate_planes = false;
  std::vector<std::vector<int>> scaling;  // per list: deltas; empty list = not present
  bool scaling_present = false;
  int poc_type = 0;
  std::vector<int> poc_cycle;
  int non_ref_offset = 0, top_bottom_offset = 0;
  uint32_t width_mbs = 22, height_units = 18;
  int frame_mbs_only = 1;
  std::vector<uint32_t> crop;  // left, right, top, bottom; empty = no cropping
};

std::vector<uint8_t> BuildSps(const SpsFields& f) {
  TBitWriter w;
  w.U(8, 0x67);
  w.U(8, f.profile);
  w.U(8, 0);   // constraint flags
  w.U(8, 30);  // level 3.0
  w.UE(0);     // seq_parameter_set_id
  const bool high = f.profile == 100 || f.profile == 110 || f.profile == 122 || f.profile == 244 ||
                    f.profile == 44 || f.profile == 118 || f.profile == 128;
  if (high) {
    w.UE(f.chroma_format);
    if (f.chroma_format == 3) w.U(1, f.separate_planes);
    w.UE(0);
    w.UE(0);
    w.U(1, 0);
    w.U(1, f.scaling_present);
    if (f.scaling_present) {
      for (const auto& list : f.scaling) {
        w.U(1, !list.empty());
        for (int d : list) w.SE(d);
      }
    }
  }
  w.UE(0);  // log2_max_frame_num_minus4
  w.UE(f.poc_type);
  if (f.poc_type == 0) {
    w.UE(2);
  } else if (f.poc_type == 1) {
    w.U(1, 0);
    w.SE(f.non_ref_offset);
    w.SE(f.top_bottom_offset);
    w.UE(static_cast<uint32_t>(f.poc_cycle.size()));
    for (int v : f.poc_cycle) w.SE(v);
  }
  w.UE(1);    // max_num_ref_frames
  w.U(1, 0);  // gaps
  w.UE(f.width_mbs - 1);
  w.UE(f.height_units - 1);
  w.U(1, f.frame_mbs_only);
  if (!f.frame_mbs_only) w.U(1, 1);
  w.U(1, 1);  // direct_8x8_inference
  w.U(1, !f.crop.empty());
  for (uint32_t c : f.crop) w.UE(c);
  w.U(1, 0);  // no VUI
  return w.Nal();
}

// A 16-entry list of deltas that ends with the "rest repeats" code (next becomes 0).
std::vector<int> ShortList() {
  return {3, -2, 5, -14};
}
std::vector<int> FullList(int n) {
  return std::vector<int>(static_cast<size_t>(n), 1);
}

struct HandCase {
  const char* name;
  SpsFields fields;
  int width, height;
};

std::vector<HandCase> HandCases() {
  std::vector<HandCase> cases;
  {
    SpsFields f;
    f.width_mbs = 80;
    f.height_units = 45;
    cases.push_back({"baseline 1280x720", f, 1280, 720});
  }
  {
    SpsFields f;
    f.profile = 77;
    f.width_mbs = 120;
    f.height_units = 68;
    f.crop = {0, 0, 0, 4};
    cases.push_back({"main 1920x1080 from 1088", f, 1920, 1080});
  }
  {
    SpsFields f;
    f.profile = 100;
    f.scaling_present = true;
    f.scaling = {ShortList(), {}, FullList(16), {}, {}, ShortList(), FullList(64), {-8}};
    f.poc_type = 1;
    f.non_ref_offset = -3;
    f.top_bottom_offset = 7;
    f.poc_cycle = {1, -1, 200};
    f.width_mbs = 44;
    f.height_units = 36;
    cases.push_back({"high, scaling lists, order type 1, 704x576", f, 704, 576});
  }
  {
    SpsFields f;
    f.profile = 244;
    f.chroma_format = 3;
    f.scaling_present = true;
    f.scaling = {{}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, FullList(64)};  // 12 lists
    f.width_mbs = 120;
    f.height_units = 68;
    f.crop = {1, 2, 0, 8};  // one sample per unit in 4:4:4
    cases.push_back({"4:4:4 with twelve lists", f, 1917, 1080});
  }
  {
    SpsFields f;
    f.profile = 244;
    f.chroma_format = 3;
    f.separate_planes = true;
    f.width_mbs = 4;
    f.height_units = 4;
    f.crop = {0, 3, 0, 5};
    cases.push_back({"4:4:4 separate planes", f, 61, 59});
  }
  {
    SpsFields f;
    f.profile = 122;
    f.chroma_format = 2;
    f.width_mbs = 4;
    f.height_units = 4;
    f.crop = {0, 3, 0, 5};  // two columns, one row per unit in 4:2:2
    cases.push_back({"4:2:2", f, 58, 59});
  }
  {
    SpsFields f;
    f.profile = 77;
    f.frame_mbs_only = 0;
    f.width_mbs = 45;
    f.height_units = 15;
    f.crop = {0, 0, 1, 1};  // four rows per unit for 4:2:0 fields
    cases.push_back({"field coded 720x480", f, 720, 472});
  }
  {
    // Offsets whose codes hold long runs of zero bits: the set carries emulation prevention.
    SpsFields f;
    f.poc_type = 1;
    f.non_ref_offset = 49152;     // 16 zeros, 1, 1 and 15 zeros
    f.top_bottom_offset = 32768;  // 16 leading zeros: 31 in a row
    f.width_mbs = 22;
    f.height_units = 18;
    cases.push_back({"emulation prevention", f, 352, 288});
  }
  return cases;
}

TEST(H264Probe, HandBuiltSetsGiveTheirSizeAndProfile) {
  for (const auto& c : HandCases()) {
    SCOPED_TRACE(c.name);
    const auto sps = BuildSps(c.fields);
    const TH264SpsInfo info = ParseH264Sps(sps.data(), sps.size());
    EXPECT_EQ(info.ProfileIdc, c.fields.profile);
    EXPECT_EQ(info.Width, c.width);
    EXPECT_EQ(info.Height, c.height);
  }
}

TEST(H264Probe, EmulationPreventionCaseReallyCarriesEscapes) {
  const auto sps = BuildSps(HandCases().back().fields);
  bool escaped = false;
  for (size_t i = 2; i < sps.size(); ++i)
    escaped |= sps[i - 2] == 0 && sps[i - 1] == 0 && sps[i] == 3;
  EXPECT_TRUE(escaped);
}

TEST(H264Probe, LogsProfileAndSizeAndReportsOnlyAChange) {
  const auto sps = BuildSps(HandCases().front().fields);
  ASSERT_GE(sps.size(), 4u);
  EXPECT_EQ(std::vector<uint8_t>(sps.begin(), sps.begin() + 4),
            (std::vector<uint8_t>{0x67, 0x42, 0x00, 0x1E}));
  {
    TLogCapture log;
    int width = 0, height = 0;
    EXPECT_TRUE(ProbeH264Sps(sps.data(), static_cast<int>(sps.size()), width, height));
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 720);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"profile idc = 66, H264 Baseline",
                                                     "width=1280, height=720"}));
  }
  {
    TLogCapture log;
    int width = 1280, height = 720;
    EXPECT_FALSE(ProbeH264Sps(sps.data(), static_cast<int>(sps.size()), width, height));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"profile idc = 66, H264 Baseline"}));
  }
  {
    TLogCapture log;
    int width = 1280, height = 1;  // one of the two differs: both are replaced
    EXPECT_TRUE(ProbeH264Sps(sps.data(), static_cast<int>(sps.size()), width, height));
    EXPECT_EQ(height, 720);
  }
}

TEST(H264Probe, ProfileNamesInTheLog) {
  struct Case {
    int profile;
    const char* line;
  };
  const Case cases[] = {{66, "H264 Baseline"},
                        {77, "H264 Main"},
                        {100, "H264 High"},
                        {44, "H264 CAVLC 4:4:4 Intra"},
                        {122, "H264 High 4:2:2 Predictive or High 4:2:2 Intra"},
                        {244, "H264 unknown idc = 244"},
                        {0, "H264 unknown idc = 0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    SpsFields f;
    f.profile = c.profile;
    const auto sps = BuildSps(f);
    TLogCapture log;
    int width = 0, height = 0;
    ProbeH264Sps(sps.data(), static_cast<int>(sps.size()), width, height);
    const auto lines = log.Lines();
    ASSERT_GE(lines.size(), 1u);
    EXPECT_EQ(lines[0], "profile idc = " + std::to_string(c.profile) + ", " + c.line);
  }
}

TEST(H264Probe, OtherNalTypesAndEmptyInputAreNotProbed) {
  auto sps = BuildSps(HandCases().front().fields);
  TLogCapture log;
  for (uint8_t header : {0x68, 0x65, 0x06, 0x00, 0x47 ^ 0x40 ^ 0x08}) {  // PPS, IDR, SEI, 0, 15
    SCOPED_TRACE(static_cast<int>(header));
    sps[0] = header;
    int width = 0, height = 0;
    EXPECT_FALSE(ProbeH264Sps(sps.data(), static_cast<int>(sps.size()), width, height));
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
  }
  sps[0] = 0x67;
  int width = 0, height = 0;
  EXPECT_FALSE(ProbeH264Sps(sps.data(), 0, width, height));
  EXPECT_FALSE(ProbeH264Sps(sps.data(), -4, width, height));
  EXPECT_FALSE(ProbeH264Sps(nullptr, 10, width, height));
  EXPECT_TRUE(log.Lines().empty());
  // The NAL reference bits do not matter, only the type.
  sps[0] = 0x27;
  EXPECT_TRUE(ProbeH264Sps(sps.data(), static_cast<int>(sps.size()), width, height));
}

// ---------------------------------------------------------------------------------------------
// Real parameter sets from libx264, checked against the size libavcodec decodes.

struct EncodeCase {
  int width, height;
  const char* profile;  // nullptr: the encoder's choice for the pixel format
  AVPixelFormat format;
  const char* x264_params;
  int expected_profile;
};

std::string Describe(const EncodeCase& c) {
  return std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
         (c.profile ? c.profile : "auto") + " " + av_get_pix_fmt_name(c.format) + " " +
         c.x264_params;
}

using Packets = std::vector<std::vector<uint8_t>>;

struct CodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

void Drain(AVCodecContext* enc, AVPacket* pkt, Packets& out) {
  while (avcodec_receive_packet(enc, pkt) == 0) {
    out.emplace_back(pkt->data, pkt->data + pkt->size);
    av_packet_unref(pkt);
  }
}

// One frame of a gradient, as Annex B packets.
Packets Encode(const EncodeCase& c) {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  CodecContextPtr enc(avcodec_alloc_context3(codec));
  enc->width = c.width;
  enc->height = c.height;
  enc->pix_fmt = c.format;
  enc->time_base = {1, 25};
  enc->framerate = {25, 1};
  enc->gop_size = 25;
  enc->max_b_frames = 0;
  enc->thread_count = 1;
  av_opt_set(enc->priv_data, "preset", "veryfast", 0);
  if (c.profile) av_opt_set(enc->priv_data, "profile", c.profile, 0);
  if (*c.x264_params) av_opt_set(enc->priv_data, "x264-params", c.x264_params, 0);
  if (avcodec_open2(enc.get(), codec, nullptr) < 0) return {};

  FramePtr frame(av_frame_alloc());
  frame->format = c.format;
  frame->width = c.width;
  frame->height = c.height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return {};
  PacketPtr pkt(av_packet_alloc());
  Packets out;
  for (int plane = 0; plane < 3; ++plane) {
    const int h = plane == 0 ? c.height : AV_CEIL_RSHIFT(c.height, c.format == AV_PIX_FMT_YUV420P);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < frame->linesize[plane]; ++x) {
        frame->data[plane][y * frame->linesize[plane] + x] =
            static_cast<uint8_t>(x + 3 * y + 50 * plane);
      }
    }
  }
  frame->pts = 0;
  if (avcodec_send_frame(enc.get(), frame.get()) < 0) return {};
  Drain(enc.get(), pkt.get(), out);
  avcodec_send_frame(enc.get(), nullptr);
  Drain(enc.get(), pkt.get(), out);
  return out;
}

// Width and height of the pictures libavcodec decodes from the packets (0 x 0 when none).
std::pair<int, int> DecodedSize(const Packets& packets) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  CodecContextPtr dec(avcodec_alloc_context3(codec));
  dec->thread_count = 1;
  if (avcodec_open2(dec.get(), codec, nullptr) < 0) return {0, 0};
  PacketPtr pkt(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  std::pair<int, int> size{0, 0};
  auto receive = [&] {
    while (avcodec_receive_frame(dec.get(), frame.get()) == 0) {
      size = {frame->width, frame->height};
      av_frame_unref(frame.get());
    }
  };
  for (const auto& p : packets) {
    std::vector<uint8_t> padded(p);
    padded.resize(p.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    pkt->data = padded.data();
    pkt->size = static_cast<int>(p.size());
    avcodec_send_packet(dec.get(), pkt.get());
    receive();
  }
  avcodec_send_packet(dec.get(), nullptr);
  receive();
  return size;
}

// The sequence parameter set NAL unit of an Annex B packet, from its header byte up to the
// next start code.
std::vector<uint8_t> ExtractSps(const std::vector<uint8_t>& packet) {
  for (size_t i = 0; i + 3 < packet.size(); ++i) {
    if (packet[i] != 0 || packet[i + 1] != 0 || packet[i + 2] != 1) continue;
    const size_t start = i + 3;
    if ((packet[start] & 0x1F) != 7) continue;
    size_t end = start;
    while (end + 2 < packet.size() &&
           !(packet[end] == 0 && packet[end + 1] == 0 && packet[end + 2] <= 1)) {
      ++end;
    }
    if (end + 2 >= packet.size()) end = packet.size();
    return {packet.begin() + static_cast<std::ptrdiff_t>(start),
            packet.begin() + static_cast<std::ptrdiff_t>(end)};
  }
  return {};
}

class RealStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    av_log_set_level(AV_LOG_ERROR);
    ASSERT_NE(avcodec_find_encoder_by_name("libx264"), nullptr)
        << "libavcodec is built without libx264 (scripts/setup installs it)";
  }
  // Encodes, checks the decoder's size against the expected one and returns the set.
  std::vector<uint8_t> SpsOf(const EncodeCase& c) {
    const Packets packets = Encode(c);
    EXPECT_FALSE(packets.empty()) << "encoding failed";
    if (packets.empty()) return {};
    EXPECT_EQ(DecodedSize(packets), std::make_pair(c.width, c.height));
    const auto sps = ExtractSps(packets.front());
    EXPECT_FALSE(sps.empty()) << "no parameter set in the first packet";
    return sps;
  }
};

TEST_F(RealStreams, ProbeGivesTheDecodedSizeAndTheProfile) {
  std::vector<EncodeCase> cases;
  const std::pair<int, int> sizes[] = {{1280, 720}, {1920, 1080}, {704, 576}, {352, 288}};
  const std::pair<const char*, int> profiles[] = {{"baseline", 66}, {"main", 77}, {"high", 100}};
  for (const auto& [w, h] : sizes) {
    for (const auto& [name, idc] : profiles) {
      cases.push_back({w, h, name, AV_PIX_FMT_YUV420P, "", idc});
    }
  }
  // Scaling matrices, field coding, uneven sizes and the other chroma formats.
  cases.push_back({1920, 1080, "high", AV_PIX_FMT_YUV420P, "cqm=jvt", 100});
  cases.push_back({1920, 1080, "main", AV_PIX_FMT_YUV420P, "interlaced=1", 77});
  cases.push_back({1366, 766, "high", AV_PIX_FMT_YUV420P, "", 100});
  cases.push_back({1920, 1080, nullptr, AV_PIX_FMT_YUV422P, "", 122});
  cases.push_back({1280, 719, nullptr, AV_PIX_FMT_YUV422P, "cqm=jvt", 122});
  cases.push_back({1920, 1080, nullptr, AV_PIX_FMT_YUV444P, "", 244});
  cases.push_back({1917, 1079, nullptr, AV_PIX_FMT_YUV444P, "cqm=jvt", 244});

  for (const auto& c : cases) {
    SCOPED_TRACE(Describe(c));
    const auto sps = SpsOf(c);
    if (sps.empty()) continue;
    const TH264SpsInfo info = ParseH264Sps(sps.data(), sps.size());
    EXPECT_EQ(info.ProfileIdc, c.expected_profile);
    EXPECT_EQ(info.Width, c.width);
    EXPECT_EQ(info.Height, c.height);
    int width = 0, height = 0;
    EXPECT_TRUE(ProbeH264Sps(sps.data(), static_cast<int>(sps.size()), width, height));
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(c.width, c.height));
  }
}

// Every prefix of a valid set, in a buffer of exactly that size so that the address
// sanitiser sees any read beyond it. Missing fields read as zero: the size stays positive.
TEST_F(RealStreams, EveryTruncationStaysInsideTheBytes) {
  std::vector<std::vector<uint8_t>> sets;
  for (const auto& c : {EncodeCase{352, 288, "baseline", AV_PIX_FMT_YUV420P, "", 66},
                        EncodeCase{1920, 1080, "high", AV_PIX_FMT_YUV420P, "cqm=jvt", 100},
                        EncodeCase{1920, 1080, "main", AV_PIX_FMT_YUV420P, "interlaced=1", 77},
                        EncodeCase{1917, 1079, nullptr, AV_PIX_FMT_YUV444P, "cqm=jvt", 244}}) {
    sets.push_back(SpsOf(c));
  }
  for (const auto& c : HandCases()) sets.push_back(BuildSps(c.fields));

  for (const auto& sps : sets) {
    ASSERT_FALSE(sps.empty());
    const TH264SpsInfo full = ParseH264Sps(sps.data(), sps.size());
    for (size_t n = 0; n <= sps.size(); ++n) {
      SCOPED_TRACE("length " + std::to_string(n) + " of " + std::to_string(sps.size()));
      std::unique_ptr<uint8_t[]> bytes(new uint8_t[n]);
      std::copy(sps.begin(), sps.begin() + static_cast<std::ptrdiff_t>(n), bytes.get());
      int width = 0, height = 0;
      EXPECT_EQ(ProbeH264Sps(bytes.get(), static_cast<int>(n), width, height), n > 0);
      const TH264SpsInfo info = ParseH264Sps(bytes.get(), n);
      EXPECT_GT(info.Width, 0);
      EXPECT_GT(info.Height, 0);
      if (n == sps.size()) {
        EXPECT_EQ(info.Width, full.Width);
        EXPECT_EQ(info.Height, full.Height);
      }
    }
  }
}

}  // namespace
}  // namespace zrplay
