// quvi-demo: the main job. Starts streamsim with the generated test pattern and tone, plays
// it as a live view through the viewer's play model into a window (proxy module, player
// library, vdec, renderer) with the sound written to a WAV file, prints the status codes and
// the statistics as they come, saves the window as PNG once a second into the folder it
// names, stops after --seconds and exits 0 only when video was drawn.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/gdi.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "tools/common/cli_options.h"
#include "tools/common/streamsim_process.h"
#include "viewer/pipeline/play_model.h"
#include "viewer/player/player_binding.h"

namespace {

const cli::TOptionSpec kOptions[] = {
    {"seconds", 0, "N", "play for N seconds (default 10)", "3"},
    {"out", 'o', "DIR",
     "folder for the PNG files, the WAV file and the logs (default: a new "
     "folder under the system's temporary folder)",
     "/tmp/demo"},
    {"help", 'h', nullptr, "show this text"},
};

std::mutex g_print_lock;

void Print(const char* format, auto... args) {
  std::lock_guard lock(g_print_lock);
  std::printf(format, args...);
  std::fflush(stdout);
}

bool WindowShowsVideo(plat::HWND window) {
  std::vector<uint32_t> pixels;
  int32_t w = 0, h = 0;
  if (!plat::GetWindowPixels(window, &pixels, &w, &h)) return false;
  int lit = 0;
  for (uint32_t p : pixels) lit += (p & 0xFFFFFF) != 0 ? 1 : 0;
  return lit > static_cast<int>(pixels.size() / 4);
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 10;
  std::string out;
  try {
    bool help = false;
    cli::ReadArgs(kOptions, std::vector<std::string>(argv + 1, argv + argc), {},
                  [&](const cli::TOptionSpec& o, const std::string& value) {
                    const std::string name = o.Name;
                    if (name == "help") help = true;
                    if (name == "seconds")
                      seconds = static_cast<int>(cli::ParseWholeNumber(name, value, 1, 3600));
                    if (name == "out") out = value;
                    return !help;
                  });
    if (help) {
      std::printf(
          "Usage: quvi-demo [options]\n\nPlays streamsim's generated stream as a live "
          "view into a window, with sound into a WAV file.\n");
      cli::AppendOptionHelp(std::cout, kOptions, 24);
      return 0;
    }
  } catch (const cli::TOptionError& e) {
    std::fprintf(stderr, "quvi-demo: %s\n", e.what());
    return 2;
  }
  if (out.empty()) {
    out = (std::filesystem::temp_directory_path() / ("quvi-demo-" + std::to_string(::getpid())))
              .string();
  }
  std::filesystem::create_directories(out);
  Print("quvi-demo: writing into %s\n", out.c_str());

  // The sound module writes what it plays here.
  const std::string wav = out + "/sound.wav";
  ::setenv("QELDSOUND_WAV", wav.c_str(), 1);
  const std::string proxy = plat::HostExeDir() + "/../lib/libZrPlayProxy.so";
  if (plat::FileExists(proxy)) viewer::SetPlayerProxyModuleName(proxy);

  const quvi_tools::TStreamSimProcess sim(plat::HostExeDir() + "/streamsim",
                                          {"--log", out + "/streamsim.log", "--audio", "g711u"});
  if (sim.Port() <= 0) {
    std::fprintf(stderr, "quvi-demo: streamsim did not start\n");
    return 1;
  }
  Print("streamsim: serving the test pattern on 127.0.0.1:%d\n", sim.Port());

  const plat::HWND window = plat::CreateWindowHandle();
  plat::MoveWindow(window, 0, 0, 704, 576);
  int code = 1;
  {
    viewer::TOstraNvPreviewModel model;
    model.SetHostIP("127.0.0.1");
    model.SetHostPort(sim.Port());
    model.SetChannelNo(0);
    model.SetDVRID("1");
    model.SetLoginUser("admin");
    model.SetPassword("admin");
    model.SetConnectTimeout(3000);
    model.SetReadTimeout(5000);
    model.SetPlayWnd(window);
    model.OnStatus = [](int32_t status) { Print("status %d\n", status); };
    model.OnStatusChange = [](viewer::TAbstractPlayModel& m) {
      Print("model status %d\n", m.Status());
    };
    model.OpenSound();  // wanted from the start: the view opens it with its stream
    model.StartPlay();
    int saved = 0;
    for (int s = 1; s <= seconds; ++s) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      char name[64];
      std::snprintf(name, sizeof name, "/window-%03d.png", s);
      if (plat::SaveWindowPng(window, out + name)) ++saved;
      Print("%3d s: %d packages, %.1f packages/s, %.0f bytes/s, video %s\n", s,
            model.CurFrameNumReceived(), model.FrameRateReceived(), model.Bitrate(),
            WindowShowsVideo(window) ? "drawn" : "not drawn");
    }
    const bool drawn = WindowShowsVideo(window);
    model.StopPlay();
    Print("stopped; %d PNG files in %s%s\n", saved, out.c_str(),
          plat::FileExists(wav) ? (", sound in " + wav).c_str() : "");
    code = drawn ? 0 : 1;
    if (!drawn) std::fprintf(stderr, "quvi-demo: no video was drawn\n");
  }
  plat::DestroyWindowHandle(window);
  return code;
}
