// How many live D1 views one process carries, as a video wall runs them: N controls, each with
// its own window, created through the host C API on this (the user-interface) thread, which
// pumps their messages and receives their events. streamsim (a child process) serves every
// view in real time from one record file made once by recmake (704x576, 25 fps, H.264 at the
// asked bit rate with texture and noise so the bit rate is really spent, GOP 50, G.711 audio).
//
// For each N it reports the pictures drawn per second per view (minimum, median and the worst
// second of any view), pictures dropped (sent by the stream but never drawn), the CPU and RSS
// per view, and the load average while it ran. The same run measures the ceiling: bare
// single-threaded libavcodec decoding of the same file, frames per second times the cores,
// divided by 25. The last line: "max views: N of ceiling C (ratio R)", N being the largest
// step at which every view drew at least 24 pictures per second with no drops.
//
//   bench_live_channels [--seconds 60] [--views 1,2,4,...] [--bitrate 2000] [--detail 4]
//                       [--window 704x576] [--data-dir DIR] [--no-events]
#include <sys/resource.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/proc_stat.h"
#include "bench/record_stream.h"
#include "modules/vdec/test_stream_encoder.h"
#include "modules/vdec/vdec.h"
#include "tools/common/streamsim_process.h"
#include "tools/recmake/video_rate.h"
#include "viewer/control/quvi_host.h"
#include "viewer/player/player_binding.h"

namespace {

using bench_support::ProcessCpuSeconds;
using bench_support::ThreadCpuSeconds;

using TClock = std::chrono::steady_clock;

constexpr const char* kClassId = "{0E1B418E-FC82-4B9A-B8E8-A17CDA2F03BA}";
constexpr double kStreamFps = 25;
constexpr double kKeepUpFps = 24;
constexpr double kGiveUpFps = 20;
// A measured interval may cut a picture in flight at either edge.
constexpr int64_t kEdgePictures = 2;

struct TOptions {
  double Seconds = 60;
  std::vector<int> Views{1, 2, 4, 8, 12, 16, 20, 24, 28, 32, 40, 48, 56, 64};
  int BitrateKbit = 2000;
  int Detail = 4;
  int Width = 704;
  int Height = 576;
  std::string DataDir = BENCH_DATA_DIR;
  bool Events = true;
};

[[noreturn]] void Usage(const std::string& why) {
  std::fprintf(stderr,
               "bench_live_channels: %s\n"
               "usage: bench_live_channels [--seconds S] [--views N,N,...] [--bitrate KBIT]\n"
               "       [--detail 0..10] [--window WxH] [--data-dir DIR] [--no-events]\n",
               why.c_str());
  std::exit(2);
}

TOptions ParseOptions(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--no-events") {
      o.Events = false;
      continue;
    }
    if (i + 1 >= argc) Usage(name + " wants a value");
    const std::string value = argv[++i];
    try {
      if (name == "--seconds") {
        o.Seconds = std::stod(value);
        if (!(o.Seconds >= 1)) Usage("--seconds wants at least 1");
      } else if (name == "--views") {
        o.Views.clear();
        std::stringstream list(value);
        for (std::string n; std::getline(list, n, ',');) o.Views.push_back(std::stoi(n));
        std::sort(o.Views.begin(), o.Views.end());
        if (o.Views.empty() || o.Views.front() < 1 || o.Views.back() > 200) {
          Usage("--views wants counts from 1 to 200");
        }
      } else if (name == "--bitrate") {
        o.BitrateKbit = std::stoi(value);
      } else if (name == "--detail") {
        o.Detail = std::stoi(value);
      } else if (name == "--window") {
        if (std::sscanf(value.c_str(), "%dx%d", &o.Width, &o.Height) != 2 || o.Width < 16 ||
            o.Height < 16) {
          Usage("--window wants WIDTHxHEIGHT");
        }
      } else if (name == "--data-dir") {
        o.DataDir = value;
      } else {
        Usage("unknown option " + name);
      }
    } catch (const std::logic_error&) {
      Usage("bad value for " + name + ": " + value);
    }
  }
  return o;
}

// ---- Machine figures ----

// CPU seconds of another process (user and system), 0 when it cannot be read.
double ChildCpuSeconds(pid_t pid) {
  double seconds = 0;
  return bench_support::ReadStatCpu("/proc/" + std::to_string(pid) + "/stat", &seconds, nullptr)
             ? seconds
             : 0;
}

// A "Key:   value kB" line of /proc/self/status as a number.
double StatusValue(const char* key) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::strlen(key) + 1);
  }
  return 0;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  double one = 0, five = 0, fifteen = 0;
  in >> one >> five >> fifteen;
  char text[48];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
  return text;
}

int Cores() {
  return std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
}

// ---- The ceiling: bare decoding ----

double BareDecodeFps(const std::string& path) {
  const vdec::testing::TEncodedStream stream = bench_support::RecordVideo(path, 704, 576);
  av_log_set_level(AV_LOG_ERROR);
  // Twice through, the best pass counts: another program's burst should not lower the ceiling.
  double best = 0;
  for (int pass = 0; pass < 2; ++pass) {
    const double start = ThreadCpuSeconds();
    const int pictures =
        vdec::testing::DecodeDirectly(AV_CODEC_ID_H264, stream, [](const AVFrame&) {});
    const double cpu = ThreadCpuSeconds() - start;
    if (cpu > 0) best = std::max(best, pictures / cpu);
  }
  return best;
}

// ---- The views ----

// Pictures handed to each port's drawing, counted by the player library's display callback.
std::array<std::atomic<int64_t>, VDEC_MAX_PORTS> g_drawn{};

void CountDrawn(int32_t port, const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
  if (port >= 0 && port < VDEC_MAX_PORTS) g_drawn[static_cast<size_t>(port)].fetch_add(1);
}

// What a wall shows of each view besides the picture: its status.
void WallSink(void* user, int32_t dispid, const QuviVariant*, uint32_t) {
  constexpr int32_t kOnDisConnected = 0xCA;
  if (dispid == kOnDisConnected) ++*static_cast<int64_t*>(user);
}

class TView {
 public:
  // Plays into player port `port` (a wall gives each view its own).
  TView(const TOptions& o, int server_port, int32_t port, int64_t* disconnects) {
    const QuviClassFactory* factory = nullptr;
    if (DllGetClassObject(kClassId, &factory) != QUVI_S_OK ||
        factory->CreateInstance(0, o.Width, o.Height, &control_) != QUVI_S_OK) {
      std::fprintf(stderr, "cannot create a control: %s\n", QuviGetErrorText());
      std::exit(1);
    }
    if (o.Events) QuviConnectEvents(control_, WallSink, disconnects, &cookie_);
    PutText("HostIP", "127.0.0.1");
    PutInt("HostPort", server_port);
    PutInt("ChannelNo", 0);
    PutInt("PortNo", port);
    PutText("DVRID", "1");
    PutText("LoginUser", "admin");
    PutText("Password", "admin");
    Call("StartPlay", QUVI_INVOKE_METHOD, nullptr, 0);
  }
  ~TView() {
    Call("StopPlay", QUVI_INVOKE_METHOD, nullptr, 0);
    if (cookie_ != 0) QuviDisconnectEvents(control_, cookie_);
    QuviReleaseControl(control_);
  }
  TView(const TView&) = delete;
  TView& operator=(const TView&) = delete;

  // Play packages the view has received.
  int32_t PackagesReceived() {
    QuviVariant result;
    QuviVariantInit(&result);
    int32_t id = 0;
    int32_t count = 0;
    if (QuviFindMember(control_, "CurFrameNumReceived", &id) == QUVI_S_OK &&
        QuviInvoke(control_, id, QUVI_INVOKE_GET, nullptr, 0, &result) == QUVI_S_OK &&
        result.vt == QUVI_VT_I4) {
      count = result.u.i4;
    }
    QuviVariantClear(&result);
    return count;
  }

 private:
  void Call(const char* name, uint16_t kind, QuviVariant* args, uint32_t count) {
    int32_t id = 0;
    QuviVariant result;
    QuviVariantInit(&result);
    if (QuviFindMember(control_, name, &id) != QUVI_S_OK ||
        QuviInvoke(control_, id, kind, args, count, &result) < 0) {
      std::fprintf(stderr, "%s: %s\n", name, QuviGetErrorText());
    }
    QuviVariantClear(&result);
  }
  void PutText(const char* name, const char* value) {
    QuviVariant v;
    QuviVariantInit(&v);
    QuviVariantSetString(&v, value);
    Call(name, QUVI_INVOKE_PUT, &v, 1);
    QuviVariantClear(&v);
  }
  void PutInt(const char* name, int32_t value) {
    QuviVariant v;
    QuviVariantInit(&v);
    v.vt = QUVI_VT_I4;
    v.u.i4 = value;
    Call(name, QUVI_INVOKE_PUT, &v, 1);
  }

  QuviControl* control_ = nullptr;
  uint32_t cookie_ = 0;
};

// Pumps the user-interface thread's messages until `until`.
void PumpUntil(TClock::time_point until) {
  while (TClock::now() < until) QuviPumpMessages(10);
}

// The player ports of `count` views (view i plays into port i), each with the display
// callback set.
std::vector<int32_t> ViewPorts(size_t count) {
  std::vector<int32_t> ports;
  for (int32_t port = 0; port < static_cast<int32_t>(count); ++port) {
    if (viewer::proxy::Zr_Play_SetDisplayCallBack(port, &CountDrawn) == 1) ports.push_back(port);
  }
  return ports;
}

// Pumps until every view has had its stream for a while (so its player port is taken; a
// port asked for earlier would be registered by the asking) and each port has drawn a few
// pictures; false after the time-out.
bool WaitForViews(std::vector<std::unique_ptr<TView>>& views, std::vector<int32_t>& ports) {
  const auto deadline = TClock::now() + std::chrono::seconds(30);
  while (TClock::now() < deadline) {
    PumpUntil(TClock::now() + std::chrono::milliseconds(200));
    const bool streaming = std::all_of(views.begin(), views.end(),
                                       [](auto& view) { return view->PackagesReceived() >= 50; });
    if (!streaming) continue;
    ports = ViewPorts(views.size());
    if (ports.size() < views.size()) continue;
    const bool all_drawing = std::all_of(ports.begin(), ports.end(), [](int32_t p) {
      return g_drawn[static_cast<size_t>(p)].load() >= 10;
    });
    if (all_drawing) return true;
  }
  return false;
}

struct TStep {
  int Views = 0;
  double MinFps = 0, MedianFps = 0, WorstSecondFps = 0;
  int64_t Dropped = 0;
  double CpuPerView = 0;  // % of one core
  double RssPerViewMiB = 0;
  double ServerCpu = 0;  // % of one core
  int Threads = 0;
  std::string Load;
  bool KeptUp() const { return MinFps >= kKeepUpFps && Dropped == 0; }
};

TStep Measure(const TOptions& o, const std::vector<int32_t>& ports, pid_t server, double base_rss) {
  TStep step;
  step.Views = static_cast<int>(ports.size());
  std::vector<int64_t> start(ports.size()), last(ports.size());
  for (size_t i = 0; i < ports.size(); ++i) start[i] = last[i] = g_drawn[ports[i]].load();
  std::vector<int64_t> worst(ports.size(), INT64_MAX);
  const double cpu_start = ProcessCpuSeconds();
  const double server_start = ChildCpuSeconds(server);
  const auto t0 = TClock::now();
  const auto end =
      t0 + std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(o.Seconds));
  auto next = t0;
  while ((next += std::chrono::seconds(1)) <= end) {
    PumpUntil(next);
    for (size_t i = 0; i < ports.size(); ++i) {
      const int64_t now = g_drawn[ports[i]].load();
      worst[i] = std::min(worst[i], now - last[i]);
      last[i] = now;
    }
  }
  PumpUntil(end);
  const double seconds = std::chrono::duration<double>(TClock::now() - t0).count();
  const double cpu = ProcessCpuSeconds() - cpu_start;
  const double server_cpu = ChildCpuSeconds(server) - server_start;

  std::vector<double> fps;
  const auto sent = static_cast<int64_t>(std::floor(seconds * kStreamFps));
  for (size_t i = 0; i < ports.size(); ++i) {
    const int64_t drawn = g_drawn[ports[i]].load() - start[i];
    fps.push_back(static_cast<double>(drawn) / seconds);
    step.Dropped += std::max<int64_t>(0, sent - drawn - kEdgePictures);
  }
  std::sort(fps.begin(), fps.end());
  step.MinFps = fps.front();
  step.MedianFps = fps[fps.size() / 2];
  step.WorstSecondFps = static_cast<double>(*std::min_element(worst.begin(), worst.end()));
  step.CpuPerView = cpu / seconds / step.Views * 100;
  step.RssPerViewMiB = (StatusValue("VmRSS:") - base_rss) / 1024 / step.Views;
  step.ServerCpu = server_cpu / seconds * 100;
  step.Threads = static_cast<int>(StatusValue("Threads:"));
  step.Load = LoadAverage();
  return step;
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions o = ParseOptions(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  viewer::SetPlayerProxyModuleName(ZRPLAYPROXY_PATH);

  const std::string record =
      bench_support::MakeRecorderStream(RECMAKE_EXE, o.DataDir, o.BitrateKbit, o.Detail);
  if (record.empty()) return 1;
  const double kbit = recmake::RecordFileVideoKbit(record);
  std::printf("record: %s, 704x576 25 fps GOP 50 G.711, video %.0f kbit/s (asked %d)\n",
              record.c_str(), kbit, o.BitrateKbit);
  if (kbit < 0.8 * o.BitrateKbit) {
    std::printf("warning: the file carries less than 80%% of the asked bit rate\n");
  }

  const std::string load = LoadAverage();
  const double decode_fps = BareDecodeFps(record);
  const double ceiling = decode_fps * Cores() / kStreamFps;
  std::printf(
      "ceiling: bare decoding %.0f frames/s on one core x %d cores / 25 = %.1f views "
      "(load %s)\n",
      decode_fps, Cores(), ceiling, load.c_str());

  const quvi_tools::TStreamSimProcess sim(STREAMSIM_EXE, {"--file", record, "--log", "/dev/null"});
  if (sim.Port() <= 0) {
    std::fprintf(stderr, "streamsim did not start\n");
    return 1;
  }
  std::printf("views: %dx%d windows, events %s, %.0f s per step\n", o.Width, o.Height,
              o.Events ? "connected" : "off", o.Seconds);
  std::printf("%5s %8s %8s %8s %7s %9s %9s %9s %7s  %s\n", "views", "min/s", "median/s", "worst1s",
              "dropped", "cpu/view", "rss/view", "streamsim", "threads", "load");

  const double base_rss = StatusValue("VmRSS:");
  int64_t disconnects = 0;
  std::vector<std::unique_ptr<TView>> views;
  int max_views = 0;
  int misses = 0;
  for (int n : o.Views) {
    while (static_cast<int>(views.size()) < n) {
      views.push_back(
          std::make_unique<TView>(o, sim.Port(), static_cast<int32_t>(views.size()), &disconnects));
    }
    std::vector<int32_t> ports;
    if (!WaitForViews(views, ports)) {
      std::printf("%5d views did not all start drawing\n", n);
      break;
    }
    PumpUntil(TClock::now() + std::chrono::seconds(2));  // the new views settle
    const TStep s = Measure(o, ports, sim.Pid(), base_rss);
    std::printf("%5d %8.1f %8.1f %8.0f %7lld %8.1f%% %5.1f MiB %8.1f%% %7d  %s%s\n", s.Views,
                s.MinFps, s.MedianFps, s.WorstSecondFps, static_cast<long long>(s.Dropped),
                s.CpuPerView, s.RssPerViewMiB, s.ServerCpu, s.Threads, s.Load.c_str(),
                s.KeptUp() ? "" : "  (falls behind)");
    // On a shared machine one step can miss by a picture: go on until two steps in a row
    // miss, or the views fall clearly behind.
    if (s.KeptUp()) {
      max_views = n;
      misses = 0;
    } else if (++misses >= 2 || s.MinFps < kGiveUpFps) {
      break;
    }
  }
  views.clear();
  QuviPumpMessages(100);
  if (disconnects > 0) std::printf("disconnects seen: %lld\n", static_cast<long long>(disconnects));
  std::printf("max views: %d of ceiling %.1f (ratio %.2f)\n", max_views, ceiling,
              ceiling > 0 ? max_views / ceiling : 0.0);
  return 0;
}
