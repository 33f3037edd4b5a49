// TVideoDecoder: one libavcodec decoder for one stream, giving every picture as 8-bit planar
// 4:2:0 with chroma rows half as long as luma rows (converting other layouts and strides). Used by
// one port's decoding thread only; owns its codec context and conversion state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "modules/vdec/elementary_stream.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace vdec {

// Receives one picture (8-bit planar 4:2:0), which the receiver may reference; returns false
// to stop decoding the current access unit.
using TPictureSink = std::function<bool(AVFrame* picture)>;

class TVideoDecoder {
 public:
  // The largest picture a stream may announce, in pixels; larger ones are not decoded.
  static constexpr int64_t kMaxPixels = 4096 * 4096;

  TVideoDecoder() = default;
  ~TVideoDecoder();
  TVideoDecoder(const TVideoDecoder&) = delete;
  TVideoDecoder& operator=(const TVideoDecoder&) = delete;

  // Opens a single-threaded decoder (no added frame delay); false when the codec is missing.
  bool Open(TStreamCodec codec);
  bool IsOpen() const { return context_ != nullptr; }

  // Decodes one access unit and hands out every picture it completes. Damaged data is
  // skipped. Returns false when the sink stopped it.
  bool Decode(const uint8_t* data, size_t size, const TPictureSink& sink);

  // Forgets every reference and held picture, as at the start of a stream.
  void Flush();

  // Pictures per second the stream announces, else 25.
  int FrameRate() const;

 private:
  bool Drain(const TPictureSink& sink);
  AVFrame* As420(AVFrame* frame);

  AVCodecContext* context_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVFrame* converted_ = nullptr;
  SwsContext* sws_ = nullptr;
};

}  // namespace vdec
