#include "modules/zraudiodecode/av_audio_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace zraudio {

namespace {

// Room for a typical coded frame, so the input buffer is rarely made again.
constexpr size_t kMinInputBuffer = 4096;

}  // namespace

TAvAudioDecoder::TAvAudioDecoder(const TAvAudioParams& params) {
  const AVCodec* codec = avcodec_find_decoder(params.Codec);
  if (codec == nullptr) return;
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  if (ctx == nullptr) return;
  if (params.SampleRate > 0) ctx->sample_rate = params.SampleRate;
  if (params.Channels > 0) av_channel_layout_default(&ctx->ch_layout, params.Channels);
  if (params.BitsPerCodedSample > 0) ctx->bits_per_coded_sample = params.BitsPerCodedSample;
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (packet_ == nullptr || frame_ == nullptr || avcodec_open2(ctx, codec, nullptr) < 0) {
    avcodec_free_context(&ctx);
    return;
  }
  ctx_ = ctx;
}

TAvAudioDecoder::~TAvAudioDecoder() {
  avcodec_free_context(&ctx_);
  av_packet_free(&packet_);
  av_frame_free(&frame_);
}

TAvAudioDecoder::EResult TAvAudioDecoder::Decode(const uint8_t* in, size_t in_size, uint8_t* out,
                                                 size_t capacity, size_t& produced) {
  produced = 0;
  if (ctx_ == nullptr || in_size == 0 || in_size > static_cast<size_t>(INT32_MAX / 2)) {
    return EResult::Error;
  }
  // The packet keeps its own reference-counted buffer, so libavcodec takes a reference
  // instead of a copy; it is refilled once the decoder has let go of it. Bit readers may read
  // a little past the end: the buffer carries the zero padding they need.
  const size_t padded = in_size + AV_INPUT_BUFFER_PADDING_SIZE;
  AVBufferRef*& buffer = packet_->buf;
  if (buffer == nullptr || static_cast<size_t>(buffer->size) < padded ||
      av_buffer_is_writable(buffer) == 0) {
    av_buffer_unref(&buffer);
    buffer = av_buffer_alloc(std::max<size_t>(padded, kMinInputBuffer));
    if (buffer == nullptr) return EResult::Error;
  }
  std::memcpy(buffer->data, in, in_size);
  std::memset(buffer->data + in_size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  packet_->data = buffer->data;
  packet_->size = static_cast<int>(in_size);

  int r = avcodec_send_packet(ctx_, packet_);
  if (r < 0) {
    avcodec_flush_buffers(ctx_);
    return EResult::Error;
  }
  bool no_space = false;
  while ((r = avcodec_receive_frame(ctx_, frame_)) >= 0) {
    const size_t size = InterleavedS16Size(*frame_);
    if (size == 0) {
      av_frame_unref(frame_);
      avcodec_flush_buffers(ctx_);
      return EResult::Error;
    }
    if (!no_space && produced + size <= capacity) {
      WriteInterleavedS16(*frame_, out + produced);
    } else {
      no_space = true;
    }
    produced += size;
    last_rate_ = frame_->sample_rate;
    last_channels_ = frame_->ch_layout.nb_channels;
    av_frame_unref(frame_);
  }
  if (r != AVERROR(EAGAIN)) {
    avcodec_flush_buffers(ctx_);
    return EResult::Error;
  }
  if (no_space) return EResult::NoSpace;
  return EResult::Ok;
}

size_t InterleavedS16Size(const AVFrame& frame) {
  const auto format = static_cast<AVSampleFormat>(frame.format);
  switch (format) {
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S16P:
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_FLTP:
      break;
    default:
      return 0;
  }
  if (frame.nb_samples < 0 || frame.ch_layout.nb_channels < 1) return 0;
  return static_cast<size_t>(frame.nb_samples) * static_cast<size_t>(frame.ch_layout.nb_channels) *
         2;
}

namespace {

// Rounds to nearest; used for what the vector loops leave over.
inline int16_t FloatToS16(float v) {
  const float scaled = std::clamp(v, -1.0f, 1.0f) * 32767.0f;
  return static_cast<int16_t>(scaled + (scaled >= 0.0f ? 0.5f : -0.5f));
}

#ifdef __SSE2__
// Eight floats clamped, scaled and rounded to eight 16-bit samples.
inline __m128i EightToS16(const float* src) {
  const __m128 low = _mm_set1_ps(-1.0f);
  const __m128 high = _mm_set1_ps(1.0f);
  const __m128 scale = _mm_set1_ps(32767.0f);
  const __m128 a = _mm_mul_ps(_mm_min_ps(_mm_max_ps(_mm_loadu_ps(src), low), high), scale);
  const __m128 b = _mm_mul_ps(_mm_min_ps(_mm_max_ps(_mm_loadu_ps(src + 4), low), high), scale);
  return _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
}
#endif

// count contiguous floats to as many samples. The conversion is most of what the AAC
// module adds to the decoder's own work, hence the vector loop.
void FloatsToS16(const float* src, int16_t* dst, int count) {
  int i = 0;
#ifdef __SSE2__
  for (; i + 8 <= count; i += 8) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), EightToS16(src + i));
  }
#endif
  for (; i < count; ++i) dst[i] = FloatToS16(src[i]);
}

// Two planes of floats to interleaved stereo samples.
void StereoFloatsToS16(const float* left, const float* right, int16_t* dst, int samples) {
  int i = 0;
#ifdef __SSE2__
  for (; i + 8 <= samples; i += 8) {
    const __m128i l = EightToS16(left + i);
    const __m128i r = EightToS16(right + i);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i), _mm_unpacklo_epi16(l, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i + 8), _mm_unpackhi_epi16(l, r));
  }
#endif
  for (; i < samples; ++i) {
    dst[2 * i] = FloatToS16(left[i]);
    dst[2 * i + 1] = FloatToS16(right[i]);
  }
}

}  // namespace

void WriteInterleavedS16(const AVFrame& frame, uint8_t* out) {
  const int channels = frame.ch_layout.nb_channels;
  const int samples = frame.nb_samples;
  auto* dst = reinterpret_cast<int16_t*>(out);
  switch (static_cast<AVSampleFormat>(frame.format)) {
    case AV_SAMPLE_FMT_S16:
      std::memcpy(out, frame.extended_data[0], static_cast<size_t>(samples) * channels * 2);
      break;
    case AV_SAMPLE_FMT_S16P:
      if (channels == 1) {
        std::memcpy(out, frame.extended_data[0], static_cast<size_t>(samples) * 2);
        break;
      }
      for (int c = 0; c < channels; ++c) {
        const auto* src = reinterpret_cast<const int16_t*>(frame.extended_data[c]);
        for (int i = 0; i < samples; ++i) dst[i * channels + c] = src[i];
      }
      break;
    case AV_SAMPLE_FMT_FLT:
      FloatsToS16(reinterpret_cast<const float*>(frame.extended_data[0]), dst, samples * channels);
      break;
    case AV_SAMPLE_FMT_FLTP:
      if (channels == 1) {
        FloatsToS16(reinterpret_cast<const float*>(frame.extended_data[0]), dst, samples);
      } else if (channels == 2) {
        StereoFloatsToS16(reinterpret_cast<const float*>(frame.extended_data[0]),
                          reinterpret_cast<const float*>(frame.extended_data[1]), dst, samples);
      } else {
        for (int c = 0; c < channels; ++c) {
          const auto* src = reinterpret_cast<const float*>(frame.extended_data[c]);
          for (int i = 0; i < samples; ++i) dst[i * channels + c] = FloatToS16(src[i]);
        }
      }
      break;
    default:
      break;
  }
}

}  // namespace zraudio
