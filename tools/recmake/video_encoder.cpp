#include "tools/recmake/video_encoder.h"

#include <cmath>

extern "C" {
#include <libavutil/opt.h>
}

#include "player/channel/frame_head.h"
#include "tools/recmake/record_frame.h"

namespace recmake {

void CheckPictureSize(int width, int height) {
  if (width < 16 || height < 16 || width > 8192 || height > 8192 || width % 2 || height % 2) {
    throw TRecmakeError("picture size " + std::to_string(width) + "x" + std::to_string(height) +
                        " not supported: width and height must be even and within 16..8192");
  }
}

TVideoEncoder::TVideoEncoder(const TVideoSettings& settings, int width, int height,
                             AVRational frame_rate, AVRational time_base)
    : settings_(settings) {
  CheckPictureSize(width, height);
  if (frame_rate.num <= 0 || frame_rate.den <= 0 || av_q2d(frame_rate) > 240) {
    throw TRecmakeError("frame rate " + std::to_string(frame_rate.num) + "/" +
                        std::to_string(frame_rate.den) + " out of range (up to 240)");
  }
  if (settings.Gop < 0 || settings.BFrames < 0 || settings.BFrames > 16 ||
      settings.BitrateKbit < 0 || settings.Threads < 0) {
    throw TRecmakeError("bad video encoder setting (GOP, B-frames 0..16, bitrate, threads)");
  }
  const char* name = settings.Codec == EVideoCodec::H264 ? "libx264" : "libx265";
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (codec == nullptr) throw TRecmakeError(std::string("libavcodec has no ") + name + " encoder");
  ctx_.reset(avcodec_alloc_context3(codec));
  if (!ctx_) throw TRecmakeError("out of memory");
  ctx_->width = width;
  ctx_->height = height;
  ctx_->pix_fmt = AV_PIX_FMT_YUV420P;
  ctx_->framerate = frame_rate;
  ctx_->time_base = time_base;
  int gop = settings.Gop > 0 ? settings.Gop
                             : std::max(1, static_cast<int>(std::lround(av_q2d(frame_rate))));
  ctx_->gop_size = gop;
  ctx_->keyint_min = gop;
  ctx_->max_b_frames = settings.BFrames;
  ctx_->thread_count = settings.Threads;
  if (settings.BitrateKbit > 0) {
    ctx_->bit_rate = int64_t{settings.BitrateKbit} * 1000;
    ctx_->rc_max_rate = ctx_->bit_rate * 3 / 2;
    ctx_->rc_buffer_size = static_cast<int>(ctx_->bit_rate);
  }
  AVDictionary* opts = nullptr;
  av_dict_set(&opts, "preset", settings.Preset.c_str(), 0);
  if (settings.BitrateKbit == 0) av_dict_set(&opts, "crf", "23", 0);
  if (settings.Codec == EVideoCodec::H264) {
    // Key frames exactly every GOP, each an IDR picture a player can start from.
    av_dict_set(&opts, "x264-params", "scenecut=0:open-gop=0", 0);
  } else {
    std::string params = "log-level=error:scenecut=0:open-gop=0:min-keyint=" + std::to_string(gop) +
                         ":bframes=" + std::to_string(settings.BFrames);
    av_dict_set(&opts, "x265-params", params.c_str(), 0);
  }
  int r = avcodec_open2(ctx_.get(), codec, &opts);
  av_dict_free(&opts);
  if (r < 0) {
    throw TRecmakeError(std::string("cannot open the ") + name + " encoder (" +
                        std::to_string(width) + "x" + std::to_string(height) + ", preset \"" +
                        settings.Preset + "\"): " + AvErrorText(r));
  }
}

uint8_t TVideoEncoder::CodecByte() const {
  return settings_.Codec == EVideoCodec::H264 ? zrplay::kCodecH264 : zrplay::kCodecH265;
}

void TVideoEncoder::Send(const AVFrame* picture) {
  AvCheck(avcodec_send_frame(ctx_.get(), picture), "video encoding failed");
  Drain();
}

void TVideoEncoder::Flush() {
  AvCheck(avcodec_send_frame(ctx_.get(), nullptr), "video encoding failed");
  Drain();
}

void TVideoEncoder::Drain() {
  TPacketPtr packet = MakePacket();
  while (true) {
    int r = avcodec_receive_packet(ctx_.get(), packet.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
    AvCheck(r, "video encoding failed");
    TEncodedVideo v;
    v.Data.assign(packet->data, packet->data + packet->size);
    v.Key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    v.Dts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    ready_.push_back(std::move(v));
    av_packet_unref(packet.get());
  }
}

bool TVideoEncoder::Receive(TEncodedVideo& out) {
  if (ready_.empty()) return false;
  out = std::move(ready_.front());
  ready_.pop_front();
  return true;
}

}  // namespace recmake
