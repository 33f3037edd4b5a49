// The channel's pace: the speed ladder, pause, and single-stepping buffered live frames,
// against a decoder that records what it is given.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "player/channel/channel.h"
#include "player/channel/speed_ladder.h"
#include "player/channel/test_channel_support.h"
#include "player/channel/test_play_clock.h"

namespace zrplay {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kPrefix = "ch3(1)-->";

TEST(SpeedLadderTest, EachLevelHasItsLiveAndRecordFileDelayFactor) {
  struct TCase {
    int32_t level;
    float live, file;
  };
  for (const TCase c :
       {TCase{-5, 0, 1}, TCase{-4, 16, 16}, TCase{-3, 8, 8}, TCase{-2, 4, 4}, TCase{-1, 2, 2},
        TCase{0, 1, 1}, TCase{1, 0.5f, 0.5f}, TCase{2, 0.25f, 0.25f}, TCase{3, 0.125f, 0.125f},
        TCase{4, 0, 0.0625f}, TCase{5, 0, 1}, TCase{7, 0, 1}}) {
    SCOPED_TRACE(c.level);
    EXPECT_EQ(LiveDelayFactor(c.level), c.live);
    EXPECT_EQ(RecordFileDelayFactor(c.level), c.file);
  }
}

class ChannelControlTest : public ::testing::Test {
 protected:
  std::unique_ptr<TChannel> MakeChannel(bool buffered) {
    PlayerSettings.EnableBufferOnLive = buffered;
    auto channel = std::make_unique<TChannel>(3, 1, decoder_);
    channel->SetTickSource(&TPlayClock::Now);
    return channel;
  }
  int32_t Input(TChannel& channel, const TBlockSpec& desc) {
    const std::vector<uint8_t> block = MakeBlock(desc);
    return channel.InputData(block.data(), static_cast<int32_t>(block.size()));
  }

  TSettingsScope settings_;
  TFakeVideoDecoder decoder_;
  TLogLines log_;
  TPlayClock clock_;
};

TEST_F(ChannelControlTest, FastAndSlowClimbTheLadderAndStopAtItsEnds) {
  auto channel = MakeChannel(false);
  log_.Clear();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(channel->Fast(), 1);
  EXPECT_EQ(channel->SpeedLevel(), 4);
  EXPECT_EQ(channel->LiveFactor(), 0.0f);
  EXPECT_EQ(decoder_.FastCalls, 4);  // none the fifth time
  EXPECT_THAT(log_.LinesAfter(kPrefix), ElementsAre("fast=1, speed=1", "fast=1, speed=2",
                                                    "fast=1, speed=3", "fast=1, speed=4"));

  log_.Clear();
  for (int i = 0; i < 9; ++i) EXPECT_EQ(channel->Slow(), 1);
  EXPECT_EQ(channel->SpeedLevel(), -4);
  EXPECT_EQ(channel->LiveFactor(), 16.0f);
  EXPECT_EQ(decoder_.SlowCalls, 8);
  EXPECT_EQ(log_.LinesAfter(kPrefix).back(), "set slow=1, speed=-4");
  log_.Clear();
  EXPECT_EQ(channel->Slow(), 1);
  EXPECT_EQ(decoder_.SlowCalls, 8);
  EXPECT_THAT(log_.Lines(), IsEmpty());
}

TEST_F(ChannelControlTest, SetPlaySpeedTakesAnyLevelAndIgnoresNoChange) {
  auto channel = MakeChannel(false);
  channel->SetPlaySpeed(0, 2);
  log_.Clear();
  EXPECT_EQ(channel->SetPlaySpeed(2, 2), 1);
  EXPECT_THAT(log_.Lines(), IsEmpty());
  EXPECT_EQ(channel->LiveFactor(), 0.25f);

  EXPECT_EQ(channel->SetPlaySpeed(0, 7), 1);
  EXPECT_EQ(channel->SpeedLevel(), 7);
  EXPECT_EQ(channel->LiveFactor(), 0.0f);
  EXPECT_THAT(log_.LinesAfter(kPrefix), ElementsAre("set play speed(old=0, new=7)=1"));
  EXPECT_EQ(decoder_.FastCalls + decoder_.SlowCalls, 0);
  // From 7 (off the ladder) one step slower is 6, still without a live delay.
  channel->Slow();
  EXPECT_EQ(channel->SpeedLevel(), 6);
  EXPECT_EQ(channel->LiveFactor(), 0.0f);
}

TEST_F(ChannelControlTest, PauseSetsTheFlagEndsSingleStepAndLogsTheLowSevenBits) {
  auto channel = MakeChannel(true);
  ASSERT_EQ(channel->Play(0), 1);
  channel->OneByOneForward();
  ASSERT_TRUE(channel->SingleStep());
  log_.Clear();
  EXPECT_EQ(channel->Pause(0x81), 1);
  EXPECT_TRUE(channel->Paused());
  EXPECT_FALSE(channel->SingleStep());
  EXPECT_EQ(channel->Pause(0), 1);
  EXPECT_FALSE(channel->Paused());
  EXPECT_THAT(log_.LinesAfter(kPrefix), ElementsAre("pause(1)=1", "pause(0)=1"));
  // Fast and Slow end single-stepping too; Play clears pause.
  channel->OneByOneForward();
  channel->Fast();
  EXPECT_FALSE(channel->SingleStep());
  EXPECT_TRUE(channel->Paused());
  ASSERT_EQ(channel->Play(0), 1);
  EXPECT_FALSE(channel->Paused());
}

TEST_F(ChannelControlTest, TheFirstBufferedFramesPassTheShowGateBeforeAnyListExists) {
  auto channel = MakeChannel(true);
  ASSERT_EQ(channel->Play(0), 1);
  clock_.Set(1000);
  log_.Clear();
  const TBlockSpec first{.type = 2};
  EXPECT_EQ(Input(*channel, first), 1);
  EXPECT_EQ(decoder_.Inputs().size(), 1u);
  EXPECT_FALSE(channel->FrameListExists());
  EXPECT_THAT(log_.LinesAfter(kPrefix), ElementsAre("can play, first frame"));
  // 40 ms later by its capture time but no time has passed: it has to wait in the list.
  channel->Pause(1);  // keeps the background thread from feeding it
  EXPECT_EQ(Input(*channel, At(first, 40)), 1);
  EXPECT_EQ(decoder_.Inputs().size(), 1u);
  EXPECT_TRUE(channel->FrameListExists());
  EXPECT_EQ(channel->BufferedFrameCount(), 1u);
}

TEST_F(ChannelControlTest, LiveSingleStepLetsExactlyOneBufferedFrameThroughPerCall) {
  auto channel = MakeChannel(true);
  ASSERT_EQ(channel->Play(0), 1);
  clock_.Set(5000);  // the clock stands still: the show gate lets nothing through by itself
  const TBlockSpec first{.type = 2};
  ASSERT_EQ(Input(*channel, first), 1);  // through the gate at once
  channel->Pause(1);
  for (int i = 1; i <= 5; ++i) ASSERT_EQ(Input(*channel, At(first, 40 * i)), 1);
  ASSERT_EQ(decoder_.Inputs().size(), 1u);

  for (size_t step = 1; step <= 3; ++step) {
    SCOPED_TRACE(step);
    log_.Clear();
    EXPECT_EQ(channel->OneByOneForward(), 0);
    EXPECT_THAT(log_.LinesAfter(kPrefix), ElementsAre("one by one=0"));
    EXPECT_TRUE(channel->Paused());
    ASSERT_TRUE(TPlayClock::WaitUntil([&] { return decoder_.Inputs().size() == 1 + step; }));
    TPlayClock::WaitSteps(*channel);
    EXPECT_EQ(decoder_.Inputs().size(), 1 + step);
  }
  // They went in capture order: the last one fed is the third of the list.
  EXPECT_EQ(channel->Timing().LastFrameTime(), UnixToDateTime(first.seconds, 120000));
}

TEST_F(ChannelControlTest, ArrivalsDoNotWakeAPlayThreadWaitingForAnEarlierFrame) {
  auto channel = MakeChannel(true);
  ASSERT_EQ(channel->Play(0), 1);
  clock_.Set(5000);  // the clock stands still: the second frame never becomes due
  const TBlockSpec first{.type = 2};
  ASSERT_EQ(Input(*channel, first), 1);  // through the gate at once
  ASSERT_EQ(Input(*channel, At(first, 40)), 1);
  ASSERT_TRUE(TPlayClock::WaitSteps(*channel));
  // The thread looks at the waiting frame when it is due (40 ms from the last shown, by the
  // clock that stands still) or every kLiveIdleWaitMs; frames arriving behind it cannot go
  // first, so they must not wake it one by one (that would be a step each).
  const uint64_t steps_before = channel->PlaySteps();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 2; i <= 9; ++i) {
    ASSERT_EQ(Input(*channel, At(first, 40 * i)), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  EXPECT_LE(channel->PlaySteps() - steps_before,
            static_cast<uint64_t>(ms) / std::min<uint32_t>(40, TChannel::kLiveIdleWaitMs) + 2);
  EXPECT_EQ(decoder_.Inputs().size(), 1u);
}

}  // namespace
}  // namespace zrplay
