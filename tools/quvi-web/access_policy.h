// The server's gate: which HTTP requests and WebSocket upgrades may pass. A request passes
// when its Host names this server (no DNS rebinding), its Origin, when given, is this
// server's page, and it carries the access token (query parameter "token" or the cookie the
// server set). Immutable after construction; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quvi_web {

// What the gate looks at of one request.
struct TAccessRequest {
  std::string_view Target;  // path and query as sent, e.g. "/ws?token=..."
  std::string_view Host;    // the Host header ("" when missing)
  std::string_view Origin;  // the Origin header ("" when missing)
  std::string_view Cookie;  // the Cookie header ("" when missing)
};

struct TAccessDecision {
  int Status = 200;    // 200 to pass; else 401 or 403
  std::string Reason;  // one line saying why, for a refusal
};

class TAccessPolicy {
 public:
  // bind_address: the address listened on; port: the port listened on.
  TAccessPolicy(std::string token, const std::string& bind_address, uint16_t port);

  TAccessDecision Check(const TAccessRequest& request) const;
  // Whether the Host header names this server: 127.0.0.1, localhost or the bound address,
  // with the port; bound to every address (0.0.0.0, ::), any address literal with the port.
  bool IsAcceptedHost(std::string_view host) const;
  const std::string& Token() const { return token_; }
  // The Set-Cookie value that lets the page's later requests carry the token.
  std::string TokenCookie() const;

  static constexpr const char* kCookieName = "quvi_token";

 private:
  std::string token_;
  uint16_t port_;
  bool any_address_ = false;
  std::vector<std::string> hosts_;  // lower case, with ":PORT"
};

// The value of a query parameter of the target ("" when absent); no percent-decoding (the
// token needs none).
std::string QueryParameter(std::string_view target, std::string_view name);
// The path of the target, without the query.
std::string_view TargetPath(std::string_view target);
// The value of a cookie in a Cookie header ("" when absent).
std::string CookieValue(std::string_view header, std::string_view name);

}  // namespace quvi_web
