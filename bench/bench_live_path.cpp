// CPU time of one live D1 view per drawn picture: streamsim (a child process, so its work is
// not counted) serves the D1 fixture in real time, the viewer's play model receives, queues
// and feeds it through the proxy module into the player library, which decodes it with vdec
// and draws into a window. All threads of this process count. The _Baseline case decodes the
// same pictures with libavcodec directly, single-threaded, in the same run; the pipeline case
// reports baseline / pipeline as "ratio" and the CPU time per picture of the thread groups it
// can tell apart: "vdec_us" (the decoding thread: decode, copy into the frame buffer, draw)
// and "viewer_us" (connection, play and background threads: receive, queue, feed), with
// "copy_draw_us" = vdec_us - baseline as the estimate of the copy and draw step.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "bench/proc_stat.h"
#include "modules/vdec/test_stream_encoder.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "tools/common/streamsim_process.h"
#include "tools/recmake/record_file_reader.h"
#include "viewer/pipeline/play_model.h"
#include "viewer/player/player_binding.h"

namespace {

const std::string kFixture = std::string(QUVI_TEST_DATA_DIR) + "/h264_704x576_g711u.rec";

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// CPU seconds of this process's threads, by group: "vdec" (named by the decoding library),
// "main" (this thread) and "viewer" (every other).
std::map<std::string, double> ThreadCpuSeconds() {
  std::map<std::string, double> groups;
  const std::string main_tid = std::to_string(getpid());
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return groups;
  while (dirent* e = readdir(dir)) {
    const std::string tid = e->d_name;
    if (tid[0] == '.') continue;
    double seconds = 0;
    std::string name;
    if (!bench_support::ReadStatCpu("/proc/self/task/" + tid + "/stat", &seconds, &name)) continue;
    const std::string group =
        tid == main_tid ? "main" : (name.rfind("vdec", 0) == 0 ? "vdec" : "viewer");
    groups[group] += seconds;
  }
  closedir(dir);
  return groups;
}

vdec::testing::TEncodedStream FixtureVideo() {
  std::ifstream in(kFixture, std::ios::binary);
  recmake::TRecordFileReader reader(in);
  vdec::testing::TEncodedStream stream;
  recmake::TRecordFrame frame;
  while (reader.Next(frame) == recmake::TRecordFileReader::EResult::Frame)
    if (frame.IsVideo()) stream.frames.push_back(frame.Payload);
  stream.width = 704;
  stream.height = 576;
  return stream;
}

std::atomic<double> g_baseline_us{0};
std::atomic<int64_t> g_drawn{0};

void CountDrawn(int32_t, const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
  g_drawn.fetch_add(1);
  g_drawn.notify_all();
}

void BM_LivePath_Baseline(benchmark::State& state) {
  av_log_set_level(AV_LOG_ERROR);
  const vdec::testing::TEncodedStream stream = FixtureVideo();
  int64_t pictures = 0;
  const double start = ProcessCpuSeconds();
  for (auto _ : state) {
    pictures += vdec::testing::DecodeDirectly(
        AV_CODEC_ID_H264, stream, [](const AVFrame& f) { benchmark::DoNotOptimize(f.data[0]); });
  }
  const double us = (ProcessCpuSeconds() - start) * 1e6 / static_cast<double>(pictures);
  g_baseline_us = us;
  state.counters["cpu_us"] = us;
  state.counters["pictures"] = static_cast<double>(pictures);
}

void BM_LivePath(benchmark::State& state) {
  av_log_set_level(AV_LOG_ERROR);
  viewer::SetPlayerProxyModuleName(ZRPLAYPROXY_PATH);
  const quvi_tools::TStreamSimProcess sim(STREAMSIM_EXE,
                                          {"--file", kFixture, "--log", "/dev/null"});
  if (sim.Port() <= 0) {
    state.SkipWithError("streamsim did not start");
    return;
  }
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
  // The view's port is known once its stream is open; count its pictures from then on.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  viewer::TPlayer* player = nullptr;
  while ((player = model->Player()) == nullptr || !player->StreamOpened) {
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (player == nullptr || !player->StreamOpened ||
      viewer::proxy::Zr_Play_SetDisplayCallBack(player->Port, &CountDrawn) != 1) {
    state.SkipWithError("the view did not open its stream");
    model.reset();
    plat::DestroyWindowHandle(window);
    return;
  }
  // Steady state first: a few pictures drawn.
  while (g_drawn.load() < 10) g_drawn.wait(g_drawn.load());

  const int64_t drawn_start = g_drawn.load();
  const double cpu_start = ProcessCpuSeconds();
  const auto threads_start = ThreadCpuSeconds();
  for (auto _ : state) {
    const int64_t seen = g_drawn.load();
    g_drawn.wait(seen);
  }
  const double cpu = ProcessCpuSeconds() - cpu_start;
  auto threads = ThreadCpuSeconds();
  const double pictures = static_cast<double>(g_drawn.load() - drawn_start);
  model->StopPlay();
  model.reset();
  plat::DestroyWindowHandle(window);

  const double us = cpu * 1e6 / pictures;
  state.counters["cpu_us"] = us;
  state.counters["pictures"] = pictures;
  for (const char* group : {"vdec", "viewer", "main"})
    state.counters[std::string(group) + "_us"] =
        (threads[group] - threads_start.at(group)) * 1e6 / pictures;
  if (g_baseline_us > 0) {
    state.counters["ratio"] = g_baseline_us / us;
    state.counters["copy_draw_us"] = state.counters["vdec_us"] - g_baseline_us;
  }
}

}  // namespace

BENCHMARK(BM_LivePath_Baseline)->Unit(benchmark::kMillisecond)->Iterations(5);
// Each iteration is one drawn picture of a 25 pictures/s stream.
BENCHMARK(BM_LivePath)->Unit(benchmark::kMillisecond)->Iterations(150);
