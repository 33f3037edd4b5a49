#include "tools/quvi-probe/probe_options.h"

#include <set>
#include <sstream>

#include "tools/common/cli_options.h"

namespace probe {

namespace {

using cli::TOptionSpec;

const TOptionSpec kOptions[] = {
    {"", 0, nullptr, "Center service (security center reached over SOAP/HTTP):", nullptr},
    {"center", 0, "ADDR:PORT/PATH/",
     "the center service: host or IPv4 address, port and service path, e.g. "
     "10.0.0.5:8080/sc/ (the services are PATH + services/tokenService, "
     "services/permService, services/actionLogService)",
     "127.0.0.1:8080/sc/"},
    {"login", 0, "USER:PASSWORD",
     "obtain a token; prints the token, the person's name and the status", "admin:secret"},
    {"check-right", 0, "ACTION",
     "ask whether the token may perform ACTION (0..39); prints the status", "15"},
    {"token", 0, "TEXT", "token for --check-right when there is no --login", "abc"},
    {"device", 0, "ID", "recorder id the right is asked for (default 0)", "1234"},
    {"channel", 0, "N",
     "with --center the channel code the right is asked for, else the channel to view "
     "(default 0)",
     "2"},

    {"", 0, nullptr, "Live view (through the control, as a host program drives it):", nullptr},
    {"host", 0, "ADDRESS", "the recorder's stream server", "127.0.0.1"},
    {"port", 0, "PORT", "its port (default: the control's)", "6001"},
    {"user", 0, "NAME", "login user (default admin)", "viewer"},
    {"password", 0, "TEXT", "login password (default admin)", "secret"},
    {"dvrid", 0, "ID", "the recorder's id the stream is asked for", "7"},
    {"link-mode", 0, "N", "stream link mode (the control's LinkMode)", "1"},
    {"relay", 0, "HOST:PORT", "view through this stream-media relay", "10.0.0.9:7000"},
    {"relay-id", 0, "ID", "the recorder's id at the relay", "dvr-7"},
    {"record", 0, "FILE", "record the stream into FILE", "view.rec"},
    {"capture", 0, "FILE", "save a snapshot into FILE at the end", "snap.bmp"},
    {"seconds", 0, "N", "how long to view (default 10)", "3"},

    {"", 0, nullptr, "Control:", nullptr},
    {"members", 0, nullptr,
     "list the control's members with their DISPIDs, kinds and types, its events and its "
     "enumerations, from its type description",
     ""},

    {"", 0, nullptr, "General:", nullptr},
    {"help", 'h', nullptr, "show this text", ""},
    {"version", 0, nullptr, "show the version", ""},
};

std::pair<std::string, std::string> ParseLogin(const std::string& text) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0) {
    throw TUsageError("--login wants USER:PASSWORD, not \"" + text + "\"");
  }
  return {text.substr(0, colon), text.substr(colon + 1)};
}

// The center group's options; false when the option is not one of them.
bool ApplyCenter(const std::string& name, const std::string& value, TProbeCommandLine& cl) {
  static const std::set<std::string> kCenterOptions = {"center", "login", "check-right", "token",
                                                       "device"};
  if (!kCenterOptions.count(name)) return false;
  if (!cl.Center) cl.Center.emplace();
  TCenterProbe& c = *cl.Center;
  if (name == "center") {
    c.Settings = ParseCenterAddress(value);
  } else if (name == "login") {
    c.Login = ParseLogin(value);
  } else if (name == "check-right") {
    c.CheckRight = static_cast<int32_t>(cli::ParseWholeNumber(name, value, 0, 39));
  } else if (name == "token") {
    c.Token = value;
  } else if (name == "device") {
    c.Device = cli::ParseWholeNumber(name, value, INT64_MIN, INT64_MAX);
  }
  return true;
}

std::pair<std::string, int32_t> ParseRelay(const std::string& text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
    throw TUsageError("--relay wants HOST:PORT, not \"" + text + "\"");
  }
  return {text.substr(0, colon),
          static_cast<int32_t>(cli::ParseWholeNumber("relay", text.substr(colon + 1), 1, 65535))};
}

// The live view group's options; false when the option is not one of them.
bool ApplyView(const std::string& name, const std::string& value, TProbeCommandLine& cl) {
  static const std::set<std::string> kViewOptions = {"host",   "port",      "user",   "password",
                                                     "dvrid",  "link-mode", "relay",  "relay-id",
                                                     "record", "capture",   "seconds"};
  if (!kViewOptions.count(name)) return false;
  if (!cl.View) cl.View.emplace();
  TViewProbe& v = *cl.View;
  if (name == "host") {
    v.Host = value;
  } else if (name == "port") {
    v.Port = static_cast<int32_t>(cli::ParseWholeNumber(name, value, 1, 65535));
  } else if (name == "user") {
    v.User = value;
  } else if (name == "password") {
    v.Password = value;
  } else if (name == "dvrid") {
    v.DvrId = value;
  } else if (name == "link-mode") {
    v.LinkMode = static_cast<int32_t>(cli::ParseWholeNumber(name, value, 0, 255));
  } else if (name == "relay") {
    v.Relay = ParseRelay(value);
  } else if (name == "relay-id") {
    v.RelayId = value;
  } else if (name == "record") {
    v.RecordFile = value;
  } else if (name == "capture") {
    v.CaptureFile = value;
  } else if (name == "seconds") {
    v.Seconds = static_cast<int32_t>(cli::ParseWholeNumber(name, value, 1, 86400));
  }
  return true;
}

void CheckView(const std::set<std::string>& given, const TViewProbe& v) {
  if (!given.count("host") && !given.count("relay")) {
    throw TUsageError("the live view options need --host or --relay");
  }
  if (given.count("relay-id") && !given.count("relay")) {
    throw TUsageError("--relay-id applies only to --relay");
  }
  if (v.Relay && v.Host.empty()) throw TUsageError("--relay needs --host, the recorder behind it");
}

void Apply(const std::string& name, const std::string& value, TProbeCommandLine& cl) {
  if (ApplyCenter(name, value, cl)) return;
  if (ApplyView(name, value, cl)) return;
  if (name == "channel") {
    cl.Channel = static_cast<int32_t>(cli::ParseWholeNumber(name, value, INT32_MIN, INT32_MAX));
  } else if (name == "help") {
    cl.Mode = TProbeCommandLine::EMode::Help;
  } else if (name == "version") {
    cl.Mode = TProbeCommandLine::EMode::Version;
  } else if (name == "members") {
    cl.Mode = TProbeCommandLine::EMode::Members;
  } else {
    throw std::logic_error("option --" + name + " is documented but not handled");
  }
}

void CheckCenter(const std::set<std::string>& given, const TCenterProbe& c) {
  if (!given.count("center")) throw TUsageError("the center options need --center");
  if (!c.Login && !c.CheckRight) {
    throw TUsageError("--center needs --login or --check-right");
  }
  if (given.count("token") && c.Login) {
    throw TUsageError("--token and --login both give the token");
  }
  if (c.CheckRight && !c.Login && !given.count("token")) {
    throw TUsageError("--check-right needs --token or --login");
  }
  for (const char* o : {"token", "device", "channel"}) {
    if (given.count(o) && !c.CheckRight) {
      throw TUsageError(std::string("--") + o + " applies only to --check-right");
    }
  }
}

}  // namespace

viewer::TCenterSettings ParseCenterAddress(const std::string& text) {
  const size_t slash = text.find('/');
  const std::string host_port = text.substr(0, slash);
  const size_t colon = host_port.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == host_port.size()) {
    throw TUsageError("--center wants ADDR:PORT/PATH/, not \"" + text + "\"");
  }
  viewer::TCenterSettings s;
  s.Addr = host_port.substr(0, colon);
  try {
    s.Port = static_cast<int32_t>(
        cli::ParseWholeNumber("center", host_port.substr(colon + 1), 1, 65535));
  } catch (const cli::TOptionError& e) {
    throw TUsageError(e.what());
  }
  s.ServicePath = slash == std::string::npos ? "/" : text.substr(slash);
  if (s.ServicePath.back() != '/') s.ServicePath += '/';
  return s;
}

TProbeCommandLine ParseProbeArgs(const std::vector<std::string>& args) {
  TProbeCommandLine cl;
  std::set<std::string> given;
  try {
    given = cli::ReadArgs(kOptions, args, {},
                          [&cl](const TOptionSpec& option, const std::string& value) {
                            Apply(option.Name, value, cl);
                            return cl.Mode == TProbeCommandLine::EMode::Run;
                          })
                .Given;
  } catch (const cli::TOptionError& e) {
    throw TUsageError(e.what());
  }
  if (cl.Mode != TProbeCommandLine::EMode::Run) return cl;
  if (cl.Center && cl.View) {
    throw TUsageError("the center and the live view options are separate runs");
  }
  if (cl.Center) {
    if (cl.Channel) cl.Center->Channel = *cl.Channel;
    CheckCenter(given, *cl.Center);
  } else if (cl.View) {
    if (cl.Channel) cl.View->Channel = *cl.Channel;
    CheckView(given, *cl.View);
  } else {
    throw TUsageError(given.count("channel") ? "--channel needs --center, --host or --relay"
                                             : "nothing to do");
  }
  return cl;
}

std::string ProbeHelpText() {
  std::ostringstream out;
  out << "Usage: quvi-probe [options]\n"
         "\n"
         "Talks to what the live viewer control talks to and prints what comes back,\n"
         "so an operator can test it from the command line.\n";
  cli::AppendOptionHelp(out, kOptions, 30);
  out << "\nOutput: one \"name: value\" line per result: token, person and login (the\n"
         "status) for --login, check-right ACTION for --check-right. Statuses: 0\n"
         "obtained or allowed, -1 denied or no token, -2 token rejected, -4 time-out,\n"
         "-999 not reachable or any other failure.\n"
         "\nA live view prints, each line after the seconds since the start, every status\n"
         "code and event of the control as it happens, the video information, and once a\n"
         "second the bit rate, frame rate and frames received. A view still connecting,\n"
         "or whose video came but is not decoded yet, goes on past --seconds until the\n"
         "video information comes (at most 30 s more).\n"
         "\nExit status: for the center, 0 when every status is 0, else 1; for a live view, 0\n"
         "when video arrived, else 1; 2 on a bad command line.\n";
  return out.str();
}

std::vector<std::pair<std::string, std::string>> ProbeOptionExamples() {
  std::vector<std::pair<std::string, std::string>> examples;
  for (const TOptionSpec& o : kOptions) {
    if (o.Name[0] != '\0') examples.emplace_back(o.Name, o.Example);
  }
  return examples;
}

}  // namespace probe
