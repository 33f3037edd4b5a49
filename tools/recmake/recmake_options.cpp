#include "tools/recmake/recmake_options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>

extern "C" {
#include <libavutil/parseutils.h>
}

#include "tools/common/cli_options.h"
#include "tools/recmake/test_pattern.h"

namespace recmake {

namespace {

using cli::TOptionSpec;

// Groups are separated by entries whose name is empty and whose help is the heading.
const TOptionSpec kOptions[] = {
    {"", 0, nullptr, "Modes (one of):"},
    {"input", 'i', "FILE",
     "convert a media file (MP4, MKV, MPEG-TS, raw H.264/H.265, AAC, WAV, anything "
     "libavformat reads); the input may also be given without -i"},
    {"generate", 'g', nullptr, "generate a test pattern with a moving clock and frame counter"},
    {"list", 'l', "FILE", "print the file head and every frame of a record file, then stop"},
    {"help", 'h', nullptr, "show this text"},
    {"version", 0, nullptr, "show the version"},
    {"", 0, nullptr, "Output:"},
    {"output", 'o', "FILE", "the record file to write (required when converting or generating)"},
    {"no-file-head", 0, nullptr,
     "leave out the 64-byte file head; the file starts with its first frame"},
    {"start", 0, "TIME",
     "capture time of the first frame: \"YYYY-MM-DD hh:mm:ss[.fff]\" (wall-clock, written "
     "as is) or \"@SECONDS[.fraction]\" (raw head seconds); default: now, local time"},
    {"duration", 0, "SECONDS",
     "length to write; default 10 when generating, the whole input when converting"},
    {"overlay", 0, "X,Y,TEXT",
     "add a text overlay record to every video frame (repeatable, up to 255; TEXT at most "
     "40 bytes; X and Y in the 704x576 reference frame)"},
    {"overlay-codepage", 0, nullptr,
     "mark overlay text as system code page (encoding byte 0) instead of UTF-8 (byte 1)"},
    {"rotate", 0, nullptr, "set the rotation byte (1: shown turned 90 degrees clockwise)"},
    {"no-video", 0, nullptr, "leave video out"},
    {"no-audio", 0, nullptr, "leave audio out (same as --audio-codec none)"},
    {"quiet", 'q', nullptr, "print nothing when all goes well"},
    {"verbose", 'v', nullptr, "let the codec libraries print their messages"},
    {"", 0, nullptr, "Input (converting):"},
    {"input-fps", 0, "RATE", "frame rate of a raw H.264/H.265 stream without timing (e.g. 25)"},
    {"transcode-video", 0, nullptr,
     "re-encode the video with the video options below (needed for codecs other than "
     "H.264 and H.265)"},
    {"", 0, nullptr, "Video (generating, or converting with --transcode-video):"},
    {"size", 's', "WxH", "picture size, even numbers (default 704x576 when generating)"},
    {"fps", 'r', "RATE", "frame rate when generating, e.g. 25 or 30000/1001 (default 25)"},
    {"detail", 0, "LEVEL",
     "when generating: add a panning fine texture and fresh sensor-like noise to every "
     "picture, 1 (faint) to 10 (strong), so that --bitrate is really spent as a camera's "
     "stream would spend it (default 0: the clean pattern, which compresses far below any "
     "bit rate asked for)"},
    {"video-codec", 0, "CODEC", "h264 (libx264, codec byte 4, default) or h265 (libx265, byte 5)"},
    {"gop", 0, "FRAMES", "frames from key frame to key frame (default: one second)"},
    {"bitrate", 'b', "KBIT", "video bit rate in kbit/s (default: constant quality, CRF 23)"},
    {"bframes", 0, "N", "B-frames between reference frames (default 0)"},
    {"preset", 0, "NAME", "encoder speed preset (default veryfast)"},
    {"threads", 0, "N", "encoder threads (default 0: automatic; 1 gives repeatable files)"},
    {"", 0, nullptr, "Audio (generating, or re-encoding when converting):"},
    {"audio-codec", 'a', "CODEC",
     "pcm, g711u, g711a, g722, g721, adpcm, aac or none (generating: default g711u; "
     "converting: re-encode the input's audio to CODEC)"},
    {"audio-rate", 0, "HZ", "sample rate (default: 16000 for g722 and aac, else 8000)"},
    {"audio-channels", 0, "N", "channels (default 1; converting: the input's, at most 2)"},
    {"audio-bitrate", 0, "KBIT", "AAC bit rate in kbit/s (default 32 per channel, 64 from 32 kHz)"},
    {"audio-frame-ms", 0, "MS",
     "duration of one frame of pcm, g711u, g711a, g722 and g721 (default 40); also the "
     "ADPCM block length aimed at"},
    {"tone", 0, "HZ",
     "frequency of the generated tone (default 440; an octave higher for the first tenth "
     "of every second)"},
};

int ParseInt(const std::string& name, const std::string& text, int lo, int hi) {
  return static_cast<int>(cli::ParseWholeNumber(name, text, lo, hi));
}

void ParseSize(const std::string& text, int& width, int& height) {
  char* end = nullptr;
  long w = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || (*end != 'x' && *end != 'X')) {
    throw TUsageError("--size wants WIDTHxHEIGHT, not \"" + text + "\"");
  }
  const char* rest = end + 1;
  long h = std::strtol(rest, &end, 10);
  if (end == rest || *end != '\0' || w <= 0 || h <= 0 || w > 8192 || h > 8192) {
    throw TUsageError("--size wants WIDTHxHEIGHT, not \"" + text + "\"");
  }
  width = static_cast<int>(w);
  height = static_cast<int>(h);
}

zrplay::TOverlayRecord ParseOverlay(const std::string& text) {
  size_t c1 = text.find(',');
  size_t c2 = c1 == std::string::npos ? c1 : text.find(',', c1 + 1);
  if (c2 == std::string::npos) throw TUsageError("--overlay wants X,Y,TEXT, not \"" + text + "\"");
  int x = ParseInt("overlay", text.substr(0, c1), INT16_MIN, INT16_MAX);
  int y = ParseInt("overlay", text.substr(c1 + 1, c2 - c1 - 1), INT16_MIN, INT16_MAX);
  try {
    return MakeOverlayRecord(x, y, text.substr(c2 + 1));
  } catch (const TRecmakeError& e) {
    throw TUsageError(e.what());
  }
}

AVRational ParseRate(const std::string& name, const std::string& text) {
  AVRational r{0, 1};
  if (av_parse_video_rate(&r, text.c_str()) < 0 || r.num <= 0 || r.den <= 0 || av_q2d(r) > 240) {
    throw TUsageError("--" + name +
                      " wants a frame rate up to 240 such as 25 or 30000/1001, not \"" + text +
                      "\"");
  }
  return r;
}

// Applies one option with its value; false for one that ends the reading (help, version).
bool Apply(const std::string& name, const std::string& value, TRecmakeOptions& o, bool& generate,
           std::string& list_path) {
  if (name == "input") {
    o.Input = value;
  } else if (name == "generate") {
    generate = true;
  } else if (name == "list") {
    list_path = value;
  } else if (name == "help") {
    o.Mode = ERecmakeMode::Help;
    return false;
  } else if (name == "version") {
    o.Mode = ERecmakeMode::Version;
    return false;
  } else if (name == "output") {
    o.Output = value;
  } else if (name == "no-file-head") {
    o.FileHead = false;
  } else if (name == "start") {
    try {
      o.StartUs = ParseStartTime(value);
    } catch (const TRecmakeError& e) {
      throw TUsageError(e.what());
    }
  } else if (name == "duration") {
    o.DurationSec = cli::ParseNumber(name, value, 0.001, 1e6);
  } else if (name == "overlay") {
    if (o.Extras.Overlays.size() >= 255) throw TUsageError("more than 255 overlay records");
    o.Extras.Overlays.push_back(ParseOverlay(value));
  } else if (name == "overlay-codepage") {
    o.Extras.Utf8 = false;
  } else if (name == "rotate") {
    o.Extras.Rotate = true;
  } else if (name == "no-video") {
    o.NoVideo = true;
  } else if (name == "no-audio") {
    o.NoAudio = true;
  } else if (name == "quiet") {
    o.Quiet = true;
  } else if (name == "verbose") {
    o.Verbose = true;
  } else if (name == "input-fps") {
    ParseRate(name, value);
    o.InputFps = value;
  } else if (name == "transcode-video") {
    o.TranscodeVideo = true;
  } else if (name == "size") {
    ParseSize(value, o.Width, o.Height);
  } else if (name == "fps") {
    ParseRate(name, value);
    o.FrameRate = value;
  } else if (name == "detail") {
    o.Detail = ParseInt(name, value, 0, kMaxPatternDetail);
  } else if (name == "video-codec") {
    if (value == "h264" || value == "H264" || value == "avc") {
      o.Video.Codec = EVideoCodec::H264;
    } else if (value == "h265" || value == "H265" || value == "hevc") {
      o.Video.Codec = EVideoCodec::H265;
    } else {
      throw TUsageError("--video-codec wants h264 or h265, not \"" + value + "\"");
    }
  } else if (name == "gop") {
    o.Video.Gop = ParseInt(name, value, 1, 100000);
  } else if (name == "bitrate") {
    o.Video.BitrateKbit = ParseInt(name, value, 1, 1000000);
  } else if (name == "bframes") {
    o.Video.BFrames = ParseInt(name, value, 0, 16);
  } else if (name == "preset") {
    o.Video.Preset = value;
  } else if (name == "threads") {
    o.Video.Threads = ParseInt(name, value, 0, 64);
  } else if (name == "audio-codec") {
    if (value == "none") {
      o.AudioCodecNone = true;
    } else {
      o.AudioCodec = FindAudioCodec(value);
      if (!o.AudioCodec) throw TUsageError("unknown audio codec \"" + value + "\"");
    }
  } else if (name == "audio-rate") {
    o.AudioRate = ParseInt(name, value, 1000, 192000);
  } else if (name == "audio-channels") {
    o.AudioChannels = ParseInt(name, value, 1, 8);
  } else if (name == "audio-bitrate") {
    o.AudioBitrateKbit = ParseInt(name, value, 8, 1024);
  } else if (name == "audio-frame-ms") {
    o.AudioFrameMs = ParseInt(name, value, 1, 10000);
  } else if (name == "tone") {
    o.ToneHz = cli::ParseNumber(name, value, 1, 20000);
  }
  return true;
}

}  // namespace

TRecmakeOptions ParseRecmakeArgs(const std::vector<std::string>& args) {
  TRecmakeOptions o;
  bool generate = false;
  std::string list_path;
  cli::TReadResult read;
  try {
    read = cli::ReadArgs(kOptions, args, {.Repeatable = {"overlay"}, .Positionals = true},
                         [&](const TOptionSpec& option, const std::string& value) {
                           return Apply(option.Name, value, o, generate, list_path);
                         });
  } catch (const cli::TOptionError& e) {
    throw TUsageError(e.what());
  }
  if (o.Mode == ERecmakeMode::Help || o.Mode == ERecmakeMode::Version) return o;
  const std::set<std::string>& given = read.Given;
  const std::vector<std::string>& positional = read.Positionals;

  if (!positional.empty()) {
    if (positional.size() > 1 || !o.Input.empty()) {
      throw TUsageError("more than one input given");
    }
    o.Input = positional[0];
  }
  int modes = (generate ? 1 : 0) + (!list_path.empty() ? 1 : 0) + (!o.Input.empty() ? 1 : 0);
  if (modes == 0) throw TUsageError("nothing to do: give an input file, --generate or --list");
  if (modes > 1) throw TUsageError("give only one of an input file, --generate and --list");
  if (!list_path.empty()) {
    o.Mode = ERecmakeMode::List;
    o.Input = list_path;
    for (const std::string& g : given) {
      if (g != "list" && g != "quiet" && g != "verbose") {
        throw TUsageError("--" + g + " does not go with --list");
      }
    }
    return o;
  }
  o.Mode = generate ? ERecmakeMode::Generate : ERecmakeMode::Convert;
  if (o.Output.empty()) throw TUsageError("no output file given (-o FILE)");
  if (o.NoAudio && o.AudioCodec) throw TUsageError("--no-audio and --audio-codec contradict");
  if (o.AudioCodecNone) o.NoAudio = true;
  if (o.NoAudio && o.NoVideo) throw TUsageError("--no-audio and --no-video leave nothing");

  auto only_when = [&](const char* option, bool allowed, const char* when) {
    if (given.count(option) && !allowed) {
      throw TUsageError(std::string("--") + option + " applies only " + when);
    }
  };
  bool encodes_video = generate || o.TranscodeVideo;
  bool encodes_audio = generate || o.AudioCodec.has_value();
  const char* video_when = "to generated or re-encoded video (--generate, --transcode-video)";
  const char* audio_when = "to generated or re-encoded audio (--generate, --audio-codec)";
  for (const char* v : {"size", "video-codec", "gop", "bitrate", "bframes", "preset", "threads"}) {
    only_when(v, encodes_video, video_when);
  }
  for (const char* a : {"audio-rate", "audio-channels", "audio-bitrate"}) {
    only_when(a, encodes_audio, audio_when);
  }
  only_when("fps", generate, "when generating (--generate)");
  only_when("detail", generate, "when generating (--generate)");
  only_when("tone", generate, "when generating (--generate)");
  only_when("input-fps", !generate, "when converting an input file");
  only_when("transcode-video", !generate, "when converting an input file");
  if (generate && o.Width == 0) {
    o.Width = 704;
    o.Height = 576;
  }
  return o;
}

std::string RecmakeHelpText() {
  std::ostringstream out;
  out << "Usage: recmake [options] -o OUTPUT INPUT      convert a media file\n"
         "       recmake [options] -o OUTPUT --generate test pattern and tone\n"
         "       recmake --list FILE                    print a record file's frames\n"
         "\n"
         "Writes record stream files: a 64-byte file head (the default stream head), then\n"
         "frames, each a 64-byte frame head, the payload and any 44-byte text overlay\n"
         "records. Media is kept as it is unless re-encoding is asked for.\n";
  cli::AppendOptionHelp(out, kOptions, 28);
  out << "\nFrame heads written:\n"
         "  video: codec byte 4 = H.264, 5 = H.265; frame type 2 = key frame (IDR, with its\n"
         "    parameter sets in front, Annex-B start codes), 3 = other frames; the first video\n"
         "    frame is always a key frame (earlier ones are dropped).\n"
         "  audio: frame type 5; byte 24 codec, 25 format code, 30 channels, 31 bits,\n"
         "    40..43 sample rate. Format code 1 = 8000 Hz mono, 2 = 8000 Hz stereo,\n"
         "    3 = 16000 Hz mono, 4 = 16000 Hz stereo, 0 = other (bytes 30/31/40 say it).\n"
         "    Bits are those of the decoded samples (16), 8 for G.711 and 8-bit PCM.\n"
         "  capture time (bytes 32..39): the start time plus the input's time stamps\n"
         "    (decode order), wall-clock time written as seconds since 1970 without a\n"
         "    time-zone shift.\n"
         "\nAudio codecs (codec byte, libavcodec encoder):\n";
  for (const TAudioCodecInfo& info : AudioCodecTable()) {
    char line[64];
    std::snprintf(line, sizeof line, "  %-6s 0x%02X  %-13s", info.Name, info.CodecByte,
                  info.Encoder);
    out << line;
    cli::AppendWrapped(out, std::strlen(line), 30, info.Description);
  }
  out << "\nExit status: 0 on success, 1 on a failure (unreadable input, unwritable output,\n"
         "codec errors), 2 on a bad command line.\n";
  return out.str();
}

TGeneratorOptions MakeGeneratorOptions(const TRecmakeOptions& o, int64_t now_us) {
  TGeneratorOptions g;
  g.WithVideo = !o.NoVideo;
  g.Width = o.Width > 0 ? o.Width : 704;
  g.Height = o.Height > 0 ? o.Height : 576;
  g.FrameRate = o.FrameRate.empty() ? AVRational{25, 1} : ParseRate("fps", o.FrameRate);
  g.Video = o.Video;
  g.Detail = o.Detail;
  g.Audio = o.NoAudio ? std::nullopt
                      : std::optional<EAudioCodec>(o.AudioCodec.value_or(EAudioCodec::G711U));
  g.AudioRate = o.AudioRate;
  g.AudioChannels = o.AudioChannels > 0 ? o.AudioChannels : 1;
  g.AudioBitrateKbit = o.AudioBitrateKbit;
  g.AudioFrameMs = o.AudioFrameMs;
  g.ToneHz = o.ToneHz;
  g.DurationSec = o.DurationSec > 0 ? o.DurationSec : 10;
  g.StartUs = o.StartUs.value_or(now_us);
  return g;
}

TFileSourceOptions MakeFileSourceOptions(const TRecmakeOptions& o, int64_t now_us) {
  TFileSourceOptions f;
  f.Path = o.Input;
  f.StartUs = o.StartUs.value_or(now_us);
  f.MaxDurationSec = o.DurationSec > 0 ? o.DurationSec : 0;
  f.WithVideo = !o.NoVideo;
  f.WithAudio = !o.NoAudio;
  f.InputFps = o.InputFps;
  f.TranscodeVideo = o.TranscodeVideo;
  f.Video = o.Video;
  f.Width = o.Width;
  f.Height = o.Height;
  f.AudioTranscode = o.AudioCodec;
  f.AudioRate = o.AudioRate;
  f.AudioChannels = o.AudioChannels;
  f.AudioBitrateKbit = o.AudioBitrateKbit;
  f.AudioFrameMs = o.AudioFrameMs;
  return f;
}

}  // namespace recmake
