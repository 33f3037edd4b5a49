// The player library as a program outside it sees it: loaded with dlopen and its 71 exports
// looked up by name (zrplay, the tests and benchmarks), and the lines the library wrote to this program's log. Load and
// Unload on one thread; the exports themselves serve any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/api/zrplay_api.h"

namespace quvi_tools {

// The exports of one loaded player library, one member per export (null when missing).
struct TPlayerApi {
  TPlayerApi() = default;
  TPlayerApi(const TPlayerApi&) = delete;
  TPlayerApi& operator=(const TPlayerApi&) = delete;

#define QUVI_PLAYER_API_MEMBER(ret, name, params, args, fail) ret(*name) params = nullptr;
  ZRPLAY_EXPORTS(QUVI_PLAYER_API_MEMBER)
#undef QUVI_PLAYER_API_MEMBER

  // Loads the library at `path` (kept loaded until Unload) and looks every export up.
  bool Load(const std::string& path);
  // The library beside this program's folder (../lib), else by name on the loader's path.
  bool LoadInstalled();
  // Unloads it: the library destroys every channel still registered.
  void Unload();
  bool AllFound() const;
  void* Handle() const {
    return handle_;
  }

 private:
  void* handle_ = nullptr;
};

// The lines the player library wrote to its log for this program, without time stamps and
// the "@local:" tag, from `from` bytes into the file on (a size from LogSize()).
std::vector<std::string> PlayerLogLines(size_t from = 0);
size_t PlayerLogSize();

}  // namespace quvi_tools
