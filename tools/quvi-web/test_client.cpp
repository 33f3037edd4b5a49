#include "tools/quvi-web/test_client.h"

#include <sys/socket.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

namespace quvi_web::test {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

// Long enough for a slow sanitizer build, short enough to fail rather than hang.
constexpr int kReceiveTimeoutSeconds = 20;

void Connect(tcp::socket& socket, uint16_t port) {
  socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
  timeval timeout{kReceiveTimeoutSeconds, 0};
  ::setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

template <typename Request>
void SetHeaders(Request& request, uint16_t port, const THeaders& headers) {
  request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
  for (const auto& [name, value] : headers) request.set(name, value);
}

THttpReply ToReply(const http::response<http::string_body>& response) {
  THttpReply reply;
  reply.Status = static_cast<int>(response.result_int());
  for (const auto& field : response) {
    reply.Headers[std::string(field.name_string())] = std::string(field.value());
  }
  reply.Body = response.body();
  return reply;
}

}  // namespace

THttpReply HttpGet(uint16_t port, const std::string& target, const THeaders& headers,
                   const std::string& method) {
  net::io_context io;
  tcp::socket socket(io);
  beast::error_code ec;
  try {
    Connect(socket, port);
    http::request<http::string_body> request{http::string_to_verb(method), target, 11};
    SetHeaders(request, port, headers);
    http::write(socket, request);
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(256 << 20);
    http::read(socket, buffer, parser, ec);
    if (ec) return {};
    return ToReply(parser.get());
  } catch (const std::exception&) {
    return {};
  }
}

struct TWsClient::TImpl {
  net::io_context io;
  websocket::stream<tcp::socket> ws{io};
};

TWsClient::TWsClient(uint16_t port, const std::string& target, const THeaders& headers)
    : impl_(std::make_unique<TImpl>()) {
  try {
    Connect(impl_->ws.next_layer(), port);
    impl_->ws.set_option(websocket::stream_base::decorator([&](websocket::request_type& request) {
      for (const auto& [name, value] : headers) request.set(name, value);
    }));
    impl_->ws.read_message_max(64 << 20);
    websocket::response_type response;
    const std::string host =
        headers.count("Host") ? headers.at("Host") : "127.0.0.1:" + std::to_string(port);
    beast::error_code ec;
    impl_->ws.handshake(response, host, target, ec);
    connected_ = !ec;
    if (connected_) {
      refusal_.Status = 101;
    } else {
      // The stream keeps no declined answer: ask once more, as a plain request.
      THeaders upgrade = headers;
      upgrade["Upgrade"] = "websocket";
      upgrade["Connection"] = "Upgrade";
      upgrade["Sec-WebSocket-Key"] = "dGhlIHNhbXBsZSBub25jZQ==";
      upgrade["Sec-WebSocket-Version"] = "13";
      refusal_ = HttpGet(port, target, upgrade);
    }
  } catch (const std::exception&) {
    connected_ = false;
  }
}

TWsClient::~TWsClient() {
  if (!connected_) return;
  beast::error_code ec;
  impl_->ws.close(websocket::close_code::normal, ec);
}

void TWsClient::SendText(const std::string& text) {
  impl_->ws.text(true);
  beast::error_code ec;
  impl_->ws.write(net::buffer(text), ec);
}

void TWsClient::SendBinary(const std::string& bytes) {
  impl_->ws.binary(true);
  beast::error_code ec;
  impl_->ws.write(net::buffer(bytes), ec);
}

std::optional<TWsClient::TMessage> TWsClient::Read() {
  if (!connected_) return std::nullopt;
  beast::flat_buffer buffer;
  beast::error_code ec;
  impl_->ws.read(buffer, ec);
  if (ec) {
    connected_ = false;
    return std::nullopt;
  }
  return TMessage{impl_->ws.got_binary(), beast::buffers_to_string(buffer.data())};
}

std::optional<nlohmann::json> TWsClient::ReadReply() {
  while (auto message = Read()) {
    if (message->Binary) continue;
    nlohmann::json value = nlohmann::json::parse(message->Bytes, nullptr, false);
    if (value.is_object() && value.contains("ok")) return value;
  }
  return std::nullopt;
}

nlohmann::json TWsClient::Request(nlohmann::json request) {
  const int id = next_id_++;
  request["id"] = id;
  SendText(request.dump());
  while (auto reply = ReadReply()) {
    if (reply->value("id", -1) == id) return *reply;
  }
  return nullptr;
}

}  // namespace quvi_web::test
