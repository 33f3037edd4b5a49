// How long stopping a live view takes: a preview model plays the stream server's generated
// pattern and tone in real time through the real proxy module into a window, and StopPlay is
// timed once the pictures arrive. The proxy forwards to the recording stand-in of the player
// library (the player library's exports are not part of this measurement). 50 starts and stops; the
// program ends with "stop ms: median M p95 P max X" over them. The baseline stops a view that is
// still trying to connect to a port nobody listens on (no stream, no player opened).
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/messages.h"
#include "tools/streamsim/test_support.h"
#include "viewer/pipeline/play_model.h"
#include "viewer/player/player_binding.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 50;

// Stop times of the playing view, in milliseconds.
std::vector<double> g_stop_ms;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// A preview model of channel 1 with a play window, counting the video-arriving statuses.
class TView {
 public:
  explicit TView(int port) : window_(plat::CreateWindowHandle()) {
    model_.SetHostIP("127.0.0.1");
    model_.SetHostPort(port);
    model_.SetChannelNo(1);
    model_.SetDVRID("7");
    model_.SetLoginUser("admin");
    model_.SetPassword("admin");
    model_.SetPlayWnd(window_);
    model_.SetConnectTimeout(2000);
    model_.SetReadTimeout(5000);
    model_.OnStatus = [this](int32_t code) {
      if (code == -6) ++pictures_;
    };
  }
  ~TView() {
    model_.StopPlay();
    plat::DestroyWindowHandle(window_);
  }

  // Starts and waits until the player opened the stream and three pictures came; false
  // when that did not happen within 10 s.
  bool StartPlaying() {
    pictures_ = 0;
    model_.StartPlay();
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (pictures_ < 3 || !model_.IsPlayingStatus()) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Let the decoder get going, as in a view someone watches.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return true;
  }
  void Start() { model_.StartPlay(); }
  Clock::duration TimedStop() {
    const auto start = Clock::now();
    model_.StopPlay();
    return Clock::now() - start;
  }

 private:
  plat::HWND window_;
  viewer::TOstraNvPreviewModel model_;
  std::atomic<int> pictures_{0};
};

void BM_ViewStop(benchmark::State& state) {
  streamsim::TServerOptions options;  // generated pattern and tone, paced in real time
  streamsim::test::TRunningServer server(options);
  TView view(server.Port());
  for (auto _ : state) {
    if (!view.StartPlaying()) {
      state.SkipWithError("the view did not start playing");
      break;
    }
    const Clock::duration took = view.TimedStop();
    g_stop_ms.push_back(Milliseconds(took));
    state.SetIterationTime(std::chrono::duration<double>(took).count());
  }
}
BENCHMARK(BM_ViewStop)->Iterations(kRuns)->UseManualTime()->Unit(benchmark::kMillisecond);

// A port that refuses connections: the view only ever attempts to connect.
int RefusingPort() {
  streamsim::test::TRunningServer server{streamsim::TServerOptions{}};
  const int port = server.Port();
  server.Stop();
  return port;
}

void BM_ViewStop_Baseline(benchmark::State& state) {
  TView view(RefusingPort());
  for (auto _ : state) {
    view.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    state.SetIterationTime(std::chrono::duration<double>(view.TimedStop()).count());
  }
}
BENCHMARK(BM_ViewStop_Baseline)->Iterations(kRuns)->UseManualTime()->Unit(benchmark::kMillisecond);

void PrintStopSummary() {
  if (g_stop_ms.empty()) {
    std::printf("stop ms: no runs\n");
    return;
  }
  std::vector<double> ms = g_stop_ms;
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) {
    const size_t i = static_cast<size_t>(q * static_cast<double>(ms.size() - 1) + 0.5);
    return ms[std::min(i, ms.size() - 1)];
  };
  std::printf("stop ms: median %.1f p95 %.1f max %.1f\n", at(0.5), at(0.95), ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  viewer::SetPlayerProxyModuleName(ZRPLAYPROXY_PATH);
  ::setenv("ZRPLAYPROXY_PLAYER", ZRPLAYRECORDER_PATH, 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintStopSummary();
  return 0;
}
