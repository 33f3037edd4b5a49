// The KV_AudioDecoder_* exports: a table from handle values to AAC decoders, each with its
// own lock, so one handle's calls are serialised while handles decode in parallel.
#include <map>
#include <memory>
#include <mutex>

#include "modules/kvaudiodecoder/kvaudiodecoder.h"
#include "modules/zraudiodecode/av_audio_decoder.h"
#include "platform/module_object.h"

namespace {

using zraudio::TAvAudioDecoder;

struct TAacDecoder {
  std::mutex Lock;
  TAvAudioDecoder Decoder{{AV_CODEC_ID_AAC, 0, 0, 0}};  // rate and channels from the stream
};

class THandleTable {
 public:
  KV_AUDIO_HANDLE Add(std::shared_ptr<TAacDecoder> decoder) {
    std::lock_guard lock(mutex_);
    const KV_AUDIO_HANDLE handle = next_;
    next_ += 0x10;  // never reused, so a freed handle stays unknown
    decoders_[handle] = std::move(decoder);
    return handle;
  }
  std::shared_ptr<TAacDecoder> Find(KV_AUDIO_HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto it = decoders_.find(handle);
    return it == decoders_.end() ? nullptr : it->second;
  }
  bool Remove(KV_AUDIO_HANDLE handle) {
    std::shared_ptr<TAacDecoder> gone;  // freed after the table lock is let go
    std::lock_guard lock(mutex_);
    auto it = decoders_.find(handle);
    if (it == decoders_.end()) return false;
    gone = std::move(it->second);
    decoders_.erase(it);
    return true;
  }

 private:
  std::mutex mutex_;
  std::map<KV_AUDIO_HANDLE, std::shared_ptr<TAacDecoder>> decoders_;
  KV_AUDIO_HANDLE next_ = 0x03000010;
};

plat::TModuleObject<THandleTable> g_handles;

THandleTable& Handles() {
  return g_handles.Get();
}

// Decoders a caller never closed end with the module.
__attribute__((destructor)) void UnloadAacModule() {
  g_handles.Destroy();
}

}  // namespace

extern "C" {

KVAUDIO_API KV_AUDIO_HANDLE KV_AudioDecoder_CreateHandle(int32_t type) {
  if (type != KV_AUDIO_DECODER_AAC) return 0;
  auto decoder = std::make_shared<TAacDecoder>();
  if (!decoder->Decoder.Ok()) return 0;
  return Handles().Add(std::move(decoder));
}

KVAUDIO_API int32_t KV_AudioDecoder_CloseHandel(KV_AUDIO_HANDLE handle) {
  return Handles().Remove(handle) ? 0 : -1;
}

KVAUDIO_API int32_t KV_AudioDecoder_Decode(KV_AUDIO_HANDLE handle, const uint8_t* in,
                                           int32_t in_length, uint8_t* out, int32_t* out_length) {
  if (out_length == nullptr) return -1;
  const int32_t capacity = *out_length;
  *out_length = 0;
  if (in == nullptr || out == nullptr || in_length < 1 || capacity < 0) return -1;
  auto decoder = Handles().Find(handle);
  if (!decoder) return -1;
  std::lock_guard lock(decoder->Lock);
  size_t produced = 0;
  switch (decoder->Decoder.Decode(in, static_cast<size_t>(in_length), out,
                                  static_cast<size_t>(capacity), produced)) {
    case TAvAudioDecoder::EResult::Ok:
      *out_length = static_cast<int32_t>(produced);
      return 0;
    case TAvAudioDecoder::EResult::NoSpace:
      *out_length = produced > INT32_MAX ? INT32_MAX : static_cast<int32_t>(produced);
      return -2;
    case TAvAudioDecoder::EResult::Error:
      break;
  }
  return -3;
}

KVAUDIO_API int32_t KV_AudioDecoder_GetInfo(KV_AUDIO_HANDLE handle, int32_t* sample_rate,
                                            int32_t* channels) {
  if (sample_rate == nullptr || channels == nullptr) return -1;
  auto decoder = Handles().Find(handle);
  if (!decoder) return -1;
  std::lock_guard lock(decoder->Lock);
  if (decoder->Decoder.SampleRate() <= 0 || decoder->Decoder.Channels() <= 0) return -1;
  *sample_rate = decoder->Decoder.SampleRate();
  *channels = decoder->Decoder.Channels();
  return 0;
}

}  // extern "C"
