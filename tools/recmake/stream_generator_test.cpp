#include "tools/recmake/stream_generator.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tools/recmake/test_pattern.h"
#include "tools/recmake/test_support.h"
#include "tools/recmake/video_rate.h"

namespace recmake {
namespace {

using test::TRecordFile;
using test::TTempDir;

const int64_t kStart = 1733819400LL * 1000000;  // 2024-12-10 08:30:00

TRecordFile Generate(const TGeneratorOptions& options, const std::string& path) {
  TStreamGenerator gen(options);
  return test::WriteAndReadBack(gen, path);
}

void ExpectTimesInOrder(const TRecordFile& file) {
  for (size_t i = 1; i < file.Frames.size(); ++i) {
    ASSERT_LE(file.Frames[i - 1].TimeUs(), file.Frames[i].TimeUs()) << "frame " << i;
  }
}

TEST(StreamGenerator, H264WithG711DecodesFromEveryKeyFrame) {
  TTempDir dir;
  TGeneratorOptions o;
  o.DurationSec = 2;
  o.Video.Gop = 10;
  o.Video.Threads = 1;
  o.StartUs = kStart;
  TRecordFile file = Generate(o, dir.Path("g.rec"));
  ASSERT_EQ(file.Error, "");
  ASSERT_TRUE(file.HasFileHead);
  EXPECT_TRUE(std::equal(file.FileHead.begin(), file.FileHead.end(), zrplay::kDefaultStreamHead));
  ExpectTimesInOrder(file);

  auto video = file.Video();
  ASSERT_EQ(video.size(), 50u);
  for (size_t i = 0; i < video.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(video[i]->Head.Codec, zrplay::kCodecH264);
    EXPECT_EQ(video[i]->Head.FrameType, i % 10 == 0 ? 2 : 3);
    EXPECT_EQ(video[i]->TimeUs(), kStart + static_cast<int64_t>(i) * 40000);
    EXPECT_EQ(video[i]->Head.OverlayCount, 0);
    if (i % 10 == 0) {
      // Parameter sets ahead of the picture, so a player can start right here.
      std::vector<int> nals = test::NalTypes(false, video[i]->Payload);
      auto sps = std::find(nals.begin(), nals.end(), 7);
      auto pps = std::find(nals.begin(), nals.end(), 8);
      auto idr = std::find(nals.begin(), nals.end(), 5);
      ASSERT_NE(idr, nals.end());
      EXPECT_LT(sps, idr);
      EXPECT_LT(pps, idr);
      // A decoder that starts at this key frame decodes the rest of its group.
      std::vector<const TRecordFrame*> group(video.begin() + static_cast<std::ptrdiff_t>(i),
                                             video.begin() + static_cast<std::ptrdiff_t>(i + 10));
      auto sizes = test::DecodeVideo(AV_CODEC_ID_H264, group);
      EXPECT_EQ(sizes.size(), 10u);
      for (auto& s : sizes) EXPECT_EQ(s, std::make_pair(704, 576));
    }
  }

  auto audio = file.Audio();
  ASSERT_EQ(audio.size(), 50u);  // 2 s of 40 ms frames
  for (size_t i = 0; i < audio.size(); ++i) {
    EXPECT_EQ(audio[i]->TimeUs(), kStart + static_cast<int64_t>(i) * 40000);
    EXPECT_EQ(audio[i]->Payload.size(), 320u);
  }
}

TEST(StreamGenerator, PictureShowsTheFrameNumberAndClockOfItsFrame) {
  TTempDir dir;
  TGeneratorOptions o;
  o.Width = 320;
  o.Height = 240;
  o.DurationSec = 0.4;
  o.Audio.reset();
  o.Video.Threads = 1;
  o.Video.BitrateKbit = 0;
  o.StartUs = kStart;
  TRecordFile file = Generate(o, dir.Path("p.rec"));
  auto video = file.Video();
  ASSERT_EQ(video.size(), 10u);
  const int n = 7;
  int width = 0, height = 0;
  std::vector<uint8_t> decoded =
      test::DecodeLastLuma(AV_CODEC_ID_H264, {video.begin(), video.begin() + n + 1}, width, height);
  ASSERT_EQ(width, 320);
  ASSERT_EQ(height, 240);
  // Where the patterns of this frame and the next differ (the counter's and the clock's
  // last digits), the decoded picture must look like this frame's.
  auto draw = [](int64_t frame) {
    std::vector<uint8_t> y(320 * 240), u(160 * 120), v(160 * 120);
    TYuvPicture p{y.data(), u.data(), v.data(), 320, 160, 160, 320, 240};
    DrawTestPattern(p, frame, kStart + frame * 40000);
    return y;
  };
  std::vector<uint8_t> right = draw(n), wrong = draw(n + 1);
  double right_sum = 0, wrong_sum = 0;
  int pixels = 0;
  for (size_t i = 0; i < right.size(); ++i) {
    if (right[i] == wrong[i]) continue;
    right_sum += std::abs(right[i] - decoded[i]);
    wrong_sum += std::abs(wrong[i] - decoded[i]);
    ++pixels;
  }
  ASSERT_GT(pixels, 100);
  EXPECT_LT(right_sum, wrong_sum / 3);
}

struct TAudioCase {
  EAudioCodec Codec;
  int Rate;  // 0: default
  int Channels;
  uint8_t CodecByte;
  uint8_t FormatCode;
  int ExpectRate;
  uint8_t Bits;
  size_t FrameBytes;  // 0: varies
};

TEST(StreamGenerator, EveryAudioCodecGivesItsCodecBytesAndDecodesToTheTone) {
  const TAudioCase cases[] = {
      {EAudioCodec::PCM, 0, 1, 0x80, 1, 8000, 16, 640},
      {EAudioCodec::PCM, 16000, 2, 0x80, 4, 16000, 16, 2560},
      {EAudioCodec::G711U, 0, 1, 0x81, 1, 8000, 8, 320},
      {EAudioCodec::G711A, 0, 1, 0x82, 1, 8000, 8, 320},
      {EAudioCodec::G722, 0, 1, 0x84, 3, 16000, 16, 320},
      {EAudioCodec::G721, 0, 1, 0x88, 1, 8000, 16, 160},
      {EAudioCodec::ADPCM, 0, 1, 0x85, 1, 8000, 16, 0},
      {EAudioCodec::AAC, 0, 1, 0x89, 3, 16000, 16, 0},
      {EAudioCodec::AAC, 48000, 2, 0x89, 0, 48000, 16, 0},
  };
  TTempDir dir;
  for (const TAudioCase& c : cases) {
    SCOPED_TRACE(std::string(AudioCodecInfo(c.Codec).Name) + " " + std::to_string(c.Rate));
    TGeneratorOptions o;
    o.WithVideo = false;
    o.Audio = c.Codec;
    o.AudioRate = c.Rate;
    o.AudioChannels = c.Channels;
    o.ToneHz = 500;
    o.DurationSec = 1;
    o.StartUs = kStart;
    TRecordFile file = Generate(o, dir.Path("a.rec"));
    ASSERT_EQ(file.Error, "");
    ASSERT_TRUE(file.Video().empty());
    auto audio = file.Audio();
    ASSERT_GT(audio.size(), 10u);
    ExpectTimesInOrder(file);
    EXPECT_EQ(audio.front()->TimeUs(), kStart);
    for (size_t i = 0; i < audio.size(); ++i) {
      const zrplay::TFrameHead& h = audio[i]->Head;
      ASSERT_EQ(h.Codec, c.CodecByte);
      ASSERT_EQ(h.FrameType, 5);
      ASSERT_EQ(h.AudioFormat, c.FormatCode);
      ASSERT_EQ(h.AudioChannels, c.Channels);
      ASSERT_EQ(h.AudioBits, c.Bits);
      ASSERT_EQ(h.SampleRate, static_cast<uint32_t>(c.ExpectRate));
      if (c.FrameBytes > 0 && i + 1 < audio.size()) {
        ASSERT_EQ(audio[i]->Payload.size(), c.FrameBytes);
      }
      if (c.Codec == EAudioCodec::AAC) {
        ASSERT_TRUE(IsAdtsFrame(audio[i]->Payload.data(), audio[i]->Payload.size()));
      }
      if (c.Codec == EAudioCodec::ADPCM) {
        ASSERT_EQ(audio[i]->Payload.size(), audio[0]->Payload.size());  // whole blocks only
      }
    }
    std::vector<int16_t> pcm = test::DecodeAudio(c.CodecByte, audio);
    // About a second of sound (the encoders may pad the last frame).
    EXPECT_GE(pcm.size(), static_cast<size_t>(c.ExpectRate * 0.95));
    EXPECT_LE(pcm.size(), static_cast<size_t>(c.ExpectRate * 1.2));
    // 0.2 s to 0.7 s lies inside the plain tone, away from the once-a-second beep.
    double hz = test::ToneFrequency(pcm, c.ExpectRate, c.ExpectRate / 5, c.ExpectRate * 7 / 10);
    EXPECT_NEAR(hz, 500, 15);
  }
}

TEST(StreamGenerator, EndlessStreamKeepsGoingInTimeOrder) {
  TGeneratorOptions o;
  o.Width = 160;
  o.Height = 120;
  o.DurationSec = 0;
  o.Video.Preset = "ultrafast";
  o.StartUs = kStart;
  TStreamGenerator gen(o);
  TRecordFrame f;
  int64_t last = INT64_MIN;
  int video = 0, audio = 0;
  for (int i = 0; i < 600; ++i) {
    ASSERT_TRUE(gen.Next(f));
    ASSERT_GE(f.TimeUs(), last);
    last = f.TimeUs();
    (f.IsAudio() ? audio : video)++;
  }
  EXPECT_GT(video, 250);  // 25 pictures and 25 audio frames a second
  EXPECT_GT(audio, 250);
  EXPECT_GE(last, kStart + 11 * 1000000);  // past the ten seconds of a bounded run
}

TEST(StreamGenerator, H265AndBFramesStillDecodeInOrder) {
  struct TCase {
    EVideoCodec Codec;
    int BFrames;
    AVCodecID Decoder;
    uint8_t CodecByte;
  };
  TTempDir dir;
  for (const TCase& c : {TCase{EVideoCodec::H265, 0, AV_CODEC_ID_HEVC, 5},
                         TCase{EVideoCodec::H264, 2, AV_CODEC_ID_H264, 4}}) {
    SCOPED_TRACE(int(c.CodecByte));
    TGeneratorOptions o;
    o.Width = 320;
    o.Height = 240;
    o.DurationSec = 1;
    o.Audio.reset();
    o.Video.Codec = c.Codec;
    o.Video.BFrames = c.BFrames;
    o.Video.Gop = 12;
    o.Video.Threads = 1;
    o.StartUs = kStart;
    TRecordFile file = Generate(o, dir.Path("v.rec"));
    ExpectTimesInOrder(file);
    auto video = file.Video();
    ASSERT_EQ(video.size(), 25u);
    EXPECT_EQ(video.front()->Head.FrameType, 2);
    for (const TRecordFrame* f : video) EXPECT_EQ(f->Head.Codec, c.CodecByte);
    auto sizes = test::DecodeVideo(c.Decoder, video);
    EXPECT_EQ(sizes.size(), 25u);
    if (c.Codec == EVideoCodec::H265) {
      std::vector<int> nals = test::NalTypes(true, video[12]->Payload);
      for (int type : {32, 33, 34})
        EXPECT_NE(std::find(nals.begin(), nals.end(), type), nals.end());
    }
  }
}

// The clean pattern compresses far below a requested bit rate; with detail the encoder has
// to spend about what it was given, which is what a stream standing in for a camera's needs.
TEST(StreamGenerator, DetailSpendsTheRequestedBitRate) {
  TTempDir dir;
  TGeneratorOptions o;
  o.Width = 352;
  o.Height = 288;
  o.DurationSec = 3;
  o.Audio.reset();
  o.Video.Threads = 1;
  o.Video.Gop = 25;
  o.Video.BitrateKbit = 600;
  o.StartUs = kStart;
  auto kbit = [&](int detail, const std::string& name) {
    o.Detail = detail;
    TRecordFile file = Generate(o, dir.Path(name));
    EXPECT_EQ(file.Error, "");
    TVideoRateMeter meter;
    for (const TRecordFrame* f : file.Video()) meter.Add(*f);
    EXPECT_EQ(meter.Frames(), 75);
    EXPECT_NEAR(meter.Seconds(), 3.0, 1e-6);
    // The meter reads what the file holds, the tool's own reading says the same.
    EXPECT_NEAR(RecordFileVideoKbit(dir.Path(name)), meter.KbitPerSecond(), 1e-6);
    return meter.KbitPerSecond();
  };
  const double clean = kbit(0, "clean.rec");
  const double detailed = kbit(4, "detail.rec");
  EXPECT_LT(clean, 0.5 * o.Video.BitrateKbit);
  EXPECT_GT(detailed, 0.8 * o.Video.BitrateKbit);
  EXPECT_LT(detailed, 1.3 * o.Video.BitrateKbit);

  // The detail changes from picture to picture, yet a frame number always gives the same
  // picture (repeatable files); a level out of range is refused.
  auto detail_of = [](int64_t frame) {
    std::vector<uint8_t> y(64 * 32, 128), u(32 * 16, 128), v(32 * 16, 128);
    AddPatternDetail(TYuvPicture{y.data(), u.data(), v.data(), 64, 32, 32, 64, 32}, frame, 4);
    y.insert(y.end(), u.begin(), u.end());
    return y;
  };
  EXPECT_EQ(detail_of(1), detail_of(1));
  EXPECT_NE(detail_of(1), detail_of(2));
  o.Detail = kMaxPatternDetail + 1;
  EXPECT_THROW(TStreamGenerator{o}, TRecmakeError);
}

TEST(StreamGenerator, RefusesSettingsTheEncodersCannotTake) {
  TGeneratorOptions odd;
  odd.Width = 321;
  EXPECT_THROW(TStreamGenerator{odd}, TRecmakeError);
  TGeneratorOptions stereo_g722;
  stereo_g722.WithVideo = false;
  stereo_g722.Audio = EAudioCodec::G722;
  stereo_g722.AudioChannels = 2;
  EXPECT_THROW(TStreamGenerator{stereo_g722}, TRecmakeError);
  TGeneratorOptions aac_rate;
  aac_rate.WithVideo = false;
  aac_rate.Audio = EAudioCodec::AAC;
  aac_rate.AudioRate = 12345;
  EXPECT_THROW(TStreamGenerator{aac_rate}, TRecmakeError);
}

}  // namespace
}  // namespace recmake
