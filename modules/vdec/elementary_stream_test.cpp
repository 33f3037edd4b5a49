#include "modules/vdec/elementary_stream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modules/vdec/test_stream_encoder.h"

namespace vdec {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

std::vector<Bytes> Split(TStreamCodec codec, const Bytes& block,
                         std::vector<TAccessUnit>* kinds = nullptr) {
  std::vector<Bytes> units;
  SplitAccessUnits(codec, block.data(), block.size(), [&](const TAccessUnit& unit) {
    units.emplace_back(unit.data, unit.data + unit.size);
    if (kinds != nullptr) kinds->push_back(unit);
    return true;
  });
  return units;
}

// has_slices and key of each unit, as "sk" letters ('-' where not set).
std::vector<std::string> Kinds(const std::vector<TAccessUnit>& units) {
  std::vector<std::string> out;
  for (const TAccessUnit& u : units) {
    out.push_back(std::string(u.has_slices ? "s" : "-") + (u.key ? "k" : "-"));
  }
  return out;
}

struct TDetectCase {
  const char* name;
  Bytes bytes;
  TStreamCodec expected;
};

TEST(DetectStreamCodec, JudgesFromParameterSetsAndHeaders) {
  const TDetectCase cases[] = {
      {"h264 sps, 4-byte start code", {0, 0, 0, 1, 0x67, 0x64, 0x00, 0x1F}, TStreamCodec::H264},
      {"h264 sps, nal_ref_idc 1", {0, 0, 1, 0x27, 0x4D, 0x40, 0x1E}, TStreamCodec::H264},
      {"h264 sps after garbage and an aud",
       {0xAA, 0xBB, 0, 0, 1, 0x09, 0xF0, 0, 0, 1, 0x67, 0x42, 0xC0},
       TStreamCodec::H264},
      {"h264 sps with nal_ref_idc 0", {0, 0, 1, 0x07, 0x42, 0x00}, TStreamCodec::None},
      {"h264 sps with unknown profile", {0, 0, 1, 0x67, 0x07, 0x00}, TStreamCodec::None},
      {"h264 idr slice without parameter sets", {0, 0, 1, 0x65, 0x88, 0x84}, TStreamCodec::None},
      {"h265 vps", {0, 0, 0, 1, 0x40, 0x01, 0x0C, 0x01}, TStreamCodec::H265},
      {"h265 sps", {0, 0, 1, 0x42, 0x01, 0x01}, TStreamCodec::H265},
      {"h265 pps", {0, 0, 1, 0x44, 0x01, 0xC1}, TStreamCodec::H265},
      {"h265 vps of another layer", {0, 0, 1, 0x40, 0x09, 0x0C}, TStreamCodec::None},
      {"h265 vps with temporal id 0", {0, 0, 1, 0x40, 0x00, 0x0C}, TStreamCodec::None},
      {"h265 idr slice without parameter sets", {0, 0, 1, 0x26, 0x01, 0xAF}, TStreamCodec::None},
      {"mpeg-4 visual object sequence", {0, 0, 1, 0xB0, 0x01, 0, 0, 1, 0xB5}, TStreamCodec::Mpeg4},
      {"mpeg-4 visual object", {0, 0, 1, 0xB5, 0x09}, TStreamCodec::Mpeg4},
      {"jpeg image start", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10}, TStreamCodec::Mjpeg},
      {"start code at the very end", {0x12, 0, 0, 1}, TStreamCodec::None},
      {"empty", {}, TStreamCodec::None},
      {"no start code", {1, 2, 3, 4, 5, 6, 7, 8}, TStreamCodec::None},
  };
  for (const TDetectCase& c : cases) {
    EXPECT_EQ(DetectStreamCodec(c.bytes.data(), c.bytes.size()), c.expected) << c.name;
  }
}

struct TEncoderCase {
  const char* encoder;
  TStreamCodec codec;
};

TEST(DetectStreamCodec, RecognisesTheFirstPictureOfEachEncoder) {
  const TEncoderCase cases[] = {{"libx264", TStreamCodec::H264},
                                {"libx265", TStreamCodec::H265},
                                {"mpeg4", TStreamCodec::Mpeg4},
                                {"mjpeg", TStreamCodec::Mjpeg}};
  for (const TEncoderCase& c : cases) {
    if (!testing::HasEncoder(c.encoder)) {
      std::printf("encoder %s not available, its stream is not checked\n", c.encoder);
      continue;
    }
    const auto stream = testing::EncodeTestStream(c.encoder, 96, 64, 3);
    ASSERT_TRUE(stream.has_value()) << c.encoder;
    const Bytes& first = stream->frames.front();
    EXPECT_EQ(DetectStreamCodec(first.data(), first.size()), c.codec) << c.encoder;
  }
}

TEST(FindStartCode, FindsThreeByteCodesOnly) {
  const Bytes bytes = {0, 1, 0, 0, 2, 0, 0, 0, 1, 9, 0, 0, 1};
  EXPECT_EQ(FindStartCode(bytes.data(), bytes.size(), 0), 6u);
  EXPECT_EQ(FindStartCode(bytes.data(), bytes.size(), 7), 10u);
  EXPECT_EQ(FindStartCode(bytes.data(), bytes.size(), 11), bytes.size());
  EXPECT_EQ(FindStartCode(bytes.data(), 8, 0), 8u);  // the code's 01 lies beyond the end
}

// H.264 units by hand: the header byte and the first payload byte decide the cut.
const Bytes kAud = {0, 0, 0, 1, 0x09, 0xF0};
const Bytes kSps = {0, 0, 1, 0x67, 0x42, 0xC0, 0x1E};
const Bytes kPps = {0, 0, 1, 0x68, 0xCE, 0x3C};
const Bytes kIdrFirstSlice = {0, 0, 1, 0x65, 0x88, 0x84, 0x21};   // first_mb_in_slice 0
const Bytes kIdrSecondSlice = {0, 0, 1, 0x65, 0x40, 0x12, 0x34};  // first_mb_in_slice > 0
const Bytes kPFirstSlice = {0, 0, 1, 0x41, 0x9A, 0x02, 0x03};
const Bytes kSei = {0, 0, 1, 0x06, 0x05, 0x01, 0x80};

TEST(SplitAccessUnits, CutsH264WhereAPictureBegins) {
  const Bytes block = Cat({kAud, kSps, kPps, kIdrFirstSlice, kIdrSecondSlice, kPFirstSlice, kSei,
                           kPFirstSlice, kPFirstSlice});
  std::vector<TAccessUnit> kinds;
  const std::vector<Bytes> units = Split(TStreamCodec::H264, block, &kinds);
  ASSERT_EQ(units.size(), 4u);
  EXPECT_THAT(Kinds(kinds), ::testing::ElementsAre("sk", "s-", "s-", "s-"));
  EXPECT_EQ(units[0], Cat({kAud, kSps, kPps, kIdrFirstSlice, kIdrSecondSlice}));
  EXPECT_EQ(units[1], kPFirstSlice);
  EXPECT_EQ(units[2], Cat({kSei, kPFirstSlice}));
  EXPECT_EQ(units[3], kPFirstSlice);
}

TEST(SplitAccessUnits, CutsH265WhereAPictureBegins) {
  const Bytes vps = {0, 0, 0, 1, 0x40, 0x01, 0x0C};
  const Bytes sps = {0, 0, 1, 0x42, 0x01, 0x01};
  const Bytes pps = {0, 0, 1, 0x44, 0x01, 0xC1};
  const Bytes idr_first = {0, 0, 1, 0x26, 0x01, 0xAF, 0x11};   // IDR_W_RADL, first segment
  const Bytes idr_second = {0, 0, 1, 0x26, 0x01, 0x2F, 0x22};  // a later segment
  const Bytes suffix_sei = {0, 0, 1, 0x50, 0x01, 0x05};        // stays with its picture
  const Bytes trail_first = {0, 0, 1, 0x02, 0x01, 0xD0, 0x33};
  const Bytes prefix_sei = {0, 0, 1, 0x4E, 0x01, 0x05};
  const Bytes block =
      Cat({vps, sps, pps, idr_first, idr_second, suffix_sei, trail_first, prefix_sei, trail_first});
  std::vector<TAccessUnit> kinds;
  const std::vector<Bytes> units = Split(TStreamCodec::H265, block, &kinds);
  ASSERT_EQ(units.size(), 3u);
  EXPECT_THAT(Kinds(kinds), ::testing::ElementsAre("sk", "s-", "s-"));
  EXPECT_EQ(units[0], Cat({vps, sps, pps, idr_first, idr_second, suffix_sei}));
  EXPECT_EQ(units[1], trail_first);
  EXPECT_EQ(units[2], Cat({prefix_sei, trail_first}));
}

TEST(SplitAccessUnits, ParameterSetsAloneCarryNoSlices) {
  std::vector<TAccessUnit> kinds;
  EXPECT_THAT(Split(TStreamCodec::H264, Cat({kSps, kPps}), &kinds),
              ::testing::ElementsAre(Cat({kSps, kPps})));
  EXPECT_THAT(Kinds(kinds), ::testing::ElementsAre("--"));
}

TEST(SplitAccessUnits, DropsBytesBeforeTheFirstStartCode) {
  const Bytes block = Cat({{0x12, 0x34, 0x56}, kPFirstSlice});
  EXPECT_THAT(Split(TStreamCodec::H264, block), ::testing::ElementsAre(kPFirstSlice));
  const Bytes no_code = {0x12, 0x34, 0x56, 0x78};
  EXPECT_TRUE(Split(TStreamCodec::H264, no_code).empty());
}

TEST(SplitAccessUnits, PassesOtherCodecsWhole) {
  const Bytes block = Cat({kPFirstSlice, kPFirstSlice});
  for (TStreamCodec codec : {TStreamCodec::Mpeg4, TStreamCodec::Mjpeg}) {
    EXPECT_THAT(Split(codec, block), ::testing::ElementsAre(block));
  }
}

TEST(SplitAccessUnits, StopsWhenTheSinkSaysSo) {
  const Bytes block = Cat({kPFirstSlice, kPFirstSlice, kPFirstSlice});
  int calls = 0;
  EXPECT_FALSE(SplitAccessUnits(TStreamCodec::H264, block.data(), block.size(),
                                [&](const TAccessUnit&) { return ++calls < 2; }));
  EXPECT_EQ(calls, 2);
}

// Real encoder output with several slices per picture, all pictures in one block: each
// access unit must come back exactly as the encoder produced it.
TEST(SplitAccessUnits, GivesBackEachEncodedPictureOfAConcatenatedStream) {
  for (const TEncoderCase& c :
       {TEncoderCase{"libx264", TStreamCodec::H264}, TEncoderCase{"libx265", TStreamCodec::H265}}) {
    if (!testing::HasEncoder(c.encoder)) {
      std::printf("encoder %s not available, its stream is not split\n", c.encoder);
      continue;
    }
    testing::TEncodeOptions options;
    options.slices = 3;
    options.key_interval = 4;
    const auto stream = testing::EncodeTestStream(c.encoder, 128, 96, 6, options);
    ASSERT_TRUE(stream.has_value()) << c.encoder;
    Bytes block;
    for (const Bytes& frame : stream->frames) block.insert(block.end(), frame.begin(), frame.end());
    EXPECT_EQ(Split(c.codec, block), stream->frames) << c.encoder;
  }
}

}  // namespace
}  // namespace vdec
