// The generated stream: the test pattern (moving block, clock, frame counter) encoded with
// libx264 or libx265, and a tone encoded with one of the carried audio codecs, interleaved
// in capture-time order. Runs for a set duration or without end (for a stream server). One
// thread at a time; owns its encoders.
#pragma once

#include <memory>
#include <optional>

#include "tools/recmake/audio_encoder.h"
#include "tools/recmake/frame_merger.h"
#include "tools/recmake/frame_source.h"
#include "tools/recmake/video_encoder.h"

namespace recmake {

struct TGeneratorOptions {
  bool WithVideo = true;
  int Width = 704;
  int Height = 576;
  AVRational FrameRate{25, 1};
  TVideoSettings Video;
  int Detail = 0;  // AddPatternDetail's level: 0 the clean pattern, up to kMaxPatternDetail

  std::optional<EAudioCodec> Audio = EAudioCodec::G711U;  // nullopt: no audio
  int AudioRate = 0;                                      // 0: the codec's default
  int AudioChannels = 1;
  int AudioBitrateKbit = 0;
  int AudioFrameMs = 40;
  double ToneHz = 440;

  double DurationSec = 10;  // 0: no end
  int64_t StartUs = 0;      // capture time of the first frame
};

class TStreamGenerator : public TFrameSource {
 public:
  // Throws TRecmakeError for settings the encoders refuse.
  explicit TStreamGenerator(const TGeneratorOptions& options);
  bool Next(TRecordFrame& out) override;

 private:
  enum { kVideo = 0, kAudio = 1 };
  void ProduceVideo();
  void ProduceAudio();

  TGeneratorOptions options_;
  TFrameMerger merger_{2};
  std::unique_ptr<TVideoEncoder> video_;
  std::optional<TParameterSetKeeper> keeper_;
  TFramePtr picture_;
  int64_t pictures_sent_ = 0;
  int64_t picture_limit_ = -1;  // -1: no end
  std::optional<int64_t> first_dts_;
  std::unique_ptr<TAudioEncoder> audio_;
  int64_t samples_made_ = 0;
  int64_t sample_limit_ = -1;
};

}  // namespace recmake
