// quvi-probe's command line: the option table (which also writes the help text) and parsing
// into what to probe. The options come in groups, one per thing the probe can talk to; each
// group fills its own part of TProbeCommandLine. Plain functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "viewer/center/center_settings.h"

namespace probe {

// A command line that cannot be run; the program shows the message and exits with 2.
class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What to ask the center service.
struct TCenterProbe {
  viewer::TCenterSettings Settings;                          // from --center
  std::optional<std::pair<std::string, std::string>> Login;  // --login USER:PASSWORD
  std::optional<int32_t> CheckRight;                         // --check-right ACTION
  std::string Token;                                         // --token, or the login's
  int64_t Device = 0;                                        // --device
  int32_t Channel = 0;                                       // --channel
};

// How to reach a stream the way the control does, and what to do with it.
struct TViewProbe {
  std::string Host;                                      // --host (the recorder's stream server)
  std::optional<int32_t> Port;                           // --port; else the control's default
  int32_t Channel = 0;                                   // --channel
  std::string User = "admin";                            // --user
  std::string Password = "admin";                        // --password
  std::optional<std::string> DvrId;                      // --dvrid
  std::optional<int32_t> LinkMode;                       // --link-mode
  std::optional<std::pair<std::string, int32_t>> Relay;  // --relay HOST:PORT
  std::string RelayId;                                   // --relay-id
  std::string RecordFile;                                // --record
  std::string CaptureFile;                               // --capture
  int32_t Seconds = 10;                                  // --seconds
};

struct TProbeCommandLine {
  enum class EMode { Run, Help, Version, Members };
  EMode Mode = EMode::Run;
  std::optional<TCenterProbe> Center;  // when --center was given
  std::optional<TViewProbe> View;      // when --host or --relay was given
  std::optional<int32_t> Channel;      // --channel, for whichever of the two runs
};

// Parses the arguments after the program name; throws TUsageError.
TProbeCommandLine ParseProbeArgs(const std::vector<std::string>& args);
std::string ProbeHelpText();
// Every option's long name with a value that it accepts ("" for a flag).
std::vector<std::pair<std::string, std::string>> ProbeOptionExamples();

// "ADDR:PORT/PATH/" into address, port and service path (which then begins and ends with
// "/"); throws TUsageError.
viewer::TCenterSettings ParseCenterAddress(const std::string& text);

}  // namespace probe
