// Decoded pictures per second through the decoding library (input buffer, decoding thread,
// decode hook) against libavcodec decoding the same bytes directly, both single-threaded,
// for a D1 and a 1080p H.264 stream made with libx264 at start-up. On a shared machine run it
// with --benchmark_enable_random_interleaving=true and repetitions, so that both sides see
// the same load.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "modules/vdec/test_stream_encoder.h"
#include "modules/vdec/vdec.h"

namespace {

using vdec::testing::TEncodedStream;

const TEncodedStream& Stream(int width, int height, int frames) {
  static std::mutex mutex;
  static std::map<int, TEncodedStream> streams;
  std::lock_guard lock(mutex);
  auto it = streams.find(width);
  if (it == streams.end()) {
    av_log_set_level(AV_LOG_ERROR);
    vdec::testing::TEncodeOptions options;
    options.key_interval = 50;
    auto stream = vdec::testing::EncodeTestStream("libx264", width, height, frames, options);
    if (!stream) {
      std::fprintf(stderr, "cannot encode the %dx%d stream with libx264\n", width, height);
      std::abort();
    }
    it = streams.emplace(width, std::move(*stream)).first;
  }
  return it->second;
}

const TEncodedStream& D1() {
  return Stream(704, 576, 200);
}
const TEncodedStream& FullHd() {
  return Stream(1920, 1080, 60);
}

// Counts the pictures the hook delivers.
class TPictureCounter {
 public:
  static void Hook(int32_t, const VDEC_DECODED_FRAME* frame, const VDEC_FRAME_INFO*, void* user) {
    auto* self = static_cast<TPictureCounter*>(user);
    benchmark::DoNotOptimize(frame->pY[0]);
    std::lock_guard lock(self->mutex_);
    ++self->count_;
    self->cv_.notify_all();
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    count_ = 0;
  }
  void WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return count_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  size_t count_ = 0;
};

void DecodeThroughVdec(benchmark::State& state, const TEncodedStream& stream) {
  int32_t port = -1;
  if (!VDEC_GetFreePort(&port)) {
    state.SkipWithError("no free port");
    return;
  }
  TPictureCounter counter;
  VDEC_SetDecodeCallBack(port, &TPictureCounter::Hook, &counter);
  // Room for the whole stream, so feeding never waits for the decoder.
  const uint32_t pool = static_cast<uint32_t>(stream.Bytes() + (1 << 20));
  for (auto _ : state) {
    counter.Reset();
    VDEC_OpenStream(port, nullptr, 0, pool);
    VDEC_Play(port, 0);
    for (const auto& frame : stream.frames) {
      if (!VDEC_InputData(port, frame.data(), static_cast<uint32_t>(frame.size()))) {
        state.SkipWithError("input refused");
        break;
      }
    }
    counter.WaitFor(stream.frames.size());
    VDEC_Stop(port);
    VDEC_CloseStream(port);
  }
  VDEC_ReleasePort(port);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(stream.frames.size()));
}

void DecodeDirectly(benchmark::State& state, const TEncodedStream& stream) {
  for (auto _ : state) {
    const int pictures = vdec::testing::DecodeDirectly(
        AV_CODEC_ID_H264, stream,
        [](const AVFrame& frame) { benchmark::DoNotOptimize(frame.data[0][0]); });
    if (pictures != static_cast<int>(stream.frames.size())) state.SkipWithError("pictures lost");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(stream.frames.size()));
}

void BM_Decode_D1(benchmark::State& state) {
  DecodeThroughVdec(state, D1());
}
void BM_Decode_D1_Baseline(benchmark::State& state) {
  DecodeDirectly(state, D1());
}
void BM_Decode_1080p(benchmark::State& state) {
  DecodeThroughVdec(state, FullHd());
}
void BM_Decode_1080p_Baseline(benchmark::State& state) {
  DecodeDirectly(state, FullHd());
}

// The library decodes on its own thread, so the rate is taken over the CPU time of the whole
// process (all threads), which a busy shared machine disturbs less than wall-clock time.
BENCHMARK(BM_Decode_D1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_D1_Baseline)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_1080p)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_1080p_Baseline)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace
