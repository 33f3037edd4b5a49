// TSoundPlayer over sinks that record what they get: frames handed on in order, a paced sink
// that stalls never holding the caller up (frames beyond the queue are dropped and counted),
// format changes reopening the sink, and the WAV file holding exactly what was played.
#include "modules/qeldsound/sound_player.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "tests/support/audio_measure.h"
#include "tests/support/test_files.h"

namespace qelsound {
namespace {

// Records every open and write. A paced one can be stalled: its writes wait until released.
class TRecordingSink final : public TSoundSink {
 public:
  struct TState {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Stalled = false;
    int Waiting = 0;  // writes waiting for the release
    std::vector<TSoundFormat> Opened;
    std::vector<std::vector<uint8_t>> Written;
  };

  TRecordingSink(TState& state, bool paced) : state_(state), paced_(paced) {}
  bool Paced() const override { return paced_; }
  bool Open(const TSoundFormat& format) override {
    std::lock_guard lock(state_.Lock);
    state_.Opened.push_back(format);
    return true;
  }
  bool Write(const uint8_t* data, size_t size) override {
    std::unique_lock lock(state_.Lock);
    ++state_.Waiting;
    state_.Changed.notify_all();
    state_.Changed.wait(lock, [&] { return !state_.Stalled; });
    --state_.Waiting;
    state_.Written.emplace_back(data, data + size);
    state_.Changed.notify_all();
    return true;
  }

 private:
  TState& state_;
  bool paced_;
};

std::vector<uint8_t> Frame(size_t size, uint8_t first) {
  std::vector<uint8_t> f(size);
  for (size_t i = 0; i < size; ++i) f[i] = static_cast<uint8_t>(first + i);
  return f;
}

constexpr TSoundFormat kMono8k{1, 16, 8000};
constexpr size_t kFrame40ms = 640;  // 40 ms of 16-bit mono at 8000 Hz

TEST(SoundPlayerTest, RefusesWithoutAFormatAndBadFormatsAndTrimsPartSampleFrames) {
  TRecordingSink::TState state;
  TSoundPlayer player(std::make_unique<TRecordingSink>(state, false), "", 200);
  const auto f = Frame(kFrame40ms, 0);
  EXPECT_EQ(player.Play(f.data(), f.size()), TSoundPlayer::EPlay::Refused);
  for (const TSoundFormat& bad :
       {TSoundFormat{0, 16, 8000}, TSoundFormat{9, 16, 8000}, TSoundFormat{1, 12, 8000},
        TSoundFormat{1, 16, 999}, TSoundFormat{2, 8, 192001}}) {
    EXPECT_FALSE(player.SetFormat(bad));
  }
  EXPECT_EQ(player.Play(f.data(), f.size()), TSoundPlayer::EPlay::Refused);
  ASSERT_TRUE(player.SetFormat({2, 16, 8000}));
  EXPECT_EQ(player.Play(f.data(), 3), TSoundPlayer::EPlay::Refused);
  EXPECT_EQ(player.Play(nullptr, 8), TSoundPlayer::EPlay::Refused);
  EXPECT_EQ(player.Play(f.data(), 10), TSoundPlayer::EPlay::Played);
  ASSERT_EQ(state.Written.size(), 1u);
  EXPECT_EQ(state.Written[0], std::vector<uint8_t>(f.begin(), f.begin() + 8));
}

TEST(SoundPlayerTest, AnUnpacedSinkGetsEveryFrameInOrderAndTheWavFileHoldsThem) {
  quvi_test::TTempDir dir("qeldsound");
  const std::string wav = dir.Path("out.wav");
  TRecordingSink::TState state;
  {
    TSoundPlayer player(std::make_unique<TRecordingSink>(state, false), wav, 200);
    ASSERT_TRUE(player.SetFormat(kMono8k));
    for (int i = 0; i < 50; ++i) {
      const auto f = Frame(kFrame40ms, static_cast<uint8_t>(i));
      ASSERT_EQ(player.Play(f.data(), f.size()), TSoundPlayer::EPlay::Played);
    }
    EXPECT_EQ(player.DroppedFrames(), 0u);
    EXPECT_EQ(player.PlayedBytes(), 50 * kFrame40ms);
    // The header is current while the file grows.
    const quvi_test::TWav growing = quvi_test::ReadWav(wav);
    EXPECT_EQ(growing.DeclaredDataBytes, 50 * kFrame40ms);
  }
  ASSERT_EQ(state.Written.size(), 50u);
  EXPECT_EQ(state.Opened, std::vector<TSoundFormat>{kMono8k});
  std::vector<uint8_t> all;
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(state.Written[i], Frame(kFrame40ms, static_cast<uint8_t>(i)));
    all.insert(all.end(), state.Written[i].begin(), state.Written[i].end());
  }
  const quvi_test::TWav w = quvi_test::ReadWav(wav);
  ASSERT_TRUE(w.Ok);
  EXPECT_EQ(w.Channels, 1);
  EXPECT_EQ(w.Bits, 16);
  EXPECT_EQ(w.SampleRate, 8000);
  EXPECT_EQ(w.DeclaredDataBytes, all.size());
  EXPECT_EQ(w.Data, all);
}

TEST(SoundPlayerTest, AFormatChangeReopensTheSinkAndLeavesTheWavFileInItsFirstFormat) {
  quvi_test::TTempDir dir("qeldsound");
  const std::string wav = dir.Path("out.wav");
  TRecordingSink::TState state;
  {
    TSoundPlayer player(std::make_unique<TRecordingSink>(state, false), wav, 200);
    const auto f = Frame(kFrame40ms, 7);
    ASSERT_TRUE(player.SetFormat(kMono8k));
    player.Play(f.data(), f.size());
    ASSERT_TRUE(player.SetFormat({2, 16, 16000}));
    player.Play(f.data(), f.size());
    ASSERT_TRUE(player.SetFormat(kMono8k));
    player.Play(f.data(), f.size());
  }
  EXPECT_EQ(state.Opened,
            (std::vector<TSoundFormat>{kMono8k, TSoundFormat{2, 16, 16000}, kMono8k}));
  EXPECT_EQ(state.Written.size(), 3u);
  const quvi_test::TWav w = quvi_test::ReadWav(wav);
  EXPECT_EQ(w.Channels, 1);
  EXPECT_EQ(w.SampleRate, 8000);
  EXPECT_EQ(w.Data.size(), 2 * kFrame40ms);
}

TEST(SoundPlayerTest, AStalledPacedSinkNeverHoldsTheCallerUpAndFramesBeyondTheQueueDrop) {
  quvi_test::TTempDir dir("qeldsound");
  const std::string wav = dir.Path("out.wav");
  TRecordingSink::TState state;
  state.Stalled = true;
  {
    // 200 ms of queue: five 40 ms frames, the one at the device included.
    TSoundPlayer player(std::make_unique<TRecordingSink>(state, true), wav, 200);
    ASSERT_TRUE(player.SetFormat(kMono8k));
    std::vector<TSoundPlayer::EPlay> results;
    const auto first = Frame(kFrame40ms, 0);
    results.push_back(player.Play(first.data(), first.size()));
    {
      // The output thread has the first frame at the stalled device.
      std::unique_lock lock(state.Lock);
      state.Changed.wait(lock, [&] { return state.Waiting == 1; });
    }
    // Each call returns although the device takes nothing.
    for (int i = 1; i < 12; ++i) {
      const auto f = Frame(kFrame40ms, static_cast<uint8_t>(i));
      results.push_back(player.Play(f.data(), f.size()));
    }
    using E = TSoundPlayer::EPlay;
    EXPECT_EQ(results, (std::vector<E>{E::Played, E::Played, E::Played, E::Played, E::Played,
                                       E::Dropped, E::Dropped, E::Dropped, E::Dropped, E::Dropped,
                                       E::Dropped, E::Dropped}));
    EXPECT_EQ(player.DroppedFrames(), 7u);
    {
      std::unique_lock lock(state.Lock);
      state.Stalled = false;
      state.Changed.notify_all();
      state.Changed.wait(lock, [&] { return state.Written.size() == 5; });
    }
    // With room again, frames are taken again.
    const auto later = Frame(kFrame40ms, 99);
    EXPECT_EQ(player.Play(later.data(), later.size()), E::Played);
    std::unique_lock lock(state.Lock);
    state.Changed.wait(lock, [&] { return state.Written.size() == 6; });
  }
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(state.Written[i], Frame(kFrame40ms, static_cast<uint8_t>(i)));
  }
  EXPECT_EQ(state.Written[5], Frame(kFrame40ms, 99));
  // The file holds what was played, not what was dropped.
  EXPECT_EQ(quvi_test::ReadWav(wav).Data.size(), 6 * kFrame40ms);
}

}  // namespace
}  // namespace qelsound
