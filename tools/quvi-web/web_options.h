// quvi-web's command line: the option table (which also writes the help text) and parsing
// into the server's settings. Plain functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/common/cli_options.h"

namespace quvi_web {

// What the server is started with.
struct TWebOptions {
  bool Help = false;
  uint16_t Port = 8080;                                       // --port; 0 picks a free one
  std::string Bind = "127.0.0.1";                             // --bind
  std::string Token;                                          // --token; "" draws a random one
  std::string WebDir;                                         // --web; "" finds web/
  std::string OutDir;                                         // --out; "" makes a temporary one
  std::vector<std::pair<std::string, std::string>> Defaults;  // --default NAME=VALUE
  std::vector<int32_t> Channels;                              // --channels LIST
  int32_t MaxControls = 9;                                    // --max-controls
  int32_t MaxConnections = 4;                                 // --max-connections
};

// Parses the arguments after the program name; throws cli::TOptionError.
TWebOptions ParseWebArgs(const std::vector<std::string>& args);
std::string WebHelpText();
// Every option's long name with a value it accepts ("" for a flag), for the tests.
std::vector<std::pair<std::string, std::string>> WebOptionExamples();

// A token given with --token must be 16 to 128 letters, digits, '-' or '_' (it travels in
// URLs and cookies unescaped).
bool IsUsableToken(const std::string& token);
// 32 hex digits from std::random_device.
std::string RandomToken();
// Whether the address is a loopback address (127.0.0.0/8, ::1, "localhost").
bool IsLoopbackAddress(const std::string& address);

}  // namespace quvi_web
