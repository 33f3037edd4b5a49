#include "viewer/player/ostra_nv_preview_player.h"

#include <mutex>

#include "viewer/pipeline/pipeline_model.h"
#include "viewer/player/player_binding.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/packages.h"
#include "viewer/viewer_log.h"

namespace viewer {

namespace {

// Frame types the player is fed: video frames 1, 2, 4 and audio frames 8.
bool IsMediaFrame(int32_t frame_type) {
  return frame_type == 1 || frame_type == 2 || frame_type == 4 || frame_type == 8;
}
constexpr int32_t kKeyFrameType = 1;

// The encode information record the player fills: codec, width, height, then four more.
struct TEncodeInfo {
  int32_t values[7] = {};
};
static_assert(sizeof(TEncodeInfo) == 28);

}  // namespace

int32_t BFrameLevelForFluency(int32_t fluency) {
  if (fluency <= 0) return 2;
  if (fluency >= 2) return 0;
  return 2 - fluency;
}

void TOstraNvPreviewPlayer::BeginPlay(TAbstractPackage& head) {
  const uint8_t* media = nullptr;
  int32_t length = 0;
  if (!MediaOf(head, media, length)) throw EOpenStream("stream head outside its package");
  SetStreamHead(media, length);

  // Held from the watermark step until Playing is set, so a text the window thread sets
  // meanwhile is applied by ApplyWatermark rather than lost between the two.
  std::unique_lock<plat::TCriticalSection> watermark(WatermarkLock(), std::defer_lock);
  try {
    if (NoDecode) {
      StreamOpened = true;
    } else {
      OpenAndPlay(media, length);
      if (Model != nullptr && Model->AudioPlaying()) Model->OpenSound();
      watermark.lock();
      if (!WatermarkTextLocked().empty())
        proxy::Qel_Play_SetWatermark(Port, WatermarkTextLocked().c_str());
    }
  } catch (...) {
    // The play thread's final stop must run the stop sequence for what was opened.
    MarkPlaying(true);
    KeyFrameSeen = false;
    throw;
  }
  MarkPlaying(true);
  KeyFrameSeen = false;
  WriteLogF("CH%d begin play", Port.load());
}

void TOstraNvPreviewPlayer::OpenAndPlay(const uint8_t* head, int32_t length) {
  int32_t port = Port;
  if (port >= 0) {
    proxy::Zr_Play_InitPlayer(port, head, length);
  } else {
    proxy::Zr_Play_InitPlayer_FetchPort(&port, head, length);
    Port = port;
  }
  proxy::Zr_Play_SetStreamOpenMode(port, 0);
  if (!IsTrue(proxy::Zr_Play_OpenStream(port, head, length, kStreamBufferPoolSize)))
    throw EOpenStream();
  proxy::Zr_Play_SetDecCallBack(port, nullptr);
  proxy::Zr_Play_ResetSourceBuffer(port);
  StreamOpened = true;
  proxy::Zr_Play_ThrowBFrame(port, BFrameLevelForFluency(Fluency));
  if (!IsTrue(proxy::Zr_Play_Play(port, PlayWindow))) throw EPlay();
}

bool TOstraNvPreviewPlayer::InputPackage(TAbstractPackage& package) {
  const uint8_t* media = nullptr;
  int32_t length = 0;
  // Only a package built outside the reader can get here with a frame beyond its data.
  if (!MediaOf(package, media, length)) return true;
  const int32_t type = package.FrameType;
  if (OnReceiveData) OnReceiveData(media, length, type);

  if (NoDecode) {
    // The recording already begins with the stored head; a second copy would corrupt it.
    if (type == kStreamHeadFrameType) return true;
    WriteRecordHead();
    WriteRecordPackage(package);
    return true;
  }
  if (IsMediaFrame(type)) {
    if (type == kKeyFrameType) KeyFrameSeen = true;
    if (!KeyFrameSeen) return true;  // nothing can be decoded before the first key frame
    if (!IsTrue(proxy::Zr_Play_InputData(Port, media, length))) return false;
    ReadVideoInfo();
    WriteRecordHead();
    WriteRecordPackage(package);
    return true;
  }
  if (type == kStreamHeadFrameType && reset_on_next_head_.exchange(false))
    proxy::Zr_Play_ResetSourceBuffer(Port);
  return true;
}

void TOstraNvPreviewPlayer::SetStreamHead(const uint8_t* data, int32_t length) {
  TOstraNvPlayer::SetStreamHead(data, length);
  if (OnReceiveData) OnReceiveData(data, length, kStreamHeadFrameType);
}

void TOstraNvPreviewPlayer::SetLinkMode(int32_t mode) {
  const int32_t previous = link_mode_;
  if (mode == previous) return;
  reset_on_next_head_ = previous == 0;
  link_mode_ = mode;
}

void TOstraNvPreviewPlayer::ReadVideoInfo() {
  if (IsVideoInfoKnown()) return;
  TEncodeInfo info;
  int32_t size = sizeof info;
  if (!IsTrue(proxy::Qel_Play_ReadChannelEncodeInfo(Port, &info, &size))) return;
  VideoCodec = info.values[0];
  VideoWidth = info.values[1];
  VideoHeight = info.values[2];
  if (IsVideoInfoKnown() && OnVideoInfoRead) OnVideoInfoRead(VideoCodec, VideoWidth, VideoHeight);
}

}  // namespace viewer
