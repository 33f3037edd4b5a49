#include "tools/recmake/audio_encoder.h"

#include <algorithm>
#include <cmath>
#include <string>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

namespace recmake {

// ---- TByteStreamFramer ----

TByteStreamFramer::TByteStreamFramer(const zrplay::TFrameHead& head, int64_t bytes_per_second,
                                     size_t frame_bytes)
    : head_(head), bytes_per_second_(bytes_per_second), frame_bytes_(frame_bytes) {
  if (bytes_per_second_ <= 0 || frame_bytes_ == 0) {
    throw TRecmakeError("audio byte stream without a byte rate or frame size");
  }
}

void TByteStreamFramer::Push(const uint8_t* data, size_t size, int64_t time_us,
                             std::deque<TRecordFrame>& out) {
  if (pending_.empty()) {
    pending_time_us_ = time_us;
    pending_offset_ = 0;
  }
  pending_.insert(pending_.end(), data, data + size);
  size_t used = 0;
  while (pending_.size() - used >= frame_bytes_) {
    TRecordFrame f;
    f.Head = head_;
    SetCaptureTime(f.Head, pending_time_us_ + pending_offset_ * 1000000 / bytes_per_second_);
    f.Payload.assign(pending_.begin() + static_cast<std::ptrdiff_t>(used),
                     pending_.begin() + static_cast<std::ptrdiff_t>(used + frame_bytes_));
    f.SyncLengths();
    out.push_back(std::move(f));
    used += frame_bytes_;
    pending_offset_ += static_cast<int64_t>(frame_bytes_);
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
}

void TByteStreamFramer::Flush(std::deque<TRecordFrame>& out) {
  if (pending_.empty()) return;
  TRecordFrame f;
  f.Head = head_;
  SetCaptureTime(f.Head, pending_time_us_ + pending_offset_ * 1000000 / bytes_per_second_);
  f.Payload = std::move(pending_);
  f.SyncLengths();
  out.push_back(std::move(f));
  pending_.clear();
}

int SamplesPerFrame(int sample_rate, int frame_ms) {
  int samples = static_cast<int>(int64_t{sample_rate} * frame_ms / 1000);
  samples += samples & 1;
  return std::max(samples, 2);
}

// ---- TAudioEncoder ----

namespace {

// IMA ADPCM block size (a power of two, as the encoder demands) whose sample count comes
// closest to the wanted frame.
int AdpcmBlockSize(int channels, int wanted_samples) {
  int best = 256;
  int best_diff = INT32_MAX;
  for (int block = 32; block <= 8192; block *= 2) {
    int samples = (block - 4 * channels) * 8 / (4 * channels) + 1;
    int diff = std::abs(samples - wanted_samples);
    if (diff < best_diff) {
      best = block;
      best_diff = diff;
    }
  }
  return best;
}

}  // namespace

TAudioEncoder::TAudioEncoder(const TAudioEncoderOptions& options)
    : info_(AudioCodecInfo(options.Codec)), options_(options) {
  const AVCodec* codec = avcodec_find_encoder_by_name(info_.Encoder);
  if (codec == nullptr) {
    throw TRecmakeError(std::string("libavcodec has no ") + info_.Encoder + " encoder");
  }
  int rate = options.SampleRate > 0 ? options.SampleRate : info_.DefaultRate;
  int channels = options.Channels;
  if (channels < 1 || channels > 8) {
    throw TRecmakeError("audio channel count " + std::to_string(channels) + " out of range 1..8");
  }
  if (options.FrameMs < 1 || options.FrameMs > 10000) {
    throw TRecmakeError("audio frame duration " + std::to_string(options.FrameMs) +
                        " ms out of range 1..10000");
  }
  ctx_.reset(avcodec_alloc_context3(codec));
  if (!ctx_) throw TRecmakeError("out of memory");
  ctx_->sample_rate = rate;
  ctx_->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  av_channel_layout_default(&ctx_->ch_layout, channels);
  ctx_->time_base = AVRational{1, rate};
  AVDictionary* opts = nullptr;
  int wanted = SamplesPerFrame(rate, options.FrameMs);
  switch (info_.Codec) {
    case EAudioCodec::G721:
      ctx_->bit_rate = 32000;
      break;
    case EAudioCodec::G722:
      ctx_->bit_rate = 64000;
      break;
    case EAudioCodec::AAC:
      ctx_->bit_rate = options.BitrateKbit > 0 ? int64_t{options.BitrateKbit} * 1000
                                               : int64_t{channels} * (rate < 32000 ? 32000 : 64000);
      break;
    case EAudioCodec::ADPCM:
      av_dict_set_int(&opts, "block_size", AdpcmBlockSize(channels, wanted), 0);
      break;
    default:
      break;
  }
  int r = avcodec_open2(ctx_.get(), codec, &opts);
  av_dict_free(&opts);
  if (r < 0) {
    throw TRecmakeError(std::string("cannot open the ") + info_.Name + " encoder at " +
                        std::to_string(rate) + " Hz with " + std::to_string(channels) +
                        " channel(s): " + AvErrorText(r));
  }
  fixed_frame_size_ =
      ctx_->frame_size > 0 && !(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
  frame_size_ = ctx_->frame_size > 0 ? ctx_->frame_size : wanted;
  fifo_.reset(av_audio_fifo_alloc(ctx_->sample_fmt, channels, frame_size_ * 2));
  if (!fifo_) throw TRecmakeError("out of memory");
  if (info_.ByteStream) {
    int64_t bytes_per_second = int64_t{rate} * channels * info_.CodedBits / 8;
    size_t frame_bytes = static_cast<size_t>(int64_t{wanted} * channels * info_.CodedBits / 8);
    framer_.emplace(MakeAudioHead(info_.CodecByte, rate, channels, info_.HeadBits),
                    bytes_per_second, frame_bytes);
  }
  if (info_.Codec == EAudioCodec::AAC) {
    aac_ = ParseAudioSpecificConfig(ctx_->extradata, static_cast<size_t>(ctx_->extradata_size));
    if (!aac_) throw TRecmakeError("the AAC encoder gave no usable configuration");
  }
}

TAudioEncoder::~TAudioEncoder() {
  av_channel_layout_uninit(&swr_in_layout_);
}

void TAudioEncoder::SetUpConverter(const AVFrame& in) {
  if (swr_ && in.format == swr_in_format_ && in.sample_rate == swr_in_rate_ &&
      av_channel_layout_compare(&in.ch_layout, &swr_in_layout_) == 0) {
    return;
  }
  // Keep what the old converter still holds before switching input parameters.
  if (swr_) ConvertIntoFifo(nullptr);
  SwrContext* s = nullptr;
  // This FFmpeg takes the layouts through non-const pointers without writing them.
  AvCheck(swr_alloc_set_opts2(&s, &ctx_->ch_layout, ctx_->sample_fmt, ctx_->sample_rate,
                              const_cast<AVChannelLayout*>(&in.ch_layout),
                              static_cast<AVSampleFormat>(in.format), in.sample_rate, 0, nullptr),
          "cannot set up audio conversion");
  swr_.reset(s);
  AvCheck(swr_init(swr_.get()), "cannot set up audio conversion");
  av_channel_layout_uninit(&swr_in_layout_);
  AvCheck(av_channel_layout_copy(&swr_in_layout_, &in.ch_layout), "audio layout");
  swr_in_format_ = in.format;
  swr_in_rate_ = in.sample_rate;
}

void TAudioEncoder::ConvertIntoFifo(const AVFrame* in) {
  if (in != nullptr) SetUpConverter(*in);
  if (!swr_) return;
  int in_samples = in ? in->nb_samples : 0;
  int out_capacity = swr_get_out_samples(swr_.get(), in_samples);
  if (out_capacity <= 0) return;
  uint8_t** buffers = nullptr;
  AvCheck(av_samples_alloc_array_and_samples(&buffers, nullptr, ctx_->ch_layout.nb_channels,
                                             out_capacity, ctx_->sample_fmt, 0),
          "cannot allocate audio buffer");
  int got = swr_convert(swr_.get(), buffers, out_capacity,
                        in ? const_cast<const uint8_t**>(in->extended_data) : nullptr, in_samples);
  int written =
      got > 0 ? av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(buffers), got) : 0;
  av_freep(&buffers[0]);
  av_freep(&buffers);
  AvCheck(got, "audio conversion failed");
  AvCheck(written, "cannot buffer audio");
}

void TAudioEncoder::Send(const AVFrame* frame) {
  if (flushed_) throw TRecmakeError("audio sent after the end of the stream");
  if (frame == nullptr || frame->nb_samples <= 0) return;
  ConvertIntoFifo(frame);
  EncodeFromFifo(false);
}

void TAudioEncoder::SendToEncoder(int samples, bool pad) {
  TFramePtr frame = MakeFrame();
  int size = pad ? frame_size_ : samples;
  frame->nb_samples = size;
  frame->format = ctx_->sample_fmt;
  frame->sample_rate = ctx_->sample_rate;
  AvCheck(av_channel_layout_copy(&frame->ch_layout, &ctx_->ch_layout), "audio layout");
  AvCheck(av_frame_get_buffer(frame.get(), 0), "cannot allocate audio frame");
  if (pad) {
    av_samples_set_silence(frame->extended_data, 0, size, ctx_->ch_layout.nb_channels,
                           ctx_->sample_fmt);
  }
  av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), samples);
  frame->pts = samples_sent_;
  samples_sent_ += samples;
  AvCheck(avcodec_send_frame(ctx_.get(), frame.get()), "audio encoding failed");
  Drain();
}

void TAudioEncoder::EncodeFromFifo(bool final) {
  while (av_audio_fifo_size(fifo_.get()) >= frame_size_) SendToEncoder(frame_size_, false);
  int left = av_audio_fifo_size(fifo_.get());
  if (final && left > 0) {
    bool small_last_ok =
        !fixed_frame_size_ || (ctx_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    SendToEncoder(left, !small_last_ok);
  }
}

void TAudioEncoder::Flush() {
  if (flushed_) return;
  flushed_ = true;
  if (swr_) ConvertIntoFifo(nullptr);
  EncodeFromFifo(true);
  AvCheck(avcodec_send_frame(ctx_.get(), nullptr), "audio encoding failed");
  Drain();
  if (framer_) framer_->Flush(ready_);
}

void TAudioEncoder::Drain() {
  TPacketPtr packet = MakePacket();
  while (true) {
    int r = avcodec_receive_packet(ctx_.get(), packet.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
    AvCheck(r, "audio encoding failed");
    TakePacket(*packet);
    av_packet_unref(packet.get());
  }
}

void TAudioEncoder::TakePacket(const AVPacket& packet) {
  int64_t pts = packet.pts == AV_NOPTS_VALUE ? 0 : packet.pts + ctx_->initial_padding;
  pts = std::max<int64_t>(pts, 0);
  int64_t time_us = options_.StartUs + pts * 1000000 / ctx_->sample_rate;
  if (framer_) {
    framer_->Push(packet.data, static_cast<size_t>(packet.size), time_us, ready_);
    return;
  }
  TRecordFrame f;
  f.Head = MakeAudioHead(info_.CodecByte, ctx_->sample_rate, ctx_->ch_layout.nb_channels,
                         info_.HeadBits);
  SetCaptureTime(f.Head, time_us);
  if (aac_ && !IsAdtsFrame(packet.data, static_cast<size_t>(packet.size))) {
    f.Payload = WrapAdts(*aac_, packet.data, static_cast<size_t>(packet.size));
  } else {
    f.Payload.assign(packet.data, packet.data + packet.size);
  }
  f.SyncLengths();
  ready_.push_back(std::move(f));
}

bool TAudioEncoder::Receive(TRecordFrame& out) {
  if (ready_.empty()) return false;
  out = std::move(ready_.front());
  ready_.pop_front();
  return true;
}

}  // namespace recmake
