// Record frames from any media file libavformat reads (MP4, MKV, MPEG-TS, raw H.264 or
// H.265, AAC, WAV): H.264 and H.265 kept as they are (turned into Annex-B with parameter
// sets in front of key frames), the carried audio codecs kept as they are (AAC given ADTS
// headers, byte streams cut into frames of equal duration), everything else re-encoded
// only when asked. One thread at a time; owns the demuxer and any codec state.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tools/recmake/audio_encoder.h"
#include "tools/recmake/frame_merger.h"
#include "tools/recmake/frame_source.h"
#include "tools/recmake/video_encoder.h"

namespace recmake {

struct TFileSourceOptions {
  std::string Path;
  int64_t StartUs = 0;        // capture time of the start of the input
  double MaxDurationSec = 0;  // 0: the whole input
  bool WithVideo = true;
  bool WithAudio = true;
  std::string InputFps;  // frame rate for raw streams without timing, e.g. "25"

  bool TranscodeVideo = false;  // re-encode video with Video settings
  TVideoSettings Video;
  int Width = 0, Height = 0;  // size of re-encoded video; 0: the input's

  std::optional<EAudioCodec> AudioTranscode;  // re-encode audio to this codec
  int AudioRate = 0;
  int AudioChannels = 0;  // 0: the input's (at most 2; 1 for G.722 and G.721)
  int AudioBitrateKbit = 0;
  int AudioFrameMs = 40;  // frame duration of byte-stream audio
};

class TMediaFileSource : public TFrameSource {
 public:
  // Opens the input and checks that what it holds can be carried; throws TRecmakeError
  // with a message naming the file and the problem.
  explicit TMediaFileSource(const TFileSourceOptions& options);
  ~TMediaFileSource() override;
  bool Next(TRecordFrame& out) override;

  // What was found and what is done with it, e.g. "video h264 1280x720 (kept)".
  std::string Description() const;

 private:
  class TVideoPath;
  class TAudioPath;
  enum { kVideo = 0, kAudio = 1 };

  void ReadMore();
  int64_t CaptureTime(const AVStream& stream, int64_t ts);
  bool PastLimit(const AVStream& stream, int64_t ts) const;
  void Finish(int which);

  TFileSourceOptions options_;
  TFormatContextPtr format_;
  TPacketPtr packet_;
  TFrameMerger merger_{2, 10 * 1000000};
  std::unique_ptr<TVideoPath> video_;
  std::unique_ptr<TAudioPath> audio_;
  int video_index_ = -1;
  int audio_index_ = -1;
  bool video_done_ = false;
  bool audio_done_ = false;
  int64_t origin_us_ = AV_NOPTS_VALUE;
};

}  // namespace recmake
