// Audio parameters from frame heads, and the ADTS fields the AAC framing reads and writes.
#include "player/channel/audio_params.h"

#include <gtest/gtest.h>

namespace zrplay {
namespace {

TFrameHead AudioHead(uint8_t codec, uint8_t format, uint8_t channels, uint8_t bits, uint32_t rate) {
  TFrameHead h = MakeFrameHead();
  h.Codec = codec;
  h.FrameType = kFrameTypeAudio;
  h.AudioFormat = format;
  h.AudioChannels = channels;
  h.AudioBits = bits;
  h.SampleRate = rate;
  return h;
}

TEST(AudioParamsTest, HeadFieldsReplaceTheFormatCodeDefaultsAndG711GetsSixteenBits) {
  struct TCase {
    uint8_t codec, format, channels, bits;
    uint32_t rate;
    TAudioParams expected;
  };
  const TCase cases[] = {
      {kCodecPCM, 1, 0, 0, 0, {1, 8, 8000}},
      {kCodecPCM, 2, 0, 0, 0, {2, 16, 8000}},
      {kCodecPCM, 3, 0, 0, 0, {1, 8, 16000}},
      {kCodecPCM, 4, 0, 0, 0, {2, 16, 16000}},
      {kCodecPCM, 0, 0, 0, 0, {0, 0, 0}},
      {kCodecPCM, 5, 0, 0, 0, {0, 0, 0}},
      {kCodecPCM, 1, 2, 16, 11025, {2, 16, 11025}},
      {kCodecPCM, 0, 0, 16, 0, {0, 16, 0}},
      // G.711 at 8 bits plays as 16 bits once a channel count is known, from either source.
      {kCodecG711A, 1, 0, 0, 0, {1, 16, 8000}},
      {kCodecG711U, 0, 1, 8, 8000, {1, 16, 8000}},
      {kCodecG711U, 3, 0, 0, 0, {1, 16, 16000}},
      {kCodecG711U, 0, 0, 8, 8000, {0, 8, 8000}},
      {kCodecG722, 1, 0, 0, 0, {1, 8, 8000}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "codec=" << int{c.codec} << " format=" << int{c.format}
                                      << " ch=" << int{c.channels} << " bits=" << int{c.bits});
    const TAudioParams p =
        DeriveAudioParams(AudioHead(c.codec, c.format, c.channels, c.bits, c.rate));
    EXPECT_EQ(p.Channels, c.expected.Channels);
    EXPECT_EQ(p.Bits, c.expected.Bits);
    EXPECT_EQ(p.SampleRate, c.expected.SampleRate);
  }
}

TEST(AudioParamsTest, AdtsRateTableAndItsFallbacks) {
  const int32_t rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                           22050, 16000, 12000, 11025, 8000,  7350};
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(AdtsSampleRate(i), rates[i]);
    EXPECT_EQ(AdtsRateIndex(rates[i]), i);
  }
  EXPECT_EQ(AdtsSampleRate(13), 44100);
  EXPECT_EQ(AdtsSampleRate(15), 44100);
  EXPECT_EQ(AdtsSampleRate(-1), 44100);
  EXPECT_EQ(AdtsRateIndex(0), 4);
  EXPECT_EQ(AdtsRateIndex(8001), 4);
}

TEST(AudioParamsTest, AWrittenHeaderReadsBackItsFields) {
  struct TCase {
    int index;
    int32_t channels;
    uint32_t length;
  };
  for (const TCase& c : {TCase{8, 1, 8}, TCase{3, 2, 1000}, TCase{11, 7, kAdtsMaxFrameLength}}) {
    uint8_t h[kAdtsHeaderSize];
    WriteAdtsHeader(h, c.index, c.channels, c.length);
    EXPECT_TRUE(StartsWithAdtsSync(h, sizeof h));
    EXPECT_EQ(AdtsFrameLength(h, sizeof h), c.length);
    EXPECT_EQ(AdtsRateIndexOf(h), c.index);
    EXPECT_EQ(h[1], 0xF1);                                   // MPEG-4, layer 0, no CRC
    EXPECT_EQ(h[2] >> 6, 1);                                 // AAC LC
    EXPECT_EQ(((h[2] & 1) << 2) | (h[3] >> 6), c.channels);  // channel configuration
    EXPECT_EQ(((h[5] & 0x1F) << 6) | (h[6] >> 2), 0x7FF);    // buffer fullness
    EXPECT_EQ(h[6] & 3, 0);                                  // one raw data block
  }
  // Too few bytes to hold a length give none; the sync needs two bytes.
  const uint8_t short_header[5] = {0xFF, 0xF1, 0x60, 0x40, 0xFF};
  EXPECT_EQ(AdtsFrameLength(short_header, sizeof short_header), 0u);
  EXPECT_FALSE(StartsWithAdtsSync(short_header, 1));
  const uint8_t no_sync[2] = {0xFF, 0xE1};
  EXPECT_FALSE(StartsWithAdtsSync(no_sync, 2));
}

}  // namespace
}  // namespace zrplay
