#include "viewer/player/player_binding.h"

#include <cstdlib>
#include <mutex>

#include "viewer/viewer_log.h"

namespace viewer {

namespace {

std::mutex g_name_mutex;
std::string g_module_name;
std::once_flag g_load_once;
plat::HMODULE g_module = nullptr;

std::string ProxyModuleName() {
  std::lock_guard<std::mutex> lock(g_name_mutex);
  if (!g_module_name.empty()) return g_module_name;
  if (const char* name = std::getenv("QUVI_PLAYER_PROXY"); name && *name) return name;
  return "ZrPlayProxy";
}

void* LookupExport(const char* name) {
  return plat::GetProcAddress(PlayerProxyModule(), name);
}

}  // namespace

void SetPlayerProxyModuleName(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_name_mutex);
  g_module_name = name;
}

plat::HMODULE PlayerProxyModule() {
  std::call_once(g_load_once, [] {
    // Any address inside this library, so the module is looked for beside it first.
    g_module = plat::LoadModule(ProxyModuleName(), reinterpret_cast<const void*>(&LookupExport));
  });
  return g_module;
}

namespace proxy {
// No cached entry points: each call finds its export anew.
#define VIEWER_DEFINE_PLAYER_WRAPPER(ret, name, params, args, fail) \
  ret name params {                                                 \
    using Fn = ret(*) params;                                       \
    void* entry = LookupExport(#name);                              \
    if (entry == nullptr) return fail;                              \
    return reinterpret_cast<Fn>(entry) args;                        \
  }
ZRPLAY_EXPORTS(VIEWER_DEFINE_PLAYER_WRAPPER)
ZRPLAY_PROXY_EXTRA_EXPORTS(VIEWER_DEFINE_PLAYER_WRAPPER)
#undef VIEWER_DEFINE_PLAYER_WRAPPER
}  // namespace proxy

TFileNameArray FileNameToCharArray(const std::string& name) {
  TFileNameArray chars{};
  for (size_t i = 0; i < name.size() && i < chars.size(); ++i) chars[i] = name[i];
  return chars;
}

int32_t CaptureImageToFile(int32_t port, const std::string& file_name) {
  if (file_name.size() >= kFileNameArraySize) {
    WriteLog("capture refused, file name of " + std::to_string(file_name.size()) +
             " characters is too long");
    return 0;
  }
  const TFileNameArray chars = FileNameToCharArray(file_name);
  return proxy::Zr_Play_CaptureImage(port, chars.data());
}

}  // namespace viewer
