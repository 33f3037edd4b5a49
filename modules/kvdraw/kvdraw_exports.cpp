// The ZrDraw_* exports: a table from handle values to draw players.
#include <map>
#include <memory>
#include <mutex>

#include "modules/kvdraw/draw_player.h"
#include "modules/kvdraw/kvdraw.h"
#include "platform/module_object.h"

namespace {

using kvdraw::TDrawPlayer;

// Live handles. The table lock guards lookup only; a player found stays alive while a call
// uses it, even when another thread frees its handle meanwhile.
class THandleTable {
 public:
  ZRDRAW_HANDLE Add(std::shared_ptr<TDrawPlayer> player) {
    std::lock_guard<std::mutex> lock(mutex_);
    const ZRDRAW_HANDLE handle = next_;
    next_ += 0x10;  // never reused, so a freed handle stays unknown
    players_[handle] = std::move(player);
    return handle;
  }

  std::shared_ptr<TDrawPlayer> Find(ZRDRAW_HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = players_.find(handle);
    return it == players_.end() ? nullptr : it->second;
  }

  std::shared_ptr<TDrawPlayer> Take(ZRDRAW_HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = players_.find(handle);
    if (it == players_.end()) return nullptr;
    auto player = std::move(it->second);
    players_.erase(it);
    return player;
  }

 private:
  std::mutex mutex_;
  std::map<ZRDRAW_HANDLE, std::shared_ptr<TDrawPlayer>> players_;
  ZRDRAW_HANDLE next_ = 0x02000010;
};

plat::TModuleObject<THandleTable> g_handles;

THandleTable& Handles() {
  return g_handles.Get();
}

// Players a caller never freed end with the module.
__attribute__((destructor)) void UnloadDrawModule() {
  g_handles.Destroy();
}

}  // namespace

extern "C" {

ZRDRAW_API ZRDRAW_HANDLE ZrDraw_CreatePlayer(ZRDRAW_HWND window) {
  if (window == 0 || window == plat::INVALID_HWND || !plat::IsWindow(window)) return 0;
  return Handles().Add(std::make_shared<TDrawPlayer>(window));
}

ZRDRAW_API ZRDRAW_HANDLE ZrDraw_CreatePlayerEx(ZRDRAW_HMONITOR /*monitor*/, ZRDRAW_HWND window,
                                               int32_t /*left*/, int32_t /*top*/) {
  // Every window draws into its own surface, so where its monitor lies changes nothing.
  return ZrDraw_CreatePlayer(window);
}

ZRDRAW_API int32_t ZrDraw_DrawOneFrame(ZRDRAW_HANDLE handle, const uint8_t* buffer, int32_t size,
                                       int32_t width, int32_t height, int32_t flags) {
  if (flags != 0) return 0;
  auto player = Handles().Find(handle);
  return player && player->Draw(buffer, size, width, height) ? 1 : 0;
}

ZRDRAW_API int32_t ZrDraw_DoZoom(ZRDRAW_HANDLE handle, const ZRDRAW_RECT* source,
                                 ZRDRAW_HWND window, int32_t enable) {
  auto player = Handles().Find(handle);
  return player && player->Zoom(source, window, enable != 0) ? 1 : 0;
}

ZRDRAW_API int32_t ZrDraw_FreePlayer(ZRDRAW_HANDLE handle) {
  auto player = Handles().Take(handle);
  if (!player) return 0;
  player->Close();
  return 1;
}

}  // extern "C"
