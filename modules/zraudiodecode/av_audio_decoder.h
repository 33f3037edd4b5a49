// TAvAudioDecoder: one libavcodec audio decoder context with its packet and frame, turning
// coded bytes into interleaved 16-bit samples. Shared by the two audio decoder modules.
// One thread at a time; owns its context, its packet (with the input buffer) and its frame.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace zraudio {

struct TAvAudioParams {
  AVCodecID Codec = AV_CODEC_ID_NONE;
  int SampleRate = 0;          // 0: left to the decoder
  int Channels = 1;            // 0: left to the decoder (taken from the stream)
  int BitsPerCodedSample = 0;  // 0: the decoder's default
};

class TAvAudioDecoder {
 public:
  // Check Ok() afterwards: false when libavcodec lacks the decoder or refuses the parameters.
  explicit TAvAudioDecoder(const TAvAudioParams& params);
  ~TAvAudioDecoder();
  TAvAudioDecoder(const TAvAudioDecoder&) = delete;
  TAvAudioDecoder& operator=(const TAvAudioDecoder&) = delete;

  bool Ok() const { return ctx_ != nullptr; }

  enum class EResult { Ok, NoSpace, Error };
  // Decodes one packet of coded bytes and writes every sample it gives to out as interleaved
  // signed 16-bit (clipped from float formats). produced is the bytes written, or with
  // NoSpace the bytes the packet needed (what did not fit is lost). On Error the decoder is
  // flushed, so the next packet starts clean.
  EResult Decode(const uint8_t* in, size_t in_size, uint8_t* out, size_t capacity,
                 size_t& produced);

  // Sample rate and channel count of the last decoded frame; 0 before any.
  int SampleRate() const { return last_rate_; }
  int Channels() const { return last_channels_; }

 private:
  AVCodecContext* ctx_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  int last_rate_ = 0;
  int last_channels_ = 0;
};

// Bytes of one decoded frame as interleaved 16-bit samples; 0 for a sample format that is
// not handled (only 16-bit and float, packed or planar, come from the decoders used here).
size_t InterleavedS16Size(const AVFrame& frame);
// Writes the frame as interleaved 16-bit samples (InterleavedS16Size bytes) to out.
void WriteInterleavedS16(const AVFrame& frame, uint8_t* out);

}  // namespace zraudio
