// The channel's input side against a decoder that records or refuses what it is given.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <thread>

#include "platform/time.h"
#include "player/channel/channel.h"
#include "player/channel/test_channel_support.h"
#include "player/channel/test_play_clock.h"

namespace zrplay {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int32_t kPort = 3;
constexpr int32_t kVendorPort = 1;
const std::string kPrefix = "ch3(1)-->";

class ChannelInputTest : public ::testing::Test {
 protected:
  // A playing channel; buffered says whether live frames go through the frame list. The
  // clock stands still. A buffered channel is paused, so its background thread leaves the
  // list to the test, and has fed a first frame a second before the tests' frames, so
  // those wait in the list instead of passing the show gate (the decoder forgets it).
  std::unique_ptr<TChannel> MakeChannel(bool buffered) {
    PlayerSettings.EnableBufferOnLive = buffered;
    auto channel = std::make_unique<TChannel>(kPort, kVendorPort, decoder_);
    channel->SetTickSource(&TPlayClock::Now);
    EXPECT_EQ(channel->Play(0), 1);
    if (buffered) {
      channel->Pause(1);
      decoder_.ClearInputs();
      EXPECT_EQ(Input(*channel, At({.type = 2}, -1000)), 1);
      EXPECT_EQ(decoder_.Inputs().size(), 1u);
      EXPECT_FALSE(channel->FrameListExists());
      decoder_.ClearInputs();
    }
    return channel;
  }
  int32_t Input(TChannel& channel, const TBlockSpec& desc) {
    const std::vector<uint8_t> block = MakeBlock(desc);
    return channel.InputData(block.data(), static_cast<int32_t>(block.size()));
  }
  int32_t Feed(TChannel& channel, const TBlockSpec& desc) {
    const std::vector<uint8_t> block = MakeBlock(desc);
    return channel.InputVideoData(block.data(), static_cast<int32_t>(block.size()));
  }
  // Lines of this channel, without the prefix; lines of others (hex dumps) left out.
  std::vector<std::string> ChannelLines() const { return log_.LinesAfter(kPrefix); }

  TSettingsScope settings_;
  TFakeVideoDecoder decoder_;
  TLogLines log_;
  TPlayClock clock_;
};

TEST_F(ChannelInputTest, ConstructionLogsCreateBehindThePrefixAndStartsInRealTimeMode) {
  PlayerSettings.EnableBufferOnLive = false;
  TChannel channel(kPort, kVendorPort, decoder_);
  EXPECT_THAT(log_.Lines(), ElementsAre("ch3(1)-->create"));
  EXPECT_EQ(channel.StreamState(), TChannel::ssRealTime);
  EXPECT_FALSE(channel.Playing());
  EXPECT_FALSE(channel.BufferOnLive());
  EXPECT_EQ(channel.Timing().FrameRate(), 25);
  EXPECT_EQ(channel.Timing().EncodeType(), 0);
}

TEST_F(ChannelInputTest, RefusedBlocksLeaveNoTraceAndAnEmptyHeadIsTaken) {
  auto channel = MakeChannel(false);
  log_.Clear();
  const std::vector<uint8_t> good = MakeBlock({});

  // Not playing yet: refused, nothing queued or fed.
  PlayerSettings.EnableBufferOnLive = true;
  TChannel idle(kPort, kVendorPort, decoder_);
  EXPECT_EQ(idle.InputData(good.data(), static_cast<int32_t>(good.size())), 0);
  EXPECT_EQ(idle.InputVideoData(good.data(), static_cast<int32_t>(good.size())), 0);
  EXPECT_FALSE(idle.FrameListExists());
  log_.Clear();

  struct TCase {
    const char* name;
    std::vector<uint8_t> block;
    int32_t size;
  };
  std::vector<TCase> cases;
  cases.push_back({"63 bytes", good, 63});
  cases.push_back({"empty", good, 0});
  cases.push_back({"negative size", good, -5});
  for (int word = 0; word < 3; ++word) {
    std::vector<uint8_t> bad = good;
    bad[word * 4 + 1] ^= 0x40;
    cases.push_back({"wrong magic word", bad, static_cast<int32_t>(bad.size())});
  }
  std::vector<uint8_t> bad_head(good.begin(), good.begin() + 64);
  bad_head[5] ^= 1;
  cases.push_back({"64 bytes, wrong magic", bad_head, 64});
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(channel->InputData(c.block.data(), c.size), 0);
    EXPECT_EQ(channel->InputVideoData(c.block.data(), c.size), 0);
  }
  EXPECT_EQ(decoder_.InputCalls(), 0);
  EXPECT_THAT(log_.Lines(), IsEmpty());

  // A valid head without payload is taken by the buffered path but feeds nothing.
  EXPECT_EQ(channel->InputData(good.data(), 64), 1);
  EXPECT_EQ(channel->InputVideoData(good.data(), 64), 0);
  EXPECT_EQ(decoder_.InputCalls(), 0);
}

TEST_F(ChannelInputTest, InputDataRoutesVideoToTheDecoderOrTheListAndTakesEverythingElse) {
  struct TCase {
    uint8_t codec, type;
    bool video;
  };
  const TCase cases[] = {
      {1, 3, true},  {4, 2, true},  {6, 1, true},     {5, 0, true},
      {4, 5, false}, {4, 6, false}, {0x81, 3, false}, {0x89, 5, false},
      {0, 3, false}, {7, 3, false}, {0x8A, 3, false}, {0x80, 0, false},
  };
  for (bool buffered : {false, true}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(::testing::Message() << "buffered=" << buffered << " codec=" << int{c.codec}
                                        << " type=" << int{c.type});
      auto channel = MakeChannel(buffered);
      const int before = decoder_.InputCalls();
      EXPECT_EQ(Input(*channel, {.codec = c.codec, .type = c.type}), 1);
      const bool fed = decoder_.InputCalls() > before;
      EXPECT_EQ(fed, c.video && !buffered);
      EXPECT_EQ(channel->BufferedFrameCount(), c.video && buffered ? 1u : 0u);
    }
  }
}

std::atomic<int> g_source_buf_calls{0};
void CountSourceBufCall(int32_t, uint32_t, ZR_USER, void*) {
  ++g_source_buf_calls;
}

// The channel has no source buffer of its own: the callback is kept as given, never called.
TEST_F(ChannelInputTest, TheSourceBufferCallbackIsKeptButNeverCalled) {
  auto channel = MakeChannel(false);
  log_.Clear();
  int reserved = 0;
  EXPECT_EQ(channel->SetSourceBufCallBack(&CountSourceBufCall, 77, &reserved), 1);
  TChannel::TSourceBufCallback kept = channel->SourceBufCallback();
  EXPECT_EQ(kept.Callback, &CountSourceBufCall);
  EXPECT_EQ(kept.User, 77);
  EXPECT_EQ(kept.Reserved, &reserved);
  EXPECT_THAT(ChannelLines(), ElementsAre("set source buf callback=1"));

  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(Input(*channel, At({.type = static_cast<uint8_t>(i % 10 == 0 ? 1 : 3)}, i * 40)), 1);
  }
  EXPECT_EQ(Input(*channel, {.codec = 0x81, .type = 5}), 1);
  EXPECT_EQ(channel->Stop(), 1);
  EXPECT_EQ(g_source_buf_calls.load(), 0);

  // A later call replaces all three; a null callback is kept as none.
  EXPECT_EQ(channel->SetSourceBufCallBack(nullptr, 5, nullptr), 1);
  kept = channel->SourceBufCallback();
  EXPECT_EQ(kept.Callback, nullptr);
  EXPECT_EQ(kept.User, 5);
  EXPECT_EQ(kept.Reserved, nullptr);
}

TEST_F(ChannelInputTest, OnlyThePayloadBytesPresentAreFed) {
  auto channel = MakeChannel(false);
  // Head claims 1000 bytes, the block holds 300.
  const std::vector<uint8_t> longer = MakeBlock({.payload = 300, .declared = 1000});
  EXPECT_EQ(channel->InputVideoData(longer.data(), static_cast<int32_t>(longer.size())), 1);
  // Head claims 100 bytes; overlay records follow them.
  const std::vector<uint8_t> shorter =
      MakeBlock({.payload = 100, .overlays = {TOverlayRecord{1, 2, "x"}}});
  EXPECT_EQ(channel->InputVideoData(shorter.data(), static_cast<int32_t>(shorter.size())), 1);
  // Nothing behind the head although the head claims bytes.
  const std::vector<uint8_t> none = MakeBlock({.payload = 0, .declared = 50});
  EXPECT_EQ(channel->InputVideoData(none.data(), static_cast<int32_t>(none.size())), 0);
  // The head claims nothing although bytes follow.
  const std::vector<uint8_t> zero = MakeBlock({.payload = 20, .declared = 0});
  EXPECT_EQ(channel->InputVideoData(zero.data(), static_cast<int32_t>(zero.size())), 0);

  const auto inputs = decoder_.Inputs();
  ASSERT_EQ(inputs.size(), 2u);
  EXPECT_EQ(inputs[0], std::vector<uint8_t>(longer.begin() + 64, longer.end()));
  EXPECT_EQ(inputs[1], std::vector<uint8_t>(shorter.begin() + 64, shorter.begin() + 164));
}

TEST_F(ChannelInputTest, RefusedInputIsTriedFourTimesThenLoggedWithHexDumps) {
  struct TCase {
    uint32_t payload;
    bool tail_dump;
  };
  for (const TCase c : {TCase{500, true}, TCase{401, true}, TCase{400, false}, TCase{150, false}}) {
    SCOPED_TRACE(c.payload);
    auto channel = MakeChannel(false);
    decoder_.Accept = false;
    log_.Clear();
    const int before = decoder_.InputCalls();
    const std::vector<uint8_t> block = MakeBlock({.type = 3, .payload = c.payload});
    EXPECT_EQ(channel->InputVideoData(block.data(), static_cast<int32_t>(block.size())), 0);
    EXPECT_EQ(decoder_.InputCalls() - before, 4);
    EXPECT_TRUE(channel->WaitingForKeyFrame());
    EXPECT_EQ(channel->InputFailureCount(), 1);

    const std::string size = std::to_string(c.payload);
    std::vector<std::string> lines = log_.Lines();
    ASSERT_GE(lines.size(), 6u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(lines[i], kPrefix + "input data failed, size=" + size);
    EXPECT_TRUE(IsDecodeFailedLine(lines[4], kPrefix, 1, 0x03, c.payload)) << lines[4];
    std::vector<std::string> expected{kPrefix + "first 200 bytes, size = " + size};
    const uint8_t* payload = block.data() + 64;
    for (const std::string& l : HexLines(payload, std::min<uint32_t>(200, c.payload))) {
      expected.push_back(l);
    }
    if (c.tail_dump) {
      expected.push_back(kPrefix + "last 200 bytes");
      for (const std::string& l : HexLines(payload + c.payload - 200, 200)) expected.push_back(l);
    }
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.end()), expected);
    decoder_.Accept = true;
  }
}

TEST_F(ChannelInputTest, FailureCountGrowsUntilAFeedSucceeds) {
  auto channel = MakeChannel(false);
  decoder_.Accept = false;
  EXPECT_EQ(Feed(*channel, {.type = 2}), 0);
  EXPECT_EQ(Feed(*channel, {.type = 1}), 0);
  EXPECT_EQ(channel->InputFailureCount(), 2);
  EXPECT_TRUE(IsDecodeFailedLine(ChannelLines().end()[-2], "", 2, 0x01, 100));
  decoder_.Accept = true;
  EXPECT_EQ(Feed(*channel, {.type = 2}), 1);
  EXPECT_EQ(channel->InputFailureCount(), 0);
  EXPECT_FALSE(channel->WaitingForKeyFrame());
}

TEST_F(ChannelInputTest, AfterAFailedFeedOnlyTheListedTypesEndTheWait) {
  struct TCase {
    uint8_t type;
    bool ends_wait;
  };
  const TCase cases[] = {{0, true},  {1, true},   {2, true},   {21, true},   {23, true},
                         {24, true}, {3, false},  {4, false},  {22, false},  {5, false},
                         {6, false}, {20, false}, {25, false}, {0xFF, false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(int{c.type});
    auto channel = MakeChannel(false);
    decoder_.Accept = false;
    EXPECT_EQ(Feed(*channel, {.type = 3}), 0);
    ASSERT_TRUE(channel->WaitingForKeyFrame());
    decoder_.Accept = true;
    log_.Clear();
    const int before = decoder_.InputCalls();
    EXPECT_EQ(Feed(*channel, {.type = c.type, .payload = 77}), c.ends_wait ? 1 : 0);
    EXPECT_EQ(decoder_.InputCalls() - before, c.ends_wait ? 1 : 0);
    EXPECT_EQ(channel->WaitingForKeyFrame(), !c.ends_wait);
    if (c.ends_wait) {
      EXPECT_THAT(ChannelLines(), IsEmpty());
    } else {
      char expected[64];
      std::snprintf(expected, sizeof expected, "skip frame, type=0x%02X, size=77", c.type);
      EXPECT_THAT(ChannelLines(), ElementsAre(expected));
    }
  }
}

TEST_F(ChannelInputTest, FrameRateFollowsTheDistanceToTheLastFrame) {
  struct TCase {
    int64_t gap_ms;
    int32_t max_fps;
    int32_t rate;
  };
  const TCase cases[] = {
      {40, 60, 25},  {10, 60, 60}, {10, 120, 100}, {1000, 60, 25}, {1500, 60, 25},
      {999, 60, 1},  {33, 60, 30}, {80, 60, 12},   {400, 60, 2},   {0, 60, 25},
      {-40, 60, 25}, {10, 0, 100}, {1, 60, 60},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.gap_ms << " ms, MaxFPS " << c.max_fps);
    PlayerSettings.MaxFPS = c.max_fps;
    auto channel = MakeChannel(false);
    const TBlockSpec first{.microseconds = 987000};
    EXPECT_EQ(Feed(*channel, first), 1);
    EXPECT_EQ(channel->Timing().FrameRate(), 25);
    EXPECT_EQ(Feed(*channel, At(first, c.gap_ms)), 1);
    EXPECT_EQ(channel->Timing().FrameRate(), c.rate);
  }
}

TEST_F(ChannelInputTest, FramesFortyMillisecondsApartStayAtTwentyFiveOverALongRun) {
  auto channel = MakeChannel(false);
  const TBlockSpec start{.seconds = 1733819399, .microseconds = 960000};
  constexpr int kFrames = 9000;  // six minutes
  uint32_t last_stamp = 0;
  for (int i = 0; i < kFrames; ++i) {
    const TBlockSpec desc = At(start, int64_t{i} * 40);
    ASSERT_EQ(Feed(*channel, desc), 1);
    if (i > 0) {
      ASSERT_EQ(channel->Timing().FrameRate(), 25) << "frame " << i;
      ASSERT_EQ(channel->Timing().CurrentStamp() - last_stamp, 40u) << "frame " << i;
    }
    last_stamp = channel->Timing().CurrentStamp();
  }
  EXPECT_EQ(
      FrameTimeDistanceMs(channel->Timing().FirstFrameTime(), channel->Timing().LastFrameTime()),
      int64_t{kFrames - 1} * 40);
}

TEST_F(ChannelInputTest, TimingKeepsTheFirstCodecAndAWrappingStamp) {
  auto channel = MakeChannel(false);
  EXPECT_EQ(Feed(*channel, {.codec = kCodecH265, .seconds = 1733819400, .microseconds = 123456}),
            1);
  EXPECT_EQ(Feed(*channel, {.codec = kCodecH264, .seconds = 1733819400, .microseconds = 163999}),
            1);
  EXPECT_EQ(channel->Timing().EncodeType(), kCodecH265);
  EXPECT_EQ(channel->Timing().CurrentStamp(), static_cast<uint32_t>(1733819400ull * 1000 + 163));
  EXPECT_DOUBLE_EQ(channel->Timing().FirstFrameTime(), UnixToDateTime(1733819400, 123456));
  EXPECT_DOUBLE_EQ(channel->Timing().LastFrameTime(), UnixToDateTime(1733819400, 163999));

  // A new play run measures from its own first frame.
  ASSERT_EQ(channel->Play(0), 1);
  EXPECT_EQ(channel->Timing().FirstFrameTime(), 0);
  EXPECT_EQ(Feed(*channel, {.seconds = 1733819500}), 1);
  EXPECT_EQ(channel->Timing().FrameRate(), 25);
  EXPECT_DOUBLE_EQ(channel->Timing().FirstFrameTime(), UnixToDateTime(1733819500, 0));
}

TEST_F(ChannelInputTest, TheLastFedFrameKeepsItsHeadAndTheOverlayRecordsPresent) {
  auto channel = MakeChannel(false);
  const TOverlayRecord a{16, 16, "Camera 01"};
  const TOverlayRecord b{-5, 540, "gate"};
  TFrameHead head;
  std::vector<TOverlayRecord> records;

  ASSERT_EQ(Feed(*channel, {.type = 2, .seconds = 1733819401, .overlays = {a, b}}), 1);
  channel->CopyLastFedFrame(head, records);
  EXPECT_EQ(head.Seconds, 1733819401);
  EXPECT_EQ(head.OverlayCount, 2);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(std::memcmp(&records[0], &a, sizeof a), 0);
  EXPECT_EQ(std::memcmp(&records[1], &b, sizeof b), 0);

  // Three records claimed, one present; then none claimed.
  ASSERT_EQ(Feed(*channel, {.overlays = {b}, .declared_overlays = 3}), 1);
  channel->CopyLastFedFrame(head, records);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::memcmp(&records[0], &b, sizeof b), 0);
  ASSERT_EQ(Feed(*channel, {}), 1);
  channel->CopyLastFedFrame(head, records);
  EXPECT_THAT(records, IsEmpty());

  // The payload runs past the block: no record can be behind it.
  ASSERT_EQ(Feed(*channel, {.payload = 10, .declared = 500, .overlays = {a}}), 1);
  channel->CopyLastFedFrame(head, records);
  EXPECT_THAT(records, IsEmpty());
}

// The probe only logs what the parameter set says; the picture size stays that of the last
// decoded picture (none here: the decoder is a fake).
TEST_F(ChannelInputTest, TheFirstParameterSetOfAKeyFrameIsProbedOnceAndSetsNoPictureSize) {
  const TFixtureFrame d1 = FirstVideoFrame(ReadFixture("h264_704x576_g711u.rec"));
  const TFixtureFrame hd = FirstVideoFrame(ReadFixture("h264_1920x1080_aac.rec"));
  ASSERT_EQ(d1.head.FrameType, 2);
  ASSERT_EQ(hd.head.FrameType, 2);
  auto feed = [](TChannel& channel, std::vector<uint8_t> block, uint8_t type) {
    block[26] = type;
    return channel.InputVideoData(block.data(), static_cast<int32_t>(block.size()));
  };
  // The probe's size line for this channel's feeds, "" when it did not probe.
  auto probed = [&] {
    for (const std::string& line : log_.Lines()) {
      if (line.rfind("width=", 0) == 0) return line;
    }
    return std::string();
  };
  auto expect_no_size = [](TChannel& channel) {
    int32_t width = -1;
    int32_t height = -1;
    EXPECT_EQ(channel.GetPictureSize(width, height), 1);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
  };

  auto channel = MakeChannel(false);
  log_.Clear();
  EXPECT_EQ(feed(*channel, d1.block, 2), 1);
  EXPECT_EQ(probed(), "width=704, height=576");
  expect_no_size(*channel);
  log_.Clear();
  EXPECT_EQ(feed(*channel, hd.block, 2), 1);  // probed already
  EXPECT_EQ(probed(), "");

  for (uint8_t type : {21, 23}) {
    auto other = MakeChannel(false);
    log_.Clear();
    EXPECT_EQ(feed(*other, hd.block, type), 1);
    EXPECT_EQ(probed(), "width=1920, height=1080");
    expect_no_size(*other);
  }
  for (uint8_t type : {1, 3, 24}) {
    auto other = MakeChannel(false);
    log_.Clear();
    EXPECT_EQ(feed(*other, hd.block, type), 1);
    EXPECT_EQ(probed(), "");
  }
  // Only H.264 is probed.
  auto h265 = MakeChannel(false);
  std::vector<uint8_t> block = hd.block;
  block[24] = kCodecH265;
  log_.Clear();
  EXPECT_EQ(feed(*h265, block, 2), 1);
  EXPECT_EQ(probed(), "");
}

// Frames 40 ms apart from 0; the listed positions are key frames.
void Queue(TChannel& channel, int count, const std::vector<int>& keys, int64_t gap_ms = 40) {
  for (int i = 0; i < count; ++i) {
    const bool key = std::find(keys.begin(), keys.end(), i) != keys.end();
    const std::vector<uint8_t> block = MakeBlock(
        At({.type = static_cast<uint8_t>(key ? 2 : 3), .payload = static_cast<uint32_t>(10 + i)},
           i * gap_ms));
    ASSERT_EQ(channel.InputData(block.data(), static_cast<int32_t>(block.size())), 1);
  }
}

TEST_F(ChannelInputTest, ALiveListSpanningEightSecondsIsCutToItsLastKeyFrame) {
  auto channel = MakeChannel(true);
  Queue(*channel, 201, {0, 150});  // 0 .. 8000 ms
  ASSERT_EQ(channel->BufferedFrameCount(), 201u);
  log_.Clear();
  ASSERT_TRUE(channel->TakeFrame());
  EXPECT_THAT(ChannelLines(),
              ElementsAre("frame list count=201, need clean", "clean from 150, remain count=51"));
  EXPECT_EQ(channel->CurrentFrame()->Head().FrameType, 2);
  EXPECT_EQ(channel->CurrentFrame()->Length(), 64u + 10 + 150);
  EXPECT_EQ(channel->BufferedFrameCount(), 50u);
  EXPECT_FALSE(channel->WaitingForKeyFrame());

  // A current frame is kept until it is fed.
  EXPECT_TRUE(channel->TakeFrame());
  EXPECT_EQ(channel->BufferedFrameCount(), 50u);
  EXPECT_EQ(channel->FeedCurrentFrame(), 1);
  EXPECT_EQ(channel->CurrentFrame(), nullptr);
  ASSERT_EQ(decoder_.Inputs().size(), 1u);
  EXPECT_EQ(decoder_.Inputs()[0].size(), 160u);
}

TEST_F(ChannelInputTest, AShorterSpanIsNotCleaned) {
  auto channel = MakeChannel(true);
  Queue(*channel, 200, {0, 150});  // 0 .. 7960 ms
  log_.Clear();
  ASSERT_TRUE(channel->TakeFrame());
  EXPECT_THAT(ChannelLines(), IsEmpty());
  EXPECT_EQ(channel->BufferedFrameCount(), 199u);
}

TEST_F(ChannelInputTest, ALiveListWithoutKeyFramesIsEmptiedAndWaitsForOne) {
  auto channel = MakeChannel(true);
  Queue(*channel, 3, {}, 4000);  // 0, 4000, 8000 ms
  log_.Clear();
  EXPECT_FALSE(channel->TakeFrame());
  EXPECT_THAT(ChannelLines(),
              ElementsAre("frame list count=3, need clean", "clean from -1, remain count=0"));
  EXPECT_EQ(channel->BufferedFrameCount(), 0u);
  EXPECT_TRUE(channel->WaitingForKeyFrame());

  // While waiting, frames other than key frames are freed as they are taken.
  Queue(*channel, 3, {2});
  EXPECT_FALSE(channel->TakeFrame());
  EXPECT_FALSE(channel->TakeFrame());
  ASSERT_TRUE(channel->TakeFrame());
  EXPECT_EQ(channel->CurrentFrame()->Head().FrameType, 2);
  EXPECT_EQ(channel->FeedCurrentFrame(), 1);
  EXPECT_FALSE(channel->WaitingForKeyFrame());
}

TEST_F(ChannelInputTest, FileModeNeverCleansAndHoldsTheFiveHundredAndFirstFrame) {
  auto channel = MakeChannel(true);
  ASSERT_EQ(channel->SetStreamOpenMode(1), 1);
  ASSERT_EQ(channel->StreamState(), TChannel::ssFileMode);
  Queue(*channel, 500, {}, 20);  // spans 9980 ms
  ASSERT_EQ(channel->BufferedFrameCount(), 500u);

  std::atomic<bool> returned{false};
  std::thread late([&] {
    const std::vector<uint8_t> block = MakeBlock(At({.type = 3}, 10000));
    EXPECT_EQ(channel->InputData(block.data(), static_cast<int32_t>(block.size())), 1);
    returned = true;
  });
  // However long the wait, the frame must not get in while 500 are queued.
  plat::Sleep(100);
  EXPECT_FALSE(returned);
  EXPECT_EQ(channel->BufferedFrameCount(), 500u);

  log_.Clear();
  ASSERT_TRUE(channel->TakeFrame());
  EXPECT_EQ(channel->FeedCurrentFrame(), 1);
  late.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(channel->BufferedFrameCount(), 500u);
  EXPECT_THAT(ChannelLines(), IsEmpty());  // no cleaning
}

TEST_F(ChannelInputTest, StopReleasesAFileModeInputWaitingForRoom) {
  auto channel = MakeChannel(true);
  ASSERT_EQ(channel->SetStreamOpenMode(1), 1);
  Queue(*channel, 500, {});
  std::thread late([&] {
    const std::vector<uint8_t> block = MakeBlock({.type = 3});
    // 1 when it was waiting for room as play stopped, 0 when it came after the stop.
    const int32_t r = channel->InputData(block.data(), static_cast<int32_t>(block.size()));
    EXPECT_TRUE(r == 0 || r == 1);
  });
  plat::Sleep(20);
  EXPECT_EQ(channel->Stop(), 1);
  late.join();  // does not hang: the wait ends with play
  EXPECT_FALSE(channel->FrameListExists());
  EXPECT_EQ(channel->BufferedFrameCount(), 0u);
}

TEST_F(ChannelInputTest, StopFreesTheBufferedFramesOnceAndCloseStreamClosesTheStream) {
  auto channel = MakeChannel(true);
  Queue(*channel, 5, {0});
  ASSERT_TRUE(channel->TakeFrame());
  log_.Clear();
  EXPECT_EQ(channel->Stop(), 1);
  EXPECT_THAT(ChannelLines(),
              ElementsAre("stop-->", "stop<--", "close stream", "stop play thread-->",
                          "stop play thread<--", "free buffer frame list", "stop=1"));
  EXPECT_FALSE(channel->FrameListExists());
  EXPECT_EQ(channel->CurrentFrame(), nullptr);
  EXPECT_FALSE(channel->Playing());
  EXPECT_EQ(Input(*channel, {}), 0);

  log_.Clear();
  EXPECT_EQ(channel->Stop(), 1);
  EXPECT_EQ(decoder_.StopCalls(), 1);
  EXPECT_EQ(channel->CloseStream(), 1);
  EXPECT_THAT(ChannelLines(), ElementsAre("close stream=1"));
  EXPECT_EQ(channel->StreamState(), TChannel::ssClosed);
}

TEST_F(ChannelInputTest, StreamOpenModeFollowsTheModeWhateverTheDecoderSays) {
  PlayerSettings.EnableBufferOnLive = false;
  TChannel channel(kPort, kVendorPort, decoder_);
  struct TCase {
    int32_t mode;
    int32_t result;
    TChannel::EStreamState state;
    int32_t get;
  };
  for (const TCase c :
       {TCase{1, 1, TChannel::ssFileMode, 1}, TCase{0, 1, TChannel::ssRealTime, 0},
        TCase{1, 1, TChannel::ssFileMode, 1}, TCase{5, 0, TChannel::ssRealTime, 0}}) {
    SCOPED_TRACE(c.mode);
    log_.Clear();
    EXPECT_EQ(channel.SetStreamOpenMode(c.mode), c.result);
    EXPECT_EQ(channel.StreamState(), c.state);
    EXPECT_EQ(channel.GetStreamOpenMode(), c.get);
    EXPECT_THAT(ChannelLines(), ElementsAre("set stream mode(" + std::to_string(c.mode) +
                                                ")=" + std::to_string(c.result),
                                            "get stream mode=" + std::to_string(c.get)));
  }
}

}  // namespace
}  // namespace zrplay
