#include "tools/quvi-web/web_options.h"

#include <arpa/inet.h>

#include <random>
#include <sstream>

namespace quvi_web {

namespace {

const cli::TOptionSpec kOptions[] = {
    {"", 0, nullptr, "Network:"},
    {"port", 'p', "PORT", "port to listen on (default 8080; 0 picks a free one)", "0"},
    {"bind", 'b', "ADDRESS",
     "address to listen on (default 127.0.0.1); any other than a loopback address lets other "
     "machines reach the controls and is warned about",
     "127.0.0.1"},
    {"token", 0, "TOKEN",
     "access token the page's URL carries (16 to 128 letters, digits, '-' or '_'; default: 32 "
     "random hex digits)",
     "0123456789abcdef0123456789abcdef"},
    {"max-connections", 0, "N", "pages connected at once (default 4)", "2"},
    {"", 0, nullptr, "Page:"},
    {"web", 0, "DIR", "folder of the page's files (default: the web/ folder of the installation)",
     "."},
    {"out", 'o', "DIR",
     "folder for snapshots and recordings (default: a new folder under the temporary folder)", "."},
    {"default", 'd', "NAME=VALUE",
     "a property value the page fills in for new views (repeatable), e.g. HostIP=127.0.0.1",
     "HostIP=127.0.0.1"},
    {"channels", 0, "LIST", "channel numbers the page offers, e.g. 0,1,2,3", "0,1"},
    {"max-controls", 0, "N", "views one page may create (default 9)", "4"},
    {"", 0, nullptr, "Other:"},
    {"help", 'h', nullptr, "show this help and exit"},
};

// A JSON-free check of a channel list: whole numbers 0..255 separated by commas.
std::vector<int32_t> ParseChannels(const std::string& text) {
  std::vector<int32_t> channels;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    channels.push_back(static_cast<int32_t>(cli::ParseWholeNumber("channels", item, 0, 255)));
  }
  if (channels.empty()) throw cli::TOptionError("--channels: no channel given");
  return channels;
}

}  // namespace

TWebOptions ParseWebArgs(const std::vector<std::string>& args) {
  TWebOptions options;
  cli::TReadRules rules;
  rules.Repeatable = {"default"};
  cli::ReadArgs(kOptions, args, rules, [&](const cli::TOptionSpec& o, const std::string& v) {
    const std::string name = o.Name;
    if (name == "help") {
      options.Help = true;
      return false;
    }
    if (name == "port") {
      options.Port = static_cast<uint16_t>(cli::ParseWholeNumber(name, v, 0, 65535));
    } else if (name == "bind") {
      if (v.empty()) throw cli::TOptionError("--bind: no address");
      options.Bind = v;
    } else if (name == "token") {
      if (!IsUsableToken(v)) {
        throw cli::TOptionError("--token: 16 to 128 letters, digits, '-' or '_' expected");
      }
      options.Token = v;
    } else if (name == "max-connections") {
      options.MaxConnections = static_cast<int32_t>(cli::ParseWholeNumber(name, v, 1, 64));
    } else if (name == "web") {
      options.WebDir = v;
    } else if (name == "out") {
      options.OutDir = v;
    } else if (name == "default") {
      const size_t equals = v.find('=');
      if (equals == std::string::npos || equals == 0) {
        throw cli::TOptionError("--default: NAME=VALUE expected, not '" + v + "'");
      }
      options.Defaults.emplace_back(v.substr(0, equals), v.substr(equals + 1));
    } else if (name == "channels") {
      options.Channels = ParseChannels(v);
    } else if (name == "max-controls") {
      options.MaxControls = static_cast<int32_t>(cli::ParseWholeNumber(name, v, 1, 64));
    }
    return true;
  });
  return options;
}

std::string WebHelpText() {
  std::ostringstream out;
  out << "Usage: quvi-web [OPTIONS]\n\n";
  cli::AppendWrapped(out, 0, 0,
                     "Serves the viewer page and hosts live viewer controls for it: a browser "
                     "opens the URL printed as the first line and creates, scripts and watches "
                     "views over one WebSocket. Runs until interrupted. At start it registers "
                     "the control library it runs with in the per-user registry file "
                     "($QUVI_REGISTRY_FILE, else ~/.config/quvi/registry.ini).");
  out << "\n";
  cli::AppendOptionHelp(out, kOptions, 28);
  out << "\nExit status: 0 after an interruption, 1 when the server cannot start, 2 for a "
         "wrong command line.\n";
  return out.str();
}

std::vector<std::pair<std::string, std::string>> WebOptionExamples() {
  std::vector<std::pair<std::string, std::string>> examples;
  for (const cli::TOptionSpec& o : kOptions) {
    if (*o.Name == 0 || std::string(o.Name) == "help") continue;
    examples.emplace_back(o.Name, o.Arg ? o.Example : "");
  }
  return examples;
}

bool IsUsableToken(const std::string& token) {
  if (token.size() < 16 || token.size() > 128) return false;
  for (char c : token) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string RandomToken() {
  std::random_device random;
  static const char kDigits[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 4; ++i) {
    uint32_t word = random();
    for (int j = 0; j < 8; ++j, word >>= 4) token += kDigits[word & 0xF];
  }
  return token;
}

bool IsLoopbackAddress(const std::string& address) {
  if (address == "localhost") return true;
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
    return (ntohl(v4.s_addr) >> 24) == 127;
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return false;
}

}  // namespace quvi_web
