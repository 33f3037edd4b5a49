// CPU time of one live D1 view per drawn picture: streamsim (a child process, so its work is
// not counted) serves a record file in real time, the viewer's play model receives, queues
// and feeds it through the proxy module into the player library, which paces it, decodes it
// with vdec and draws into a window. All threads of this process count. Two streams: the
// clean fixture (the generator's pattern, cheap to decode, so fixed costs per picture show)
// and a typical recorder stream made once by recmake (2 Mbit/s of detail and noise, GOP 50,
// G.711). Each stream's _Baseline case decodes the same pictures with libavcodec directly,
// single-threaded, in the same run; the pipeline case reports baseline / pipeline as "ratio"
// and the CPU time per picture of each stage, told apart by thread name: "recv_us" (the
// connection thread: receive and queue), "feed_us" (the play thread: take from the queue,
// feed through the proxy into the library), "pace_us" (the library's live pacing thread:
// buffer and hand to the decoder), "vdec_us" (the decoding thread: decode, copy into the
// frame buffer, callbacks, draw), "main_us" (this thread, waiting) and "other_us"; with
// "copy_draw_us" = vdec_us - baseline as the estimate of the copy and draw step, and
// "<stage>_sleeps" and "sleeps" (all stages): the times a thread went to sleep per picture,
// each of which costs a wake.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <atomic>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <semaphore>
#include <string>
#include <thread>

#include "bench/proc_stat.h"
#include "bench/record_stream.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "tools/common/streamsim_process.h"
#include "tools/recmake/video_rate.h"
#include "viewer/pipeline/play_model.h"
#include "viewer/player/player_binding.h"

namespace {

using bench_support::ProcessCpuSeconds;
using bench_support::ThreadCpuSeconds;

// Pictures measured per pipeline run: 10 s of a 25 pictures/s stream.
constexpr int64_t kPictures = 250;
// Pictures drawn before measuring, so that the view is in its steady state.
constexpr int64_t kWarmUpPictures = 10;

// The stream files by case name; "" when one cannot be made.
std::string StreamPath(const std::string& stream) {
  if (stream == "clean") return std::string(QUVI_TEST_DATA_DIR) + "/h264_704x576_g711u.rec";
  static const std::string recorder =
      bench_support::MakeRecorderStream(RECMAKE_EXE, BENCH_DATA_DIR, 2000, 4);
  return recorder;
}

// The stage a thread's name belongs to.
std::string Stage(const std::string& thread_name) {
  if (thread_name == "main") return "main";
  if (thread_name == "view-recv") return "recv";
  if (thread_name == "view-play") return "feed";
  if (thread_name == "zrplay-bg") return "pace";
  if (thread_name.rfind("vdec", 0) == 0) return "vdec";
  return "other";
}

std::map<std::string, bench_support::TThreadFigures> StageFigures() {
  std::map<std::string, bench_support::TThreadFigures> stages;
  for (const auto& [name, figures] : bench_support::ThreadFiguresByName()) {
    stages[Stage(name)].CpuSeconds += figures.CpuSeconds;
    stages[Stage(name)].Sleeps += figures.Sleeps;
  }
  return stages;
}

std::map<std::string, double> g_baseline_us;
std::atomic<int64_t> g_drawn{0};
std::atomic<int64_t> g_target{0};
// Released once when the drawn count reaches the target: the waiting thread wakes once per
// run, not once per picture, so that its own cost stays out of the figures.
std::binary_semaphore g_reached{0};

void CountDrawn(int32_t, const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
  if (g_drawn.fetch_add(1) + 1 == g_target.load()) g_reached.release();
}

// Waits until `count` more pictures have been drawn, at most `limit`; false on time-out.
bool WaitForPictures(int64_t count, std::chrono::seconds limit) {
  g_target = g_drawn.load() + count;
  return g_reached.try_acquire_for(limit);
}

void BM_LivePath_Baseline(benchmark::State& state, const std::string& stream_name) {
  av_log_set_level(AV_LOG_ERROR);
  const std::string path = StreamPath(stream_name);
  if (path.empty()) return state.SkipWithError("the stream file cannot be made");
  const vdec::testing::TEncodedStream stream = bench_support::RecordVideo(path, 704, 576);
  int64_t pictures = 0;
  const double start = ProcessCpuSeconds();
  for (auto _ : state) {
    pictures += vdec::testing::DecodeDirectly(
        AV_CODEC_ID_H264, stream, [](const AVFrame& f) { benchmark::DoNotOptimize(f.data[0]); });
  }
  const double us = (ProcessCpuSeconds() - start) * 1e6 / static_cast<double>(pictures);
  g_baseline_us[stream_name] = us;
  state.counters["cpu_us"] = us;
  state.counters["pictures"] = static_cast<double>(pictures);
  // What the stream really carries: a recorder stream's detail must spend its bit rate.
  state.counters["video_kbit"] = recmake::RecordFileVideoKbit(path);
}

std::map<std::string, double> g_paced_us;

// The same decoding, but one picture every 40 ms as a live view must decode: what decoding
// alone costs with the caches as cold as the pipeline finds them between pictures. Reported
// beside the plain baseline ("ratio_paced"), so that the pipeline's own cost can be told from
// the price of decoding at the stream's pace.
void BM_LivePath_PacedBaseline(benchmark::State& state, const std::string& stream_name) {
  av_log_set_level(AV_LOG_ERROR);
  const std::string path = StreamPath(stream_name);
  if (path.empty()) return state.SkipWithError("the stream file cannot be made");
  vdec::testing::TEncodedStream stream = bench_support::RecordVideo(path, 704, 576);
  if (stream.frames.size() > size_t(kPictures)) stream.frames.resize(kPictures);
  int64_t pictures = 0;
  double cpu = 0;
  for (auto _ : state) {
    double started = ThreadCpuSeconds();
    pictures += vdec::testing::DecodeDirectly(AV_CODEC_ID_H264, stream, [&](const AVFrame& f) {
      benchmark::DoNotOptimize(f.data[0]);
      cpu += ThreadCpuSeconds() - started;
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
      started = ThreadCpuSeconds();
    });
  }
  if (pictures == 0) return state.SkipWithError("nothing decoded");
  const double us = cpu * 1e6 / static_cast<double>(pictures);
  g_paced_us[stream_name] = us;
  state.counters["cpu_us"] = us;
  state.counters["pictures"] = static_cast<double>(pictures);
}

void BM_LivePath(benchmark::State& state, const std::string& stream_name) {
  av_log_set_level(AV_LOG_ERROR);
  viewer::SetPlayerProxyModuleName(ZRPLAYPROXY_PATH);
  const std::string path = StreamPath(stream_name);
  if (path.empty()) return state.SkipWithError("the stream file cannot be made");
  const quvi_tools::TStreamSimProcess sim(STREAMSIM_EXE, {"--file", path, "--log", "/dev/null"});
  if (sim.Port() <= 0) return state.SkipWithError("streamsim did not start");
  const plat::HWND window = plat::CreateWindowHandle();
  plat::MoveWindow(window, 0, 0, 704, 576);
  auto model = std::make_unique<viewer::TOstraNvPreviewModel>();
  model->SetHostIP("127.0.0.1");
  model->SetHostPort(sim.Port());
  model->SetChannelNo(0);
  model->SetDVRID("1");
  model->SetLoginUser("admin");
  model->SetPassword("admin");
  model->SetPlayWnd(window);
  model->StartPlay();
  const auto finish = [&] {
    model->StopPlay();
    model.reset();
    plat::DestroyWindowHandle(window);
  };
  // The view's port is known once its stream is open; count its pictures from then on.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  viewer::TPlayer* player = nullptr;
  while ((player = model->Player()) == nullptr || !player->StreamOpened) {
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  g_target = -1;
  if (player == nullptr || !player->StreamOpened ||
      viewer::proxy::Zr_Play_SetDisplayCallBack(player->Port, &CountDrawn) != 1 ||
      !WaitForPictures(kWarmUpPictures, std::chrono::seconds(10))) {
    state.SkipWithError("the view did not draw its stream");
    finish();
    return;
  }

  const int64_t drawn_start = g_drawn.load();
  const double cpu_start = ProcessCpuSeconds();
  auto stages_start = StageFigures();
  bool drawn = true;
  for (auto _ : state) drawn = WaitForPictures(kPictures, std::chrono::seconds(kPictures / 5));
  const double cpu = ProcessCpuSeconds() - cpu_start;
  auto stages = StageFigures();
  const double pictures = static_cast<double>(g_drawn.load() - drawn_start);
  finish();
  if (!drawn) return state.SkipWithError("the view stopped drawing");

  const double us = cpu * 1e6 / pictures;
  state.counters["cpu_us"] = us;
  state.counters["pictures"] = pictures;
  double staged_us = 0;
  double sleeps = 0;
  for (const char* stage : {"recv", "feed", "pace", "vdec", "main"}) {
    // A stage's threads all live through the run: they started with the view.
    bench_support::TThreadFigures spent = stages[stage];
    spent.CpuSeconds -= stages_start[stage].CpuSeconds;
    spent.Sleeps -= stages_start[stage].Sleeps;
    state.counters[std::string(stage) + "_us"] = spent.CpuSeconds * 1e6 / pictures;
    state.counters[std::string(stage) + "_sleeps"] = spent.Sleeps / pictures;
    staged_us += spent.CpuSeconds * 1e6 / pictures;
    sleeps += spent.Sleeps;
  }
  state.counters["other_us"] = us - staged_us;
  state.counters["sleeps"] = sleeps / pictures;
  const auto baseline = g_baseline_us.find(stream_name);
  if (baseline != g_baseline_us.end()) {
    state.counters["ratio"] = baseline->second / us;
    state.counters["copy_draw_us"] = state.counters["vdec_us"] - baseline->second;
  }
  const auto paced = g_paced_us.find(stream_name);
  if (paced != g_paced_us.end()) state.counters["ratio_paced"] = paced->second / us;
}

}  // namespace

// Per stream, the baseline first: the pipeline case reads its figure.
// Baselines long enough (2000 pictures) that a burst of another program moves them little.
BENCHMARK_CAPTURE(BM_LivePath_Baseline, clean, std::string("clean"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK_CAPTURE(BM_LivePath_PacedBaseline, clean, std::string("clean"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_LivePath, clean, std::string("clean"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_LivePath_Baseline, recorder, std::string("recorder"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);
BENCHMARK_CAPTURE(BM_LivePath_PacedBaseline, recorder, std::string("recorder"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_LivePath, recorder, std::string("recorder"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
