// The QelSound_* exports: a table from handle values to players, and the one WAV file of the
// process, held by one player at a time.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "modules/qeldsound/qeldsound.h"
#include "modules/qeldsound/sound_player.h"
#include "platform/module_object.h"

namespace {

using qelsound::TSoundFormat;
using qelsound::TSoundPlayer;

struct TPlayerEntry {
  QELSOUND_HWND Window = 0;
  bool HoldsWav = false;
  std::shared_ptr<TSoundPlayer> Player;
};

class TPlayerTable {
 public:
  QELSOUND_HANDLE Create(QELSOUND_HWND window) {
    std::string wav_path;
    bool holds_wav = false;
    {
      std::lock_guard lock(mutex_);
      const char* path = std::getenv("QELDSOUND_WAV");
      if (path != nullptr && *path != '\0' && !wav_held_) {
        wav_path = path;
        holds_wav = wav_held_ = true;
      }
    }
    std::shared_ptr<TSoundPlayer> player;
    try {
      // Connecting to a sound server may take a moment: not under the table lock.
      player =
          std::make_shared<TSoundPlayer>(qelsound::MakeSoundSink(), wav_path, QELSOUND_QUEUE_MS);
    } catch (...) {
    }
    std::lock_guard lock(mutex_);
    if (!player) {
      if (holds_wav) wav_held_ = false;
      return 0;
    }
    const QELSOUND_HANDLE handle = next_;
    next_ += 0x10;  // never reused, so a freed handle stays unknown
    players_[handle] = {window, holds_wav, std::move(player)};
    return handle;
  }

  std::shared_ptr<TSoundPlayer> Find(QELSOUND_HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto it = players_.find(handle);
    return it == players_.end() ? nullptr : it->second.Player;
  }

  bool Free(QELSOUND_HANDLE handle) {
    TPlayerEntry entry;
    {
      std::lock_guard lock(mutex_);
      auto it = players_.find(handle);
      if (it == players_.end()) return false;
      entry = std::move(it->second);
      players_.erase(it);
    }
    const uint64_t dropped = entry.Player->DroppedFrames();
    if (dropped > 0) {
      std::fprintf(stderr, "QelDSound: player 0x%" PRIxPTR " dropped %" PRIu64 " frames\n", handle,
                   dropped);
    }
    // A call still running on another thread keeps the player until it returns; the WAV
    // file is finished when the last reference goes.
    entry.Player.reset();
    if (entry.HoldsWav) {
      std::lock_guard lock(mutex_);
      wav_held_ = false;
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::map<QELSOUND_HANDLE, TPlayerEntry> players_;
  QELSOUND_HANDLE next_ = 0x04000010;
  bool wav_held_ = false;
};

plat::TModuleObject<TPlayerTable> g_players;

TPlayerTable& Players() {
  return g_players.Get();
}

// Players a caller never freed end with the module.
__attribute__((destructor)) void UnloadSoundModule() {
  g_players.Destroy();
}

}  // namespace

extern "C" {

QELSOUND_API QELSOUND_HANDLE QelSound_CreatePlayer(QELSOUND_HWND window) {
  return Players().Create(window);
}

QELSOUND_API int32_t QelSound_SetParam(QELSOUND_HANDLE player, int32_t channels, int32_t bits,
                                       int32_t sample_rate) {
  auto p = Players().Find(player);
  return p && p->SetFormat(TSoundFormat{channels, bits, sample_rate}) ? 0 : -1;
}

QELSOUND_API int32_t QelSound_PlayOneFrame(QELSOUND_HANDLE player, const uint8_t* data,
                                           int32_t length) {
  auto p = Players().Find(player);
  if (!p || data == nullptr || length < 1) return QELSOUND_REFUSED;
  switch (p->Play(data, static_cast<size_t>(length))) {
    case TSoundPlayer::EPlay::Played:
      return 0;
    case TSoundPlayer::EPlay::Dropped:
      return QELSOUND_DROPPED;
    case TSoundPlayer::EPlay::Refused:
      break;
  }
  return QELSOUND_REFUSED;
}

QELSOUND_API int32_t QelSound_FreePlayer(QELSOUND_HANDLE player) {
  return Players().Free(player) ? 0 : -1;
}

}  // extern "C"
