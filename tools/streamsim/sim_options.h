// streamsim's command line: the option table (which also writes the help text, so every
// option is documented) and parsing into server settings. Plain functions; any thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/streamsim/server_options.h"
#include "tools/streamsim/sim_error.h"

namespace streamsim {

// A command line that cannot be run; the program shows the message and a hint to --help.
class TUsageError : public TSimError {
 public:
  using TSimError::TSimError;
};

struct TSimCommandLine {
  enum class EMode { Run, Help, Version };
  EMode Mode = EMode::Run;
  TServerOptions Server;
  std::string LogPath;  // "": standard output
};

// Parses the arguments after the program name; throws TUsageError.
TSimCommandLine ParseSimArgs(const std::vector<std::string>& args);
std::string SimHelpText();
// Every option's long name with a value that it accepts ("" for a flag), so a test can run
// each documented option through the parser.
std::vector<std::pair<std::string, std::string>> SimOptionExamples();

}  // namespace streamsim
