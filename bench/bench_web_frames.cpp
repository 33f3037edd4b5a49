// Pictures of one live D1 view at 25 fps delivered through the web host to a WebSocket client:
// streamsim (a child process) serves its generated pattern, the host's control (the
// deliverable, through the host interface) views it, and the host watches the window, encodes
// each changed surface as JPEG and sends it. Reports "pictures_per_s" (target: the stream's
// 25) and "host_us", the host's own CPU time per delivered picture (its picture and network
// threads, "pics_us" and "net_us"; the control's decoding and drawing are the control's work,
// "ui_us" its thread), and "arrival_to_send_ms", the median time from a package's arrival at
// the control to the encoding of the picture showing it. Thread times are the scheduler's
// nanosecond counts. The _Baseline case converts the same surface with libyuv and encodes it
// with libjpeg-turbo directly and reports "ratio" = baseline / host (target at least 0.85).
// The same direct work is also done for each delivered picture while the view plays, so it
// meets the same load as the host: "direct_alongside_us" and "ratio_alongside".
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
    double ticks = 0;
    double seconds = 0;
    std::string name;
    const std::string task = "/proc/self/task/" + tid;
    if (!bench_support::ReadStatCpu(task + "/stat", &ticks, &name)) continue;
    // The scheduler's count, the clock the baseline reads; ticks only where it is missing.
    if (!bench_support::ReadSchedstatRuntime(task + "/schedstat", &seconds)) seconds = ticks;
    names[name] += seconds;
  }
  closedir(dir);
  return names;
}

// What the host's picture work amounts to when done directly: libyuv converts the surface,
// libjpeg-turbo encodes the planes. Owns its compressor and planes.
class TDirectEncoder {
 public:
  TDirectEncoder() : tj_(tjInitCompress()) {}
  ~TDirectEncoder() { tjDestroy(tj_); }
  TDirectEncoder(const TDirectEncoder&) = delete;
  TDirectEncoder& operator=(const TDirectEncoder&) = delete;

  // The JPEG's size.
  unsigned long Encode(const uint8_t* surface, int w, int h) {
    y_.resize(size_t(w) * h);
    u_.resize(size_t(w / 2) * (h / 2));
    v_.resize(u_.size());
    // Full range, as JPEG wants and the host converts.
    libyuv::ARGBToJ420(surface, w * 4, y_.data(), w, u_.data(), w / 2, v_.data(), w / 2, w, h);
    const unsigned char* planes[3] = {y_.data(), u_.data(), v_.data()};
    const int strides[3] = {w, w / 2, w / 2};
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompressFromYUVPlanes(tj_, planes, w, strides, h, TJSAMP_420, &jpeg, &size, kQuality,
                            TJFLAG_FASTDCT);
    tjFree(jpeg);
    return size;
  }

 private:
  tjhandle tj_;
  std::vector<uint8_t> y_, u_, v_;
};

// Decodes a picture message's JPEG into `surface` (BGRX); false when it is not one.
bool DecodePicture(const std::string& message, std::vector<uint8_t>* surface, int* w, int* h) {
  if (message.size() <= quvi_web::kPictureHeaderSize) return false;
  tjhandle tj = tjInitDecompress();
  const auto* jpeg = reinterpret_cast<const unsigned char*>(message.data()) + 32;
  const unsigned long size = message.size() - 32;
  int sub = 0, space = 0;
  bool ok = tjDecompressHeader3(tj, jpeg, size, w, h, &sub, &space) == 0;
  if (ok) {
    surface->resize(size_t(*w) * *h * 4);
    ok = tjDecompress2(tj, jpeg, size, surface->data(), *w, 0, *h, TJPF_BGRX, 0) == 0;
  }
  tjDestroy(tj);
  return ok;
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
    // The direct work, done here for every picture delivered, so it meets the same machine as
    // the host's (the stream server, the decoder, the other programs running).
    TDirectEncoder direct;
    std::vector<uint8_t> surface;
    double direct_cpu = 0;
    int64_t direct_pictures = 0;
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
        int w = 0, hh = 0;
        if (DecodePicture(last, &surface, &w, &hh)) {
          const double t0 = bench_support::ThreadCpuSeconds();
          benchmark::DoNotOptimize(direct.Encode(surface.data(), w, hh));
          direct_cpu += bench_support::ThreadCpuSeconds() - t0;
          ++direct_pictures;
        }
        break;
      }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto after = ThreadCpuSeconds();
    const double pictures_cpu = after["quvi-web-pics"] - before.at("quvi-web-pics");
    const double network_cpu = after["quvi-web-net"] - before.at("quvi-web-net");
    const double host_cpu = pictures_cpu + network_cpu;
    const double ui_cpu = after["quvi-web-ui"] - before.at("quvi-web-ui");
    std::sort(delays.begin(), delays.end());
    g_host_us = host_cpu / pictures * 1e6;
    state.counters["pictures_per_s"] = pictures / seconds;
    state.counters["host_us"] = g_host_us;
    state.counters["pics_us"] = pictures_cpu / pictures * 1e6;
    state.counters["net_us"] = network_cpu / pictures * 1e6;
    state.counters["ui_us"] = ui_cpu / pictures * 1e6;
    state.counters["arrival_to_send_ms"] = delays.empty() ? 0 : delays[delays.size() / 2];
    if (direct_pictures > 0) {
      const double direct_us = direct_cpu / direct_pictures * 1e6;
      state.counters["direct_alongside_us"] = direct_us;
      state.counters["ratio_alongside"] = direct_us / g_host_us;
    }

    // The last picture, decoded, is the surface the baseline encodes.
    DecodePicture(last, &g_surface, &g_width, &g_height);
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
  TDirectEncoder direct;
  const double start = bench_support::ThreadCpuSeconds();
  int64_t pictures = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(direct.Encode(g_surface.data(), g_width, g_height));
    ++pictures;
  }
  const double baseline_us = (bench_support::ThreadCpuSeconds() - start) / pictures * 1e6;
  state.counters["baseline_us"] = baseline_us;
  if (g_host_us > 0) state.counters["ratio"] = baseline_us / g_host_us;
}
BENCHMARK(BM_WebFrames_Baseline)->Unit(benchmark::kMillisecond);

}  // namespace
