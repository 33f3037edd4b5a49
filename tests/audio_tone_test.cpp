// A 500 Hz tone made by recmake in every audio codec, written to a record file, read back
// and played through a playing channel: with sound open it must be heard in the sound
// module's WAV file, and through the decode callback it must arrive as type-100 samples, in
// both cases at the codec's rate and channel count, at 500 Hz, and as long as what was fed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <fstream>
#include <mutex>

#include "player/channel/channel.h"
#include "player/config/player_settings.h"
#include "tests/support/audio_measure.h"
#include "tests/support/test_files.h"
#include "tests/support/tone_frames.h"
#include "tools/recmake/record_file_reader.h"
#include "tools/recmake/record_file_writer.h"

namespace {

using recmake::EAudioCodec;
using zrplay::TChannel;

struct TToneCase {
  const char* name;
  EAudioCodec codec;
  int channels;
  int rate;  // what the codec plays at
};

const TToneCase kCases[] = {
    {"pcm", EAudioCodec::PCM, 1, 8000},     {"pcm stereo", EAudioCodec::PCM, 2, 8000},
    {"g711u", EAudioCodec::G711U, 1, 8000}, {"g711u stereo", EAudioCodec::G711U, 2, 8000},
    {"g711a", EAudioCodec::G711A, 1, 8000}, {"g722", EAudioCodec::G722, 1, 16000},
    {"g721", EAudioCodec::G721, 1, 8000},   {"adpcm", EAudioCodec::ADPCM, 1, 8000},
    {"aac", EAudioCodec::AAC, 1, 16000},    {"aac stereo", EAudioCodec::AAC, 2, 16000},
};

constexpr double kSeconds = 3;

// The tone written as a record file and read back by the player's reader, as whole blocks.
struct TRecordedTone {
  std::vector<std::vector<uint8_t>> blocks;
  double frame_seconds = 0;  // capture-time step between frames
};

TRecordedTone RecordTone(const TToneCase& c, const std::string& path) {
  {
    recmake::TRecordFileWriter writer(path);
    for (const recmake::TRecordFrame& f : quvi_test::ToneFrames(c.codec, kSeconds, c.channels)) {
      writer.Write(f);
    }
    writer.Close();
  }
  // Read back the way a stream source reads a record file: frame by frame.
  TRecordedTone tone;
  std::ifstream in(path, std::ios::binary);
  recmake::TRecordFileReader reader(in);
  recmake::TRecordFrame frame;
  std::vector<int64_t> times;
  recmake::TRecordFileReader::EResult r;
  while ((r = reader.Next(frame)) == recmake::TRecordFileReader::EResult::Frame) {
    tone.blocks.push_back(frame.Serialize());
    times.push_back(frame.TimeUs());
  }
  EXPECT_EQ(r, recmake::TRecordFileReader::EResult::End) << reader.ErrorText();
  if (times.size() > 1) {
    tone.frame_seconds = static_cast<double>(times.back() - times.front()) / 1e6 /
                         static_cast<double>(times.size() - 1);
  }
  return tone;
}

// Sets an environment variable for one test and restores it afterwards.
class TEnvScope {
 public:
  TEnvScope(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) saved_ = old, had_ = true;
    setenv(name, value.c_str(), 1);
  }
  ~TEnvScope() {
    if (had_) {
      setenv(name_, saved_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string saved_;
  bool had_ = false;
};

// What the decode callback received.
struct TCallbackPcm {
  std::mutex lock;
  std::vector<uint8_t> bytes;
  std::vector<ZR_FRAME_INFO> infos;
  static void Dec(int32_t, const char* data, int32_t size, const ZR_FRAME_INFO* info, ZR_USER user,
                  int32_t) {
    auto* self = reinterpret_cast<TCallbackPcm*>(user);
    std::lock_guard guard(self->lock);
    self->bytes.insert(self->bytes.end(), data, data + size);
    self->infos.push_back(*info);
  }
};

class AudioToneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zrplay::PlayerSettings.EnableBufferOnLive = false;
    ASSERT_TRUE(zrplay::VendorVideoDecoder().GetFreePort(vendor_port_));
  }
  void TearDown() override {
    zrplay::PlayerSettings = saved_settings_;
    zrplay::VendorVideoDecoder().ReleasePort(vendor_port_);
  }
  // Every block through the channel's input, as a stream source feeds it.
  void Feed(TChannel& channel, const TRecordedTone& tone) {
    for (const std::vector<uint8_t>& block : tone.blocks) {
      ASSERT_EQ(channel.InputData(block.data(), static_cast<int32_t>(block.size())), 1);
    }
  }
  // Sample frames the fed frames hold: their count times the capture-time step.
  static double ExpectedSamples(const TRecordedTone& tone, int rate) {
    return static_cast<double>(tone.blocks.size()) * tone.frame_seconds * rate;
  }

  zrplay::TPlayerSettings saved_settings_ = zrplay::PlayerSettings;
  quvi_test::TTempDir dir_{"audio_tone"};
  TEnvScope sink_{"QELDSOUND_SINK", "null"};
  int32_t vendor_port_ = -1;
};

TEST_F(AudioToneTest, EveryCodecIsHeardInTheWavFileAtItsRateAsLongAsWhatWasFed) {
  for (const TToneCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const TRecordedTone tone = RecordTone(c, dir_.Path("tone.rec"));
    ASSERT_GT(tone.blocks.size(), 20u);
    const std::string wav_path = dir_.Path(std::string(c.name) + ".wav");
    TEnvScope wav("QELDSOUND_WAV", wav_path);
    {
      TChannel channel(7, vendor_port_);
      ASSERT_EQ(channel.Play(0), 1);
      ASSERT_EQ(channel.OpenSound(), 1);
      Feed(channel, tone);
      // Freeing the sound player finishes the file.
      ASSERT_EQ(channel.StopSound(), 1);
    }
    const quvi_test::TWav w = quvi_test::ReadWav(wav_path);
    ASSERT_TRUE(w.Ok) << wav_path;
    EXPECT_EQ(w.SampleRate, c.rate);
    EXPECT_EQ(w.Channels, c.channels);
    EXPECT_EQ(w.Bits, 16);
    EXPECT_EQ(w.DeclaredDataBytes, w.Data.size());
    const double frame_samples = tone.frame_seconds * c.rate;
    EXPECT_NEAR(static_cast<double>(w.Frames()), ExpectedSamples(tone, c.rate), frame_samples);
    for (int ch = 0; ch < c.channels; ++ch) {
      EXPECT_NEAR(quvi_test::DominantFrequency(w.Channel(ch), w.SampleRate), quvi_test::kToneHz,
                  quvi_test::kToneHz * 0.02)
          << "channel " << ch;
    }
  }
}

TEST_F(AudioToneTest, EveryCodecReachesTheDecodeCallbackAsTypeHundredSamples) {
  for (const TToneCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const TRecordedTone tone = RecordTone(c, dir_.Path("tone.rec"));
    TCallbackPcm pcm;
    {
      TChannel channel(7, vendor_port_);
      channel.SetDecCallBackEx(&TCallbackPcm::Dec, reinterpret_cast<ZR_USER>(&pcm));
      ASSERT_EQ(channel.Play(0), 1);
      Feed(channel, tone);
    }
    ASSERT_FALSE(pcm.infos.empty());
    for (const ZR_FRAME_INFO& info : pcm.infos) {
      ASSERT_EQ(info.nType, 100);
      ASSERT_EQ(info.nWidth, c.channels);
      ASSERT_EQ(info.nHeight, 16);
      ASSERT_EQ(info.nFrameRate, c.rate);
    }
    const double samples = static_cast<double>(pcm.bytes.size()) / (2.0 * c.channels);
    EXPECT_NEAR(samples, ExpectedSamples(tone, c.rate), tone.frame_seconds * c.rate);
    for (int ch = 0; ch < c.channels; ++ch) {
      const auto channel_pcm =
          quvi_test::S16Channel(pcm.bytes.data(), pcm.bytes.size(), c.channels, ch);
      EXPECT_NEAR(quvi_test::DominantFrequency(channel_pcm, c.rate), quvi_test::kToneHz,
                  quvi_test::kToneHz * 0.02)
          << "channel " << ch;
    }
  }
}

}  // namespace
