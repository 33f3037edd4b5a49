// Record file play through a channel: opening with its index thread and callback, position
// queries and seeks to key frames, stepping, the end-of-file message, the record file step's
// pacing over the speed ladder (with a clock that stands still), and closing or destroying
// the channel while its index is still being built.
#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "platform/thread.h"
#include "player/channel/channel.h"
#include "player/channel/test_channel_support.h"
#include "player/channel/test_play_clock.h"
#include "player/record/test_record_file.h"

namespace zrplay {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int32_t kPort = 6;
const std::string kPrefix = "ch6(2)-->";

std::string Fixture(const std::string& name) {
  return std::string(QUVI_TEST_DATA_DIR) + "/" + name;
}

// Where and on which thread the file-index callback ran.
struct TIndexDone {
  std::promise<uint64_t> thread;
  std::atomic<int> calls{0};
  std::atomic<int32_t> port{-1};
  static void Callback(int32_t port, ZR_USER user) {
    auto* self = reinterpret_cast<TIndexDone*>(user);
    self->port = port;
    if (self->calls++ == 0) self->thread.set_value(plat::GetCurrentThreadId());
  }
};

class ChannelFileTest : public ::testing::Test {
 protected:
  // A channel with the file open and indexed, playing without a window (paused unless
  // run), its current frame shown to the decoder.
  std::unique_ptr<TChannel> OpenIndexed(const std::string& path, bool run = false) {
    auto channel = std::make_unique<TChannel>(kPort, 2, decoder_);
    channel->SetTickSource(&TPlayClock::Now);
    TIndexDone done;
    channel->SetFileRefCallBack(&TIndexDone::Callback, reinterpret_cast<ZR_USER>(&done));
    auto thread = done.thread.get_future();
    EXPECT_EQ(channel->OpenFile(path.c_str()), 1);
    EXPECT_EQ(thread.wait_for(TPlayClock::kPatience), std::future_status::ready);
    EXPECT_NE(thread.get(), plat::GetCurrentThreadId());
    EXPECT_EQ(done.calls, 1);
    EXPECT_EQ(done.port, kPort);
    channel->SetFileRefCallBack(nullptr, 0);
    EXPECT_FALSE(channel->BuildingIndex());
    EXPECT_EQ(channel->Play(0), 1);
    if (!run) {
      // The background thread may have played the first frame before the pause: start
      // again from frame 0, with a decoder that has seen nothing.
      channel->Pause(1);
      TPlayClock::WaitSteps(*channel);
      channel->SetCurrFrameNum(0);
      decoder_.ClearInputs();
    }
    return channel;
  }
  // The payload the decoder was given last.
  std::vector<uint8_t> LastInput() const {
    const auto inputs = decoder_.Inputs();
    return inputs.empty() ? std::vector<uint8_t>{} : inputs.back();
  }
  // The payload of frame i of the file.
  static std::vector<uint8_t> PayloadOf(TFileReader& reader, int i) {
    std::vector<uint8_t> block(static_cast<size_t>(reader.FrameSize(i)));
    reader.ReadFrame(block.data(), i);
    const TFrameHead head = ReadFrameHead(block.data());
    return {block.begin() + kFrameHeadSize, block.begin() + kFrameHeadSize + head.PayloadLength};
  }

  TSettingsScope settings_;
  TFakeVideoDecoder decoder_;
  TLogLines log_;
  TPlayClock clock_;
  TTempDir dir_;
};

// h264_352x288_gop50.rec: 120 video frames at 30 per second, key frames at 0, 50 and 100.
TEST_F(ChannelFileTest, OpeningAFileIndexesItOnAThreadOfItsOwnAndAnswersItsLength) {
  auto channel = std::make_unique<TChannel>(kPort, 2, decoder_);
  log_.Clear();
  const std::string path = Fixture("h264_352x288_gop50.rec");
  channel = OpenIndexed(path);
  std::shared_ptr<TFileReader> reader = channel->FileReader();
  ASSERT_TRUE(reader);
  EXPECT_EQ(channel->StreamState(), TChannel::ssRecordFile);
  EXPECT_FALSE(channel->BufferOnLive());
  EXPECT_EQ(channel->GetFileTotalFrames(), 120);
  EXPECT_EQ(channel->GetFileTotalMSec(), reader->DurationMs());
  EXPECT_NEAR(reader->DurationMs(), 119 * 1000 / 30, 1);
  EXPECT_EQ(channel->NearestKeyFrame(99), 50);
  EXPECT_EQ(channel->GetKeyFramePos(50, 1), reader->FrameStart(50));
  EXPECT_EQ(channel->GetKeyFramePos(1000, 2), reader->FrameStart(30));
  EXPECT_EQ(channel->GetKeyFramePos(50, 3), -1);
  EXPECT_EQ(channel->GetLastKeyPos(0, 0), reader->FrameStart(119));
  const auto lines = log_.LinesAfter(kPrefix);
  EXPECT_THAT(
      std::vector<std::string>(lines.end() - 6, lines.end()),
      ElementsAre("get file total frames=120",
                  "get file time total milli seconds=" + std::to_string(reader->DurationMs()),
                  "get key frame pos(value=50, type=1)=" + std::to_string(reader->FrameStart(50)),
                  "get key frame pos(value=1000, type=2)=" + std::to_string(reader->FrameStart(30)),
                  "get key frame pos(value=50, type=3)=-1",
                  "get last key pos(value=0, type=0)=" + std::to_string(reader->FrameStart(119))));
  EXPECT_THAT(log_.LinesAfter(kPrefix), ::testing::Contains("open file(" + path + ")=1"));

  // Closed: every query answers as without a file.
  log_.Clear();
  EXPECT_EQ(channel->CloseFile(), 1);
  EXPECT_EQ(channel->StreamState(), TChannel::ssClosed);
  EXPECT_FALSE(channel->FileReader());
  EXPECT_EQ(channel->GetFileTotalFrames(), 0);
  EXPECT_EQ(channel->GetKeyFramePos(50, 1), -1);
  EXPECT_EQ(channel->GetLastKeyPos(0, 0), -1);
  EXPECT_EQ(channel->GetPlayedPos(), 0.0);
  EXPECT_EQ(channel->SetPlayedTimeEx(100), 0);
  EXPECT_EQ(log_.LinesAfter(kPrefix).front(), "close file=1");
}

TEST_F(ChannelFileTest, AMissingFileOpensNothingAndStartsNoIndexThread) {
  TChannel channel(kPort, 2, decoder_);
  log_.Clear();
  const std::string path = dir_.Path("none.rec");
  EXPECT_EQ(channel.OpenFile(path.c_str()), 0);
  EXPECT_FALSE(channel.BuildingIndex());
  EXPECT_THAT(log_.LinesAfter(kPrefix),
              ElementsAre("open file(" + path + ")-->", "open file(" + path + ")=0"));
  EXPECT_EQ(channel.GetFileTotalFrames(), 0);
}

TEST_F(ChannelFileTest, SeeksShowTheKeyFrameAtOrBeforeTheTarget) {
  auto channel = OpenIndexed(Fixture("h264_352x288_gop50.rec"));
  std::shared_ptr<TFileReader> reader = channel->FileReader();
  struct TCase {
    const char* name;
    std::function<int32_t()> seek;
    int32_t key;
    std::string line;
  };
  const std::vector<TCase> cases = {
      {"frame 57", [&] { return channel->SetCurrFrameNum(57); }, 50,
       "set current frame num(value=57)=1"},
      {"position 0.9 (frame 108)", [&] { return channel->SetPlayedPos(0.9); }, 100,
       "set play pos(0.9)=1"},
      {"position 0.4 (frame 48)", [&] { return channel->SetPlayedPos(0.4); }, 0,
       "set play pos(0.4)=1"},
      {"3400 ms (frame 102)", [&] { return channel->SetPlayedTimeEx(3400); }, 100,
       "set played time ex(3400)=1"},
      {"-50 ms (none: frame 0)", [&] { return channel->SetPlayedTimeEx(-50); }, 0,
       "set played time ex(-50)=1"},
      {"frame 500 (the last one)", [&] { return channel->SetCurrFrameNum(500); }, 100,
       "set current frame num(value=500)=1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    channel->SetCurrFrameNum(110);
    log_.Clear();
    const size_t fed = decoder_.Inputs().size();
    EXPECT_EQ(c.seek(), 1);
    EXPECT_EQ(channel->CurrentFrameIndex(), c.key);
    ASSERT_EQ(decoder_.Inputs().size(), fed + 1);
    EXPECT_EQ(LastInput(), PayloadOf(*reader, c.key));
    EXPECT_THAT(log_.LinesAfter(kPrefix), ElementsAre(c.line));
  }
  channel->SetCurrFrameNum(60);
  EXPECT_DOUBLE_EQ(channel->GetPlayedPos(), 50.0 / 120);
  EXPECT_EQ(channel->GetCurrFrameNum(), 50);
  EXPECT_EQ(channel->GetPlayedFrames(), 50);
}

TEST_F(ChannelFileTest, StepsForwardAndBackShowOneFrameEachAndStopAtTheEnds) {
  auto channel = OpenIndexed(Fixture("h264_352x288_gop50.rec"));
  std::shared_ptr<TFileReader> reader = channel->FileReader();
  log_.Clear();
  EXPECT_EQ(channel->OneByOneBack(), 0);  // at 0
  EXPECT_THAT(log_.Lines(), IsEmpty());

  EXPECT_EQ(channel->OneByOneForward(), 1);
  EXPECT_EQ(channel->OneByOneForward(), 1);
  EXPECT_EQ(channel->CurrentFrameIndex(), 2);
  EXPECT_EQ(LastInput(), PayloadOf(*reader, 1));
  EXPECT_EQ(channel->OneByOneBack(), 1);
  EXPECT_EQ(channel->CurrentFrameIndex(), 1);
  EXPECT_EQ(LastInput(), PayloadOf(*reader, 1));
  EXPECT_THAT(log_.LinesAfter(kPrefix),
              ElementsAre("one by one=1", "one by one=1", "one by one back=1"));

  channel->SetCurrFrameNum(118);  // shows the key frame at 100
  for (int i = 0; i < 19; ++i) EXPECT_EQ(channel->OneByOneForward(), 1);
  EXPECT_EQ(channel->CurrentFrameIndex(), 119);
  EXPECT_EQ(LastInput(), PayloadOf(*reader, 118));
  EXPECT_EQ(channel->OneByOneForward(), 0);
  EXPECT_EQ(channel->CurrentFrameIndex(), 119);
}

// h264_352x288_gap5s.rec: two seconds of video and sound, nothing for five seconds, two
// seconds more.
TEST_F(ChannelFileTest, AFileWithAGapPlaysThroughAndPostsTheEndOfFileMessageOnce) {
  std::vector<plat::TMsg> seen;
  const plat::HWND window = plat::CreateWindowHandle(
      [&](plat::HWND hwnd, plat::UINT msg, plat::WPARAM w, plat::LPARAM l) {
        seen.push_back({hwnd, msg, w, l});
        return intptr_t{0};
      });
  auto channel = OpenIndexed(Fixture("h264_352x288_gap5s.rec"));
  std::shared_ptr<TFileReader> reader = channel->FileReader();
  const int32_t count = reader->FrameCount();
  size_t video = 0;
  int32_t last_video = -1;
  for (int i = 0; i < count; ++i) {
    if (reader->FrameType(i) == kFrameTypeAudio) continue;
    ++video;
    last_video = i;
  }
  ASSERT_GT(video, 90u);
  ASSERT_LT(video, static_cast<size_t>(count));
  log_.Clear();
  EXPECT_EQ(channel->SetFileEndMsg(window, plat::WM_USER + 7), 1);
  char line[96];
  std::snprintf(line, sizeof line, "set file end msg(wnd=0x%08X, msg=0x00000407)=1",
                static_cast<uint32_t>(window));
  EXPECT_THAT(log_.LinesAfter(kPrefix), ElementsAre(line));

  // At level 4 frames 40 ms apart go every 2 or 3 ms of the clock; the gap is not waited for.
  channel->SetPlaySpeed(0, 4);
  channel->Pause(0);
  uint32_t now = 0;
  ASSERT_TRUE(TPlayClock::WaitUntil([&] {
    clock_.Set(++now);
    TPlayClock::WaitSteps(*channel);
    return channel->CurrentFrameIndex() == count;
  }));
  EXPECT_LT(now, 400u);
  EXPECT_EQ(decoder_.Inputs().size(), video);
  EXPECT_EQ(LastInput(), PayloadOf(*reader, last_video));
  EXPECT_GE(channel->GetPlayedTime(), 8);  // capture time of the last frame fed, gap included

  // Nothing more to play, and no second message.
  clock_.Set(now + 1000);
  TPlayClock::WaitSteps(*channel);
  EXPECT_EQ(decoder_.Inputs().size(), video);
  plat::PumpMessages(0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].hwnd, window);
  EXPECT_EQ(seen[0].message, plat::WM_USER + 7);
  EXPECT_EQ(seen[0].wParam, static_cast<plat::WPARAM>(kPort));
  EXPECT_EQ(seen[0].lParam, 0);
  channel.reset();
  plat::DestroyWindowHandle(window);
}

TEST_F(ChannelFileTest, AFrameClaimingMoreThanTheFileHoldsIsSkipped) {
  // The second head claims 1.75 GiB; a read buffer of that size must not be made.
  TFrameHead claim = MakeFrameHead();
  claim.Codec = kCodecH264;
  claim.FrameType = 2;
  claim.Seconds = 1733819401;
  claim.PayloadLength = 0x70000000;
  TTestRecordFile file;
  file.FileHead()
      .Frame({.type = 2, .seconds = 1733819400})
      .Raw(std::string(reinterpret_cast<const char*>(&claim), sizeof claim))
      .Raw(std::string(50, 'x'));
  const std::string path = dir_.Path("claims.rec");
  file.Save(path);
  auto channel = OpenIndexed(path);
  ASSERT_EQ(channel->GetFileTotalFrames(), 2);
  EXPECT_EQ(channel->OneByOneForward(), 1);
  EXPECT_EQ(decoder_.Inputs().size(), 1u);
  EXPECT_EQ(channel->SetCurrFrameNum(1), 1);  // the key frame claiming too much
  EXPECT_EQ(channel->CurrentFrameIndex(), 1);
  EXPECT_EQ(decoder_.Inputs().size(), 1u);
}

// A hand-made file: video frames 40 ms apart with an audio frame among them, then a frame
// five seconds later.
TEST_F(ChannelFileTest, TheRecordFileStepPacesFramesByTheSpeedLevel) {
  TTestRecordFile file;
  const int32_t s = 1733819400;
  file.FileHead()
      .Frame({.type = 2, .seconds = s})
      .Frame({.type = 5, .seconds = s, .microseconds = 10000})
      .Frame({.type = 3, .seconds = s, .microseconds = 40000})
      .Frame({.type = 3, .seconds = s, .microseconds = 80000})
      .Frame({.type = 3, .seconds = s, .microseconds = 120000})
      .Frame({.type = 3, .seconds = s + 5, .microseconds = 120000});
  const std::string path = dir_.Path("paced.rec");
  file.Save(path);
  // Index reached after each video frame: frame 0 takes the audio frame behind it along.
  struct TCase {
    int32_t level;
    uint32_t interval;  // ms between video frames
  };
  for (const TCase c :
       {TCase{0, 40}, TCase{2, 10}, TCase{-1, 80}, TCase{4, 2}, TCase{-4, 640}, TCase{7, 40}}) {
    SCOPED_TRACE(c.level);
    const uint32_t t0 = 10000;
    clock_.Set(t0);
    auto channel = OpenIndexed(path);
    channel->SetPlaySpeed(0, c.level);
    channel->Pause(0);
    // Frame 0 at once, the audio frame right behind it without waiting.
    ASSERT_TRUE(TPlayClock::WaitUntil([&] { return channel->CurrentFrameIndex() == 2; }));
    for (int32_t next = 2; next <= 4; ++next) {
      const uint32_t due = t0 + c.interval * static_cast<uint32_t>(next - 1);
      clock_.Set(due - 1);
      TPlayClock::WaitSteps(*channel);
      EXPECT_EQ(channel->CurrentFrameIndex(), next) << "early at " << due - 1;
      clock_.Set(due);
      // (Behind the last of them the frame after the gap follows at once.)
      ASSERT_TRUE(TPlayClock::WaitUntil([&] { return channel->CurrentFrameIndex() > next; }))
          << "not played at " << due;
    }
    // Five seconds later by capture time: played at once, without the clock moving.
    ASSERT_TRUE(TPlayClock::WaitUntil([&] { return channel->CurrentFrameIndex() == 6; }));
    EXPECT_EQ(clock_.Now(), t0 + 3 * c.interval);
    const auto inputs = decoder_.Inputs();
    ASSERT_EQ(inputs.size(), 5u);  // the video frames, each once
    EXPECT_EQ(inputs.back().size(), 100u);
    decoder_.ClearInputs();
  }
}

// A file whose index takes long: a frame, damage, then a large sparse stretch of zeros the
// index walk searches through byte by byte.
TEST_F(ChannelFileTest, ClosingOrDestroyingWhileTheIndexIsBuiltLeavesTheReaderToItsThread) {
  const std::string path = dir_.Path("sparse.rec");
  TTestRecordFile().FileHead().Frame({}).Raw("damage").Frame({}).Save(path);
  {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, int64_t{1} << 30), 0);
    ::close(fd);
  }
  for (const bool destroy : {false, true}) {
    SCOPED_TRACE(destroy);
    auto channel = std::make_unique<TChannel>(kPort, 2, decoder_);
    TIndexDone done;
    channel->SetFileRefCallBack(&TIndexDone::Callback, reinterpret_cast<ZR_USER>(&done));
    ASSERT_EQ(channel->OpenFile(path.c_str()), 1);
    ASSERT_EQ(channel->Play(0), 1);
    std::weak_ptr<TFileReader> reader = channel->FileReader();
    EXPECT_TRUE(channel->BuildingIndex());
    if (destroy) {
      channel.reset();
    } else {
      channel->CloseFile();
      EXPECT_FALSE(channel->BuildingIndex());
      EXPECT_EQ(channel->GetFileTotalFrames(), 0);
    }
    ASSERT_TRUE(TPlayClock::WaitUntil([&] { return reader.expired(); }));
    EXPECT_EQ(done.calls, 0);
  }
}

}  // namespace
}  // namespace zrplay
