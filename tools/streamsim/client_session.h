// The two kinds of connection the simulator serves, each on its own thread: a connection to
// the stream server port (requests answered one after another until an accepted open live
// turns it into a stream connection), and a connection to the PTZ proxy port (160-byte PTZ
// requests, each logged, none answered). Each session owns its connection.
#pragma once

#include <cstdint>

#include "tools/streamsim/event_log.h"
#include "tools/streamsim/request_responder.h"
#include "tools/streamsim/socket_io.h"
#include "tools/streamsim/stream_session.h"
#include "tools/streamsim/stream_source.h"

namespace streamsim {

// What every session of one server shares; all of it outlives the sessions.
struct TSessionContext {
  TEventLog& Log;
  TRequestResponder& Responder;
  const TSourceCatalogue& Sources;
  const TStreamSettings& Stream;
  const TStopSignal& Stop;
};

// Serves one connection to the stream server port; logs "connect" and "disconnect".
void ServeClient(int fd, uint64_t conn, const TSessionContext& context);

// Serves one connection to the PTZ proxy port; a message that is no 160-byte PTZ request
// is logged as "ptz_proxy_bad_request" and ends the connection.
void ServePtzProxyClient(int fd, uint64_t conn, const TSessionContext& context);

}  // namespace streamsim
