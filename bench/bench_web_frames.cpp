// Pictures of one live D1 view at 25 fps delivered through the web host to a WebSocket client:
// streamsim (a child process) serves its generated pattern, the host's control (the
// deliverable, through the host interface) views it, and the host watches the window, encodes
// each changed surface as JPEG and sends it. Reports "pictures_per_s" (target: the stream's
// 25) and "host_us", the host's own CPU time per delivered picture (its picture and network
// threads; the control's decoding and drawing are the control's work, "ui_us" its thread),
// and "arrival_to_send_ms", the median time from a package's arrival at the control to the
// encoding of the picture showing it. The _Baseline case converts the same surface with
// libyuv and encodes it with libjpeg-turbo directly and reports "ratio" = baseline / host
// (target at least 0.85).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <libyuv.h>
#include <pthread.h>
#include <stdlib.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/proc_stat.h"
#include "tests/support/test_files.h"
#include "tools/common/streamsim_process.h"
#include "tools/quvi-web/picture_encoder.h"
#include "tools/quvi-web/test_client.h"
#include "tools/quvi-web/web_host.h"

namespace {

using nlohmann::json;
constexpr const char* kToken = "0123456789abcdef0123456789abcdef";
constexpr int kQuality = 80;  // the host's

// The last picture the client got, as BGRA, for the baseline; and the host's cost.
std::vector<uint8_t> g_surface;
int g_width = 0;
int g_height = 0;
double g_host_us = 0;

// CPU seconds of this process's threads by name.
std::map<std::string, double> ThreadCpuSeconds() {
  std::map<std::string, double> names;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return names;
  while (dirent* e = readdir(dir)) {
    const std::string tid = e->d_name;
    if (tid[0] == '.') continue;
    double seconds = 0;
    std::string name;
    if (!bench_support::ReadStatCpu("/proc/self/task/" + tid + "/stat", &seconds, &name)) continue;
    names[name] += seconds;
  }
  closedir(dir);
  return names;
}

double ThreadCpuNow() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

void BM_WebFrames(benchmark::State& state) {
  quvi_test::TTempDir dir("bench_web_frames");
  ::setenv("QUVI_REGISTRY_FILE", dir.Path("registry.ini").c_str(), 1);
  std::filesystem::create_directories(dir.Path("web"));
  quvi_tools::TStreamSimProcess streamsim(STREAMSIM_EXE, {});
  if (streamsim.Port() == 0) return state.SkipWithError("streamsim did not start");
  quvi_web::TServerConfig server;
  server.Token = kToken;
  server.WebDir = dir.Path("web");
  server.OutDir = dir.Path("");
  quvi_web::THostSettings settings;
  settings.OutDir = server.OutDir;
  quvi_web::TWebHost host(server, settings);
  std::thread network([&] {
    pthread_setname_np(pthread_self(), "quvi-web-net");
    host.Run();
  });
  {
    quvi_web::test::TWsClient page(host.Port(), std::string("/ws?token=") + kToken);
    const json made = page.Request({{"op", "create"}, {"width", 704}, {"height", 576}});
    const uint32_t c = made.value("control", 0u);
    page.Request({{"op", "put"}, {"control", c}, {"name", "HostIP"}, {"value", "127.0.0.1"}});
    page.Request(
        {{"op", "put"}, {"control", c}, {"name", "HostPort"}, {"value", streamsim.Port()}});
    page.Request({{"op", "invoke"}, {"control", c}, {"name", "StartPlay"}});
    // Until video is steady.
    for (int video = 0; video < 50;) {
      auto m = page.Read();
      if (!m) return state.SkipWithError("the socket closed");
      quvi_web::TPictureHeader h;
      if (m->Binary && quvi_web::ReadPictureHeader(
                           reinterpret_cast<const uint8_t*>(m->Bytes.data()), m->Bytes.size(), &h))
        video += h.ArrivalMs > 0;
    }
    const auto before = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    int64_t pictures = 0;
    std::vector<double> delays;
    std::string last;
    for (auto _ : state) {
      for (;;) {
        auto m = page.Read();
        if (!m) return state.SkipWithError("the socket closed");
        if (!m->Binary) continue;
        quvi_web::TPictureHeader h;
        quvi_web::ReadPictureHeader(reinterpret_cast<const uint8_t*>(m->Bytes.data()),
                                    m->Bytes.size(), &h);
        if (h.ArrivalMs > 0) delays.push_back(h.EncodedMs - h.ArrivalMs);
        last = std::move(m->Bytes);
        ++pictures;
        break;
      }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto after = ThreadCpuSeconds();
    const double host_cpu = (after["quvi-web-pics"] - before.at("quvi-web-pics")) +
                            (after["quvi-web-net"] - before.at("quvi-web-net"));
    const double ui_cpu = after["quvi-web-ui"] - before.at("quvi-web-ui");
    std::sort(delays.begin(), delays.end());
    g_host_us = host_cpu / pictures * 1e6;
    state.counters["pictures_per_s"] = pictures / seconds;
    state.counters["host_us"] = g_host_us;
    state.counters["ui_us"] = ui_cpu / pictures * 1e6;
    state.counters["arrival_to_send_ms"] = delays.empty() ? 0 : delays[delays.size() / 2];

    // The last picture, decoded, is the surface the baseline encodes.
    tjhandle tj = tjInitDecompress();
    const auto* jpeg = reinterpret_cast<const unsigned char*>(last.data()) + 32;
    int sub = 0, space = 0;
    tjDecompressHeader3(tj, jpeg, last.size() - 32, &g_width, &g_height, &sub, &space);
    g_surface.resize(size_t(g_width) * g_height * 4);
    tjDecompress2(tj, jpeg, last.size() - 32, g_surface.data(), g_width, 0, g_height, TJPF_BGRX, 0);
    tjDestroy(tj);
  }
  host.Stop();
  network.join();
}
// Ten seconds of pictures at 25 a second.
BENCHMARK(BM_WebFrames)->Iterations(250)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_WebFrames_Baseline(benchmark::State& state) {
  if (g_surface.empty()) {
    // Run alone: colour bars of D1.
    g_width = 704;
    g_height = 576;
    g_surface.resize(size_t(g_width) * g_height * 4);
    for (int y = 0; y < g_height; ++y)
      for (int x = 0; x < g_width; ++x)
        for (int k = 0; k < 3; ++k)
          g_surface[(size_t(y) * g_width + x) * 4 + k] = ((x / 88) >> k & 1) * 255;
  }
  const int w = g_width, h = g_height;
  std::vector<uint8_t> y(size_t(w) * h), u(size_t(w / 2) * (h / 2)), v(u.size());
  tjhandle tj = tjInitCompress();
  const double start = ThreadCpuNow();
  int64_t pictures = 0;
  for (auto _ : state) {
    libyuv::ARGBToI420(g_surface.data(), w * 4, y.data(), w, u.data(), w / 2, v.data(), w / 2, w,
                       h);
    const unsigned char* planes[3] = {y.data(), u.data(), v.data()};
    const int strides[3] = {w, w / 2, w / 2};
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompressFromYUVPlanes(tj, planes, w, strides, h, TJSAMP_420, &jpeg, &size, kQuality,
                            TJFLAG_FASTDCT);
    benchmark::DoNotOptimize(size);
    tjFree(jpeg);
    ++pictures;
  }
  const double baseline_us = (ThreadCpuNow() - start) / pictures * 1e6;
  tjDestroy(tj);
  state.counters["baseline_us"] = baseline_us;
  if (g_host_us > 0) state.counters["ratio"] = baseline_us / g_host_us;
}
BENCHMARK(BM_WebFrames_Baseline)->Unit(benchmark::kMillisecond);

}  // namespace
