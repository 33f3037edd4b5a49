#include "tools/zrplay/zrplay_options.h"

#include <sstream>

#include "tools/common/cli_options.h"

namespace zrplay_tool {

namespace {

using cli::TOptionSpec;

const TOptionSpec kOptions[] = {
    {"", 0, nullptr, "What to do (default: play the file):"},
    {"info", 0, nullptr, "print frames, duration, key frames, picture size and codecs, and exit"},
    {"index", 0, nullptr, "print the player's frame index of the file, and exit"},
    {"help", 'h', nullptr, "show this text"},
    {"", 0, nullptr, "How the file reaches the player:"},
    {"stream", 0, nullptr, "feed it through the stream input in real time (a live stream)"},
    {"stream-file-mode", 0, nullptr, "feed it through the stream input in stream-file mode"},
    {"", 0, nullptr, "Playing:"},
    {"seek", 0, "PLACE", "start at PLACE: 40% (position), 12s, 1500ms, 12.5 (time) or #25 (frame)",
     "50%"},
    {"speed", 0, "LEVEL", "speed level from -4 (1/16) to 4 (16 times); 0 is normal", "2"},
    {"snapshot-at", 0, "PLACE", "take a snapshot when playing reaches PLACE (forms as --seek)",
     "#10"},
    {"snapshot-file", 0, "FILE", "where snapshots go: .jpg (JPEG) or .bmp (bitmap)", "a.jpg"},
    {"frames", 0, "N", "stop after N pictures", "25"},
    {"wav", 0, "FILE", "also write the sound played to FILE as WAV", "out.wav"},
    {"headless", 0, nullptr, "no desktop window, even when a display exists"},
    {"quiet", 'q', nullptr, "no progress line"},
};

}  // namespace

TPlace ParsePlace(const std::string& option, const std::string& text) {
  TPlace place;
  std::string number = text;
  const auto ends_with = [&](const std::string& suffix) {
    return number.size() > suffix.size() &&
           number.compare(number.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  double scale = 1000;
  if (!number.empty() && number[0] == '#') {
    place.Kind = TPlace::EKind::Frame;
    place.Value =
        static_cast<double>(cli::ParseWholeNumber(option, number.substr(1), 0, INT32_MAX));
    return place;
  }
  if (ends_with("%")) {
    place.Kind = TPlace::EKind::Position;
    number.pop_back();
    place.Value = cli::ParseNumber(option, number, 0, 100) / 100;
    return place;
  }
  if (ends_with("ms")) {
    number.resize(number.size() - 2);
    scale = 1;
  } else if (ends_with("s")) {
    number.pop_back();
  }
  place.Kind = TPlace::EKind::TimeMs;
  place.Value = cli::ParseNumber(option, number, 0, 1e9) * scale;
  return place;
}

TZrplayOptions ParseZrplayArgs(const std::vector<std::string>& args) {
  TZrplayOptions o;
  cli::TReadResult read;
  try {
    read = cli::ReadArgs(kOptions, args, {.Positionals = true},
                         [&](const TOptionSpec& spec, const std::string& value) {
                           const std::string name = spec.Name;
                           if (name == "help") {
                             o.Mode = EZrplayMode::Help;
                             return false;
                           }
                           if (name == "info") o.Mode = EZrplayMode::Info;
                           if (name == "index") o.Mode = EZrplayMode::Index;
                           if (name == "stream") o.Feed = EFeed::StreamRealTime;
                           if (name == "stream-file-mode") o.Feed = EFeed::StreamFileMode;
                           if (name == "seek") o.Seek = ParsePlace(name, value);
                           if (name == "speed")
                             o.Speed = static_cast<int>(cli::ParseWholeNumber(name, value, -4, 4));
                           if (name == "snapshot-at") o.SnapshotAt = ParsePlace(name, value);
                           if (name == "snapshot-file") o.SnapshotFile = value;
                           if (name == "frames")
                             o.Frames = cli::ParseWholeNumber(name, value, 1, INT32_MAX);
                           if (name == "wav") o.Wav = value;
                           if (name == "headless") o.Headless = true;
                           if (name == "quiet") o.Quiet = true;
                           return true;
                         });
  } catch (const cli::TOptionError& e) {
    throw TUsageError(e.what());
  }
  if (o.Mode == EZrplayMode::Help) return o;
  if (read.Given.count("info") && read.Given.count("index"))
    throw TUsageError("--info and --index exclude each other");
  if (read.Given.count("stream") && read.Given.count("stream-file-mode"))
    throw TUsageError("--stream and --stream-file-mode exclude each other");
  if (read.Positionals.size() != 1)
    throw TUsageError(read.Positionals.empty() ? "no file given" : "give exactly one file");
  o.File = read.Positionals[0];
  return o;
}

std::string ZrplayHelpText() {
  std::ostringstream out;
  out << "Usage: zrplay [options] FILE\n\n"
         "Plays a record stream file through the player library, in a desktop window when a\n"
         "display exists, headless otherwise.\n\n"
         "Keys: space pause, + / - faster / slower, right / left one frame forward / back,\n"
         "Home start, 0-9 go to 0%..90%, s snapshot, q or Esc quit; a click seeks to where\n"
         "the window was clicked.\n"
         "Exit codes: 0 done, 1 the file cannot be played, 2 a bad command line.\n";
  cli::AppendOptionHelp(out, kOptions, 26);
  return out.str();
}

}  // namespace zrplay_tool
