// The channel as a whole: construction, destruction, stream opening, mode and closing.
#include "player/channel/channel.h"

#include <algorithm>

#include "player/config/player_settings.h"

namespace zrplay {

TChannel::TChannel(int32_t port, int32_t vendor_port, TVideoDecoder& decoder)
    : port_(port),
      vendor_port_(vendor_port),
      decoder_(decoder),
      log_(port, vendor_port),
      buffer_on_live_(PlayerSettings.EnableBufferOnLive) {
  log_.Write("create");
}

TChannel::~TChannel() {
  Stop();
  // A Stop racing the last Play may have returned before that Play started its thread.
  StopBgPlayThread();
  ReleaseRecordFile();
}

int32_t TChannel::SetStreamOpenMode(int32_t mode) {
  const bool r = decoder_.SetStreamOpenMode(vendor_port_, static_cast<uint32_t>(mode));
  stream_state_ = mode == 1 ? ssFileMode : ssRealTime;
  log_.WriteF("set stream mode(%d)=%d", mode, r ? 1 : 0);
  return r ? 1 : 0;
}

int32_t TChannel::GetStreamOpenMode() {
  const int32_t r = StreamState() == ssFileMode ? 1 : 0;
  log_.WriteF("get stream mode=%d", r);
  return r;
}

int32_t TChannel::GetFileHeadLength(int32_t& length) {
  length = static_cast<int32_t>(kFrameHeadSize);
  log_.WriteF("get file head length=%d", length);
  return 1;
}

int32_t TChannel::OpenStream(const uint8_t* head, uint32_t size, uint32_t buf_pool_size) {
  if (size == 0) return 0;
  int32_t head_length = 0;
  GetFileHeadLength(head_length);
  const uint32_t n = std::min(size, static_cast<uint32_t>(head_length));
  if (!IsStandardFrameHead(head, n)) return 0;
  const bool r = decoder_.OpenStream(vendor_port_, buf_pool_size);
  log_.WriteF("open stream(size=%u, buf pool size=%u)=%d", n, buf_pool_size, r ? 1 : 0);
  return r ? 1 : 0;
}

int32_t TChannel::CloseStream() {
  Stop();
  const bool r = decoder_.CloseStream(vendor_port_);
  stream_state_ = ssClosed;
  log_.WriteF("close stream=%d", r ? 1 : 0);
  return r ? 1 : 0;
}

}  // namespace zrplay
