#include "modules/vdec/test_stream_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <memory>
#include <string>

namespace vdec::testing {

namespace {

struct TContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct TFrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct TPacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// A gradient sliding right, a bright box moving down-right and a little fixed noise, so
// that every picture differs and motion search has work to do.
void DrawPattern(AVFrame& frame, int index) {
  uint32_t noise = 12345;
  for (int y = 0; y < frame.height; ++y) {
    uint8_t* row = frame.data[0] + static_cast<ptrdiff_t>(y) * frame.linesize[0];
    for (int x = 0; x < frame.width; ++x) {
      noise = noise * 1103515245u + 12345u;
      row[x] = static_cast<uint8_t>(((x + 3 * index) & 0xFF) / 2 + 32 + ((noise >> 16) & 7));
    }
  }
  const int box = frame.height / 6;
  const int bx = (index * 7) % (frame.width - box);
  const int by = (index * 5) % (frame.height - box);
  for (int y = by; y < by + box; ++y) {
    for (int x = bx; x < bx + box; ++x) {
      frame.data[0][static_cast<ptrdiff_t>(y) * frame.linesize[0] + x] = 235;
    }
  }
  const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  const int chroma_width = AV_CEIL_RSHIFT(frame.width, layout->log2_chroma_w);
  const int chroma_height = AV_CEIL_RSHIFT(frame.height, layout->log2_chroma_h);
  for (int plane = 1; plane <= 2; ++plane) {
    for (int y = 0; y < chroma_height; ++y) {
      uint8_t* row = frame.data[plane] + static_cast<ptrdiff_t>(y) * frame.linesize[plane];
      for (int x = 0; x < chroma_width; ++x) {
        row[x] = static_cast<uint8_t>(plane == 1 ? 128 + ((x + index) & 31) : 128 - (y & 31));
      }
    }
  }
}

void SetEncoderOptions(AVCodecContext& context, const std::string& name,
                       const TEncodeOptions& options) {
  const std::string slices = std::to_string(options.slices);
  if (name == "libx264") {
    av_opt_set(context.priv_data, "preset", "veryfast", 0);
    av_opt_set(context.priv_data, "tune", "zerolatency", 0);
    av_opt_set(context.priv_data, "x264-params", ("slices=" + slices).c_str(), 0);
  } else if (name == "libx265") {
    av_opt_set(context.priv_data, "preset", "ultrafast", 0);
    av_opt_set(context.priv_data, "tune", "zerolatency", 0);
    av_opt_set(context.priv_data, "x265-params",
               ("log-level=none:pools=none:frame-threads=1:slices=" + slices).c_str(), 0);
  }
}

bool Receive(AVCodecContext& context, AVPacket& packet, TEncodedStream& stream) {
  for (;;) {
    const int ret = avcodec_receive_packet(&context, &packet);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret < 0) return false;
    stream.frames.emplace_back(packet.data, packet.data + packet.size);
    av_packet_unref(&packet);
  }
}

}  // namespace

size_t TEncodedStream::Bytes() const {
  size_t total = 0;
  for (const auto& frame : frames) total += frame.size();
  return total;
}

bool HasEncoder(const char* name) {
  return avcodec_find_encoder_by_name(name) != nullptr;
}

std::optional<TEncodedStream> EncodeTestStream(const char* encoder, int width, int height,
                                               int count, const TEncodeOptions& options) {
  const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
  if (codec == nullptr) return std::nullopt;
  std::unique_ptr<AVCodecContext, TContextFree> context(avcodec_alloc_context3(codec));
  std::unique_ptr<AVFrame, TFrameFree> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, TPacketFree> packet(av_packet_alloc());
  if (!context || !frame || !packet) return std::nullopt;
  const std::string name = encoder;
  const AVPixelFormat format = options.pixel_format >= 0
                                   ? static_cast<AVPixelFormat>(options.pixel_format)
                               : name == "mjpeg" ? AV_PIX_FMT_YUVJ420P
                                                 : AV_PIX_FMT_YUV420P;
  context->width = width;
  context->height = height;
  context->pix_fmt = format;
  context->time_base = AVRational{1, 25};
  context->framerate = AVRational{25, 1};
  context->gop_size = options.key_interval;
  context->max_b_frames = 0;
  context->thread_count = 1;
  SetEncoderOptions(*context, name, options);
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return std::nullopt;

  frame->format = format;
  frame->width = width;
  frame->height = height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return std::nullopt;
  TEncodedStream stream;
  stream.width = width;
  stream.height = height;
  for (int i = 0; i < count; ++i) {
    if (av_frame_make_writable(frame.get()) < 0) return std::nullopt;
    DrawPattern(*frame, i);
    frame->pts = i;
    if (avcodec_send_frame(context.get(), frame.get()) < 0) return std::nullopt;
    if (!Receive(*context, *packet, stream)) return std::nullopt;
  }
  if (avcodec_send_frame(context.get(), nullptr) < 0) return std::nullopt;
  if (!Receive(*context, *packet, stream)) return std::nullopt;
  return stream;
}

int DecodeDirectly(int codec_id, const TEncodedStream& stream,
                   const std::function<void(const AVFrame&)>& on_picture) {
  const AVCodec* codec = avcodec_find_decoder(static_cast<AVCodecID>(codec_id));
  if (codec == nullptr) return -1;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  context->thread_count = 1;
  if (avcodec_open2(context, codec, nullptr) != 0) {
    avcodec_free_context(&context);
    return -1;
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  int pictures = 0;
  auto drain = [&] {
    while (avcodec_receive_frame(context, frame) == 0) {
      on_picture(*frame);
      ++pictures;
      av_frame_unref(frame);
    }
  };
  for (const auto& block : stream.frames) {
    packet->data = const_cast<uint8_t*>(block.data());
    packet->size = static_cast<int>(block.size());
    avcodec_send_packet(context, packet);
    drain();
  }
  avcodec_send_packet(context, nullptr);
  drain();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&context);
  return pictures;
}

}  // namespace vdec::testing
