// recmake's command line: the option table (which also writes the help text, so every
// option is documented), parsing into settings, and the settings for the generator and
// the media file source. Plain functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/recmake/frame_source.h"
#include "tools/recmake/media_file_source.h"
#include "tools/recmake/stream_generator.h"

namespace recmake {

// A command line that cannot be run; the tool shows the message and a hint to --help.
class TUsageError : public TRecmakeError {
 public:
  using TRecmakeError::TRecmakeError;
};

enum class ERecmakeMode { Convert, Generate, List, Help, Version };

struct TRecmakeOptions {
  ERecmakeMode Mode = ERecmakeMode::Convert;
  std::string Input;
  std::string Output;
  bool FileHead = true;
  std::optional<int64_t> StartUs;  // default: now
  double DurationSec = -1;         // -1: not given
  TVideoExtras Extras;
  bool NoVideo = false;
  bool NoAudio = false;
  bool Quiet = false;
  bool Verbose = false;
  std::string InputFps;

  bool TranscodeVideo = false;
  int Width = 0, Height = 0;
  std::string FrameRate;  // generator frame rate text
  int Detail = 0;         // generator texture and noise level
  TVideoSettings Video;

  std::optional<EAudioCodec> AudioCodec;  // generator codec or re-encoding target
  bool AudioCodecNone = false;            // "--audio-codec none"
  int AudioRate = 0;
  int AudioChannels = 0;
  int AudioBitrateKbit = 0;
  int AudioFrameMs = 40;
  double ToneHz = 440;
};

// Parses the arguments after the program name; throws TUsageError.
TRecmakeOptions ParseRecmakeArgs(const std::vector<std::string>& args);
std::string RecmakeHelpText();

TGeneratorOptions MakeGeneratorOptions(const TRecmakeOptions& options, int64_t now_us);
TFileSourceOptions MakeFileSourceOptions(const TRecmakeOptions& options, int64_t now_us);

}  // namespace recmake
