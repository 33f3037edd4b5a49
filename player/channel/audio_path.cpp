#include "player/channel/audio_path.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "player/media/audio_frame_decoders.h"
#include "player/player_log.h"

namespace zrplay {

namespace {

// The output buffer holds at least this many times the payload, in whole KiB.
constexpr size_t kOutputPerInput = 10;
constexpr size_t kOutputGrain = 1024;
constexpr int32_t kAacDecoderType = 1;
// Raw AAC frames are logged with the first bytes of the frame made of them.
constexpr size_t kRawAacDumpBytes = 16;

bool IsValidAacHandle(TAacDecoderModule::THandle handle) {
  return handle != 0 && handle != -1;
}

int32_t ClampToInt32(size_t value) {
  return value > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(value);
}

}  // namespace

bool AudioGateOpen(bool audio_enabled, bool paused, int32_t speed_level, bool sound_open,
                   bool callback_set) {
  return audio_enabled && !paused && ((speed_level == 0 && sound_open) || callback_set);
}

TAudioPath::TAudioPath(const TChannelLog& log, int32_t port, int32_t vendor_port)
    : log_(log),
      port_(port),
      vendor_port_(vendor_port),
      sound_output_(&QelSoundOutput()),
      aac_module_(&AacDecoderModule()),
      output_(kInitialBufferSize) {}

TAudioPath::~TAudioPath() {
  sound_manager_.reset();
  if (IsValidAacHandle(aac_handle_)) aac_module_->CloseHandle(aac_handle_);
}

void TAudioPath::UseSoundOutput(TSoundOutput& output) {
  std::lock_guard lock(lock_);
  sound_output_ = &output;
}

void TAudioPath::UseAacDecoderModule(TAacDecoderModule& module) {
  std::lock_guard lock(lock_);
  aac_module_ = &module;
}

void TAudioPath::OpenSound(plat::HWND window) {
  std::lock_guard lock(lock_);
  if (!sound_manager_) sound_manager_ = std::make_unique<TSoundManager>(window, *sound_output_);
  sound_open_ = true;
}

void TAudioPath::StopSound() {
  std::lock_guard lock(lock_);
  sound_open_ = false;
  sound_manager_.reset();
}

void TAudioPath::FreeSoundManager() {
  std::lock_guard lock(lock_);
  sound_manager_.reset();
}

bool TAudioPath::HasSoundManager() const {
  std::lock_guard lock(lock_);
  return sound_manager_ != nullptr;
}

size_t TAudioPath::OutputBufferSize() const {
  std::lock_guard lock(lock_);
  return output_.size();
}

TAudioParams TAudioPath::Params() const {
  std::lock_guard lock(lock_);
  return params_;
}

void TAudioPath::Input(const uint8_t* block, size_t size, const TCallback& callback) {
  if (!HasFrameMagic(block, size) || size <= kFrameHeadSize) return;
  std::lock_guard lock(lock_);
  const TFrameHead head = ReadFrameHead(block);
  const uint8_t* payload = block + kFrameHeadSize;
  const size_t length = size - kFrameHeadSize;
  GrowOutputBuffer(length);
  if (head.Codec == kCodecAAC) {
    FrameAac(head, payload, length, callback);
  } else {
    DecodeFrame(head, payload, length, true, callback);
  }
}

void TAudioPath::GrowOutputBuffer(size_t payload_size) {
  const size_t needed = payload_size * kOutputPerInput;
  if (output_.size() >= needed) return;
  const size_t old_size = output_.size();
  const size_t new_size = (needed + kOutputGrain - 1) / kOutputGrain * kOutputGrain;
  output_.resize(new_size);
  WriteLogF("expand audio buf, from %zu to %zu", old_size, new_size);
}

void TAudioPath::DeriveParams(const TFrameHead& head) {
  params_ = DeriveAudioParams(head);
  if (params_.Channels != 0 && !params_logged_) {
    params_logged_ = true;
    log_.WriteF("audio codec = %d, channel = %d, bits = %d, samples = %d", head.Codec,
                params_.Channels, params_.Bits, params_.SampleRate);
  }
}

void TAudioPath::FrameAac(const TFrameHead& head, const uint8_t* payload, size_t size,
                          const TCallback& callback) {
  DeriveParams(head);
  size_t at = 0;
  while (at < size && StartsWithAdtsSync(payload + at, size - at)) {
    const uint32_t frame_length = AdtsFrameLength(payload + at, size - at);
    // A length the bytes present cannot hold ends the payload; the rest is dropped.
    if (frame_length == 0 || frame_length > size - at) return;
    SetAacParams(payload + at);
    DecodeFrame(head, payload + at, frame_length, false, callback);
    at += frame_length;
  }
  if (at >= size) return;

  // Bytes without a sync word are one raw AAC frame: it gets a header of its own.
  const size_t raw = size - at;
  const size_t wrapped = raw + kAdtsHeaderSize;
  if (wrapped > kAdtsMaxFrameLength) {
    // No ADTS header can state that length.
    log_.WriteF("decode audio failed, in=%zu, out=0, stream=%d, port=%d", wrapped, head.Codec,
                vendor_port_);
    return;
  }
  std::vector<uint8_t> frame(wrapped);
  WriteAdtsHeader(frame.data(), AdtsRateIndex(params_.SampleRate), params_.Channels,
                  static_cast<uint32_t>(wrapped));
  std::memcpy(frame.data() + kAdtsHeaderSize, payload + at, raw);
  DecodeFrame(head, frame.data(), wrapped, false, callback);
  log_.WriteF("get one raw aac, size=%zu", wrapped);
  HexDumpToLog(frame.data(), static_cast<int>(std::min<size_t>(kRawAacDumpBytes, wrapped)));
}

void TAudioPath::SetAacParams(const uint8_t* adts_frame) {
  // The decoder is made before the first frame's parameters are set, so even the first frame
  // takes the stream's own channel count (known from the head until the decoder has decoded
  // a frame) rather than a guessed one.
  EnsureAacDecoder();
  if (IsValidAacHandle(aac_handle_)) {
    int32_t rate = 0;
    int32_t channels = 0;
    if (aac_module_->GetInfo(aac_handle_, &rate, &channels) == 0) {
      params_.SampleRate = rate;
      params_.Channels = channels;
    }
  } else {
    params_.SampleRate = AdtsSampleRate(AdtsRateIndexOf(adts_frame));
    params_.Channels = 2;
  }
  params_.Bits = 16;
}

void TAudioPath::EnsureAacDecoder() {
  if (aac_tried_) return;
  aac_tried_ = true;
  aac_handle_ = aac_module_->CreateHandle(kAacDecoderType);
  log_.WriteF("create aac decode handle = 0x%08X", static_cast<uint32_t>(aac_handle_));
}

bool TAudioPath::DecodeAac(const uint8_t* in, size_t length, int32_t& out_length) {
  EnsureAacDecoder();
  if (!IsValidAacHandle(aac_handle_)) return false;
  return aac_module_->Decode(aac_handle_, in, ClampToInt32(length), output_.data(), &out_length) ==
         0;
}

void TAudioPath::DecodeFrame(const TFrameHead& head, const uint8_t* in, size_t length, bool derive,
                             const TCallback& callback) {
  int32_t out_length = ClampToInt32(output_.size());
  bool decoded = false;
  if (head.Codec == kCodecPCM) {
    // The buffer holds ten times the payload, so a copy always fits.
    decoded = length <= output_.size();
    if (decoded) {
      std::memcpy(output_.data(), in, length);
      out_length = static_cast<int32_t>(length);
    }
  } else if (head.Codec == kCodecAAC) {
    decoded = DecodeAac(in, length, out_length);
  } else if (TAudioFrameDecoder decode = ZrAudioFrameDecoder(head.Codec)) {
    decoded = decode(in, ClampToInt32(length), output_.data(), &out_length) == 0;
  }
  if (!decoded) {
    log_.WriteF("decode audio failed, in=%zu, out=%d, stream=%d, port=%d", length, out_length,
                head.Codec, vendor_port_);
    return;
  }
  if (derive) DeriveParams(head);
  Deliver(out_length, callback);
}

void TAudioPath::Deliver(int32_t out_length, const TCallback& callback) {
  if (sound_manager_) {
    if (!(sound_manager_->Params() == params_)) sound_manager_->SetParams(params_);
    sound_manager_->PlayFrame(output_.data(), out_length);
  }
  if (callback.Callback == nullptr) return;
  const ZR_FRAME_INFO info{params_.Channels, params_.Bits, callback.Stamp, kFrameInfoTypeAudio,
                           params_.SampleRate};
  try {
    callback.Callback(port_, reinterpret_cast<const char*>(output_.data()), out_length, &info,
                      callback.User, 0);
  } catch (const std::exception& e) {
    log_.WriteF("dec audio callback failed. e=%s", e.what());
  } catch (...) {
    log_.Write("dec audio callback failed. e=unknown");
  }
}

}  // namespace zrplay
