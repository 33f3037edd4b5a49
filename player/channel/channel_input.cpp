// The channel's stream input: the buffered and the direct input path, the feed step with its
// retries and failure log, and taking frames out of the frame list.
#include <algorithm>
#include <stdexcept>

#include "platform/time.h"
#include "player/channel/channel.h"
#include "player/channel/parameter_set_search.h"
#include "player/config/h264_probe.h"
#include "player/config/player_settings.h"
#include "player/player_log.h"

namespace zrplay {

namespace {

bool IsVideoFrame(const TFrameHead& head) {
  return head.Codec >= 1 && head.Codec <= 6 && head.FrameType != kFrameTypeAudio &&
         head.FrameType != kFrameTypeData;
}

bool IsAudioFrame(const TFrameHead& head) {
  return IsAudioCodec(head.Codec) || head.FrameType == kFrameTypeAudio;
}

// The frame types that end the wait for a key frame after a failed feed.
bool EndsKeyFrameWait(uint8_t type) {
  return type == 0 || type == 1 || type == 2 || type == 21 || type == 23 || type == 24;
}

// Frame types that carry an H.264 sequence parameter set in front of their picture.
bool MayCarryParameterSet(uint8_t type) {
  return type == 2 || type == 21 || type == 23;
}

constexpr uint32_t kHexDumpBytes = 200;

}  // namespace

int32_t TChannel::SetSourceBufCallBack(ZR_SOURCE_BUF_CALLBACK callback, ZR_USER user,
                                       void* reserved) {
  {
    std::lock_guard lock(source_buf_lock_);
    source_buf_callback_ = {callback, user, reserved};
  }
  log_.WriteF("set source buf callback=%d", 1);
  return 1;
}

TChannel::TSourceBufCallback TChannel::SourceBufCallback() const {
  std::lock_guard lock(source_buf_lock_);
  return source_buf_callback_;
}

int32_t TChannel::InputData(const uint8_t* block, int32_t size) {
  if (!playing_ || size < static_cast<int32_t>(kFrameHeadSize)) return 0;
  const size_t length = static_cast<size_t>(size);
  if (!HasFrameMagic(block, length)) return 0;
  if (length == kFrameHeadSize) return 1;
  try {
    const TFrameHead head = ReadFrameHead(block);
    if (IsVideoFrame(head)) {
      if (!buffer_on_live_) {
        FeedFrame(block, length);
        return 1;
      }
      // Until a frame has had to wait there is no list: the first frames of a live view go
      // straight through when the show gate lets them.
      if (!frame_list_.Exists() &&
          show_gate_.CanPlay(FrameTime(head), timing_.LastFrameTime(), live_delay_factor_.load(),
                             head.FrameType, tick_source_.load()(), log_)) {
        FeedFrame(block, length);
        return 1;
      }
      auto frame = std::make_unique<TBufferFrame>(block, length);
      if (StreamState() == ssFileMode) {
        while (playing_ && frame_list_.Count() >= kFileModeListLimit) plat::Sleep(1);
      }
      // A stop while waiting has freed the list; the frame is not kept for a later run.
      if (playing_) {
        frame_list_.Append(std::move(frame));
        // Only a thread with nothing to do needs waking: one waiting for an earlier frame's
        // time takes this one after it.
        if (waiting_for_arrival_) play_work_.Signal();
      }
      return 1;
    }
    if (IsAudioFrame(head)) {
      if (AudioGateOpen()) InputAudio(block, length);
      return 1;
    }
  } catch (...) {
    // Queueing or feeding never fails the caller once the block has passed the checks.
  }
  return 1;
}

int32_t TChannel::InputVideoData(const uint8_t* block, int32_t size) {
  if (size < 0) return 0;
  return FeedFrame(block, static_cast<size_t>(size));
}

int32_t TChannel::FeedFrame(const uint8_t* block, size_t size) {
  if (!playing_ || !HasFrameMagic(block, size)) return 0;
  const TFrameHead head = ReadFrameHead(block);
  // A head may claim more payload than the block holds; only the bytes present are fed.
  const uint32_t length =
      static_cast<uint32_t>(std::min<uint64_t>(size - kFrameHeadSize, head.PayloadLength));
  if (length < 1) return 0;
  const uint8_t* payload = block + kFrameHeadSize;

  timing_.Update(head, PlayerSettings.MaxFPS);

  if (wait_for_key_) {
    if (!EndsKeyFrameWait(head.FrameType)) {
      log_.WriteF("skip frame, type=0x%02X, size=%u", head.FrameType, length);
      return 0;
    }
    wait_for_key_ = false;
  }

  ProbeParameterSet(head, payload, length);

  const uint32_t started = plat::GetTickCount();
  RememberFedFrame(head, block, size);

  bool taken = false;
  for (int attempt = 0; attempt < kInputAttempts && playing_; ++attempt) {
    if (decoder_.InputData(vendor_port_, payload, length)) {
      taken = true;
      break;
    }
    log_.WriteF("input data failed, size=%u", length);
    plat::Sleep(kInputRetryMs);
  }
  if (taken) {
    input_failures_ = 0;
    return 1;
  }
  wait_for_key_ = true;
  LogFeedFailure(head, payload, length, started, ++input_failures_);
  return 0;
}

void TChannel::ProbeParameterSet(const TFrameHead& head, const uint8_t* payload, uint32_t length) {
  if (sps_probed_ || head.Codec != kCodecH264 || !MayCarryParameterSet(head.FrameType)) return;
  const int64_t at = FindH264SequenceParameterSet(payload, length);
  if (at <= 0) return;
  sps_probed_ = true;
  // Logged only: the picture size is always that of the last decoded picture.
  int width = 0;
  int height = 0;
  ProbeH264Sps(payload + at, static_cast<int>(length - at), width, height);
}

void TChannel::RememberFedFrame(const TFrameHead& head, const uint8_t* block, size_t size) {
  // The records sit behind the payload the head declares; only whole records present in the
  // block are copied, read with the record size the player knows whatever the head says.
  const uint64_t start = uint64_t{kFrameHeadSize} + head.PayloadLength;
  const uint64_t present = size > start ? (size - start) / kOverlayRecordSize : 0;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(head.OverlayCount, present));

  std::lock_guard lock(fed_lock_);
  last_fed_head_ = head;
  if (count > overlay_records_.size()) overlay_records_.resize(count);
  if (count > 0) {
    std::memcpy(overlay_records_.data(), block + start, count * kOverlayRecordSize);
  }
  overlay_count_ = count;
}

void TChannel::CopyLastFedFrame(TFrameHead& head, std::vector<TOverlayRecord>& records) const {
  std::lock_guard lock(fed_lock_);
  head = last_fed_head_;
  records.assign(overlay_records_.begin(),
                 overlay_records_.begin() + static_cast<ptrdiff_t>(overlay_count_));
}

void TChannel::LogFeedFailure(const TFrameHead& head, const uint8_t* payload, uint32_t length,
                              uint32_t started_tick, int32_t failures) const {
  log_.WriteF("decode failed, error count=%d, type=0x%02X, size=%u, cost time %u ms!", failures,
              head.FrameType, length, plat::GetTickCount() - started_tick);
  log_.WriteF("first 200 bytes, size = %u", length);
  HexDumpToLog(payload, static_cast<int>(std::min(kHexDumpBytes, length)));
  if (length > 2 * kHexDumpBytes) {
    log_.Write("last 200 bytes");
    HexDumpToLog(payload + length - kHexDumpBytes, static_cast<int>(kHexDumpBytes));
  }
}

bool TChannel::TakeFrame() {
  if (!current_frame_) {
    std::unique_ptr<TBufferFrame> frame =
        frame_list_.TakeFirst(StreamState() != ssFileMode, wait_for_key_, log_);
    if (frame && wait_for_key_ && !frame->IsKeyFrame()) frame.reset();
    current_frame_ = std::move(frame);
  }
  return current_frame_ != nullptr;
}

int32_t TChannel::FeedCurrentFrame() {
  if (!current_frame_) return 0;
  const std::unique_ptr<TBufferFrame> frame = std::move(current_frame_);
  return FeedFrame(frame->Data(), frame->Length());
}

}  // namespace zrplay
