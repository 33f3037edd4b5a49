// TStreamSimServer: the simulated stream server, stream-media relay and PTZ proxy. It checks
// its sources and binds its ports when built, then serves each connection on a thread of its
// own until stopped. Built, started and stopped by one owner thread (the program's main
// thread or a test); owns its listeners, sessions and threads. Tests run it in process on
// port 0.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "tools/streamsim/client_session.h"
#include "tools/streamsim/event_log.h"
#include "tools/streamsim/request_responder.h"
#include "tools/streamsim/server_options.h"
#include "tools/streamsim/socket_io.h"
#include "tools/streamsim/stream_session.h"
#include "tools/streamsim/stream_source.h"

namespace streamsim {

class TStreamSimServer {
 public:
  // Throws TSimError when a source cannot serve or a port cannot be bound.
  TStreamSimServer(const TServerOptions& options, TEventLog& log);
  // Stops first.
  ~TStreamSimServer();
  TStreamSimServer(const TStreamSimServer&) = delete;
  TStreamSimServer& operator=(const TStreamSimServer&) = delete;

  int Port() const { return stream_listener_.Port(); }
  // 0 when there is no PTZ proxy listener.
  int PtzProxyPort() const { return ptz_listener_ ? ptz_listener_->Port() : 0; }

  // Logs "listening" and starts accepting.
  void Start();
  // Closes the listeners, ends every connection and waits for all threads. Idempotent.
  void Stop();

 private:
  using TServe = void (*)(int, uint64_t, const TSessionContext&);
  struct TSessionThread {
    std::thread Thread;
    std::atomic<bool> Done{false};
  };

  void AcceptLoop(TListenSocket& listener, TServe serve);
  // Joins the sessions that have ended (all of them when all is set).
  void Reap(bool all);

  TServerOptions options_;
  TEventLog& log_;
  TStopSignal stop_;
  TVideoParamsStore video_params_;
  TRequestResponder responder_;
  TSourceCatalogue sources_;
  TStreamSettings stream_settings_;
  TSessionContext context_;
  TListenSocket stream_listener_;
  std::optional<TListenSocket> ptz_listener_;

  std::atomic<uint64_t> next_conn_{1};
  std::thread stream_acceptor_;
  std::thread ptz_acceptor_;
  std::mutex sessions_lock_;
  std::list<std::unique_ptr<TSessionThread>> sessions_;
  bool started_ = false;
  bool stopped_ = false;
};

}  // namespace streamsim
