#include "tools/common/player_library.h"

#include <dlfcn.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/process.h"

namespace quvi_tools {

bool TPlayerApi::Load(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) return false;
#define QUVI_PLAYER_API_LOOKUP(ret, name, params, args, fail) \
  name = reinterpret_cast<decltype(name)>(dlsym(handle_, #name));
  ZRPLAY_EXPORTS(QUVI_PLAYER_API_LOOKUP)
#undef QUVI_PLAYER_API_LOOKUP
  return true;
}

bool TPlayerApi::LoadInstalled() {
  const std::string beside = plat::HostExeDir() + "/../lib/libZrPlay_Standard.so";
  return Load(plat::FileExists(beside) ? beside : "libZrPlay_Standard.so");
}

void TPlayerApi::Unload() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

bool TPlayerApi::AllFound() const {
  bool all = true;
#define QUVI_PLAYER_API_CHECK(ret, name, params, args, fail) all = all && name != nullptr;
  ZRPLAY_EXPORTS(QUVI_PLAYER_API_CHECK)
#undef QUVI_PLAYER_API_CHECK
  return all;
}

namespace {
std::string LogPath() {
  return plat::HostExePath() + "_ZrPlay_Standard.log";
}
}  // namespace

size_t PlayerLogSize() {
  std::ifstream in(LogPath(), std::ios::binary | std::ios::ate);
  return in ? static_cast<size_t>(in.tellg()) : 0;
}

std::vector<std::string> PlayerLogLines(size_t from) {
  std::ifstream in(LogPath(), std::ios::binary);
  std::vector<std::string> lines;
  if (!in) return lines;
  in.seekg(static_cast<std::streamoff>(from));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t tag = line.find("@local:");
    if (tag != std::string::npos) lines.push_back(line.substr(tag + 7));
  }
  return lines;
}

}  // namespace quvi_tools
