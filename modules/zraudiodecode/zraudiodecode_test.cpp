// The ZrAudio_* calls on recmake's generated tone in each codec: the sample count each frame
// gives, the tone heard, the output-size and argument failures, and decoders kept apart per
// thread.
#include "modules/zraudiodecode/zraudiodecode.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/audio_measure.h"
#include "tests/support/exported_symbols.h"
#include "tests/support/tone_frames.h"

namespace {

using recmake::EAudioCodec;
using TDecodeFn = int32_t (*)(const uint8_t*, int32_t, uint8_t*, int32_t*);

struct TCodecCase {
  const char* name;
  EAudioCodec codec;
  TDecodeFn decode;
  int rate;
  // Samples one frame of n coded bytes gives.
  size_t (*samples)(size_t n);
};

const TCodecCase kCases[] = {
    {"G711U", EAudioCodec::G711U, ZrAudio_Decode_OneFrame_G711U, 8000, [](size_t n) { return n; }},
    {"G711A", EAudioCodec::G711A, ZrAudio_Decode_OneFrame_G711A, 8000, [](size_t n) { return n; }},
    {"G722", EAudioCodec::G722, ZrAudio_Decode_OneFrame_G722, 16000,
     [](size_t n) { return 2 * n; }},
    {"G721", EAudioCodec::G721, ZrAudio_Decode_OneFrame_G721, 8000, [](size_t n) { return 2 * n; }},
    {"ADPCM", EAudioCodec::ADPCM, ZrAudio_Decode_OneFrame_ADPCM, 8000,
     [](size_t n) { return 1 + (n - 4) * 2; }},
};

// Every frame decoded in order on the calling thread, as 16-bit samples.
std::vector<int16_t> DecodeAll(const TCodecCase& c,
                               const std::vector<recmake::TRecordFrame>& frames) {
  std::vector<int16_t> pcm;
  std::vector<uint8_t> out(16384);
  for (const recmake::TRecordFrame& f : frames) {
    int32_t length = static_cast<int32_t>(out.size());
    EXPECT_EQ(
        c.decode(f.Payload.data(), static_cast<int32_t>(f.Payload.size()), out.data(), &length), 0);
    EXPECT_EQ(static_cast<size_t>(length), 2 * c.samples(f.Payload.size()));
    const auto* s = reinterpret_cast<const int16_t*>(out.data());
    pcm.insert(pcm.end(), s, s + length / 2);
  }
  return pcm;
}

TEST(ZrAudioDecodeTest, EveryCodecGivesTheToneWithTheSampleCountOfItsLayout) {
  for (const TCodecCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto frames = quvi_test::ToneFrames(c.codec, 2.0);
    ASSERT_GT(frames.size(), 10u);
    // A fresh thread, so the stateful codecs start from their initial state.
    std::vector<int16_t> pcm;
    std::thread([&] { pcm = DecodeAll(c, frames); }).join();
    EXPECT_NEAR(static_cast<double>(pcm.size()), 2.0 * c.rate, c.rate * 0.05);
    EXPECT_NEAR(quvi_test::DominantFrequency(pcm, c.rate), quvi_test::kToneHz, 10);
    // Loud enough to be the tone, not noise around it.
    const auto peak = *std::max_element(pcm.begin() + pcm.size() / 2, pcm.end());
    EXPECT_GT(peak, 5000);
  }
}

TEST(ZrAudioDecodeTest, TooSmallOutputFailsWithoutWritingAndReportsTheNeededSize) {
  for (const TCodecCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto frames = quvi_test::ToneFrames(c.codec, 0.2);
    const std::vector<uint8_t>& in = frames.at(1).Payload;
    const size_t needed = 2 * c.samples(in.size());
    std::vector<uint8_t> out(needed + 16, 0xA5);
    int32_t length = static_cast<int32_t>(needed - 1);
    EXPECT_EQ(c.decode(in.data(), static_cast<int32_t>(in.size()), out.data(), &length),
              ZRAUDIO_E_SPACE);
    EXPECT_EQ(length, static_cast<int32_t>(needed));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xA5; }));
    // Exactly enough room succeeds and writes nothing past it.
    length = static_cast<int32_t>(needed);
    EXPECT_EQ(c.decode(in.data(), static_cast<int32_t>(in.size()), out.data(), &length), 0);
    EXPECT_EQ(length, static_cast<int32_t>(needed));
    EXPECT_TRUE(std::all_of(out.begin() + needed, out.end(), [](uint8_t b) { return b == 0xA5; }));
  }
}

TEST(ZrAudioDecodeTest, BadArgumentsAndShortBlocksFail) {
  const uint8_t in[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t out[64];
  for (const TCodecCase& c : kCases) {
    SCOPED_TRACE(c.name);
    int32_t length = sizeof out;
    EXPECT_EQ(c.decode(nullptr, 8, out, &length), ZRAUDIO_E_ARG);
    EXPECT_EQ(length, 0);
    length = sizeof out;
    EXPECT_EQ(c.decode(in, 8, nullptr, &length), ZRAUDIO_E_ARG);
    EXPECT_EQ(c.decode(in, 8, out, nullptr), ZRAUDIO_E_ARG);
    length = sizeof out;
    EXPECT_EQ(c.decode(in, 0, out, &length), ZRAUDIO_E_ARG);
    length = sizeof out;
    EXPECT_EQ(c.decode(in, -3, out, &length), ZRAUDIO_E_ARG);
    length = -1;
    EXPECT_EQ(c.decode(in, 8, out, &length), ZRAUDIO_E_ARG);
  }
  // An IMA block needs its 4-byte header.
  int32_t length = sizeof out;
  EXPECT_EQ(ZrAudio_Decode_OneFrame_ADPCM(in, 3, out, &length), ZRAUDIO_E_DECODE);
  EXPECT_EQ(length, 0);
}

TEST(ZrAudioDecodeTest, ThreadsDecodingAtOnceEachGetTheirOwnStreamsResult) {
  // G.722 and G.721 carry state from frame to frame: two threads decoding the same stream at
  // once must each get what one thread alone gets.
  for (const TCodecCase& c : {kCases[2], kCases[3]}) {
    SCOPED_TRACE(c.name);
    const auto frames = quvi_test::ToneFrames(c.codec, 1.0);
    std::vector<int16_t> alone;
    std::thread([&] { alone = DecodeAll(c, frames); }).join();
    std::vector<int16_t> a, b;
    std::thread ta([&] { a = DecodeAll(c, frames); });
    std::thread tb([&] { b = DecodeAll(c, frames); });
    ta.join();
    tb.join();
    EXPECT_EQ(a, alone);
    EXPECT_EQ(b, alone);
  }
}

TEST(ZrAudioDecodeTest, OnlyTheFiveCallsAreExported) {
  const std::string path =
      quvi_test::ModuleFileOf(reinterpret_cast<const void*>(&ZrAudio_Decode_OneFrame_G711U));
  const std::set<std::string> expected = {
      "ZrAudio_Decode_OneFrame_G711U", "ZrAudio_Decode_OneFrame_G711A",
      "ZrAudio_Decode_OneFrame_G722", "ZrAudio_Decode_OneFrame_ADPCM",
      "ZrAudio_Decode_OneFrame_G721"};
  EXPECT_EQ(quvi_test::ExportedSymbols(path), expected) << path;
}

}  // namespace
