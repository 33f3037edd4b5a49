// soak_faults: live views hosted the way a host program holds them, against streamsim while a
// driver cycles through the faults a recorder or a network can throw at them (fault_plan.h).
// After every fault each view must reconnect and draw pictures again; at the end the process
// must hold as many threads and descriptors as after the first cycle, about as much memory,
// and diagnostic logs whose every line is well formed. The last line it prints is
// "cycles C recovered R threads A->B fds A->B rss A->B MiB"; it exits 0 only when all held.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "tests/soak/fault_plan.h"
#include "tests/soak/hosted_view.h"
#include "tests/soak/log_check.h"
#include "tests/soak/process_figures.h"
#include "tools/common/cli_options.h"
#include "tools/common/streamsim_process.h"
#include "viewer/control/quvi_host.h"

namespace {

using soak::TClock;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocators hold freed memory back for a while (quarantine, shadow), so
// resident memory says little there; LeakSanitizer judges leaks in those builds.
constexpr double kDefaultRssBoundMiB = 256;
#else
constexpr double kDefaultRssBoundMiB = 8;
#endif

const cli::TOptionSpec kOptions[] = {
    {"cycles", 'n', "N", "cycles through every fault (default 2)", "3"},
    {"views", 0, "N",
     "live views, each a control with its own window; every second one goes through the "
     "stream-media relay (default 1)",
     "2"},
    {"faults", 0, "LIST",
     "only these faults, comma-separated (kill, refuse-1, refuse-2, refuse-5, refuse-7, close, "
     "stall, media-stall, garbage, oversize, cut, audio-only, no-head, slow-relay)",
     "kill,stall"},
    {"fault-seconds", 0, "S", "longest wait for the views to meet a fault (default 20)", "5"},
    {"recover-seconds", 0, "S",
     "longest wait for the views to reconnect and draw pictures after a fault (default 20)", "5"},
    {"read-timeout-ms", 0, "MS", "the views' ReadTimeout and ConnectTimeout (default 1000)",
     "2000"},
    {"reconnect-pause-ms", 0, "MS",
     "the views' pause between connect cycles (QUVI_RECONNECT_PAUSE_MS; default 100, the "
     "control's own 5000)",
     "5000"},
    {"rss-bound-mib", 0, "MIB",
     "how much more resident memory than after the first cycle is allowed (default 8; 256 in "
     "sanitizer builds)",
     "16"},
    {"file", 'f', "FILE", "record file streamsim serves (default: the D1 G.711 test fixture)",
     "a.rec"},
    {"streamsim", 0, "PATH", "the streamsim program (default: the one built beside this one)",
     "/usr/bin/streamsim"},
    {"out", 'o', "DIR",
     "folder for streamsim's log (default: a new temporary one, removed after a "
     "run that held)",
     "/tmp/soak"},
    {"verbose", 'v', nullptr,
     "print every fault's times, not only each cycle's; twice: also what each view showed "
     "after each fault (status codes, D disconnects, P pictures, with milliseconds)",
     ""},
    {"help", 'h', nullptr, "show this text", ""},
};

struct TOptions {
  int Cycles = 2;
  int Views = 1;
  std::vector<std::string> Faults;
  double FaultSeconds = 20;
  double RecoverSeconds = 20;
  int ReadTimeoutMs = 1000;
  int ReconnectPauseMs = 100;
  double RssBoundMiB = kDefaultRssBoundMiB;
  std::string File = QUVI_TEST_DATA_DIR "/h264_704x576_g711u.rec";
  std::string StreamSim;
  std::string Out;
  int Verbose = 0;  // 2: also each view's history after each lift
  bool Help = false;
};

TOptions ParseOptions(const std::vector<std::string>& args) {
  TOptions o;
  cli::ReadArgs(
      kOptions, args, {.Repeatable = {"verbose"}},
      [&o](const cli::TOptionSpec& option, const std::string& value) {
        const std::string name = option.Name;
        if (name == "cycles")
          o.Cycles = static_cast<int>(cli::ParseWholeNumber(name, value, 1, 100000));
        if (name == "views") o.Views = static_cast<int>(cli::ParseWholeNumber(name, value, 1, 64));
        if (name == "faults") {
          std::stringstream in(value);
          std::string part;
          while (std::getline(in, part, ',')) o.Faults.push_back(part);
        }
        if (name == "fault-seconds") o.FaultSeconds = cli::ParseNumber(name, value, 0.1, 3600);
        if (name == "recover-seconds") o.RecoverSeconds = cli::ParseNumber(name, value, 0.1, 3600);
        if (name == "read-timeout-ms") {
          o.ReadTimeoutMs = static_cast<int>(cli::ParseWholeNumber(name, value, 1000, 600000));
        }
        if (name == "reconnect-pause-ms") {
          o.ReconnectPauseMs = static_cast<int>(cli::ParseWholeNumber(name, value, 0, 60000));
        }
        if (name == "rss-bound-mib") o.RssBoundMiB = cli::ParseNumber(name, value, 0, 1e6);
        if (name == "file") o.File = value;
        if (name == "streamsim") o.StreamSim = value;
        if (name == "out") o.Out = value;
        if (name == "verbose") ++o.Verbose;
        if (name == "help") o.Help = true;
        return !o.Help;
      });
  return o;
}

// The stream server of the soak: one streamsim at a time, always on the port the views were
// given, replaced by a healthy or a faulty one, or killed.
class TServer {
 public:
  TServer(std::string exe, std::vector<std::string> base_args)
      : exe_(std::move(exe)), base_args_(std::move(base_args)) {}

  // Stops the running server and starts one with the extra options; false when it did not.
  bool Start(const std::vector<std::string>& extra) {
    process_.reset();
    std::vector<std::string> args = base_args_;
    args.insert(args.end(), extra.begin(), extra.end());
    // The old one's port may take a moment to be free again.
    for (int attempt = 0; attempt < 50; ++attempt) {
      process_ = std::make_unique<quvi_tools::TStreamSimProcess>(exe_, args, port_);
      if (process_->Port() > 0) {
        port_ = process_->Port();
        return true;
      }
      process_.reset();
      ::usleep(20000);
    }
    return false;
  }
  void Kill() {
    if (process_) process_->Kill();
    process_.reset();
  }
  int Port() const { return port_; }

 private:
  std::string exe_;
  std::vector<std::string> base_args_;
  int port_ = 0;
  std::unique_ptr<quvi_tools::TStreamSimProcess> process_;
};

double Seconds(TClock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Pumps the host's messages and samples every view until done() holds for every view, or
// the limit passes; how long it took since start, or a negative number when the limit passed.
template <class TDone>
double PumpUntil(std::vector<std::unique_ptr<soak::THostedView>>& views, double limit_s, TDone done,
                 TClock::time_point start = TClock::now()) {
  while (true) {
    QuviPumpMessages(20);
    bool all = true;
    for (size_t i = 0; i < views.size(); ++i) {
      views[i]->Sample();
      all = all && done(i, *views[i]);
    }
    const double took = Seconds(TClock::now() - start);
    if (all) return took;
    if (took > limit_s) return -1;
  }
}

std::vector<size_t> HistoryMarks(const std::vector<std::unique_ptr<soak::THostedView>>& views) {
  std::vector<size_t> marks;
  for (const auto& v : views) marks.push_back(v->History().size());
  return marks;
}

void PrintHistory(const std::vector<std::unique_ptr<soak::THostedView>>& views,
                  TClock::time_point since, const std::vector<size_t>& from) {
  for (size_t i = 0; i < views.size(); ++i) {
    std::printf("  view %zu:", i + 1);
    const auto& h = views[i]->History();
    for (size_t k = from[i]; k < h.size(); ++k) {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(h[k].Time - since);
      if (h[k].Code == soak::TMark::kPicture) {
        std::printf(" P%lld", static_cast<long long>(ms.count()));
      } else if (h[k].Code == soak::TMark::kDisconnected) {
        std::printf(" D%lld", static_cast<long long>(ms.count()));
      } else {
        std::printf(" [%d]%lld", h[k].Code, static_cast<long long>(ms.count()));
      }
    }
    std::printf("\n");
  }
}

// What happened to one fault over all cycles.
struct TFaultRecord {
  int Struck = 0;
  int Recovered = 0;
  double MaxStrikeS = 0;
  double MaxRecoverS = 0;
};

std::vector<std::string> LogFiles() {
  const std::string viewer_log = plat::HostExeDir() + "/VideoCtrl.Log";
  const std::string player_log = plat::ChangeFileExt(plat::HostExePath(), "_ZrPlay_Standard.log");
  return {viewer_log, plat::ChangeFileExt(viewer_log, ".Bak"), player_log,
          plat::ChangeFileExt(player_log, ".Bak")};
}

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  try {
    o = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const cli::TOptionError& e) {
    std::fprintf(stderr, "soak_faults: %s (see --help)\n", e.what());
    return 2;
  }
  if (o.Help) {
    std::printf(
        "Usage: soak_faults [options]\n\nLive views against streamsim while every fault of a "
        "recorder or network is\nthrown at them, cycle after cycle; each view must reconnect "
        "and draw again,\nand nothing may leak. Last line: cycles C recovered R threads A->B "
        "fds A->B\nrss A->B MiB. Exit status 0 when everything held, 1 otherwise, 2 on a bad\n"
        "command line.\n");
    cli::AppendOptionHelp(std::cout, kOptions, 26);
    return 0;
  }
  std::vector<soak::TFault> faults;
  for (const soak::TFault& f : soak::AllFaults()) {
    if (o.Faults.empty() || std::count(o.Faults.begin(), o.Faults.end(), f.Name) > 0) {
      faults.push_back(f);
    }
  }
  if (faults.size() != (o.Faults.empty() ? soak::AllFaults().size() : o.Faults.size())) {
    std::fprintf(stderr, "soak_faults: --faults names a fault that does not exist\n");
    return 2;
  }

  const bool own_out = o.Out.empty();
  if (own_out) {
    o.Out = (std::filesystem::temp_directory_path() / ("soak_faults-" + std::to_string(getpid())))
                .string();
  }
  std::filesystem::create_directories(o.Out);
  if (o.StreamSim.empty()) o.StreamSim = plat::HostExeDir() + "/streamsim";
  ::setenv("QUVI_RECONNECT_PAUSE_MS", std::to_string(o.ReconnectPauseMs).c_str(), 1);
  ::setenv("QELDSOUND_SINK", "null", 0);
#ifdef ZRPLAYPROXY_PATH
  ::setenv("QUVI_PLAYER_PROXY", ZRPLAYPROXY_PATH, 0);
#endif

  std::vector<std::string> failures;
  auto fail = [&failures](const std::string& what) {
    failures.push_back(what);
    std::fprintf(stderr, "soak_faults: %s\n", what.c_str());
  };

  const TClock::time_point run_start = TClock::now();
  TServer server(o.StreamSim,
                 {"--file", o.File, "--keepalive-ms", "200", "--log", o.Out + "/streamsim.log"});
  if (!server.Start({})) {
    std::fprintf(stderr, "soak_faults: streamsim did not start (%s)\n", o.StreamSim.c_str());
    return 1;
  }

  std::vector<std::unique_ptr<soak::THostedView>> views;
  for (int i = 0; i < o.Views; ++i) {
    soak::TViewSettings s;
    s.Port = server.Port();
    s.Channel = i + 1;
    s.PlayerPort = i;
    s.ThroughRelay = i % 2 == 1;
    s.ConnectTimeoutMs = o.ReadTimeoutMs;
    s.ReadTimeoutMs = o.ReadTimeoutMs;
    views.push_back(std::make_unique<soak::THostedView>(s));
    if (!views.back()->Error().empty()) {
      std::fprintf(stderr, "soak_faults: view %d: %s\n", i + 1, views.back()->Error().c_str());
      return 1;
    }
  }
  const double first_video =
      PumpUntil(views, o.RecoverSeconds,
                [](size_t, const soak::THostedView& v) { return soak::Recovered(v.History(), 0); });
  if (first_video < 0) {
    std::fprintf(stderr, "soak_faults: the views never drew video\n");
    PrintHistory(views, run_start, std::vector<size_t>(views.size(), 0));
    return 1;
  }
  std::printf("streamsim on port %d, %d view(s) drawing after %.2f s; %zu faults a cycle\n",
              server.Port(), o.Views, first_video, faults.size());
  std::fflush(stdout);

  std::vector<TFaultRecord> records(faults.size());
  soak::TProcessFigures first_figures;
  int recovered = 0;
  for (int cycle = 1; cycle <= o.Cycles; ++cycle) {
    const TClock::time_point cycle_start = TClock::now();
    int cycle_recovered = 0;
    for (size_t f = 0; f < faults.size(); ++f) {
      const soak::TFault& fault = faults[f];
      TFaultRecord& record = records[f];
      // Each fault is judged on what came after it began; the older history goes, so that
      // the soak's own memory stays the same from cycle to cycle.
      for (auto& v : views) v->ForgetHistory();
      std::vector<size_t> from = HistoryMarks(views);
      const TClock::time_point applied = TClock::now();
      bool started = true;
      if (fault.Kill) {
        server.Kill();
      } else if (!server.Start(fault.StreamSimArgs)) {
        fail("cycle " + std::to_string(cycle) + " " + fault.Name + ": streamsim did not start");
        started = false;
      }
      const double struck =
          !started ? -1
                   : PumpUntil(
                         views, o.FaultSeconds,
                         [&](size_t i, const soak::THostedView& v) {
                           return soak::Struck(fault.Strike, v.History(), from[i], TClock::now());
                         },
                         applied);
      if (!started) {
      } else if (struck < 0) {
        fail("cycle " + std::to_string(cycle) + " " + fault.Name + ": not met within " +
             std::to_string(o.FaultSeconds) + " s; what the views showed:");
        PrintHistory(views, applied, from);
      } else {
        ++record.Struck;
        record.MaxStrikeS = std::max(record.MaxStrikeS, struck);
      }

      if (o.Verbose > 1) PrintHistory(views, applied, from);
      from = HistoryMarks(views);
      const TClock::time_point lifted = TClock::now();
      if (!server.Start({})) {
        fail("cycle " + std::to_string(cycle) + " " + fault.Name +
             ": the healthy streamsim did not start");
        break;
      }
      std::vector<bool> done(views.size(), false);
      const double back = PumpUntil(
          views, o.RecoverSeconds,
          [&](size_t i, const soak::THostedView& v) {
            done[i] = done[i] || soak::Recovered(v.History(), from[i]);
            return done[i];
          },
          lifted);
      const int views_back = static_cast<int>(std::count(done.begin(), done.end(), true));
      recovered += views_back;
      cycle_recovered += views_back;
      record.Recovered += views_back;
      if (back < 0) {
        fail("cycle " + std::to_string(cycle) + " " + fault.Name + ": " +
             std::to_string(o.Views - views_back) + " view(s) drew nothing within " +
             std::to_string(o.RecoverSeconds) + " s; what the views showed:");
        PrintHistory(views, lifted, from);
      } else {
        record.MaxRecoverS = std::max(record.MaxRecoverS, back);
      }
      if (o.Verbose) {
        std::printf("cycle %d %-11s met after %5.2f s, recovered after %5.2f s\n", cycle,
                    fault.Name.c_str(), struck, back);
        if (o.Verbose > 1) PrintHistory(views, lifted, from);
      }
    }
    const soak::TProcessFigures figures = soak::ReadProcessFigures();
    if (cycle == 1) first_figures = figures;
    std::printf("cycle %d: %d/%zu recovered in %.1f s, threads %d, fds %d, rss %.1f MiB", cycle,
                cycle_recovered, faults.size() * views.size(), Seconds(TClock::now() - cycle_start),
                figures.Threads, figures.Descriptors, figures.RssMiB);
    // A sanitizer's allocator does not tell its heap.
    if (figures.HeapMiB > 0) std::printf(", heap %.2f MiB", figures.HeapMiB);
    std::printf("\n");
    std::fflush(stdout);
  }
  const soak::TProcessFigures last_figures = soak::ReadProcessFigures();

  std::printf("%-11s %6s %9s %12s %12s\n", "fault", "met", "recovered", "max met s", "max back s");
  for (size_t f = 0; f < faults.size(); ++f) {
    std::printf("%-11s %6d %9d %12.2f %12.2f\n", faults[f].Name.c_str(), records[f].Struck,
                records[f].Recovered, records[f].MaxStrikeS, records[f].MaxRecoverS);
  }

  views.clear();
  QuviPumpMessages(50);
  server.Kill();

  if (last_figures.Threads != first_figures.Threads) {
    fail("threads " + std::to_string(first_figures.Threads) + " after the first cycle, " +
         std::to_string(last_figures.Threads) + " at the end");
  }
  if (last_figures.Descriptors != first_figures.Descriptors) {
    fail("descriptors " + std::to_string(first_figures.Descriptors) + " after the first cycle, " +
         std::to_string(last_figures.Descriptors) + " at the end");
  }
  if (last_figures.RssMiB > first_figures.RssMiB + o.RssBoundMiB) {
    fail("resident memory grew by more than " + std::to_string(o.RssBoundMiB) + " MiB");
  }
  for (const std::string& path : LogFiles()) {
    const soak::TLogCheck check = soak::CheckLogFile(path);
    if (!check.Ok()) {
      fail(path + ": " + std::to_string(check.BadLines) + " of " + std::to_string(check.Lines) +
           " lines malformed, first: \"" + check.FirstBad + "\"");
    }
  }
  const int expected = o.Cycles * static_cast<int>(faults.size()) * o.Views;
  if (recovered != expected) {
    fail(std::to_string(recovered) + " of " + std::to_string(expected) + " recoveries");
  }
  std::printf("ran %.1f s\n", Seconds(TClock::now() - run_start));
  if (failures.empty() && own_out) std::filesystem::remove_all(o.Out);
  std::printf("cycles %d recovered %d %s\n", o.Cycles, recovered,
              soak::CompareFigures(first_figures, last_figures).c_str());
  return failures.empty() ? 0 : 1;
}
