// Audio for record streams: the framer that cuts byte-stream codecs (PCM, G.711, G.722,
// G.726) into frames of equal duration, and the encoder that turns PCM of any layout into
// record frames of one of the carried codecs with libavcodec. One thread at a time; each
// owns its codec state and the frames not yet taken.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

#include "tools/recmake/adts.h"
#include "tools/recmake/audio_codecs.h"
#include "tools/recmake/av_util.h"
#include "tools/recmake/record_frame.h"

namespace recmake {

class TByteStreamFramer {
 public:
  // Every frame gets a copy of the head (with its own time) and frame_bytes of payload,
  // the last one possibly fewer.
  TByteStreamFramer(const zrplay::TFrameHead& head, int64_t bytes_per_second, size_t frame_bytes);

  // Appends coded bytes. time_us is the capture time of the first of them; it is used when
  // no bytes are pending, otherwise the bytes continue the pending ones.
  void Push(const uint8_t* data, size_t size, int64_t time_us, std::deque<TRecordFrame>& out);
  // Emits the pending bytes as a last, shorter frame.
  void Flush(std::deque<TRecordFrame>& out);

 private:
  void Emit(size_t size, std::deque<TRecordFrame>& out);

  zrplay::TFrameHead head_;
  int64_t bytes_per_second_;
  size_t frame_bytes_;
  std::vector<uint8_t> pending_;
  int64_t pending_time_us_ = 0;
  int64_t pending_offset_ = 0;  // bytes emitted since pending_time_us_ was set
};

// Samples per frame for a frame duration: rounded to an even count so 4-bit codecs end
// on a byte.
int SamplesPerFrame(int sample_rate, int frame_ms);

struct TAudioEncoderOptions {
  EAudioCodec Codec = EAudioCodec::G711U;
  int SampleRate = 0;  // 0: the codec's default
  int Channels = 1;
  int BitrateKbit = 0;  // AAC only; 0: 32 kbit/s per channel below 32 kHz, else 64
  int FrameMs = 40;     // frame duration of byte-stream codecs; block size of ADPCM
  int64_t StartUs = 0;  // capture time of the first sample
};

class TAudioEncoder {
 public:
  // Throws TRecmakeError when the codec cannot be opened with these parameters.
  explicit TAudioEncoder(const TAudioEncoderOptions& options);
  ~TAudioEncoder();
  TAudioEncoder(const TAudioEncoder&) = delete;
  TAudioEncoder& operator=(const TAudioEncoder&) = delete;

  // Takes PCM in any sample format, rate and channel layout.
  void Send(const AVFrame* frame);
  // Encodes what is left; no Send afterwards.
  void Flush();
  // The next finished frame, in capture-time order.
  bool Receive(TRecordFrame& out);

  int SampleRate() const { return ctx_->sample_rate; }
  int Channels() const { return ctx_->ch_layout.nb_channels; }
  const TAudioCodecInfo& Info() const { return info_; }

 private:
  void SetUpConverter(const AVFrame& in);
  // Converts the frame (nullptr: what the converter still holds) into the FIFO.
  void ConvertIntoFifo(const AVFrame* frame);
  void EncodeFromFifo(bool final);
  void SendToEncoder(int samples, bool pad);
  void Drain();
  void TakePacket(const AVPacket& packet);

  const TAudioCodecInfo& info_;
  TAudioEncoderOptions options_;
  TCodecContextPtr ctx_;
  TSwrPtr swr_;
  AVChannelLayout swr_in_layout_{};
  int swr_in_format_ = -1;
  int swr_in_rate_ = 0;
  TAudioFifoPtr fifo_;
  int frame_size_ = 0;
  bool fixed_frame_size_ = false;
  int64_t samples_sent_ = 0;
  std::optional<TByteStreamFramer> framer_;
  std::optional<TAacConfig> aac_;
  std::deque<TRecordFrame> ready_;
  bool flushed_ = false;
};

}  // namespace recmake
