// The channel's audio path against a sound output that records what it is told: the audio
// gate, parameters reaching the sound player before its first frame, the growing output
// buffer, AAC framing (ADTS frames one by one, raw frames wrapped, bad lengths dropped),
// codecs without a decoder, the decode callback (type 100) and the sound operations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "player/channel/channel.h"
#include "player/channel/test_channel_support.h"
#include "tests/support/tone_frames.h"

namespace zrplay {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

constexpr int32_t kPort = 4;
constexpr int32_t kVendorPort = 1;
const std::string kPrefix = "ch4(1)-->";

// Every call as a line ("create", "param 1 16 8000", "play 200", "free"); any thread.
class TRecordingSoundOutput final : public TSoundOutput {
 public:
  std::atomic<bool> CreateFails{false};

  std::vector<std::string> Calls() const {
    std::lock_guard lock(lock_);
    return calls_;
  }
  std::vector<std::vector<uint8_t>> Played() const {
    std::lock_guard lock(lock_);
    return played_;
  }
  void Clear() {
    std::lock_guard lock(lock_);
    calls_.clear();
    played_.clear();
  }

  THandle CreatePlayer(intptr_t) override {
    Add("create");
    return CreateFails ? 0 : 0x50;
  }
  int32_t SetParam(THandle, int32_t channels, int32_t bits, int32_t rate) override {
    Add("param " + std::to_string(channels) + " " + std::to_string(bits) + " " +
        std::to_string(rate));
    return 0;
  }
  int32_t PlayOneFrame(THandle, const uint8_t* data, int32_t length) override {
    Add("play " + std::to_string(length));
    std::lock_guard lock(lock_);
    played_.emplace_back(data, data + length);
    return 0;
  }
  int32_t FreePlayer(THandle) override {
    Add("free");
    return 0;
  }

 private:
  void Add(const std::string& call) {
    std::lock_guard lock(lock_);
    calls_.push_back(call);
  }
  mutable std::mutex lock_;
  std::vector<std::string> calls_;
  std::vector<std::vector<uint8_t>> played_;
};

// What the decode callback was given.
struct TAudioCall {
  int32_t port, size;
  ZR_FRAME_INFO info;
  ZR_USER reserved_user;
};
struct TCallbackSink {
  std::vector<TAudioCall> calls;
  bool throw_once = false;
  static void Dec(int32_t port, const char*, int32_t size, const ZR_FRAME_INFO* info, ZR_USER user,
                  int32_t) {
    auto* self = reinterpret_cast<TCallbackSink*>(user);
    self->calls.push_back({port, size, *info, user});
    if (self->throw_once) {
      self->throw_once = false;
      throw std::runtime_error("boom");
    }
  }
};

std::vector<uint8_t> AudioBlock(uint8_t codec, uint8_t format, uint8_t channels, uint8_t bits,
                                uint32_t rate, const std::vector<uint8_t>& payload) {
  TFrameHead h = MakeFrameHead();
  h.Codec = codec;
  h.FrameType = kFrameTypeAudio;
  h.AudioFormat = format;
  h.AudioChannels = channels;
  h.AudioBits = bits;
  h.SampleRate = rate;
  h.Seconds = 1733819400;
  h.PayloadLength = static_cast<uint32_t>(payload.size());
  std::vector<uint8_t> block(sizeof h);
  std::memcpy(block.data(), &h, sizeof h);
  block.insert(block.end(), payload.begin(), payload.end());
  return block;
}

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 13 + 1);
  return v;
}

// 16-bit mono PCM at 8000 Hz as the head states it.
std::vector<uint8_t> PcmBlock(size_t bytes) {
  return AudioBlock(kCodecPCM, 0, 1, 16, 8000, Bytes(bytes));
}

class ChannelAudioTest : public ::testing::Test {
 protected:
  void SetUp() override { PlayerSettings.EnableBufferOnLive = false; }

  // A channel playing without a window, playing sound into the recording output.
  TChannel& MakeChannel() {
    channel_ = std::make_unique<TChannel>(kPort, kVendorPort, decoder_);
    channel_->UseSoundOutput(sound_);
    EXPECT_EQ(channel_->Play(0), 1);
    return *channel_;
  }
  int32_t Input(const std::vector<uint8_t>& block) {
    return channel_->InputData(block.data(), static_cast<int32_t>(block.size()));
  }
  std::vector<std::string> ChannelLines() const { return log_.LinesAfter(kPrefix); }
  size_t FailedLines() const {
    size_t n = 0;
    for (const std::string& line : ChannelLines()) {
      if (line.rfind("decode audio failed", 0) == 0) ++n;
    }
    return n;
  }

  TSettingsScope settings_;
  TFakeVideoDecoder decoder_;
  TLogLines log_;
  TRecordingSoundOutput sound_;
  std::unique_ptr<TChannel> channel_;
};

TEST(AudioGateTest, DecidesFromEnabledPausedSpeedSoundAndCallback) {
  struct TCase {
    bool enabled, paused;
    int32_t speed;
    bool sound, callback, open;
  };
  const TCase cases[] = {
      {true, false, 0, true, false, true},    // sound at normal speed
      {true, false, 1, true, false, false},   // sound at another speed: dropped undecoded
      {true, false, 4, true, false, false},   //
      {true, false, 0, false, false, false},  // nobody listens
      {true, false, 1, false, true, true},    // a callback takes frames at any speed
      {true, false, 4, true, true, true},     //
      {true, false, -2, false, true, true},   //
      {false, false, 0, true, true, false},   // video only asked for
      {false, false, 0, true, false, false},  //
      {true, true, 0, true, false, false},    // paused
      {true, true, 0, true, true, false},     //
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.enabled << c.paused << " speed " << c.speed << " " << c.sound << c.callback);
    EXPECT_EQ(AudioGateOpen(c.enabled, c.paused, c.speed, c.sound, c.callback), c.open);
  }
}

TEST_F(ChannelAudioTest, TheGateDecidesWhetherAudioFramesAreDecodedOnAPlayingChannel) {
  TChannel& channel = MakeChannel();
  const std::vector<uint8_t> pcm = PcmBlock(320);
  // Codec 0x83 has no decoder: every frame that gets through logs a failure.
  const std::vector<uint8_t> undecodable = AudioBlock(0x83, 1, 0, 0, 0, Bytes(100));
  auto frames_through = [&] {
    sound_.Clear();
    const size_t failed_before = FailedLines();
    EXPECT_EQ(Input(pcm), 1);
    EXPECT_EQ(Input(undecodable), 1);
    const size_t plays = sound_.Played().size();
    const size_t failed = FailedLines() - failed_before;
    EXPECT_EQ(plays, failed) << "both frames go through or neither";
    return failed;
  };

  EXPECT_EQ(frames_through(), 0u) << "no sound, no callback";
  ASSERT_EQ(channel.OpenSound(), 1);
  EXPECT_EQ(frames_through(), 1u);
  ASSERT_EQ(channel.SetDecCBStream(1), 1);
  EXPECT_EQ(frames_through(), 0u) << "video only";
  ASSERT_EQ(channel.SetDecCBStream(3), 1);
  EXPECT_EQ(frames_through(), 1u);

  // A decode callback makes the channel play at speed level 4: frames still pass for it.
  TCallbackSink sink;
  channel.SetDecCallBackEx(&TCallbackSink::Dec, reinterpret_cast<ZR_USER>(&sink));
  ASSERT_EQ(channel.Play(0), 1);
  EXPECT_EQ(frames_through(), 1u);
  EXPECT_EQ(sink.calls.size(), 1u);
  // Without the callback, sound alone at that speed drops frames undecoded.
  channel.SetDecCallBack(nullptr);
  EXPECT_EQ(frames_through(), 0u);
  EXPECT_EQ(sink.calls.size(), 1u);

  EXPECT_THAT(ChannelLines(), ::testing::IsSupersetOf({"open sound=1", "set dec cb stream(1)=1",
                                                       "set dec cb stream(3)=1"}));
}

TEST_F(ChannelAudioTest, G711AlawWithFormatCodeOneReachesTheSoundPlayerAsSixteenBitMono) {
  TChannel& channel = MakeChannel();
  channel.OpenSound();
  // The sound module cannot make a player at first: the parameters wait for the next frame.
  sound_.CreateFails = true;
  log_.Clear();
  const std::vector<uint8_t> alaw = AudioBlock(kCodecG711A, 1, 0, 0, 0, Bytes(320));
  EXPECT_EQ(Input(alaw), 1);
  sound_.CreateFails = false;
  EXPECT_EQ(Input(alaw), 1);
  EXPECT_EQ(Input(alaw), 1);
  EXPECT_THAT(sound_.Calls(),
              ElementsAre("create", "create", "param 1 16 8000", "play 640", "play 640"));
  EXPECT_THAT(ChannelLines(),
              ElementsAre("audio codec = 130, channel = 1, bits = 16, samples = 8000"));
  EXPECT_THAT(log_.Lines(), ::testing::Contains("set audio param, ch=1, bits=16, samples=8000"));
  EXPECT_EQ(channel.Audio().Params(), (TAudioParams{1, 16, 8000}));

  // A change of parameters is passed on before the frame that brings it.
  EXPECT_EQ(Input(AudioBlock(kCodecPCM, 4, 0, 0, 0, Bytes(400))), 1);
  EXPECT_THAT(sound_.Calls(), ElementsAre("create", "create", "param 1 16 8000", "play 640",
                                          "play 640", "param 2 16 16000", "play 400"));
}

TEST_F(ChannelAudioTest, TheOutputBufferGrowsToTenTimesALargePayloadAndNeverShrinks) {
  TChannel& channel = MakeChannel();
  channel.OpenSound();
  log_.Clear();
  EXPECT_EQ(Input(PcmBlock(100)), 1);
  EXPECT_EQ(channel.Audio().OutputBufferSize(), 10240u);
  EXPECT_THAT(log_.Lines(), ::testing::Not(::testing::Contains(::testing::HasSubstr("expand"))));
  EXPECT_EQ(Input(PcmBlock(2000)), 1);
  EXPECT_EQ(channel.Audio().OutputBufferSize(), 20480u);
  EXPECT_THAT(log_.Lines(), ::testing::Contains("expand audio buf, from 10240 to 20480"));
  EXPECT_EQ(Input(PcmBlock(100)), 1);
  EXPECT_EQ(channel.Audio().OutputBufferSize(), 20480u);
  // Every payload was played whole.
  const auto played = sound_.Played();
  ASSERT_EQ(played.size(), 3u);
  EXPECT_EQ(played[1], Bytes(2000));
}

TEST_F(ChannelAudioTest, CodecsWithoutADecoderLogTheFailureAndPlayNothing) {
  TChannel& channel = MakeChannel();
  channel.OpenSound();
  log_.Clear();
  for (uint8_t codec : {0x83, 0x86, 0x87}) {
    EXPECT_EQ(Input(AudioBlock(codec, 1, 0, 0, 0, Bytes(100))), 1);
  }
  // A frame of type 5 with a video codec byte goes the audio way too.
  EXPECT_EQ(Input(AudioBlock(kCodecH264, 1, 0, 0, 0, Bytes(100))), 1);
  EXPECT_THAT(ChannelLines(),
              ElementsAre("decode audio failed, in=100, out=10240, stream=131, port=1",
                          "decode audio failed, in=100, out=10240, stream=134, port=1",
                          "decode audio failed, in=100, out=10240, stream=135, port=1",
                          "decode audio failed, in=100, out=10240, stream=4, port=1"));
  EXPECT_THAT(sound_.Calls(), IsEmpty());
  // The next frame is tried normally.
  EXPECT_EQ(Input(PcmBlock(100)), 1);
  EXPECT_THAT(sound_.Calls(), ElementsAre("create", "param 1 16 8000", "play 100"));
}

class ChannelAacTest : public ChannelAudioTest {
 protected:
  void SetUp() override {
    ChannelAudioTest::SetUp();
    ASSERT_TRUE(AacDecoderModule().Loaded())
        << "libKVAudioDecoder.so is neither beside the player nor on the loader's path";
    tone_ = quvi_test::ToneFrames(recmake::EAudioCodec::AAC, 0.5);
    ASSERT_GT(tone_.size(), 5u);
  }
  std::vector<uint8_t> AacBlock(const std::vector<uint8_t>& payload) const {
    const TFrameHead& h = tone_.front().Head;  // format 3, 1 channel, 16 bits, 16000 Hz
    return AudioBlock(kCodecAAC, h.AudioFormat, h.AudioChannels, h.AudioBits, h.SampleRate,
                      payload);
  }
  std::vector<uint8_t> Frames(std::initializer_list<size_t> indexes) const {
    std::vector<uint8_t> out;
    for (size_t i : indexes)
      out.insert(out.end(), tone_[i].Payload.begin(), tone_[i].Payload.end());
    return out;
  }
  std::vector<recmake::TRecordFrame> tone_;
};

TEST_F(ChannelAacTest, TwoAdtsFramesInOnePayloadAreDecodedOneByOne) {
  TChannel& channel = MakeChannel();
  channel.OpenSound();
  TCallbackSink sink;
  channel.SetDecCallBackEx(&TCallbackSink::Dec, reinterpret_cast<ZR_USER>(&sink));
  log_.Clear();
  EXPECT_EQ(Input(AacBlock(Frames({1, 2}))), 1);
  // 1024 mono samples each; the first frame already plays as mono.
  EXPECT_THAT(sound_.Calls(), ElementsAre("create", "param 1 16 16000", "play 2048", "play 2048"));
  ASSERT_EQ(sink.calls.size(), 2u);
  for (const TAudioCall& call : sink.calls) {
    EXPECT_EQ(call.port, kPort);
    EXPECT_EQ(call.size, 2048);
    EXPECT_EQ(call.info.nWidth, 1);
    EXPECT_EQ(call.info.nHeight, 16);
    EXPECT_EQ(call.info.nType, 100);
    EXPECT_EQ(call.info.nFrameRate, 16000);
  }
  const auto lines = ChannelLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "audio codec = 137, channel = 1, bits = 16, samples = 16000");
  EXPECT_THAT(lines[1], MatchesRegex("create aac decode handle = 0x[0-9A-F]{8}"));
  EXPECT_EQ(lines.size(), 2u);
}

TEST_F(ChannelAacTest, ARawFrameIsWrappedInASevenByteHeaderStatingTheWrappedSize) {
  TChannel& channel = MakeChannel();
  channel.OpenSound();
  // One ADTS frame first, so the stream's parameters are known, then one without header.
  EXPECT_EQ(Input(AacBlock(Frames({1}))), 1);
  log_.Clear();
  const std::vector<uint8_t>& adts = tone_[2].Payload;
  const std::vector<uint8_t> raw(adts.begin() + 7, adts.end());
  EXPECT_EQ(Input(AacBlock(raw)), 1);

  const size_t wrapped = raw.size() + 7;
  const auto lines = log_.Lines();
  const std::string raw_line = kPrefix + "get one raw aac, size=" + std::to_string(wrapped);
  const auto at = std::find(lines.begin(), lines.end(), raw_line);
  ASSERT_NE(at, lines.end());
  ASSERT_NE(at + 1, lines.end());
  // The dump's first line is the header followed by the first raw bytes.
  std::vector<uint8_t> dumped;
  std::istringstream hex(*(at + 1));
  std::string byte;
  while (hex >> byte) dumped.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
  ASSERT_EQ(dumped.size(), 16u);
  EXPECT_EQ(AdtsFrameLength(dumped.data(), dumped.size()), wrapped);
  EXPECT_EQ(AdtsRateIndexOf(dumped.data()), AdtsRateIndex(16000));
  EXPECT_EQ(std::vector<uint8_t>(dumped.begin() + 7, dumped.end()),
            std::vector<uint8_t>(raw.begin(), raw.begin() + 9));
  // It decodes like the framed original.
  EXPECT_THAT(sound_.Calls(), ElementsAre("create", "param 1 16 16000", "play 2048", "play 2048"));
  EXPECT_EQ(FailedLines(), 0u);
}

TEST_F(ChannelAacTest, AdtsLengthsBeyondTheBytesPresentDropTheRestOfThePayload) {
  TChannel& channel = MakeChannel();
  channel.OpenSound();
  log_.Clear();
  std::vector<uint8_t> longer = Frames({1, 2});
  // The second frame claims 8 bytes more than remain.
  const size_t second = tone_[1].Payload.size();
  const uint32_t claimed = static_cast<uint32_t>(tone_[2].Payload.size() + 8);
  longer[second + 3] = static_cast<uint8_t>((longer[second + 3] & 0xFC) | (claimed >> 11));
  longer[second + 4] = static_cast<uint8_t>(claimed >> 3);
  longer[second + 5] = static_cast<uint8_t>((longer[second + 5] & 0x1F) | ((claimed & 7) << 5));
  EXPECT_EQ(Input(AacBlock(longer)), 1);
  EXPECT_THAT(sound_.Calls(), ElementsAre("create", "param 1 16 16000", "play 2048"));

  std::vector<uint8_t> zero = Frames({3});
  zero[3] &= 0xFC;
  zero[4] = 0;
  zero[5] &= 0x1F;
  // A sync word with too few bytes behind it to hold a length.
  for (const std::vector<uint8_t>& payload : {zero, std::vector<uint8_t>{0xFF, 0xF1, 0x60, 0x40}}) {
    sound_.Clear();
    EXPECT_EQ(Input(AacBlock(payload)), 1);
    EXPECT_THAT(sound_.Calls(), IsEmpty());
  }
  for (const std::string& line : ChannelLines()) {
    EXPECT_EQ(line.find("raw aac"), std::string::npos) << line;
    EXPECT_EQ(line.find("decode audio failed"), std::string::npos) << line;
  }
}

TEST_F(ChannelAacTest, WithoutTheAacModuleEveryFrameFailsAndTheModuleIsTriedOnce) {
  const TChannelLog log(kPort, kVendorPort);
  TAudioPath audio(log, kPort, kVendorPort);
  TAacDecoderModule missing("NoSuchAacDecoderModule");
  audio.UseSoundOutput(sound_);
  audio.UseAacDecoderModule(missing);
  audio.OpenSound(0);
  for (size_t i : {1, 2}) {
    const std::vector<uint8_t> block = AacBlock(tone_[i].Payload);
    audio.Input(block.data(), block.size(), {});
  }
  const std::string in1 = std::to_string(tone_[1].Payload.size());
  const std::string in2 = std::to_string(tone_[2].Payload.size());
  EXPECT_THAT(ChannelLines(),
              ElementsAre("audio codec = 137, channel = 1, bits = 16, samples = 16000",
                          "create aac decode handle = 0xFFFFFFFF",
                          "decode audio failed, in=" + in1 + ", out=10240, stream=137, port=1",
                          "decode audio failed, in=" + in2 + ", out=10240, stream=137, port=1"));
  EXPECT_THAT(sound_.Calls(), IsEmpty());
}

TEST_F(ChannelAudioTest, TheDecodeCallbackGetsSamplesAsTypeHundredAndItsFailureIsLogged) {
  TChannel& channel = MakeChannel();
  TCallbackSink sink;
  sink.throw_once = true;
  channel.SetDecCallBackEx(&TCallbackSink::Dec, reinterpret_cast<ZR_USER>(&sink));
  log_.Clear();
  EXPECT_EQ(Input(AudioBlock(kCodecG711U, 2, 0, 0, 0, Bytes(160))), 1);
  EXPECT_EQ(Input(AudioBlock(kCodecPCM, 0, 2, 16, 11025, Bytes(400))), 1);
  ASSERT_EQ(sink.calls.size(), 2u);
  EXPECT_EQ(sink.calls[0].size, 320);
  EXPECT_EQ(sink.calls[0].info.nWidth, 2);
  EXPECT_EQ(sink.calls[0].info.nHeight, 16);
  EXPECT_EQ(sink.calls[0].info.nType, 100);
  EXPECT_EQ(sink.calls[0].info.nFrameRate, 8000);
  EXPECT_EQ(sink.calls[0].info.nStamp, 0);
  EXPECT_EQ(sink.calls[1].size, 400);
  EXPECT_EQ(sink.calls[1].info.nFrameRate, 11025);
  EXPECT_THAT(ChannelLines(), ::testing::Contains("dec audio callback failed. e=boom"));
  // Sound was never opened: nothing was played.
  EXPECT_THAT(sound_.Calls(), IsEmpty());
}

TEST_F(ChannelAudioTest, SoundOperationsLogTheirResultsAndStopFreesTheSoundPlayer) {
  TChannel& channel = MakeChannel();
  log_.Clear();
  EXPECT_EQ(channel.SetVolume(50), 0);
  EXPECT_EQ(channel.GetVolume(), 0);
  EXPECT_EQ(channel.OpenSound(), 1);
  EXPECT_EQ(channel.OpenSound(), 1);  // keeps the one sound manager
  EXPECT_EQ(Input(PcmBlock(100)), 1);
  EXPECT_EQ(channel.StopSound(), 1);
  EXPECT_FALSE(channel.Audio().SoundOpen());
  EXPECT_EQ(Input(PcmBlock(100)), 1);  // not decoded
  EXPECT_THAT(
      ChannelLines(),
      ElementsAre("set volume(50)=0", "get volume=0", "open sound=1", "open sound=1",
                  "audio codec = 128, channel = 1, bits = 16, samples = 8000", "stop sound=1"));
  EXPECT_THAT(sound_.Calls(), ElementsAre("create", "param 1 16 8000", "play 100", "free"));

  // A stop frees the sound player; sound plays again only after the next OpenSound.
  sound_.Clear();
  channel.OpenSound();
  EXPECT_EQ(Input(PcmBlock(100)), 1);
  EXPECT_EQ(channel.Stop(), 1);
  EXPECT_FALSE(channel.Audio().HasSoundManager());
  ASSERT_EQ(channel.Play(0), 1);
  EXPECT_EQ(Input(PcmBlock(100)), 1);
  EXPECT_THAT(sound_.Calls(), ElementsAre("create", "param 1 16 8000", "play 100", "free"));
  channel.OpenSound();
  EXPECT_EQ(Input(PcmBlock(100)), 1);
  EXPECT_THAT(sound_.Calls(), ElementsAre("create", "param 1 16 8000", "play 100", "free", "create",
                                          "param 1 16 8000", "play 100"));
}

}  // namespace
}  // namespace zrplay
