// A small HTTP and WebSocket client for the web host's tests, on Boost.Beast, blocking, with
// every read bounded by a receive time-out so a silent server fails a test instead of hanging
// it. One thread per client; owns its socket.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace quvi_web::test {

struct THttpReply {
  int Status = 0;  // 0: no answer
  std::map<std::string, std::string> Headers;
  std::string Body;
};

// Extra headers of a request; "Host" replaces the default 127.0.0.1:PORT.
using THeaders = std::map<std::string, std::string>;

THttpReply HttpGet(uint16_t port, const std::string& target, const THeaders& headers = {},
                   const std::string& method = "GET");

class TWsClient {
 public:
  // Connects and asks for the upgrade; Connected() tells whether it was accepted, Refusal()
  // what came instead (its Status is 101 when accepted).
  TWsClient(uint16_t port, const std::string& target, const THeaders& headers = {});
  ~TWsClient();

  bool Connected() const { return connected_; }
  const THttpReply& Refusal() const { return refusal_; }

  void SendText(const std::string& text);
  void SendBinary(const std::string& bytes);
  struct TMessage {
    bool Binary = false;
    std::string Bytes;
  };
  // The next message; nullopt when the socket closed or nothing came in time.
  std::optional<TMessage> Read();
  // The next text message that is a reply (has "ok"), skipping pictures and events.
  std::optional<nlohmann::json> ReadReply();
  // Sends the request with "id" and waits for the reply with that id.
  nlohmann::json Request(nlohmann::json request);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
  bool connected_ = false;
  THttpReply refusal_;
  int next_id_ = 1000;
};

}  // namespace quvi_web::test
