// Record file play through a real channel over the vendor decoder, D1 H.264 at 25 frames per
// second with a key frame every 25: the 4 s fixture with G.711 audio (no_audio:0) and a 10 s
// file made here without audio (no_audio:1).
// - BM_FilePlay_D1 (level:4): pictures per second at the decode callback while the whole file
//   plays at speed level 4, against the ideal 16 x the file's frame rate. Target: ratio at
//   least 0.95.
// - BM_FileSeek_D1 / BM_FileSeek_D1_Baseline: from SetPlayedPos to the target picture at the
//   decode callback (the channel shows the key frame at or before the target and plays on at
//   level 4), against decoding the same key frame and the frames after it up to the target
//   with libavcodec directly. Target: baseline time / seek time at least 0.9. The seek's
//   own picture (the key frame) is the key_ms counter on both sides; the frames after it
//   come at the level 4 pace (round(40 ms / 16) = 2 ms apart), which bounds the seek time.
// Channel cases use manual (wall clock) time; run with repetitions on a shared machine.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "modules/vdec/test_stream_encoder.h"
#include "player/channel/channel.h"
#include "player/channel/frame_head.h"
#include "player/channel/speed_ladder.h"
#include "player/config/player_settings.h"
#include "player/record/file_reader.h"
#include "tools/recmake/record_file_writer.h"
#include "tools/recmake/stream_generator.h"

namespace zrplay {
namespace {

using TClock = std::chrono::steady_clock;
using vdec::testing::TEncodedStream;

constexpr int32_t kPort = 3;
constexpr double kFrameRate = 25;
constexpr auto kPatience = std::chrono::seconds(30);

// A D1 H.264 record file without audio, made once per run with the stream generator, 10 s
// at 25 frames per second with a key frame every 25; removed at exit.
class TVideoOnlyFile {
 public:
  TVideoOnlyFile() : path_("/tmp/bench_file_play_" + std::to_string(getpid()) + ".rec") {
    try {
      recmake::TGeneratorOptions g;
      g.Audio.reset();
      g.DurationSec = 10;
      g.StartUs = int64_t{1733819400} * 1000000;
      g.Video.Gop = 25;
      g.Video.BitrateKbit = 160;
      g.Video.Threads = 1;
      recmake::TStreamGenerator source(g);
      recmake::TRecordFileWriter writer(path_);
      for (recmake::TRecordFrame f; source.Next(f);) writer.Write(f);
      writer.Close();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "cannot make the video-only D1 file: %s\n", e.what());
      std::abort();
    }
  }
  ~TVideoOnlyFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// File 0: the fixture, audio frames between the pictures (40 ms G.711 mu-law); file 1: the
// generated one without audio.
std::string FilePath(int64_t which) {
  if (which == 0) return std::string(QUVI_TEST_DATA_DIR) + "/h264_704x576_g711u.rec";
  static const TVideoOnlyFile file;
  return file.Path();
}

// Counts the pictures at the channel's decode callback and keeps the time of the last one.
// The callback runs on the decoder's thread; the benchmark waits on the main thread.
class TPictureCounter {
 public:
  static void Callback(int32_t, const char*, int32_t, const ZR_FRAME_INFO*, ZR_USER user, int32_t) {
    auto* self = reinterpret_cast<TPictureCounter*>(user);
    const TClock::time_point now = TClock::now();
    std::lock_guard lock(self->lock_);
    if (self->count_ == 0) self->first_ = now;
    if (self->count_ == 1) self->second_ = now;
    ++self->count_;
    self->last_ = now;
    self->cv_.notify_all();
  }
  void Reset() {
    std::lock_guard lock(lock_);
    count_ = 0;
  }
  // Waits until count pictures arrived since Reset; the times of the first and last one.
  bool WaitFor(int count, TClock::time_point& first, TClock::time_point& last) {
    std::unique_lock lock(lock_);
    if (!cv_.wait_for(lock, kPatience, [&] { return count_ >= count; })) return false;
    first = first_;
    last = last_;
    return true;
  }
  TClock::time_point Second() {
    std::lock_guard lock(lock_);
    return second_;
  }
  int Count() {
    std::lock_guard lock(lock_);
    return count_;
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  int count_ = 0;
  TClock::time_point first_, second_, last_;
};

// A real channel over the vendor decoder with the fixture open and indexed, playing without
// a window at speed level 4, video only, paused.
class TPlayingChannel {
 public:
  explicit TPlayingChannel(const std::string& path, int32_t level = 4) {
    if (!VendorVideoDecoder().GetFreePort(vendor_port_)) return;
    channel_ = std::make_unique<TChannel>(kPort, vendor_port_);
    if (channel_->OpenFile(path.c_str()) != 1) return;
    for (auto start = TClock::now(); channel_->BuildingIndex();) {
      if (TClock::now() - start > kPatience) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    channel_->SetDecCBStream(1);
    channel_->SetDecCallBackEx(&TPictureCounter::Callback, reinterpret_cast<ZR_USER>(&counter_));
    if (channel_->Play(0) != 1) return;
    // Play starts at level 4 when a decode callback is set: from 0 up as a caller would.
    channel_->SetPlaySpeed(channel_->SpeedLevel(), 0);
    for (int i = 0; i < level; ++i) channel_->Fast();
    ok_ = channel_->SpeedLevel() == level;
  }
  ~TPlayingChannel() {
    if (channel_) channel_->Stop();
    channel_.reset();
    if (vendor_port_ >= 0) VendorVideoDecoder().ReleasePort(vendor_port_);
  }
  bool Ok() const { return ok_; }
  TChannel& Channel() { return *channel_; }
  TPictureCounter& Counter() { return counter_; }

  // Pauses and waits until no picture has come for a while, so later counts start clean.
  void PauseQuietly() {
    channel_->Pause(1);
    for (int seen = -1; seen != counter_.Count();) {
      seen = counter_.Count();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

 private:
  int32_t vendor_port_ = -1;
  std::unique_ptr<TChannel> channel_;
  TPictureCounter counter_;
  bool ok_ = false;
};

// Video frames among entries first..last of the file.
int VideoFrames(const TFileReader& reader, int first, int last) {
  int n = 0;
  for (int i = first; i <= last; ++i) n += reader.FrameType(i) != kFrameTypeAudio ? 1 : 0;
  return n;
}

void BM_FilePlay_D1(benchmark::State& state) {
  av_log_set_level(AV_LOG_ERROR);
  const auto level = static_cast<int32_t>(state.range(1));
  TPlayingChannel play(FilePath(state.range(0)), level);
  if (!play.Ok()) return state.SkipWithError("the fixture does not play through a channel");
  const std::shared_ptr<TFileReader> reader = play.Channel().FileReader();
  const int count = reader->FrameCount();
  const int videos = VideoFrames(*reader, 0, count - 1);
  double seconds = 0;
  int64_t shown = 0;
  for (auto _ : state) {
    play.PauseQuietly();
    // The seek shows frame 0 while paused; the play steps then show every frame from 0.
    play.Counter().Reset();
    play.Channel().SetCurrFrameNum(0);
    play.Channel().Pause(0);
    TClock::time_point first, last;
    if (!play.Counter().WaitFor(videos + 1, first, last)) {
      state.SkipWithError("not every picture reached the decode callback");
      break;
    }
    // From the first picture of the steps to the last: videos - 1 intervals.
    first = play.Counter().Second();
    const double elapsed = std::chrono::duration<double>(last - first).count();
    state.SetIterationTime(elapsed);
    seconds += elapsed;
    shown += videos - 1;
  }
  const double fps = seconds > 0 ? static_cast<double>(shown) / seconds : 0;
  const double ideal = kFrameRate / static_cast<double>(RecordFileDelayFactor(level));
  state.counters["fps"] = fps;
  state.counters["ideal_fps"] = ideal;
  state.counters["ratio"] = fps / ideal;
}

// The seek target: the last video frame before the second key frame, so the key frame and
// the most frames after it are decoded. Its entry, its key frame's entry and the position.
struct TSeekTarget {
  int target = -1;
  int key = -1;
  double position = 0;
};

TSeekTarget FindSeekTarget(const TFileReader& reader) {
  TSeekTarget t;
  const int count = reader.FrameCount();
  int keys = 0;
  for (int i = 0; i < count && keys < 2; ++i) {
    if (reader.IsKeyFrame(i) && ++keys == 2) {
      for (int j = i - 1; j >= 0; --j) {
        if (reader.FrameType(j) != kFrameTypeAudio) {
          t.target = j;
          break;
        }
      }
    }
  }
  if (t.target < 0) return t;
  t.key = reader.NearestKeyFrame(t.target);
  // SetPlayedPos rounds count x position (as a float) to the nearest entry.
  t.position = (t.target + 0.25) / count;
  return t;
}

void BM_FileSeek_D1(benchmark::State& state) {
  av_log_set_level(AV_LOG_ERROR);
  TPlayingChannel play(FilePath(state.range(0)));
  if (!play.Ok()) return state.SkipWithError("the fixture does not play through a channel");
  const std::shared_ptr<TFileReader> reader = play.Channel().FileReader();
  const TSeekTarget t = FindSeekTarget(*reader);
  if (t.target < 0) return state.SkipWithError("no frame to seek to");
  // The key frame is shown by the seek and again by the first play step.
  const int pictures = VideoFrames(*reader, t.key, t.target) + 1;
  double key_seconds = 0;
  for (auto _ : state) {
    play.PauseQuietly();
    play.Counter().Reset();
    const TClock::time_point start = TClock::now();
    play.Channel().SetPlayedPos(t.position);
    play.Channel().Pause(0);
    TClock::time_point first, last;
    if (!play.Counter().WaitFor(pictures, first, last)) {
      state.SkipWithError("the target picture did not reach the decode callback");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(last - start).count());
    key_seconds += std::chrono::duration<double>(first - start).count();
  }
  state.counters["pictures"] = VideoFrames(*reader, t.key, t.target);
  // From SetPlayedPos to the key frame's picture, the one the seek itself shows.
  state.counters["key_ms"] =
      benchmark::Counter(key_seconds * 1000, benchmark::Counter::kAvgIterations);
}

void BM_FileSeek_D1_Baseline(benchmark::State& state) {
  av_log_set_level(AV_LOG_ERROR);
  TFileReader reader;
  if (!reader.Open(FilePath(state.range(0))) || !reader.BuildIndex()) {
    return state.SkipWithError("the fixture cannot be read");
  }
  const TSeekTarget t = FindSeekTarget(reader);
  if (t.target < 0) return state.SkipWithError("no frame to seek to");
  std::vector<uint8_t> block;
  auto read_stream = [&] {
    TEncodedStream stream;
    stream.width = 704;
    stream.height = 576;
    for (int i = t.key; i <= t.target; ++i) {
      if (reader.FrameType(i) == kFrameTypeAudio) continue;
      block.resize(static_cast<size_t>(reader.FrameSize(i)));
      if (!reader.ReadFrame(block.data(), i)) return stream;
      const TFrameHead head = ReadFrameHead(block.data());
      stream.frames.emplace_back(block.begin() + kFrameHeadSize,
                                 block.begin() + kFrameHeadSize + head.PayloadLength);
    }
    return stream;
  };
  for (auto _ : state) {
    // Reading the frames is part of the seek on both sides.
    const TClock::time_point start = TClock::now();
    const TEncodedStream stream = read_stream();
    const int decoded = vdec::testing::DecodeDirectly(
        AV_CODEC_ID_H264, stream, [](const AVFrame& f) { benchmark::DoNotOptimize(f.data[0]); });
    state.SetIterationTime(std::chrono::duration<double>(TClock::now() - start).count());
    if (decoded != static_cast<int>(stream.frames.size())) {
      return state.SkipWithError("libavcodec did not decode every frame");
    }
  }
  // The key frame alone, read and decoded: what the seek itself shows (the channel's key_ms).
  double key_seconds = 0;
  constexpr int kKeyRuns = 20;
  for (int i = 0; i < kKeyRuns; ++i) {
    const TClock::time_point start = TClock::now();
    TEncodedStream stream = read_stream();
    stream.frames.resize(1);
    vdec::testing::DecodeDirectly(AV_CODEC_ID_H264, stream,
                                  [](const AVFrame& f) { benchmark::DoNotOptimize(f.data[0]); });
    key_seconds += std::chrono::duration<double>(TClock::now() - start).count();
  }
  state.counters["pictures"] = VideoFrames(reader, t.key, t.target);
  state.counters["key_ms"] = key_seconds * 1000 / kKeyRuns;
}

}  // namespace
}  // namespace zrplay

// Level 4 is the target case; level 0 (real time, one pass each) shows the pacing itself.
BENCHMARK(zrplay::BM_FilePlay_D1)
    ->ArgNames({"no_audio", "level"})
    ->Args({0, 4})
    ->Args({1, 4})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(zrplay::BM_FilePlay_D1)
    ->ArgNames({"no_audio", "level"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(zrplay::BM_FileSeek_D1_Baseline)
    ->ArgName("no_audio")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(zrplay::BM_FileSeek_D1)
    ->ArgName("no_audio")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
