// TDecodeWorker: the decoding thread of one playing port. It takes blocks from the port's
// input buffer, finds the codec in the stream, decodes, and hands every picture to the
// port's delivery function on this thread. Made by Play and destroyed after Stop; owns the
// thread and the decoder, not the input buffer.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "modules/vdec/elementary_stream.h"
#include "modules/vdec/input_buffer.h"
#include "modules/vdec/vdec.h"
#include "modules/vdec/video_decoder.h"

namespace vdec {

class TDecodeWorker {
 public:
  using TDeliver = std::function<void(const AVFrame& picture, const VDEC_FRAME_INFO& info)>;

  TDecodeWorker(int32_t port, TInputBuffer& input, TDeliver deliver);
  ~TDecodeWorker();  // stops
  TDecodeWorker(const TDecodeWorker&) = delete;
  TDecodeWorker& operator=(const TDecodeWorker&) = delete;

  // Starts the thread; false when it cannot be created.
  bool Start();
  // Ends the thread and waits for it; no delivery runs after this returns. Buffered input
  // stays in the buffer.
  void Stop();

  // The port whose decoding thread is calling, or -1 on any other thread.
  static int32_t CallingPort();

 private:
  void Run();
  void DecodeBlock(const std::vector<uint8_t>& block);
  bool OnPicture(const AVFrame& picture);

  // Picture units in a row that gave no picture, after which a key picture resets the
  // decoder. Above any reordering delay and slices-per-block count of a sound stream.
  static constexpr int kStuckUnits = 8;

  const int32_t port_;
  TInputBuffer& input_;
  const TDeliver deliver_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  // Decoding state, touched only by the thread.
  TStreamCodec codec_ = TStreamCodec::None;
  TVideoDecoder decoder_;
  int64_t pictures_ = 0;
  int units_without_picture_ = 0;
};

}  // namespace vdec
