#include "modules/zraudiodecode/av_audio_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace zraudio {

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
  // Bit readers may read a little past the end: the copy carries the zero padding they need.
  const size_t padded = in_size + AV_INPUT_BUFFER_PADDING_SIZE;
  if (input_.size() < padded) input_.resize(padded);
  std::memcpy(input_.data(), in, in_size);
  std::memset(input_.data() + in_size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  packet_->data = input_.data();
  packet_->size = static_cast<int>(in_size);

  int r = avcodec_send_packet(ctx_, packet_);
  av_packet_unref(packet_);
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

int16_t FloatToS16(float v) {
  const float scaled = std::clamp(v, -1.0f, 1.0f) * 32767.0f;
  return static_cast<int16_t>(std::lrintf(scaled));
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
    case AV_SAMPLE_FMT_FLT: {
      const auto* src = reinterpret_cast<const float*>(frame.extended_data[0]);
      for (int i = 0; i < samples * channels; ++i) dst[i] = FloatToS16(src[i]);
      break;
    }
    case AV_SAMPLE_FMT_FLTP:
      for (int c = 0; c < channels; ++c) {
        const auto* src = reinterpret_cast<const float*>(frame.extended_data[c]);
        for (int i = 0; i < samples; ++i) dst[i * channels + c] = FloatToS16(src[i]);
      }
      break;
    default:
      break;
  }
}

}  // namespace zraudio
