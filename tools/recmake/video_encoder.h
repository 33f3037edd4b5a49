// Video encoding for record streams: YUV 4:2:0 pictures to H.264 (libx264) or H.265
// (libx265) access units in Annex-B form, through libavcodec. One thread at a time; owns
// the codec context.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "tools/recmake/annexb.h"
#include "tools/recmake/av_util.h"

namespace recmake {

struct TVideoSettings {
  EVideoCodec Codec = EVideoCodec::H264;
  int Gop = 0;          // frames from key frame to key frame; 0: one second
  int BitrateKbit = 0;  // 0: constant quality (CRF 23)
  int BFrames = 0;
  std::string Preset = "veryfast";
  int Threads = 0;  // 0: as many as the encoder likes
};

struct TEncodedVideo {
  std::vector<uint8_t> Data;  // Annex-B
  bool Key = false;
  int64_t Dts = 0;  // in the encoder's time base
};

class TVideoEncoder {
 public:
  // Throws TRecmakeError for a bad size, rate or setting, or when the encoder fails to open.
  TVideoEncoder(const TVideoSettings& settings, int width, int height, AVRational frame_rate,
                AVRational time_base);

  // A YUV 4:2:0 picture of the encoder's size; its pts is in the encoder's time base and
  // must grow from picture to picture.
  void Send(const AVFrame* picture);
  void Flush();
  bool Receive(TEncodedVideo& out);

  AVRational TimeBase() const { return ctx_->time_base; }
  uint8_t CodecByte() const;
  EVideoCodec Codec() const { return settings_.Codec; }

 private:
  void Drain();

  TVideoSettings settings_;
  TCodecContextPtr ctx_;
  std::deque<TEncodedVideo> ready_;
};

// Checks a picture size for the encoders (even, 16..8192) and throws a clear error.
void CheckPictureSize(int width, int height);

}  // namespace recmake
