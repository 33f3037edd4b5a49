// The ZrAudio_Decode_OneFrame_* exports: each codec's output size is known from the input
// length, so a too-small output is refused before the decoder (and its state) is touched.
#include <array>
#include <cstddef>
#include <memory>

#include "modules/zraudiodecode/av_audio_decoder.h"
#include "modules/zraudiodecode/zraudiodecode.h"

namespace {

using zraudio::TAvAudioDecoder;
using zraudio::TAvAudioParams;

enum ECodec { kG711U, kG711A, kG722, kADPCM, kG721, kCodecCount };

struct TCodecInfo {
  TAvAudioParams Params;
  // Decoded bytes for in_length coded bytes; 0 when the length cannot be decoded.
  size_t (*OutputBytes)(size_t in_length);
};

size_t TwoBytesPerByte(size_t n) {
  return 2 * n;
}
size_t TwoSamplesPerByte(size_t n) {
  return 4 * n;
}
size_t ImaBlockBytes(size_t n) {
  // The 4-byte header holds the first sample; each following 4 bytes hold 8 more.
  return n < 4 ? 0 : 2 * (1 + (n - 4) / 4 * 8);
}

const std::array<TCodecInfo, kCodecCount>& CodecTable() {
  static const std::array<TCodecInfo, kCodecCount> table = {{
      {{AV_CODEC_ID_PCM_MULAW, 8000, 1, 0}, TwoBytesPerByte},
      {{AV_CODEC_ID_PCM_ALAW, 8000, 1, 0}, TwoBytesPerByte},
      {{AV_CODEC_ID_ADPCM_G722, 16000, 1, 8}, TwoSamplesPerByte},
      {{AV_CODEC_ID_ADPCM_IMA_WAV, 8000, 1, 4}, ImaBlockBytes},
      {{AV_CODEC_ID_ADPCM_G726LE, 8000, 1, 4}, TwoSamplesPerByte},
  }};
  return table;
}

// This thread's decoder of the codec, opened on first use; nullptr when it cannot open.
TAvAudioDecoder* ThreadDecoder(ECodec codec) {
  thread_local std::array<std::unique_ptr<TAvAudioDecoder>, kCodecCount> decoders;
  std::unique_ptr<TAvAudioDecoder>& d = decoders[codec];
  if (!d) d = std::make_unique<TAvAudioDecoder>(CodecTable()[codec].Params);
  return d->Ok() ? d.get() : nullptr;
}

int32_t DecodeOneFrame(ECodec codec, const uint8_t* in, int32_t in_length, uint8_t* out,
                       int32_t* out_length) {
  if (out_length == nullptr) return ZRAUDIO_E_ARG;
  const int32_t capacity = *out_length;
  *out_length = 0;
  if (in == nullptr || out == nullptr || in_length < 1 || capacity < 0) return ZRAUDIO_E_ARG;
  const size_t needed = CodecTable()[codec].OutputBytes(static_cast<size_t>(in_length));
  if (needed == 0) return ZRAUDIO_E_DECODE;
  if (needed > static_cast<size_t>(capacity)) {
    *out_length = needed > INT32_MAX ? INT32_MAX : static_cast<int32_t>(needed);
    return ZRAUDIO_E_SPACE;
  }
  TAvAudioDecoder* decoder = ThreadDecoder(codec);
  if (decoder == nullptr) return ZRAUDIO_E_DECODE;
  size_t produced = 0;
  switch (decoder->Decode(in, static_cast<size_t>(in_length), out, static_cast<size_t>(capacity),
                          produced)) {
    case TAvAudioDecoder::EResult::Ok:
      *out_length = static_cast<int32_t>(produced);
      return 0;
    case TAvAudioDecoder::EResult::NoSpace:
      *out_length = produced > INT32_MAX ? INT32_MAX : static_cast<int32_t>(produced);
      return ZRAUDIO_E_SPACE;
    case TAvAudioDecoder::EResult::Error:
      break;
  }
  return ZRAUDIO_E_DECODE;
}

}  // namespace

extern "C" {

ZRAUDIO_API int32_t ZrAudio_Decode_OneFrame_G711U(const uint8_t* in, int32_t in_length,
                                                  uint8_t* out, int32_t* out_length) {
  return DecodeOneFrame(kG711U, in, in_length, out, out_length);
}

ZRAUDIO_API int32_t ZrAudio_Decode_OneFrame_G711A(const uint8_t* in, int32_t in_length,
                                                  uint8_t* out, int32_t* out_length) {
  return DecodeOneFrame(kG711A, in, in_length, out, out_length);
}

ZRAUDIO_API int32_t ZrAudio_Decode_OneFrame_G722(const uint8_t* in, int32_t in_length, uint8_t* out,
                                                 int32_t* out_length) {
  return DecodeOneFrame(kG722, in, in_length, out, out_length);
}

ZRAUDIO_API int32_t ZrAudio_Decode_OneFrame_ADPCM(const uint8_t* in, int32_t in_length,
                                                  uint8_t* out, int32_t* out_length) {
  return DecodeOneFrame(kADPCM, in, in_length, out, out_length);
}

ZRAUDIO_API int32_t ZrAudio_Decode_OneFrame_G721(const uint8_t* in, int32_t in_length, uint8_t* out,
                                                 int32_t* out_length) {
  return DecodeOneFrame(kG721, in, in_length, out, out_length);
}

}  // extern "C"
