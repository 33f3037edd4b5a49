#include "tools/recmake/media_file_source.h"

#include <gtest/gtest.h>

#include "tools/recmake/test_support.h"

namespace recmake {
namespace {

using test::TMediaSpec;
using test::TRecordFile;
using test::TTempDir;

const int64_t kStart = 1733819400LL * 1000000;

TRecordFile Convert(const TFileSourceOptions& options, const std::string& out) {
  TMediaFileSource source(options);
  return test::WriteAndReadBack(source, out);
}

TFileSourceOptions From(const std::string& path) {
  TFileSourceOptions o;
  o.Path = path;
  o.StartUs = kStart;
  return o;
}

// Every key frame holds SPS and PPS ahead of its IDR picture and starts a decodable group.
void ExpectKeyFramesSelfContained(const std::vector<const TRecordFrame*>& video, int w, int h) {
  ASSERT_FALSE(video.empty());
  EXPECT_EQ(video.front()->Head.FrameType, 2);
  for (size_t i = 0; i < video.size(); ++i) {
    if (video[i]->Head.FrameType != 2) continue;
    SCOPED_TRACE("key frame " + std::to_string(i));
    std::vector<int> nals = test::NalTypes(false, video[i]->Payload);
    auto idr = std::find(nals.begin(), nals.end(), 5);
    ASSERT_NE(idr, nals.end());
    EXPECT_LT(std::find(nals.begin(), nals.end(), 7), idr);
    EXPECT_LT(std::find(nals.begin(), nals.end(), 8), idr);
    auto sizes = test::DecodeVideo(AV_CODEC_ID_H264, {video[i]});
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0], std::make_pair(w, h));
  }
  EXPECT_EQ(test::DecodeVideo(AV_CODEC_ID_H264, video).size(), video.size());
}

void ExpectTimesInOrder(const TRecordFile& file) {
  for (size_t i = 1; i < file.Frames.size(); ++i) {
    ASSERT_LE(file.Frames[i - 1].TimeUs(), file.Frames[i].TimeUs()) << "frame " << i;
  }
}

struct TContainerCase {
  const char* Name;
  TMediaSpec Media;
  size_t VideoFrames;
  uint8_t AudioCodec;  // 0: no audio expected
};

TEST(MediaFileSource, KeepsH264AndCarriedAudioFromEveryContainer) {
  TTempDir dir;
  const TContainerCase cases[] = {
      {"mp4 h264 aac",
       {dir.Path("a.mp4"), "mp4", "libx264", true, 320, 240, 25, 10, "aac", 16000},
       50,
       0x89},
      {"mkv h264 aac",
       {dir.Path("a.mkv"), "matroska", "libx264", true, 320, 240, 25, 10, "aac", 48000, 2},
       50,
       0x89},
      {"ts h264 aac",
       {dir.Path("a.ts"), "mpegts", "libx264", false, 320, 240, 25, 10, "aac", 16000},
       50,
       0x89},
      // Parameter sets only once, at the start of the file.
      {"raw h264", {dir.Path("a.h264"), "h264", "libx264", true, 320, 240, 25, 10, ""}, 50, 0},
      {"adts aac", {dir.Path("a.aac"), "adts", "", true, 0, 0, 25, 0, "aac", 16000}, 0, 0x89},
      {"wav mu-law", {dir.Path("u.wav"), "wav", "", true, 0, 0, 25, 0, "pcm_mulaw", 8000}, 0, 0x81},
      {"wav pcm stereo",
       {dir.Path("p.wav"), "wav", "", true, 0, 0, 25, 0, "pcm_s16le", 16000, 2},
       0,
       0x80},
      {"wav g722", {dir.Path("g.wav"), "wav", "", true, 0, 0, 25, 0, "g722", 16000}, 0, 0x84},
  };
  for (const TContainerCase& c : cases) {
    SCOPED_TRACE(c.Name);
    test::WriteMediaFile(c.Media);
    TRecordFile file = Convert(From(c.Media.Path), dir.Path("out.rec"));
    ASSERT_EQ(file.Error, "");
    ExpectTimesInOrder(file);
    ASSERT_FALSE(file.Frames.empty());
    EXPECT_EQ(file.Frames.front().TimeUs(), kStart);
    auto video = file.Video();
    EXPECT_EQ(video.size(), c.VideoFrames);
    if (!video.empty()) ExpectKeyFramesSelfContained(video, 320, 240);
    auto audio = file.Audio();
    if (c.AudioCodec == 0) {
      EXPECT_TRUE(audio.empty());
      continue;
    }
    ASSERT_FALSE(audio.empty());
    int rate = c.Media.AudioRate;
    for (const TRecordFrame* a : audio) {
      ASSERT_EQ(a->Head.Codec, c.AudioCodec);
      ASSERT_EQ(a->Head.AudioChannels, c.Media.AudioChannels);
      ASSERT_EQ(a->Head.SampleRate, static_cast<uint32_t>(rate));
      if (c.AudioCodec == 0x89) {
        ASSERT_TRUE(IsAdtsFrame(a->Payload.data(), a->Payload.size()));
      }
    }
    if (c.AudioCodec == 0x81) {
      EXPECT_EQ(audio[0]->Payload.size(), 320u);  // 40 ms
    }
    if (c.AudioCodec == 0x80) {
      EXPECT_EQ(audio[0]->Payload.size(), 2560u);
      EXPECT_EQ(audio[0]->Head.AudioFormat, 4);
    }
    std::vector<int16_t> pcm = test::DecodeAudio(c.AudioCodec, audio);
    EXPECT_NEAR(test::ToneFrequency(pcm, rate, rate / 5, rate), 500, 15);
  }
}

TEST(MediaFileSource, KeepsH265FromLengthPrefixedInput) {
  TTempDir dir;
  TMediaSpec media{dir.Path("h.mkv"), "matroska", "libx265", true, 192, 128, 25, 10, ""};
  media.Seconds = 1;
  test::WriteMediaFile(media);
  TRecordFile file = Convert(From(media.Path), dir.Path("out.rec"));
  ASSERT_EQ(file.Error, "");
  auto video = file.Video();
  ASSERT_EQ(video.size(), 25u);
  for (size_t i = 0; i < video.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(video[i]->Head.Codec, zrplay::kCodecH265);
    if (video[i]->Head.FrameType != 2) continue;
    std::vector<int> nals = test::NalTypes(true, video[i]->Payload);
    for (int type : {32, 33, 34}) EXPECT_NE(std::find(nals.begin(), nals.end(), type), nals.end());
    auto sizes = test::DecodeVideo(AV_CODEC_ID_HEVC, {video[i]});
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0], std::make_pair(192, 128));
  }
  EXPECT_EQ(video[10]->Head.FrameType, 2);
  EXPECT_EQ(test::DecodeVideo(AV_CODEC_ID_HEVC, video).size(), 25u);
}

TEST(MediaFileSource, CodecsNotCarriedNeedReEncodingAndThenConvert) {
  TTempDir dir;
  TMediaSpec media{dir.Path("m.mkv"), "matroska", "mpeg4", true, 176, 144, 25, 12, "mp2", 16000};
  test::WriteMediaFile(media);

  try {
    TMediaFileSource source(From(media.Path));
    FAIL() << "MPEG-4 video accepted";
  } catch (const TRecmakeError& e) {
    EXPECT_NE(std::string(e.what()).find("mpeg4"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("--transcode-video"), std::string::npos) << e.what();
  }
  TFileSourceOptions no_video = From(media.Path);
  no_video.WithVideo = false;
  try {
    TMediaFileSource source(no_video);
    FAIL() << "MP2 audio accepted";
  } catch (const TRecmakeError& e) {
    EXPECT_NE(std::string(e.what()).find("--audio-codec"), std::string::npos) << e.what();
  }

  TFileSourceOptions o = From(media.Path);
  o.TranscodeVideo = true;
  o.Video.Threads = 1;
  o.AudioTranscode = EAudioCodec::G711A;
  TRecordFile file = Convert(o, dir.Path("out.rec"));
  ASSERT_EQ(file.Error, "");
  ExpectTimesInOrder(file);
  auto video = file.Video();
  EXPECT_EQ(video.size(), 50u);
  ExpectKeyFramesSelfContained(video, 176, 144);
  auto audio = file.Audio();
  ASSERT_FALSE(audio.empty());
  for (const TRecordFrame* a : audio) {
    ASSERT_EQ(a->Head.Codec, 0x82);
    ASSERT_EQ(a->Head.SampleRate, 8000u);
  }
  std::vector<int16_t> pcm = test::DecodeAudio(0x82, audio);
  EXPECT_NEAR(test::ToneFrequency(pcm, 8000, 2000, 8000), 500, 15);
}

TEST(MediaFileSource, DurationLimitsTheFrames) {
  TTempDir dir;
  TMediaSpec media{dir.Path("d.mp4"), "mp4", "libx264", true, 160, 120, 25, 25, "aac", 16000};
  media.Seconds = 3;
  test::WriteMediaFile(media);
  TFileSourceOptions o = From(media.Path);
  o.MaxDurationSec = 1;
  TRecordFile file = Convert(o, dir.Path("out.rec"));
  EXPECT_EQ(file.Video().size(), 25u);
  ASSERT_FALSE(file.Audio().empty());
  EXPECT_LT(file.Audio().back()->TimeUs(), kStart + 1000000);
}

TEST(MediaFileSource, UnreadableInputsGiveClearErrors) {
  TTempDir dir;
  std::string garbage = dir.Path("garbage.mp4");
  FILE* f = std::fopen(garbage.c_str(), "wb");
  for (int i = 0; i < 5000; ++i) std::fputc((i * 7919) & 0xFF, f);
  std::fclose(f);
  const std::pair<std::string, std::string> cases[] = {
      {dir.Path("missing.mp4"), "No such file"},
      {garbage, "cannot read input"},
      {dir.Path(""), "directory"},
  };
  for (const auto& [path, text] : cases) {
    SCOPED_TRACE(path);
    try {
      TMediaFileSource source(From(path));
      FAIL() << "opened";
    } catch (const TRecmakeError& e) {
      EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace recmake
