// zrplay's command line: the option table (which also writes the help text), parsing into
// settings, and the place forms that --seek and --snapshot-at take. Plain functions; any
// thread.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zrplay_tool {

// A command line that cannot be run (exit code 2).
class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A place in a file: "40%" (position), "12s" / "1500ms" / "12.5" (time from the start) or
// "#25" (frame number, video and audio frames counted as the index counts them).
struct TPlace {
  enum class EKind { Position, TimeMs, Frame };
  EKind Kind = EKind::TimeMs;
  double Value = 0;
};
TPlace ParsePlace(const std::string& option, const std::string& text);

enum class EZrplayMode { Play, Info, Index, Help };
// How the file reaches the player: as a record file, or through the stream input paced in
// real time, or in stream-file mode (the player paces).
enum class EFeed { RecordFile, StreamRealTime, StreamFileMode };

struct TZrplayOptions {
  EZrplayMode Mode = EZrplayMode::Play;
  EFeed Feed = EFeed::RecordFile;
  std::string File;
  std::optional<TPlace> Seek;
  int Speed = 0;  // level -4..4
  std::optional<TPlace> SnapshotAt;
  std::string SnapshotFile;  // "" : zrplay-snapshot-<n>.jpg in the current folder
  int64_t Frames = -1;       // stop after this many pictures; -1: at the end
  std::string Wav;
  bool Headless = false;
  bool Quiet = false;
};

// Parses the arguments after the program name; throws TUsageError.
TZrplayOptions ParseZrplayArgs(const std::vector<std::string>& args);
std::string ZrplayHelpText();

}  // namespace zrplay_tool
