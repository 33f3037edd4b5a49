#include "modules/vdec/video_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <cmath>

#include "modules/vdec/codec_log.h"

namespace vdec {

namespace {

AVCodecID CodecId(TStreamCodec codec) {
  switch (codec) {
    case TStreamCodec::H264:
      return AV_CODEC_ID_H264;
    case TStreamCodec::H265:
      return AV_CODEC_ID_HEVC;
    case TStreamCodec::Mpeg4:
      return AV_CODEC_ID_MPEG4;
    case TStreamCodec::Mjpeg:
      return AV_CODEC_ID_MJPEG;
    case TStreamCodec::None:
      break;
  }
  return AV_CODEC_ID_NONE;
}

// 8-bit 4:2:0 laid out as the hook's receivers read it: each chroma row half a luma row.
bool IsDeliverable(const AVFrame& frame) {
  return (frame.format == AV_PIX_FMT_YUV420P || frame.format == AV_PIX_FMT_YUVJ420P) &&
         frame.linesize[1] * 2 == frame.linesize[0] && frame.linesize[2] == frame.linesize[1];
}

// Rows of converted pictures are aligned to this many bytes (chroma rows to half of it).
constexpr int kRowAlign = 64;

// Full-range pictures stay full range: the hook's receiver takes the samples as they are.
bool IsFullRange(const AVFrame& frame) {
  switch (frame.format) {
    case AV_PIX_FMT_YUVJ411P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ444P:
      return true;
    default:
      return frame.color_range == AVCOL_RANGE_JPEG;
  }
}

}  // namespace

TVideoDecoder::~TVideoDecoder() {
  sws_freeContext(sws_);
  av_frame_free(&converted_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  avcodec_free_context(&context_);
}

bool TVideoDecoder::Open(TStreamCodec codec) {
  // Whatever the codec library says goes to the user's log callback, never to stderr.
  InstallCodecLog();
  const AVCodec* decoder = avcodec_find_decoder(CodecId(codec));
  if (decoder == nullptr) return false;
  AVCodecContext* context = avcodec_alloc_context3(decoder);
  if (context == nullptr) return false;
  // Frame threads would hold pictures back by one frame per thread; the caller steps
  // single frames and expects each one out at once.
  context->thread_count = 1;
  context->max_pixels = kMaxPixels;
  // A picture whose slices come in separate blocks is finished when its last slice arrives,
  // not when the next picture starts.
  context->flags2 |= AV_CODEC_FLAG2_CHUNKS;
  if (avcodec_open2(context, decoder, nullptr) < 0) {
    avcodec_free_context(&context);
    return false;
  }
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  converted_ = av_frame_alloc();
  if (packet_ == nullptr || frame_ == nullptr || converted_ == nullptr) {
    avcodec_free_context(&context);
    return false;
  }
  context_ = context;
  return true;
}

bool TVideoDecoder::Decode(const uint8_t* data, size_t size, const TPictureSink& sink) {
  if (context_ == nullptr || size == 0 || size > static_cast<size_t>(INT32_MAX)) return true;
  // A packet without its own buffer is copied (and padded) by the decoder.
  av_packet_unref(packet_);
  packet_->data = const_cast<uint8_t*>(data);
  packet_->size = static_cast<int>(size);
  if (avcodec_send_packet(context_, packet_) == AVERROR(EAGAIN)) {
    // Pictures waiting to be taken first; damaged input is simply skipped.
    if (!Drain(sink)) return false;
    avcodec_send_packet(context_, packet_);
  }
  packet_->data = nullptr;
  packet_->size = 0;
  return Drain(sink);
}

bool TVideoDecoder::Drain(const TPictureSink& sink) {
  for (;;) {
    const int ret = avcodec_receive_frame(context_, frame_);
    if (ret < 0) return true;  // needs more input, or damaged data already reported
    AVFrame* picture = As420(frame_);
    const bool go_on = picture == nullptr || sink(picture);
    av_frame_unref(frame_);
    if (!go_on) return false;
  }
}

AVFrame* TVideoDecoder::As420(AVFrame* frame) {
  if (frame->width <= 0 || frame->height <= 0) return nullptr;
  if (IsDeliverable(*frame)) return frame;
  const AVPixelFormat target = IsFullRange(*frame) ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
  sws_ = sws_getCachedContext(sws_, frame->width, frame->height,
                              static_cast<AVPixelFormat>(frame->format), frame->width,
                              frame->height, target, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (sws_ == nullptr) return nullptr;
  // A fresh buffer each time: the port may still hold the previous picture. Laid out by
  // hand, since the default alignment pads chroma rows on their own (720 wide: luma 768,
  // chroma 384 is fine, but 736 / 384 is not half).
  av_frame_unref(converted_);
  converted_->format = target;
  converted_->width = frame->width;
  converted_->height = frame->height;
  const int luma_stride = (frame->width + kRowAlign - 1) / kRowAlign * kRowAlign;
  const int chroma_stride = luma_stride / 2;
  const size_t luma_bytes = static_cast<size_t>(luma_stride) * frame->height;
  const size_t chroma_bytes = static_cast<size_t>(chroma_stride) * ((frame->height + 1) / 2);
  converted_->buf[0] = av_buffer_alloc(luma_bytes + 2 * chroma_bytes);
  if (converted_->buf[0] == nullptr) return nullptr;
  converted_->data[0] = converted_->buf[0]->data;
  converted_->data[1] = converted_->data[0] + luma_bytes;
  converted_->data[2] = converted_->data[1] + chroma_bytes;
  converted_->linesize[0] = luma_stride;
  converted_->linesize[1] = chroma_stride;
  converted_->linesize[2] = chroma_stride;
  if (sws_scale(sws_, frame->data, frame->linesize, 0, frame->height, converted_->data,
                converted_->linesize) <= 0) {
    return nullptr;
  }
  return converted_;
}

void TVideoDecoder::Flush() {
  if (context_ != nullptr) avcodec_flush_buffers(context_);
}

int TVideoDecoder::FrameRate() const {
  if (context_ != nullptr && context_->framerate.num > 0 && context_->framerate.den > 0) {
    const double rate = av_q2d(context_->framerate);
    if (rate >= 1 && rate <= 1000) return static_cast<int>(std::lround(rate));
  }
  return 25;
}

}  // namespace vdec
