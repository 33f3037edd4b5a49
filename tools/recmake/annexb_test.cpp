#include "tools/recmake/annexb.h"

#include <gtest/gtest.h>

#include "tools/recmake/adts.h"
#include "tools/recmake/test_support.h"

namespace recmake {
namespace {

using Bytes = std::vector<uint8_t>;

// A NAL unit with a four-byte start code; body bytes are arbitrary non-zero filler.
Bytes Nal(uint8_t header, size_t body = 3) {
  Bytes b = {0, 0, 0, 1, header};
  for (size_t i = 0; i < body; ++i) b.push_back(static_cast<uint8_t>(0x40 + header + i));
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(SplitAnnexB, FindsUnitsAfterThreeAndFourByteStartCodes) {
  // Leading junk, a 4-byte start code, a 3-byte one, trailing zero bytes before the next.
  Bytes data = {0xAA, 0, 0, 0, 1, 0x67, 1, 2, 0, 0, 1, 0x68, 9, 0, 0, 0, 0, 1, 0x65, 7};
  std::vector<TNalUnit> units = SplitAnnexB(EVideoCodec::H264, data.data(), data.size());
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[0].Type, 7);
  EXPECT_EQ(units[0].Offset, 5u);
  EXPECT_EQ(units[0].Size, 3u);
  EXPECT_EQ(units[1].Type, 8);
  EXPECT_EQ(units[1].Size, 2u);  // zero bytes before the next start code are not its own
  EXPECT_EQ(units[2].Type, 5);
  EXPECT_EQ(units[2].Size, 2u);
  EXPECT_TRUE(SplitAnnexB(EVideoCodec::H264, data.data(), 4).empty());
}

TEST(ParameterSetKeeper, PutsRememberedSetsInFrontOfKeyFramesThatLackThem) {
  TParameterSetKeeper keeper(EVideoCodec::H264);
  const Bytes sps = Nal(0x67), pps = Nal(0x68), idr = Nal(0x65, 8), slice = Nal(0x41, 8);
  Bytes first = Cat({sps, pps, idr});
  EXPECT_EQ(keeper.Process(first, true), first);  // already complete: unchanged
  EXPECT_TRUE(keeper.Complete());
  EXPECT_EQ(keeper.Process(slice, false), slice);  // non-key frames stay as they are
  EXPECT_EQ(keeper.Process(idr, true), Cat({sps, pps, idr}));

  // A key frame behind an access unit delimiter gets the sets after the delimiter.
  const Bytes aud = Nal(0x09, 1);
  EXPECT_EQ(keeper.Process(Cat({aud, idr}), true), Cat({aud, sps, pps, idr}));

  // A new SPS replaces the remembered one; a key frame carrying only the PPS gets the SPS.
  const Bytes sps2 = Nal(0x67, 6);
  keeper.Process(Cat({sps2, pps, idr}), true);
  EXPECT_EQ(keeper.Process(Cat({pps, idr}), true), Cat({sps2, pps, idr}));
}

TEST(ParameterSetKeeper, H265NeedsVideoSequenceAndPictureSets) {
  TParameterSetKeeper keeper(EVideoCodec::H265);
  // H.265 NAL header: type in bits 1..6 of the first byte.
  const Bytes vps = Nal(32 << 1), sps = Nal(33 << 1), pps = Nal(34 << 1), idr = Nal(19 << 1, 6);
  Bytes without_vps = Cat({sps, pps, idr});
  EXPECT_EQ(keeper.Process(without_vps, true), without_vps);  // nothing to add yet
  EXPECT_FALSE(keeper.Complete());
  keeper.Process(Cat({vps, sps, pps, idr}), true);
  EXPECT_TRUE(keeper.Complete());
  EXPECT_EQ(keeper.Process(idr, true), Cat({vps, sps, pps, idr}));
  EXPECT_TRUE(IsRandomAccessNal(EVideoCodec::H265, 19));
  EXPECT_FALSE(IsRandomAccessNal(EVideoCodec::H265, 1));
}

TEST(Adts, HeaderCarriesProfileRateChannelsAndLength) {
  auto config = ParseAudioSpecificConfig(Bytes{0x14, 0x08}.data(), 2);  // LC, 16000 Hz, mono
  ASSERT_TRUE(config.has_value());
  EXPECT_EQ(config->ObjectType, 2);
  EXPECT_EQ(config->SampleRate, 16000);
  EXPECT_EQ(config->Channels, 1);

  Bytes raw(300, 0x5A);
  Bytes framed = WrapAdts({2, 48000, 2}, raw.data(), raw.size());
  ASSERT_EQ(framed.size(), 307u);
  EXPECT_EQ(framed[0], 0xFF);
  EXPECT_EQ(framed[1], 0xF1);
  EXPECT_EQ((framed[2] >> 6) + 1, 2);                       // object type
  EXPECT_EQ((framed[2] >> 2) & 0x0F, 3);                    // 48000 Hz
  EXPECT_EQ(((framed[2] & 1) << 2) | (framed[3] >> 6), 2);  // channels
  EXPECT_TRUE(IsAdtsFrame(framed.data(), framed.size()));
  EXPECT_FALSE(IsAdtsFrame(framed.data(), framed.size() - 1));
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), framed.begin() + 7));

  EXPECT_THROW(WrapAdts({2, 12345, 1}, raw.data(), raw.size()), TRecmakeError);
  EXPECT_THROW(WrapAdts({2, 48000, 0}, raw.data(), raw.size()), TRecmakeError);
  EXPECT_FALSE(ParseAudioSpecificConfig(Bytes{0x14}.data(), 1).has_value());
}

}  // namespace
}  // namespace recmake
