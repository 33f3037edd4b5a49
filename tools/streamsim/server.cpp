#include "tools/streamsim/server.h"

#include <unistd.h>

namespace streamsim {

TStreamSimServer::TStreamSimServer(const TServerOptions& options, TEventLog& log)
    : options_(options),
      log_(log),
      video_params_(options.VideoParams),
      responder_(options.Accounts, options.Faults.OpenStatus, video_params_),
      sources_(options),
      stream_settings_{options.RealTime, options.KeepAliveMs, options.Faults},
      context_{log_, responder_, sources_, stream_settings_, stop_},
      stream_listener_(options.BindAddress, options.Port) {
  if (options.PtzProxyPort) ptz_listener_.emplace(options.BindAddress, *options.PtzProxyPort);
}

TStreamSimServer::~TStreamSimServer() {
  Stop();
}

void TStreamSimServer::Start() {
  if (started_) return;
  started_ = true;
  TLogLine line("listening");
  line.Add("address", options_.BindAddress).Add("port", Port());
  if (ptz_listener_) line.Add("ptz_proxy_port", PtzProxyPort());
  log_.Write(line);
  stream_acceptor_ = std::thread([this] { AcceptLoop(stream_listener_, &ServeClient); });
  if (ptz_listener_) {
    ptz_acceptor_ = std::thread([this] { AcceptLoop(*ptz_listener_, &ServePtzProxyClient); });
  }
}

void TStreamSimServer::Stop() {
  if (stopped_) return;
  stopped_ = true;
  stop_.Set();
  if (stream_acceptor_.joinable()) stream_acceptor_.join();
  if (ptz_acceptor_.joinable()) ptz_acceptor_.join();
  stream_listener_.Close();
  if (ptz_listener_) ptz_listener_->Close();
  Reap(true);
}

void TStreamSimServer::AcceptLoop(TListenSocket& listener, TServe serve) {
  while (true) {
    const int fd = listener.Accept(stop_);
    if (fd < 0) break;
    Reap(false);
    auto session = std::make_unique<TSessionThread>();
    TSessionThread* s = session.get();
    const uint64_t conn = next_conn_++;
    std::lock_guard<std::mutex> hold(sessions_lock_);
    sessions_.push_back(std::move(session));
    s->Thread = std::thread([this, s, fd, conn, serve] {
      serve(fd, conn, context_);
      s->Done = true;
    });
  }
  if (!stop_.IsSet()) {
    log_.Write(TLogLine("error").Add("text", "accepting connections failed; no new ones"));
  }
}

void TStreamSimServer::Reap(bool all) {
  std::list<std::unique_ptr<TSessionThread>> ended;
  {
    std::lock_guard<std::mutex> hold(sessions_lock_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if (all || (*it)->Done) {
        ended.push_back(std::move(*it));
        it = sessions_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& s : ended) s->Thread.join();
}

}  // namespace streamsim
