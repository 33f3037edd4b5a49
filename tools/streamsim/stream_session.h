// One stream connection after an accepted open live: the stream head, then a package per
// frame, paced, with keep-alives in between and the configured faults injected; logs the
// start, every fault and the end. Runs on the connection's own thread; owns its source.
#pragma once

#include <cstdint>
#include <string>

#include "tools/streamsim/event_log.h"
#include "tools/streamsim/request_responder.h"
#include "tools/streamsim/server_options.h"
#include "tools/streamsim/socket_io.h"
#include "tools/streamsim/stream_source.h"

namespace streamsim {

struct TStreamSettings {
  bool RealTime = true;
  int KeepAliveMs = 1000;
  TFaultSettings Faults;
};

class TStreamSession {
 public:
  TStreamSession(TConnection& connection, TEventLog& log, const TPeer& peer,
                 const TStreamSettings& settings)
      : conn_(connection), log_(log), peer_(peer), settings_(settings) {}

  // Streams until the source ends (without looping), the client goes, a fault ends the
  // stream or the server stops. Logs "stream_start" and "stream_end".
  void Run(TOpenedStream stream, int32_t channel);

 private:
  // Sends one package and then whatever faults are due after it; false when the stream
  // ends (reason_ says why).
  bool SendPackage(const std::vector<uint8_t>& package);
  // The faults due after the packages sent so far; false when the stream ends.
  bool InjectFaults();
  // Waits for the deadline, sending the keep-alives that fall due before it.
  bool WaitUntil(TClock::time_point deadline);
  // Sends nothing more (keep-alives only when asked) until the client or the server ends it.
  void Stall(bool keep_alives);
  bool Send(const std::vector<uint8_t>& bytes);
  bool Ended(TConnection::EIo io);
  void LogFault(const char* fault);

  TConnection& conn_;
  TEventLog& log_;
  TPeer peer_;
  TStreamSettings settings_;
  int64_t packages_ = 0;
  int64_t keep_alives_ = 0;
  bool garbage_sent_ = false;
  bool oversize_sent_ = false;
  TClock::time_point next_keep_alive_{};
  std::string reason_;
};

}  // namespace streamsim
