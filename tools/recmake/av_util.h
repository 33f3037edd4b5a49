// Small owners and error helpers around the FFmpeg C structures the tools use, so every
// allocation is released on every path. Plain helpers; any thread.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace recmake {

struct TAvDeleter {
  void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
  void operator()(AVFrame* p) const { av_frame_free(&p); }
  void operator()(AVPacket* p) const { av_packet_free(&p); }
  void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
  void operator()(AVBSFContext* p) const { av_bsf_free(&p); }
  void operator()(SwrContext* p) const { swr_free(&p); }
  void operator()(SwsContext* p) const { sws_freeContext(p); }
  void operator()(AVAudioFifo* p) const { av_audio_fifo_free(p); }
};

using TCodecContextPtr = std::unique_ptr<AVCodecContext, TAvDeleter>;
using TFramePtr = std::unique_ptr<AVFrame, TAvDeleter>;
using TPacketPtr = std::unique_ptr<AVPacket, TAvDeleter>;
using TFormatContextPtr = std::unique_ptr<AVFormatContext, TAvDeleter>;
using TBsfPtr = std::unique_ptr<AVBSFContext, TAvDeleter>;
using TSwrPtr = std::unique_ptr<SwrContext, TAvDeleter>;
using TSwsPtr = std::unique_ptr<SwsContext, TAvDeleter>;
using TAudioFifoPtr = std::unique_ptr<AVAudioFifo, TAvDeleter>;

TFramePtr MakeFrame();
TPacketPtr MakePacket();

// The text FFmpeg gives for an error code.
std::string AvErrorText(int code);
// Throws TRecmakeError "<what>: <FFmpeg's text>" when code is negative; returns it otherwise.
int AvCheck(int code, const std::string& what);

// Quiet by default (errors only), so the tools print their own messages.
void SetAvLogLevel(bool verbose);

}  // namespace recmake
