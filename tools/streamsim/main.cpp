// streamsim: the stream server, stream-media relay and PTZ proxy simulator. Prints the
// listening port (and the PTZ proxy port) on the first lines of standard output, then
// serves until SIGINT or SIGTERM. See SimHelpText for the options.
#include <pthread.h>
#include <csignal>
#include <cstdio>
#include <memory>

#include "tools/recmake/av_util.h"
#include "tools/streamsim/server.h"
#include "tools/streamsim/sim_options.h"

namespace {

using namespace streamsim;

int Run(const TSimCommandLine& cl) {
  // Blocked here so every server thread inherits the mask and only sigwait below sees them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  recmake::SetAvLogLevel(false);

  std::unique_ptr<TFileEventLog> log = cl.LogPath.empty()
                                           ? std::make_unique<TFileEventLog>(stdout)
                                           : std::make_unique<TFileEventLog>(cl.LogPath);
  TStreamSimServer server(cl.Server, *log);
  std::printf("%d\n", server.Port());
  if (server.PtzProxyPort() != 0) std::printf("%d\n", server.PtzProxyPort());
  std::fflush(stdout);
  server.Start();
  int signal = 0;
  sigwait(&stop_signals, &signal);
  server.Stop();
  log->Write(TLogLine("stopped").Add("signal", int32_t{signal}));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  TSimCommandLine cl;
  try {
    cl = ParseSimArgs(args);
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "streamsim: %s\nTry 'streamsim --help' for the options.\n", e.what());
    return 2;
  }
  if (cl.Mode == TSimCommandLine::EMode::Help) {
    std::fputs(SimHelpText().c_str(), stdout);
    return 0;
  }
  if (cl.Mode == TSimCommandLine::EMode::Version) {
    std::puts("streamsim 1.0");
    return 0;
  }
  try {
    return Run(cl);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "streamsim: %s\n", e.what());
    return 1;
  }
}
