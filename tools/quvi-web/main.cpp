// quvi-web: serves the viewer page and hosts live viewer controls for it. See WebHelpText for
// the options; the first line printed is the page's URL.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "tools/quvi-web/web_host.h"
#include "tools/quvi-web/web_options.h"
#include "viewer/control/quvi_host.h"

namespace {

namespace fs = std::filesystem;

// The page's folder of the installation: beside the program's share folder when installed,
// else the source tree's web/ above the build folder (build/<preset>/bin).
fs::path FindWebDir() {
  std::error_code ec;
  const fs::path exe_dir = fs::read_symlink("/proc/self/exe", ec).parent_path();
  std::vector<fs::path> candidates;
  if (!ec) {
    candidates = {exe_dir / "../share/quvi/web", exe_dir / "../../../web", exe_dir / "../../web",
                  exe_dir / "../web"};
  }
#ifdef QUVI_SOURCE_WEB_DIR
  candidates.emplace_back(QUVI_SOURCE_WEB_DIR);
#endif
  for (const fs::path& dir : candidates) {
    if (fs::is_regular_file(dir / "index.html", ec) || fs::is_regular_file(dir / "PROTOCOL.md", ec))
      return fs::weakly_canonical(dir, ec);
  }
  return {};
}

// A whole number or a boolean stays one, anything else is text: the control converts each to
// the property's type.
nlohmann::json DefaultValue(const std::string& text) {
  if (text == "true") return true;
  if (text == "false") return false;
  if (!text.empty() && text.size() < 10 &&
      text.find_first_not_of("0123456789", text[0] == '-' ? 1 : 0) == std::string::npos &&
      text != "-") {
    return std::stoi(text);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quvi_web;
  TWebOptions options;
  try {
    options = ParseWebArgs(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const cli::TOptionError& e) {
    std::fprintf(stderr, "quvi-web: %s\nTry 'quvi-web --help' for the options.\n", e.what());
    return 2;
  }
  if (options.Help) {
    std::fputs(WebHelpText().c_str(), stdout);
    return 0;
  }

  TServerConfig server;
  server.Bind = options.Bind;
  server.Port = options.Port;
  server.Token = options.Token.empty() ? RandomToken() : options.Token;
  server.MaxConnections = options.MaxConnections;
  server.WebDir = options.WebDir.empty() ? FindWebDir() : fs::path(options.WebDir);
  std::error_code ec;
  if (server.WebDir.empty() || !fs::is_directory(server.WebDir, ec)) {
    std::fprintf(stderr, "quvi-web: no page folder%s%s; give one with --web\n",
                 options.WebDir.empty() ? "" : " ", options.WebDir.c_str());
    return 1;
  }
  if (options.OutDir.empty()) {
    std::string pattern = (fs::temp_directory_path(ec) / "quvi-web-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::fprintf(stderr, "quvi-web: cannot make an output folder under %s\n", pattern.c_str());
      return 1;
    }
    server.OutDir = pattern;
  } else {
    server.OutDir = options.OutDir;
    fs::create_directories(server.OutDir, ec);
    if (!fs::is_directory(server.OutDir, ec)) {
      std::fprintf(stderr, "quvi-web: cannot use %s as the output folder\n",
                   options.OutDir.c_str());
      return 1;
    }
  }
  server.OutDir = fs::absolute(server.OutDir, ec);

  THostSettings settings;
  settings.MaxControls = options.MaxControls;
  settings.MaxMessageBytes = server.MaxMessageBytes;
  settings.Channels = options.Channels;
  settings.OutDir = server.OutDir;
  for (const auto& [name, value] : options.Defaults) settings.Defaults[name] = DefaultValue(value);

  // Controls are made by the registered copy of the control library: register the one this
  // program runs with, as its installer would.
  if (DllRegisterServer() != QUVI_S_OK) {
    std::fprintf(stderr, "quvi-web: warning: cannot register the control library: %s\n",
                 QuviGetErrorText());
  }
  try {
    TWebHost host(server, settings);
    host.StopOnSignals();
    std::printf("%s\n", host.Url().c_str());
    std::fflush(stdout);
    if (!IsLoopbackAddress(options.Bind)) {
      std::fprintf(stderr,
                   "quvi-web: warning: listening on %s, not a loopback address: other machines "
                   "can reach this server; only the access token keeps them from the cameras\n",
                   options.Bind.c_str());
    }
    std::fprintf(stderr, "quvi-web: page folder %s, output folder %s\n", server.WebDir.c_str(),
                 server.OutDir.c_str());
    host.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quvi-web: %s\n", e.what());
    return 1;
  }
  return 0;
}
