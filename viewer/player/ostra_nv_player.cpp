#include "viewer/player/ostra_nv_player.h"

#include <cinttypes>
#include <mutex>

#include "viewer/pipeline/protected_section.h"
#include "viewer/player/player_binding.h"
#include "viewer/viewer_log.h"

namespace viewer {

namespace {

constexpr int kCloseStreamAttempts = 5;

}  // namespace

void TOstraNvPlayer::ApplyWatermark() {
  plat::TLock lock(WatermarkLock());
  if (!Playing || NoDecode) return;
  const std::string& text = WatermarkTextLocked();
  proxy::Qel_Play_SetWatermark(Port, text.c_str());
  WriteLog("ch" + std::to_string(Port) + " set watermark " + text);
}

void TOstraNvPlayer::StopPlay() {
  if (NoDecode) return;
  const int32_t port = Port;
  WriteLogF("ch%d stop player %X-->", port, LogId(this));
  struct TEndLine {
    int32_t port;
    const void* player;
    ~TEndLine() { WriteLogF("ch%d stop player %X<--", port, LogId(player)); }
  } end_line{port, this};

  WriteLogF("ch%d try stop", port);
  proxy::Zr_Play_Stop(port);
  WriteLogF("ch%d stop", port);
  proxy::Zr_Play_ResetSourceBuffer(port);
  WriteLogF("ch%d reset source buf", port);
  MarkPlaying(false);
  for (int attempt = 0; attempt < kCloseStreamAttempts; ++attempt)
    if (IsTrue(proxy::Zr_Play_CloseStream(port))) break;
  WriteLogF("ch%d close stream", port);
}

void TOstraNvPlayer::PostStopPlayMessage() {
  std::unique_lock<TProtectedSection> lock;
  if (ProtectedSection != nullptr) lock = std::unique_lock<TProtectedSection>(*ProtectedSection);
  if (NotifyWindow != 0) plat::PostMessage(NotifyWindow, kStopPlayMessage, 0, 0);
}

void TOstraNvPlayer::SetStreamHead(const uint8_t* data, int32_t length) {
  StoreStreamHead(data, length);
}

void TOstraNvPlayer::MarkPlaying(bool playing) {
  plat::TLock lock(WatermarkLock());
  Playing = playing;
}

}  // namespace viewer
