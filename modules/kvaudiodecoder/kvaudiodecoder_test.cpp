// The KV_AudioDecoder_* calls on recmake's generated AAC tone: samples per frame, the stream
// information, the failures for bad handles, bytes and output sizes, and handles decoding
// on several threads at once.
#include "modules/kvaudiodecoder/kvaudiodecoder.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/audio_measure.h"
#include "tests/support/exported_symbols.h"
#include "tests/support/tone_frames.h"

namespace {

using recmake::EAudioCodec;

constexpr int32_t kFrameSamples = 1024;

// Every frame through one handle; returns channel 0 of the samples.
std::vector<int16_t> DecodeAll(KV_AUDIO_HANDLE h, const std::vector<recmake::TRecordFrame>& frames,
                               int channels) {
  std::vector<int16_t> pcm;
  std::vector<uint8_t> out(32768);
  for (const recmake::TRecordFrame& f : frames) {
    int32_t length = static_cast<int32_t>(out.size());
    EXPECT_EQ(KV_AudioDecoder_Decode(h, f.Payload.data(), static_cast<int32_t>(f.Payload.size()),
                                     out.data(), &length),
              0);
    EXPECT_EQ(length, kFrameSamples * channels * 2);
    const auto ch0 = quvi_test::S16Channel(out.data(), static_cast<size_t>(length), channels, 0);
    pcm.insert(pcm.end(), ch0.begin(), ch0.end());
  }
  return pcm;
}

TEST(KVAudioDecoderTest, AacToneDecodesFrameByFrameWithItsRateAndChannels) {
  for (int channels : {1, 2}) {
    SCOPED_TRACE(channels);
    const auto frames = quvi_test::ToneFrames(EAudioCodec::AAC, 2.0, channels);
    ASSERT_GT(frames.size(), 20u);
    const KV_AUDIO_HANDLE h = KV_AudioDecoder_CreateHandle(KV_AUDIO_DECODER_AAC);
    ASSERT_NE(h, 0);
    ASSERT_NE(h, -1);
    int32_t rate = -5, count = -5;
    // Nothing is known before a frame was decoded, and nothing is written.
    EXPECT_EQ(KV_AudioDecoder_GetInfo(h, &rate, &count), -1);
    EXPECT_EQ(rate, -5);
    const std::vector<int16_t> pcm = DecodeAll(h, frames, channels);
    ASSERT_EQ(KV_AudioDecoder_GetInfo(h, &rate, &count), 0);
    EXPECT_EQ(rate, 16000);
    EXPECT_EQ(count, channels);
    EXPECT_NEAR(quvi_test::DominantFrequency(pcm, rate), quvi_test::kToneHz, 10);
    EXPECT_EQ(KV_AudioDecoder_CloseHandel(h), 0);
  }
}

TEST(KVAudioDecoderTest, BadHandlesArgumentsBytesAndOutputSizesFail) {
  const auto frames = quvi_test::ToneFrames(EAudioCodec::AAC, 0.5);
  const std::vector<uint8_t>& good = frames.at(3).Payload;
  const auto n = static_cast<int32_t>(good.size());
  std::vector<uint8_t> out(8192, 0xA5);
  int32_t length = 0;
  int32_t rate = 0, channels = 0;

  EXPECT_EQ(KV_AudioDecoder_CreateHandle(0), 0);
  EXPECT_EQ(KV_AudioDecoder_CreateHandle(2), 0);
  const KV_AUDIO_HANDLE h = KV_AudioDecoder_CreateHandle(KV_AUDIO_DECODER_AAC);
  ASSERT_NE(h, 0);

  struct TCase {
    const char* name;
    KV_AUDIO_HANDLE handle;
    const uint8_t* in;
    int32_t in_length;
    uint8_t* out;
    int32_t capacity;
    int32_t result;
  };
  const TCase cases[] = {
      {"made-up handle", h + 1, good.data(), n, out.data(), 8192, -1},
      {"handle 0", 0, good.data(), n, out.data(), 8192, -1},
      {"no input", h, nullptr, n, out.data(), 8192, -1},
      {"empty input", h, good.data(), 0, out.data(), 8192, -1},
      {"no output", h, good.data(), n, nullptr, 8192, -1},
      {"negative capacity", h, good.data(), n, out.data(), -1, -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    length = c.capacity;
    EXPECT_EQ(KV_AudioDecoder_Decode(c.handle, c.in, c.in_length, c.out, &length), c.result);
    EXPECT_EQ(length, 0);
  }
  EXPECT_EQ(KV_AudioDecoder_Decode(h, good.data(), n, out.data(), nullptr), -1);
  EXPECT_EQ(KV_AudioDecoder_GetInfo(h + 1, &rate, &channels), -1);
  EXPECT_EQ(KV_AudioDecoder_GetInfo(h, nullptr, &channels), -1);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xA5; }));

  // Bytes that are no AAC fail; the next good frame decodes.
  std::vector<uint8_t> garbage(200);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);
  length = 8192;
  EXPECT_EQ(KV_AudioDecoder_Decode(h, garbage.data(), 200, out.data(), &length), -3);
  EXPECT_EQ(length, 0);
  length = 8192;
  EXPECT_EQ(KV_AudioDecoder_Decode(h, good.data(), n, out.data(), &length), 0);
  EXPECT_EQ(length, kFrameSamples * 2);

  // Too small an output: the bytes needed come back and nothing is written.
  std::fill(out.begin(), out.end(), 0xA5);
  length = kFrameSamples * 2 - 2;
  EXPECT_EQ(KV_AudioDecoder_Decode(h, frames.at(4).Payload.data(),
                                   static_cast<int32_t>(frames.at(4).Payload.size()), out.data(),
                                   &length),
            -2);
  EXPECT_EQ(length, kFrameSamples * 2);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xA5; }));

  // A closed handle is unknown from then on.
  EXPECT_EQ(KV_AudioDecoder_CloseHandel(h), 0);
  EXPECT_EQ(KV_AudioDecoder_CloseHandel(h), -1);
  length = 8192;
  EXPECT_EQ(KV_AudioDecoder_Decode(h, good.data(), n, out.data(), &length), -1);
}

TEST(KVAudioDecoderTest, HandlesOnSeveralThreadsDecodeTheirOwnStreams) {
  const auto frames = quvi_test::ToneFrames(EAudioCodec::AAC, 1.0);
  const KV_AUDIO_HANDLE alone_handle = KV_AudioDecoder_CreateHandle(KV_AUDIO_DECODER_AAC);
  const std::vector<int16_t> alone = DecodeAll(alone_handle, frames, 1);
  KV_AudioDecoder_CloseHandel(alone_handle);

  std::vector<std::vector<int16_t>> results(3);
  std::vector<std::thread> threads;
  for (auto& result : results) {
    threads.emplace_back([&] {
      const KV_AUDIO_HANDLE h = KV_AudioDecoder_CreateHandle(KV_AUDIO_DECODER_AAC);
      result = DecodeAll(h, frames, 1);
      KV_AudioDecoder_CloseHandel(h);
    });
  }
  for (std::thread& t : threads) t.join();
  for (const auto& result : results) EXPECT_EQ(result, alone);
}

TEST(KVAudioDecoderTest, OnlyTheFourCallsAreExported) {
  const std::string path =
      quvi_test::ModuleFileOf(reinterpret_cast<const void*>(&KV_AudioDecoder_CreateHandle));
  const std::set<std::string> expected = {"KV_AudioDecoder_CreateHandle",
                                          "KV_AudioDecoder_CloseHandel", "KV_AudioDecoder_Decode",
                                          "KV_AudioDecoder_GetInfo"};
  EXPECT_EQ(quvi_test::ExportedSymbols(path), expected) << path;
}

}  // namespace
