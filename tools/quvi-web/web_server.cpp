#include "tools/quvi-web/web_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <optional>
#include <stdexcept>

namespace quvi_web {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {
constexpr auto kHttpTimeout = std::chrono::seconds(30);
constexpr const char* kServerName = "quvi-web";
// Messages of one page handed to the host and not yet handled, beyond which its socket is
// read no further until the host catches up.
constexpr int kMaxPendingMessages = 32;
}  // namespace

struct TWebServer::TShared {
  TShared(const TServerConfig& c, TPageHost& h) : config(c), host(h), acceptor(io) {}

  // The sessions still waiting in `io` use what is declared before it when they go.
  TServerConfig config;
  TPageHost& host;
  std::optional<TAccessPolicy> policy;
  std::atomic<int32_t> pages{0};
  std::atomic<int32_t> http_connections{0};
  net::io_context io;
  tcp::acceptor acceptor;
  std::optional<net::signal_set> signals;
};

namespace {

using TShared = TWebServer::TShared;

bool IsPlainName(std::string_view name) {
  if (name.empty() || name.size() > 200 || name.front() == '.') return false;
  for (char c : name) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    c == '-' || c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

// One WebSocket: a page.
class TWsSession : public std::enable_shared_from_this<TWsSession> {
 public:
  TWsSession(tcp::socket&& socket, TShared& shared)
      : ws_(std::move(socket)), shared_(shared), outbox_(std::make_shared<TPageOutbox>()) {}

  ~TWsSession() {
    outbox_->Close();
    if (opened_) shared_.host.ClosePage(page_);
    --shared_.pages;
  }

  void Start(http::request<http::string_body> request) {
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
      response.set(http::field::server, kServerName);
    }));
    ws_.read_message_max(shared_.config.HardMessageBytes);
    ws_.auto_fragment(false);  // one frame per message: pictures arrive whole
    ws_.async_accept(request, beast::bind_front_handler(&TWsSession::OnAccept, shared_from_this()));
  }

 private:
  void OnAccept(beast::error_code ec) {
    if (ec) return;
    std::weak_ptr<TWsSession> weak = shared_from_this();
    auto executor = ws_.get_executor();
    outbox_->SetWake([weak, executor] {
      net::post(executor, [weak] {
        if (auto self = weak.lock()) self->Write();
      });
    });
    page_ = shared_.host.OpenPage(outbox_);
    opened_ = true;
    Read();
  }

  void Read() {
    ws_.async_read(buffer_, beast::bind_front_handler(&TWsSession::OnRead, shared_from_this()));
  }

  void OnRead(beast::error_code ec, size_t size) {
    if (ec) return;  // closed, or a message beyond the hard limit: the socket ends
    if (!ws_.got_text()) {
      outbox_->SendText(
          R"({"ok":false,"error":"malformed message: binary messages are not accepted","code":0})");
    } else if (size > shared_.config.MaxMessageBytes) {
      outbox_->SendText(shared_.host.OversizedReply(size));
    } else {
      ++*pending_;
      // The session lives until the host has handled the message (its socket is not read
      // while too many wait), and goes on the network thread: the reference moves there.
      shared_.host.PageMessage(page_, beast::buffers_to_string(buffer_.data()),
                               [self = shared_from_this()]() mutable {
                                 const int left = --*self->pending_;
                                 auto executor = self->ws_.get_executor();
                                 net::post(executor, [self = std::move(self), left] {
                                   if (left == kMaxPendingMessages - 1) self->Resume();
                                 });
                               });
    }
    buffer_.consume(buffer_.size());
    if (*pending_ >= kMaxPendingMessages) {
      paused_ = true;  // Resume reads on once the host has handled one
      return;
    }
    Read();
  }

  void Resume() {
    if (!paused_) return;
    paused_ = false;
    Read();
  }

  void Write() {
    if (writing_) return;
    if (outbox_->Overflowed()) {
      // The page reads nothing: it goes rather than the server's memory.
      ws_.async_close(websocket::close_reason(websocket::close_code::policy_error,
                                              "the page does not read its messages"),
                      [self = shared_from_this()](beast::error_code) {});
      return;
    }
    TPageOutbox::TMessage message;
    if (!outbox_->Take(&message)) return;
    writing_ = true;
    current_ = std::move(message.Bytes);
    ws_.binary(message.Binary);
    ws_.async_write(net::buffer(current_),
                    beast::bind_front_handler(&TWsSession::OnWrite, shared_from_this()));
  }

  void OnWrite(beast::error_code ec, size_t) {
    writing_ = false;
    if (ec) return;
    Write();
  }

  websocket::stream<beast::tcp_stream> ws_;
  TShared& shared_;
  std::shared_ptr<TPageOutbox> outbox_;
  beast::flat_buffer buffer_;
  std::string current_;
  uint64_t page_ = 0;
  bool opened_ = false;
  bool writing_ = false;
  bool paused_ = false;
  std::shared_ptr<std::atomic<int>> pending_ = std::make_shared<std::atomic<int>>(0);
};

// One HTTP connection: the page's files, downloads, and the upgrade to a WebSocket.
class THttpSession : public std::enable_shared_from_this<THttpSession> {
 public:
  THttpSession(tcp::socket&& socket, TShared& shared)
      : stream_(std::move(socket)), shared_(shared) {
    ++shared_.http_connections;
  }
  ~THttpSession() { --shared_.http_connections; }

  void Start() { Read(); }

 private:
  void Read() {
    parser_.emplace();
    parser_->header_limit(16 * 1024);
    parser_->body_limit(16 * 1024);
    stream_.expires_after(kHttpTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     beast::bind_front_handler(&THttpSession::OnRead, shared_from_this()));
  }

  void OnRead(beast::error_code ec, size_t) {
    if (ec) return;
    http::request<http::string_body> request = parser_->release();
    const TAccessDecision decision = shared_.policy->Check(
        {std::string_view(request.target().data(), request.target().size()),
         std::string_view(request[http::field::host].data(), request[http::field::host].size()),
         std::string_view(request[http::field::origin].data(), request[http::field::origin].size()),
         std::string_view(request[http::field::cookie].data(),
                          request[http::field::cookie].size())});
    const std::string target(request.target());
    const std::string path(TargetPath(target));
    if (websocket::is_upgrade(request)) {
      if (decision.Status != 200) return Refuse(request, decision.Status, decision.Reason);
      if (path != "/ws") return Refuse(request, 404, "Not Found: WebSockets live at /ws");
      if (++shared_.pages > shared_.config.MaxConnections) {
        --shared_.pages;
        return Refuse(request, 503,
                      "Service Unavailable: at most " +
                          std::to_string(shared_.config.MaxConnections) +
                          " pages may be connected at once");
      }
      stream_.expires_never();
      std::make_shared<TWsSession>(stream_.release_socket(), shared_)->Start(std::move(request));
      return;
    }
    if (request.method() != http::verb::get) {
      return Refuse(request, 405, "Method Not Allowed: only GET is served");
    }
    if (decision.Status != 200) return Refuse(request, decision.Status, decision.Reason);
    if (path == "/ws") return Refuse(request, 400, "Bad Request: a WebSocket upgrade is expected");
    if (path.rfind("/files/", 0) == 0) {
      const std::string name = path.substr(7);
      if (!IsPlainName(name) || !shared_.host.IsDownload(name)) {
        return Refuse(request, 404, "Not Found: no such file was handed out");
      }
      return SendFile(request, shared_.config.OutDir / name, name);
    }
    const std::filesystem::path file =
        WebFileOf(shared_.config.WebDir, path == "/" ? "/index.html" : path);
    if (file.empty()) return Refuse(request, 404, "Not Found");
    SendFile(request, file, "");
  }

  template <typename Body>
  void Send(http::response<Body>&& response) {
    auto held = std::make_shared<http::response<Body>>(std::move(response));
    held->set(http::field::server, kServerName);
    held->set(http::field::cache_control, "no-store");
    held->set("X-Content-Type-Options", "nosniff");
    held->set("X-Frame-Options", "DENY");
    // The page's URL carries the token: it must not leave in a Referer.
    held->set("Referrer-Policy", "no-referrer");
    held->prepare_payload();
    http::async_write(stream_, *held,
                      [self = shared_from_this(), held](beast::error_code ec, size_t) {
                        if (ec || held->need_eof()) {
                          beast::error_code ignored;
                          self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
                          return;
                        }
                        self->Read();
                      });
  }

  void Refuse(const http::request<http::string_body>& request, int status,
              const std::string& reason) {
    http::response<http::string_body> response{static_cast<http::status>(status),
                                               request.version()};
    response.set(http::field::content_type, "text/plain; charset=utf-8");
    response.body() = reason + "\n";
    response.keep_alive(false);
    Send(std::move(response));
  }

  void SendFile(const http::request<http::string_body>& request, const std::filesystem::path& file,
                const std::string& download_name) {
    http::file_body::value_type body;
    beast::error_code ec;
    body.open(file.c_str(), beast::file_mode::scan, ec);
    if (ec) return Refuse(request, 404, "Not Found");
    http::response<http::file_body> response{http::status::ok, request.version()};
    response.set(http::field::content_type, ContentTypeOf(file));
    if (!download_name.empty()) {
      response.set(http::field::content_disposition,
                   "attachment; filename=\"" + download_name + "\"");
    } else if (file.filename() == "index.html" &&
               !QueryParameter(std::string_view(request.target().data(), request.target().size()),
                               "token")
                    .empty()) {
      response.set(http::field::set_cookie, shared_.policy->TokenCookie());
    }
    response.body() = std::move(body);
    response.keep_alive(request.keep_alive());
    Send(std::move(response));
  }

  beast::tcp_stream stream_;
  TShared& shared_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
};

void Accept(TShared& shared) {
  shared.acceptor.async_accept(shared.io, [&shared](beast::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted) return;
    if (!ec) {
      if (shared.http_connections >= shared.config.MaxHttpConnections) {
        beast::error_code ignored;
        socket.close(ignored);  // too many: refused at once
      } else {
        std::make_shared<THttpSession>(std::move(socket), shared)->Start();
      }
    }
    Accept(shared);
  });
}

}  // namespace

TWebServer::TWebServer(const TServerConfig& config, TPageHost& host)
    : shared_(std::make_unique<TShared>(config, host)) {
  beast::error_code ec;
  const auto address =
      net::ip::make_address(config.Bind == "localhost" ? "127.0.0.1" : config.Bind, ec);
  if (ec) throw std::runtime_error("cannot listen on '" + config.Bind + "': not an address");
  const tcp::endpoint endpoint(address, config.Port);
  auto& acceptor = shared_->acceptor;
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    throw std::runtime_error("cannot listen on " + config.Bind + ":" + std::to_string(config.Port) +
                             ": " + ec.message());
  }
  shared_->policy.emplace(config.Token, config.Bind, Port());
  Accept(*shared_);
}

TWebServer::~TWebServer() = default;

uint16_t TWebServer::Port() const {
  return shared_->acceptor.local_endpoint().port();
}

std::string TWebServer::Url() const {
  std::string host = shared_->config.Bind;
  if (host == "0.0.0.0" || host == "::") host = "127.0.0.1";
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "http://" + host + ":" + std::to_string(Port()) + "/?token=" + shared_->config.Token;
}

void TWebServer::Run() {
  shared_->io.run();
}

void TWebServer::Stop() {
  shared_->io.stop();
}

void TWebServer::StopOnSignals() {
  shared_->signals.emplace(shared_->io, SIGINT, SIGTERM);
  shared_->signals->async_wait([this](beast::error_code ec, int) {
    if (!ec) Stop();
  });
}

std::string ContentTypeOf(const std::filesystem::path& path) {
  const std::string ext = path.extension().string();
  if (ext == ".html") return "text/html; charset=utf-8";
  if (ext == ".js" || ext == ".mjs") return "text/javascript; charset=utf-8";
  if (ext == ".css") return "text/css; charset=utf-8";
  if (ext == ".json") return "application/json";
  if (ext == ".png") return "image/png";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  if (ext == ".svg") return "image/svg+xml";
  if (ext == ".ico") return "image/x-icon";
  if (ext == ".md" || ext == ".txt") return "text/plain; charset=utf-8";
  return "application/octet-stream";
}

std::filesystem::path WebFileOf(const std::filesystem::path& web_dir, std::string_view path) {
  if (path.empty() || path.front() != '/') return {};
  std::filesystem::path file = web_dir;
  std::string_view rest = path.substr(1);
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    if (!IsPlainName(part)) return {};  // "..", hidden names, escapes, empty parts
    file /= std::string(part);
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
    if (rest.empty()) return {};  // a directory
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return {};
  return file;
}

}  // namespace quvi_web
