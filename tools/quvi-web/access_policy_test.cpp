// The gate's rules as tables: which Host, Origin and token pass, for loopback and for another
// bound address, and the reading of query parameters and cookies.
#include "tools/quvi-web/access_policy.h"

#include <gtest/gtest.h>

namespace quvi_web {
namespace {

constexpr const char* kToken = "00112233445566778899aabbccddeeff";

TEST(AccessPolicyTest, DecidesByHostOriginAndToken) {
  const TAccessPolicy loopback(kToken, "127.0.0.1", 8080);
  const TAccessPolicy lan(kToken, "192.168.1.20", 8080);
  const TAccessPolicy any(kToken, "0.0.0.0", 8080);
  const std::string good = std::string("/?token=") + kToken;
  const std::string cookie = std::string("a=b; quvi_token=") + kToken + "; c=d";
  struct Case {
    const TAccessPolicy* policy;
    std::string target, host, origin, cookie;
    int status;
  };
  const Case cases[] = {
      {&loopback, good, "127.0.0.1:8080", "", "", 200},
      {&loopback, good, "LOCALHOST:8080", "", "", 200},
      {&loopback, good, "localhost:8080", "http://localhost:8080", "", 200},
      {&loopback, good, "127.0.0.1:8080", "http://127.0.0.1:8080", "", 200},
      {&loopback, "/app.js", "127.0.0.1:8080", "", cookie, 200},
      {&loopback, "/app.js", "127.0.0.1:8080", "", "quvi_token=", 401},
      {&loopback, "/app.js", "127.0.0.1:8080", "", "", 401},
      {&loopback, "/?token=" + std::string(kToken).substr(1), "127.0.0.1:8080", "", "", 403},
      {&loopback, "/?x=1&token=bad", "127.0.0.1:8080", "", cookie, 403},  // the query counts
      {&loopback, good, "127.0.0.1", "", "", 403},
      {&loopback, good, "127.0.0.1:8081", "", "", 403},
      {&loopback, good, "192.168.1.20:8080", "", "", 403},
      {&loopback, good, "attacker.example:8080", "", "", 403},
      {&loopback, good, "127.0.0.1:8080", "http://attacker.example", "", 403},
      {&loopback, good, "127.0.0.1:8080", "http://127.0.0.1:8080.attacker.example", "", 403},
      {&loopback, good, "127.0.0.1:8080", "file://", "", 403},
      // Refusals for Host and Origin come before the token is looked at.
      {&loopback, "/", "attacker.example:8080", "", "", 403},
      {&lan, good, "192.168.1.20:8080", "http://192.168.1.20:8080", "", 200},
      {&lan, good, "127.0.0.1:8080", "", "", 200},
      {&lan, good, "192.168.1.21:8080", "", "", 403},
      // On every address: any address literal of ours, but no other name (rebinding).
      {&any, good, "10.0.0.5:8080", "http://10.0.0.5:8080", "", 200},
      {&any, good, "[fe80::1]:8080", "", "", 200},
      {&any, good, "10.0.0.5:8081", "", "", 403},
      {&any, good, "nas.example:8080", "", "", 403},
      {&any, good, "10.0.0.5.nip.example:8080", "", "", 403},
      {&any, good, "10.0.0.5:8080", "http://nas.example:8080", "", 403},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target + " host " + c.host + " origin " + c.origin + " cookie " + c.cookie);
    const TAccessDecision d = c.policy->Check({c.target, c.host, c.origin, c.cookie});
    EXPECT_EQ(d.Status, c.status) << d.Reason;
    EXPECT_EQ(d.Reason.empty(), c.status == 200);
  }
}

TEST(AccessPolicyTest, ReadsQueryParametersAndCookies) {
  EXPECT_EQ(QueryParameter("/ws?token=abc", "token"), "abc");
  EXPECT_EQ(QueryParameter("/ws?a=1&token=abc&b=2", "token"), "abc");
  EXPECT_EQ(QueryParameter("/ws?xtoken=abc", "token"), "");
  EXPECT_EQ(QueryParameter("/ws?token=abc#frag", "token"), "abc");
  EXPECT_EQ(QueryParameter("/ws?token", "token"), "");
  EXPECT_EQ(QueryParameter("/ws", "token"), "");
  EXPECT_EQ(TargetPath("/files/a.jpg?token=1"), "/files/a.jpg");
  EXPECT_EQ(CookieValue("quvi_token=abc", "quvi_token"), "abc");
  EXPECT_EQ(CookieValue(" x=1 ;  quvi_token = abc ;y=2", "quvi_token"), "abc");
  EXPECT_EQ(CookieValue("my_quvi_token=abc", "quvi_token"), "");
  EXPECT_EQ(TAccessPolicy(kToken, "127.0.0.1", 1).TokenCookie(),
            std::string("quvi_token=") + kToken + "; HttpOnly; SameSite=Strict; Path=/");
}

}  // namespace
}  // namespace quvi_web
