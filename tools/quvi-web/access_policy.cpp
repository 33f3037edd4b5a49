#include "tools/quvi-web/access_policy.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace quvi_web {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Compares without stopping at the first difference, so the time taken tells nothing of how
// much of a guessed token was right.
bool SameSecret(std::string_view a, std::string_view b) {
  unsigned char difference = a.size() == b.size() ? 0 : 1;
  for (size_t i = 0; i < a.size(); ++i) difference |= a[i] ^ b[i % (b.empty() ? 1 : b.size())];
  return difference == 0 && !b.empty();
}

}  // namespace

TAccessPolicy::TAccessPolicy(std::string token, const std::string& bind_address, uint16_t port)
    : token_(std::move(token)), port_(port) {
  const std::string suffix = ":" + std::to_string(port);
  hosts_.push_back("127.0.0.1" + suffix);
  hosts_.push_back("localhost" + suffix);
  any_address_ = bind_address == "0.0.0.0" || bind_address == "::";
  if (bind_address.find(':') != std::string::npos) {
    hosts_.push_back("[" + Lower(bind_address) + "]" + suffix);  // IPv6 literal
  } else {
    hosts_.push_back(Lower(bind_address) + suffix);
  }
}

bool TAccessPolicy::IsAcceptedHost(std::string_view host) const {
  const std::string wanted = Lower(Trim(host));
  if (std::find(hosts_.begin(), hosts_.end(), wanted) != hosts_.end()) return true;
  if (!any_address_) return false;
  // Listening on every address, the machine is reached by any of its addresses. An address
  // literal cannot be rebound by a name server, so any literal with our port passes; names
  // other than localhost do not.
  const std::string suffix = ":" + std::to_string(port_);
  if (wanted.size() <= suffix.size() ||
      wanted.compare(wanted.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  std::string address = wanted.substr(0, wanted.size() - suffix.size());
  if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
    address = address.substr(1, address.size() - 2);
    in6_addr v6{};
    return inet_pton(AF_INET6, address.c_str(), &v6) == 1;
  }
  in_addr v4{};
  return inet_pton(AF_INET, address.c_str(), &v4) == 1;
}

TAccessDecision TAccessPolicy::Check(const TAccessRequest& request) const {
  if (!IsAcceptedHost(request.Host)) {
    return {403, "Forbidden: the Host header does not name this server"};
  }
  if (!request.Origin.empty()) {
    const std::string origin = Lower(Trim(request.Origin));
    const std::string prefix = "http://";
    if (origin.compare(0, prefix.size(), prefix) != 0 ||
        !IsAcceptedHost(std::string_view(origin).substr(prefix.size()))) {
      return {403, "Forbidden: requests from another site's page are refused"};
    }
  }
  std::string token = QueryParameter(request.Target, "token");
  if (token.empty()) token = CookieValue(request.Cookie, kCookieName);
  if (token.empty()) return {401, "Unauthorized: the access token is missing"};
  if (!SameSecret(token, token_)) return {403, "Forbidden: wrong access token"};
  return {200, ""};
}

std::string TAccessPolicy::TokenCookie() const {
  return std::string(kCookieName) + "=" + token_ + "; HttpOnly; SameSite=Strict; Path=/";
}

std::string QueryParameter(std::string_view target, std::string_view name) {
  const size_t question = target.find('?');
  if (question == std::string_view::npos) return "";
  std::string_view query = target.substr(question + 1);
  const size_t hash = query.find('#');
  if (hash != std::string_view::npos) query = query.substr(0, hash);
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const size_t equals = pair.find('=');
    if (pair.substr(0, equals) == name) {
      return equals == std::string_view::npos ? "" : std::string(pair.substr(equals + 1));
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return "";
}

std::string_view TargetPath(std::string_view target) {
  return target.substr(0, target.find_first_of("?#"));
}

std::string CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const size_t semicolon = header.find(';');
    const std::string_view pair = Trim(header.substr(0, semicolon));
    const size_t equals = pair.find('=');
    if (equals != std::string_view::npos && Trim(pair.substr(0, equals)) == name) {
      return std::string(Trim(pair.substr(equals + 1)));
    }
    if (semicolon == std::string_view::npos) break;
    header.remove_prefix(semicolon + 1);
  }
  return "";
}

}  // namespace quvi_web
