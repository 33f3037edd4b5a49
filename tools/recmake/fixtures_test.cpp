// The record files committed under tests/data (made by tests/data/regenerate) stay what
// other tests rely on: clean frames in time order, decodable video of the stated size,
// the stated audio codec, overlay records where promised.
#include <gtest/gtest.h>

#include "tools/recmake/test_support.h"

namespace recmake {
namespace {

struct TFixture {
  const char* File;
  int Width, Height;
  size_t VideoFrames;
  uint8_t AudioCodec;
  size_t Overlays;
};

TEST(Fixtures, ReadBackDecodeAndCarryWhatTheyPromise) {
  const TFixture fixtures[] = {
      {"h264_704x576_g711u.rec", 704, 576, 100, 0x81, 0},
      {"h264_1920x1080_aac.rec", 1920, 1080, 50, 0x89, 0},
      {"h264_704x576_overlay.rec", 704, 576, 50, 0x82, 2},
  };
  const int64_t start = 1733819400LL * 1000000;  // 2024-12-10 08:30:00
  for (const TFixture& fx : fixtures) {
    SCOPED_TRACE(fx.File);
    test::TRecordFile file = test::ReadRecordFile(std::string(RECMAKE_DATA_DIR "/") + fx.File);
    ASSERT_EQ(file.Error, "");
    ASSERT_TRUE(file.HasFileHead);
    ASSERT_FALSE(file.Frames.empty());
    EXPECT_EQ(file.Frames.front().TimeUs(), start);
    for (size_t i = 1; i < file.Frames.size(); ++i) {
      ASSERT_LE(file.Frames[i - 1].TimeUs(), file.Frames[i].TimeUs());
    }
    auto video = file.Video();
    ASSERT_EQ(video.size(), fx.VideoFrames);
    for (size_t i = 0; i < video.size(); ++i) {
      ASSERT_EQ(video[i]->Head.Codec, 4);
      ASSERT_EQ(video[i]->Head.FrameType, i % 25 == 0 ? 2 : 3) << i;
      ASSERT_EQ(video[i]->Overlays.size(), fx.Overlays);
    }
    auto sizes = test::DecodeVideo(AV_CODEC_ID_H264, video);
    ASSERT_EQ(sizes.size(), video.size());
    for (auto& s : sizes) ASSERT_EQ(s, std::make_pair(fx.Width, fx.Height));
    if (fx.Overlays > 0) {
      EXPECT_EQ(video[0]->Head.OverlayEncoding, 1);
      EXPECT_STREQ(video[0]->Overlays[0].Text, "Camera 01");
    }
    auto audio = file.Audio();
    ASSERT_FALSE(audio.empty());
    for (const TRecordFrame* a : audio) ASSERT_EQ(a->Head.Codec, fx.AudioCodec);
    int rate = static_cast<int>(audio[0]->Head.SampleRate);
    std::vector<int16_t> pcm = test::DecodeAudio(fx.AudioCodec, audio);
    EXPECT_NEAR(test::ToneFrequency(pcm, rate, rate / 5, rate * 7 / 10), 440, 15);
  }
}

}  // namespace
}  // namespace recmake
