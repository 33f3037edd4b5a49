// libZrPlayProxy.so: every player API call is forwarded to the player library serving
// factory id 29 ("ZrPlay_Standard" beside this module, or the module named by
// $ZRPLAYPROXY_PLAYER). While no such library can be loaded every call gives its failure
// value. Adds Zr_Play_InitPlayer_FetchPort. Any thread may call.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>

#include "modules/zrplayproxy/port_pool.h"
#include "platform/module.h"
#include "player/api/zrplay_api.h"

#define ZRPROXY_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_load_mutex;
std::atomic<plat::HMODULE> g_player{nullptr};
TPortPool g_ports;

std::string PlayerModuleName() {
  if (const char* name = std::getenv("ZRPLAYPROXY_PLAYER"); name && *name) return name;
  return "ZrPlay_Standard";
}

// The player library, loaded on first need and kept for the life of the process; retried
// while it is missing.
plat::HMODULE Player() {
  if (plat::HMODULE h = g_player.load()) return h;
  std::lock_guard<std::mutex> lock(g_load_mutex);
  if (plat::HMODULE h = g_player.load()) return h;
  plat::HMODULE h = plat::LoadModule(PlayerModuleName(), reinterpret_cast<const void*>(&Player));
  if (h == nullptr) return nullptr;
  using FactoryFn = int32_t (*)();
  auto factory = reinterpret_cast<FactoryFn>(plat::GetProcAddress(h, "Zr_Play_Player_FACTORYID"));
  if (factory == nullptr || factory() != ZRPLAY_FACTORY_ID) {
    plat::FreeModule(h);
    return nullptr;
  }
  g_player.store(h);
  return h;
}

void* Lookup(const char* name) {
  plat::HMODULE h = Player();
  return h ? plat::GetProcAddress(h, name) : nullptr;
}

// Keeps the port pool in step with the calls that take or give up a port.
template <typename R, typename... Rest>
void TrackPorts(const char* name, R result, int32_t port, Rest...) {
  if constexpr (std::is_same_v<R, int32_t>) {
    const bool init = std::strncmp(name, "Zr_Play_InitPlayer", 18) == 0;
    if (init && result == 0) g_ports.Hold(port);
    if (std::strcmp(name, "Zr_Play_CloseStream") == 0 ||
        std::strcmp(name, "Zr_Play_CloseFile") == 0)
      g_ports.Release(port);
  }
}
template <typename R, typename First, typename... Rest>
void TrackPorts(const char*, R, First, Rest...) {}
template <typename R>
void TrackPorts(const char*, R) {}

}  // namespace

#define ZRPROXY_FORWARD(ret, name, params, args, fail)        \
  ZRPROXY_EXPORT ret name params {                            \
    using Fn = ret(*) params;                                 \
    static std::atomic<void*> entry{nullptr};                 \
    void* p = entry.load();                                   \
    if (p == nullptr) {                                       \
      p = Lookup(#name);                                      \
      if (p == nullptr) return fail;                          \
      entry.store(p);                                         \
    }                                                         \
    const ret result = reinterpret_cast<Fn>(p) args;          \
    [&](auto... a) { TrackPorts(#name, result, a...); } args; \
    return result;                                            \
  }

ZRPLAY_EXPORTS(ZRPROXY_FORWARD)

ZRPROXY_EXPORT int32_t Zr_Play_InitPlayer_FetchPort(int32_t* port, const uint8_t* head,
                                                    int32_t length) {
  if (port == nullptr || Player() == nullptr) return -1;
  const int32_t chosen = g_ports.Acquire();
  if (chosen < 0) return -1;
  if (Zr_Play_InitPlayer(chosen, head, length) != 0) {
    g_ports.Release(chosen);
    return -1;
  }
  *port = chosen;
  return 0;
}
