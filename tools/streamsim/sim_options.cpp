#include "tools/streamsim/sim_options.h"

#include <set>
#include <sstream>

#include "common/viewer_utils.h"
#include "tools/common/cli_options.h"

namespace streamsim {

namespace {

using cli::TOptionSpec;

const TOptionSpec kOptions[] = {
    {"", 0, nullptr, "Listening:", nullptr},
    {"port", 'p', "PORT",
     "stream server port (default 0: the system picks a free one). The port is printed "
     "alone on the first line of standard output.",
     "0"},
    {"bind", 0, "ADDRESS", "IPv4 address to listen on (default 127.0.0.1)", "127.0.0.1"},
    {"ptz-proxy-port", 0, "PORT",
     "also listen as a PTZ proxy on PORT (0: a free one, printed alone on the second line); "
     "every 160-byte request received is logged",
     "0"},
    {"log", 0, "FILE", "append the log lines to FILE instead of standard output", "/dev/null"},
    {"help", 'h', nullptr, "show this text", ""},
    {"version", 0, nullptr, "show the version", ""},

    {"", 0, nullptr, "Streams:", nullptr},
    {"file", 'f', "FILE",
     "record stream file served on every channel without its own source (default: the "
     "generator)",
     "a.rec"},
    {"channel", 'c', "CH=SOURCE",
     "channel CH (0..65535) serves SOURCE: a record stream file, or \"generate\" for the "
     "generator (repeatable)",
     "2=generate"},
    {"fast", 0, nullptr,
     "send packages as fast as the client takes them (default: paced in real time by the "
     "frames' capture times)",
     ""},
    {"no-loop", 0, nullptr,
     "close the stream at the end of a record file (default: start it again, capture times "
     "going on from the end)",
     ""},
    {"keepalive-ms", 0, "MS",
     "interval of the 0xCAFE0001 keep-alive packages on stream connections (default 1000; "
     "0: none)",
     "500"},

    {"", 0, nullptr,
     "Generator (test pattern with clock and frame counter, H.264, and a tone):", nullptr},
    {"size", 's', "WxH", "picture size, even numbers (default 704x576)", "352x288"},
    {"fps", 'r', "N", "frames per second (default 25)", "30"},
    {"gop", 0, "FRAMES", "frames from key frame to key frame (default: one second)", "50"},
    {"bitrate", 'b', "KBIT", "video bit rate in kbit/s (default: constant quality)", "512"},
    {"audio", 'a', "CODEC", "pcm, g711u, g711a, g722, g721, adpcm, aac or none (default g711u)",
     "aac"},

    {"", 0, nullptr, "Accounts (login, logout, client identity):", nullptr},
    {"user", 'u', "NAME", "user a login must name (default admin)", "viewer"},
    {"password", 0, "TEXT", "password a login must give (default admin)", "secret"},
    {"token", 't', "TEXT",
     "token a successful login answers, zero-padded to 128 bytes (default streamsim-token)", "abc"},
    {"user-name", 0, "TEXT", "user name sent after the token (default: the --user)", "Viewer One"},
    {"login-status", 0, "N", "answer every login with status N, right or wrong", "-4"},
    {"refuse-status", 0, "N", "status of a login with a wrong user or password (default -1)", "3"},
    {"require-token", 0, nullptr, "refuse an open live with another token (status -2)", ""},
    {"client-address", 0, "A.B.C.D",
     "address answered to client identity queries (default: the client's own)", "10.1.2.3"},
    {"identity-status", 0, "N", "status of every client identity answer (default 0)", "-1"},

    {"", 0, nullptr, "Open live:", nullptr},
    {"video-params", 0, "B,C,S,H",
     "brightness, contrast, saturation and hue in the open live answer (default "
     "70,75,85,127); a video parameter request changes its channel's",
     "1,2,3,4"},
    {"no-video-params", 0, nullptr,
     "answer open live with the 24-byte head only (until a channel's are set)", ""},

    {"", 0, nullptr,
     "Faults (package counts include the stream head and leave keep-alives out):", nullptr},
    {"open-status", 0, "N",
     "answer every open live with status N; a status other than 0 closes the connection", "-5"},
    {"close-after", 0, "N", "close the stream connection after N packages", "10"},
    {"stall-after", 0, "N",
     "after N packages send nothing more, keep-alives included, and keep the connection open",
     "10"},
    {"media-stall-after", 0, "N", "after N packages send only keep-alives", "10"},
    {"garbage-after", 0, "N",
     "after N packages send 256 garbage bytes (the same on every run), then go on", "10"},
    {"oversize-after", 0, "N",
     "after N packages send one play package of 1 MiB + 1 bytes, then go on", "10"},
    {"cut-after", 0, "N",
     "after N packages send the first half of the next one, then nothing more, keep-alives "
     "included, and keep the connection open",
     "10"},
    {"trickle", 0, "BYTES",
     "a slow link: send every byte on its own, answers and stream alike, at most BYTES a "
     "second",
     "2000"},
    {"audio-only", 0, nullptr, "leave every video frame out", ""},
    {"no-stream-head", 0, nullptr, "start the stream with its first frame, no stream head", ""},
};

int32_t ParseStatus(const std::string& name, const std::string& text) {
  return static_cast<int32_t>(cli::ParseWholeNumber(name, text, INT32_MIN, INT32_MAX));
}

int64_t ParseCount(const std::string& name, const std::string& text) {
  return cli::ParseWholeNumber(name, text, 0, INT64_MAX);
}

void ParseSize(const std::string& text, int& width, int& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) throw TUsageError("--size wants WIDTHxHEIGHT, not \"" + text + "\"");
  width = static_cast<int>(cli::ParseWholeNumber("size", text.substr(0, x), 16, 8192));
  height = static_cast<int>(cli::ParseWholeNumber("size", text.substr(x + 1), 16, 8192));
  if (width % 2 != 0 || height % 2 != 0) {
    throw TUsageError("--size wants even numbers, not \"" + text + "\"");
  }
}

viewer::TVideoParams ParseVideoParams(const std::string& text) {
  std::vector<int32_t> values;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) values.push_back(ParseStatus("video-params", part));
  if (values.size() != 4 || text.back() == ',') {
    throw TUsageError("--video-params wants four numbers B,C,S,H, not \"" + text + "\"");
  }
  return {values[0], values[1], values[2], values[3]};
}

void ParseChannel(const std::string& text, std::map<int32_t, TSourceSpec>& channels) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos || eq + 1 == text.size()) {
    throw TUsageError("--channel wants CH=FILE or CH=generate, not \"" + text + "\"");
  }
  const auto channel =
      static_cast<int32_t>(cli::ParseWholeNumber("channel", text.substr(0, eq), 0, 65535));
  if (channels.count(channel)) {
    throw TUsageError("channel " + std::to_string(channel) + " is given twice");
  }
  TSourceSpec source_spec;
  const std::string source = text.substr(eq + 1);
  if (source != "generate") {
    source_spec.Kind = TSourceSpec::EKind::File;
    source_spec.Path = source;
  }
  channels[channel] = source_spec;
}

// Applies one option with its value to the command line.
void Apply(const std::string& name, const std::string& value, TSimCommandLine& cl) {
  TServerOptions& s = cl.Server;
  TAccountSettings& a = s.Accounts;
  TFaultSettings& f = s.Faults;
  if (name == "port") {
    s.Port = static_cast<int>(cli::ParseWholeNumber(name, value, 0, 65535));
  } else if (name == "bind") {
    if (!IsDottedQuad(value))
      throw TUsageError("--bind wants an IPv4 address, not \"" + value + "\"");
    s.BindAddress = value;
  } else if (name == "ptz-proxy-port") {
    s.PtzProxyPort = static_cast<int>(cli::ParseWholeNumber(name, value, 0, 65535));
  } else if (name == "log") {
    if (value.empty()) throw TUsageError("--log wants a file name");
    cl.LogPath = value;
  } else if (name == "help") {
    cl.Mode = TSimCommandLine::EMode::Help;
  } else if (name == "version") {
    cl.Mode = TSimCommandLine::EMode::Version;
  } else if (name == "file") {
    if (value.empty()) throw TUsageError("--file wants a file name");
    s.DefaultSource = {TSourceSpec::EKind::File, value};
  } else if (name == "channel") {
    ParseChannel(value, s.Channels);
  } else if (name == "fast") {
    s.RealTime = false;
  } else if (name == "no-loop") {
    s.Loop = false;
  } else if (name == "keepalive-ms") {
    s.KeepAliveMs = static_cast<int>(cli::ParseWholeNumber(name, value, 0, 3600000));
  } else if (name == "size") {
    ParseSize(value, s.Generator.Width, s.Generator.Height);
  } else if (name == "fps") {
    s.Generator.Fps = static_cast<int>(cli::ParseWholeNumber(name, value, 1, 240));
  } else if (name == "gop") {
    s.Generator.Gop = static_cast<int>(cli::ParseWholeNumber(name, value, 1, 100000));
  } else if (name == "bitrate") {
    s.Generator.BitrateKbit = static_cast<int>(cli::ParseWholeNumber(name, value, 1, 1000000));
  } else if (name == "audio") {
    if (value == "none") {
      s.Generator.Audio.reset();
    } else {
      s.Generator.Audio = recmake::FindAudioCodec(value);
      if (!s.Generator.Audio) throw TUsageError("unknown audio codec \"" + value + "\"");
    }
  } else if (name == "user") {
    a.User = value;
  } else if (name == "password") {
    a.Password = value;
  } else if (name == "token") {
    a.Token = value;
  } else if (name == "user-name") {
    a.UserName = value;
  } else if (name == "login-status") {
    a.LoginStatus = ParseStatus(name, value);
  } else if (name == "refuse-status") {
    a.RefuseStatus = ParseStatus(name, value);
    if (a.RefuseStatus == 0) throw TUsageError("--refuse-status 0 would accept every login");
  } else if (name == "require-token") {
    a.RequireToken = true;
  } else if (name == "client-address") {
    if (!IsDottedQuad(value)) {
      throw TUsageError("--client-address wants an IPv4 address, not \"" + value + "\"");
    }
    a.ClientAddress = value;
  } else if (name == "identity-status") {
    a.IdentityStatus = ParseStatus(name, value);
  } else if (name == "video-params") {
    s.VideoParams = ParseVideoParams(value);
  } else if (name == "no-video-params") {
    s.VideoParams.reset();
  } else if (name == "open-status") {
    f.OpenStatus = ParseStatus(name, value);
  } else if (name == "close-after") {
    f.CloseAfter = ParseCount(name, value);
  } else if (name == "stall-after") {
    f.StallAfter = ParseCount(name, value);
  } else if (name == "media-stall-after") {
    f.MediaStallAfter = ParseCount(name, value);
  } else if (name == "garbage-after") {
    f.GarbageAfter = ParseCount(name, value);
  } else if (name == "oversize-after") {
    f.OversizeAfter = ParseCount(name, value);
  } else if (name == "cut-after") {
    f.CutAfter = ParseCount(name, value);
  } else if (name == "trickle") {
    f.TrickleBytesPerSecond =
        static_cast<int32_t>(cli::ParseWholeNumber(name, value, 1, 100000000));
  } else if (name == "audio-only") {
    f.AudioOnly = true;
  } else if (name == "no-stream-head") {
    f.NoStreamHead = true;
  } else {
    throw TSimError("option --" + name + " is documented but not handled");
  }
}

}  // namespace

TSimCommandLine ParseSimArgs(const std::vector<std::string>& args) {
  TSimCommandLine cl;
  std::set<std::string> given;
  try {
    given = cli::ReadArgs(kOptions, args, {.Repeatable = {"channel"}},
                          [&cl](const TOptionSpec& option, const std::string& value) {
                            Apply(option.Name, value, cl);
                            return cl.Mode == TSimCommandLine::EMode::Run;
                          })
                .Given;
  } catch (const cli::TOptionError& e) {
    throw TUsageError(e.what());
  }
  if (cl.Mode != TSimCommandLine::EMode::Run) return cl;

  const TServerOptions& s = cl.Server;
  bool generated = s.DefaultSource.Kind == TSourceSpec::EKind::Generator;
  for (const auto& [channel, source_spec] : s.Channels) {
    generated = generated || source_spec.Kind == TSourceSpec::EKind::Generator;
  }
  for (const char* g : {"size", "fps", "gop", "bitrate", "audio"}) {
    if (given.count(g) && !generated) {
      throw TUsageError(std::string("--") + g +
                        " applies only to the generator, which no channel uses");
    }
  }
  if (given.count("video-params") && given.count("no-video-params")) {
    throw TUsageError("--video-params and --no-video-params contradict");
  }
  return cl;
}

std::string SimHelpText() {
  std::ostringstream out;
  out << "Usage: streamsim [options]\n"
         "\n"
         "A stream server, stream-media relay and PTZ proxy for the live viewer: answers\n"
         "login, logout, client identity, open live, link mode, PTZ, PTZ with speed and\n"
         "video parameter requests, streams a record file (or a generated test pattern) as\n"
         "play packages with keep-alives, and injects faults on request. Every request is\n"
         "logged as one JSON line with every field decoded.\n";
  cli::AppendOptionHelp(out, kOptions, 30);
  out << "\nStream packages (code 0x80050102): the stream head as frame type 128 (the file's\n"
         "64-byte head, or the default stream head), then one package per frame carrying\n"
         "the whole frame (64-byte frame head, payload, overlay records): key video frames\n"
         "as frame type 1, other video frames as 2, audio as 8.\n"
         "\nLog lines (JSON, one per line): listening, connect, request (every field of the\n"
         "request and the status answered), malformed_request, unknown_request,\n"
         "bad_request, stream_start, fault, stream_end, disconnect, ptz_proxy_request,\n"
         "ptz_proxy_bad_request. Texts keep their bytes; other than printable ASCII they\n"
         "are written as \\u00XX.\n"
         "\nSIGINT or SIGTERM stops the server. Exit status: 0 after a stop, 1 when it\n"
         "cannot start (port in use, missing or damaged file), 2 on a bad command line.\n";
  return out.str();
}

std::vector<std::pair<std::string, std::string>> SimOptionExamples() {
  std::vector<std::pair<std::string, std::string>> examples;
  for (const TOptionSpec& o : kOptions) {
    if (o.Name[0] != '\0') examples.emplace_back(o.Name, o.Example);
  }
  return examples;
}

}  // namespace streamsim
