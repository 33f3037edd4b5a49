// The web host's gate over a real socket, with a tiny Beast client: requests without the
// token, with a wrong one, from a foreign Host or Origin are refused (and get no WebSocket);
// only the page's files and the downloads handed out are served; the limit of pages at once;
// a message too large gets an error and leaves the socket usable, a huge one ends it. The
// controls come from the library with the stand-in window.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <memory>
#include <thread>

#include "tests/support/test_files.h"
#include "tests/support/wait_until.h"
#include "tools/quvi-web/test_client.h"
#include "tools/quvi-web/web_host.h"

namespace quvi_web {
namespace {

using nlohmann::json;
using test::HttpGet;
using test::THeaders;
using test::TWsClient;

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";

class WebServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QUVI_REGISTRY_FILE", dir_.Path("registry.ini").c_str(), 1);
    std::filesystem::create_directories(dir_.Path("web/sub"));
    std::filesystem::create_directories(dir_.Path("out"));
    std::ofstream(dir_.Path("web/index.html")) << "<!doctype html><title>quvi</title>";
    std::ofstream(dir_.Path("web/sub/app.js")) << "// app";
    std::ofstream(dir_.Path("web/.hidden")) << "secret";
    std::ofstream(dir_.Path("secret.txt")) << "outside";
    std::ofstream(dir_.Path("out/record-1.rec")) << "not handed out";
    Start(2);
  }
  void TearDown() override {
    Stop();
    ::unsetenv("QUVI_REGISTRY_FILE");
  }
  void Start(int32_t max_connections) {
    TServerConfig server;
    server.Port = 0;
    server.Token = kToken;
    server.WebDir = dir_.Path("web");
    server.OutDir = dir_.Path("out");
    server.MaxConnections = max_connections;
    settings_.OutDir = server.OutDir;
    host_ = std::make_unique<TWebHost>(server, settings_);
    thread_ = std::thread([this] { host_->Run(); });
    port_ = host_->Port();
  }
  void Stop() {
    if (!host_) return;
    host_->Stop();
    thread_.join();
    host_.reset();
  }
  std::string Here() const { return "127.0.0.1:" + std::to_string(port_); }

  quvi_test::TTempDir dir_{"web_server_test"};
  THostSettings settings_;
  std::unique_ptr<TWebHost> host_;
  std::thread thread_;
  uint16_t port_ = 0;
};

TEST_F(WebServerTest, RequestsPassOnlyWithTheTokenFromThisServersPage) {
  const std::string t = std::string("token=") + kToken;
  const std::string cookie = std::string("quvi_token=") + kToken;
  struct Case {
    std::string target;
    THeaders headers;
    int status;
  };
  const Case cases[] = {
      {"/", {}, 401},
      {"/index.html", {}, 401},
      {"/?token=", {}, 401},
      {"/?token=wrong", {}, 403},
      {"/?token=" + std::string(kToken) + "0", {}, 403},
      {"/?" + t, {}, 200},
      {"/index.html?" + t, {}, 200},
      {"/sub/app.js", {{"Cookie", cookie}}, 200},
      {"/sub/app.js", {{"Cookie", "quvi_token=wrong"}}, 403},
      {"/?" + t, {{"Host", "localhost:" + std::to_string(port_)}}, 200},
      // DNS rebinding: a foreign name resolving to us.
      {"/?" + t, {{"Host", "evil.example:" + std::to_string(port_)}}, 403},
      {"/?" + t, {{"Host", "127.0.0.1:1"}}, 403},
      {"/?" + t, {{"Host", ""}}, 403},
      // Another site's page asking.
      {"/?" + t, {{"Origin", "http://evil.example"}}, 403},
      {"/?" + t, {{"Origin", "https://127.0.0.1:" + std::to_string(port_)}}, 403},
      {"/?" + t, {{"Origin", "http://" + Here()}}, 200},
      // Only the page's own files.
      {"/../secret.txt?" + t, {}, 404},
      {"/%2e%2e/secret.txt?" + t, {}, 404},
      {"/.hidden?" + t, {}, 404},
      {"/sub/?" + t, {}, 404},
      {"/sub?" + t, {}, 404},
      {"/nothing.js?" + t, {}, 404},
      // Downloads only of what the server handed out.
      {"/files/record-1.rec?" + t, {}, 404},
      {"/files/../web/index.html?" + t, {}, 404},
      {"/ws?" + t, {}, 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const test::THttpReply reply = HttpGet(port_, c.target, c.headers);
    EXPECT_EQ(reply.Status, c.status) << reply.Body;
    if (c.status != 200) {
      // One line saying why.
      EXPECT_FALSE(reply.Body.empty());
      EXPECT_EQ(reply.Body.find('\n'), reply.Body.size() - 1) << reply.Body;
      EXPECT_EQ(reply.Body.find("<"), std::string::npos);
    }
  }
  EXPECT_EQ(HttpGet(port_, "/?" + t, {}, "POST").Status, 405);
  // The page's answer sets the cookie the later requests carry.
  test::THttpReply page = HttpGet(port_, "/?" + t);
  EXPECT_EQ(page.Body, "<!doctype html><title>quvi</title>");
  const std::string set_cookie = page.Headers["Set-Cookie"];
  EXPECT_NE(set_cookie.find(cookie), std::string::npos) << set_cookie;
  EXPECT_NE(set_cookie.find("HttpOnly"), std::string::npos);
  EXPECT_NE(set_cookie.find("SameSite=Strict"), std::string::npos);
  EXPECT_EQ(page.Headers["Content-Type"], "text/html; charset=utf-8");
  EXPECT_EQ(page.Headers["Referrer-Policy"], "no-referrer");
}

TEST_F(WebServerTest, TheWebSocketOpensOnlyWithTheTokenFromThisServersPage) {
  const std::string ws = std::string("/ws?token=") + kToken;
  struct Case {
    std::string target;
    THeaders headers;
    int status;  // 101: opened
  };
  const Case cases[] = {
      {"/ws", {}, 401},
      {"/ws?token=wrong", {}, 403},
      {ws, {{"Host", "evil.example:" + std::to_string(port_)}}, 403},
      {ws, {{"Origin", "http://evil.example"}}, 403},
      {ws, {{"Origin", "null"}}, 403},
      {"/other?token=" + std::string(kToken), {}, 404},
      {"/ws", {{"Cookie", std::string("quvi_token=") + kToken}}, 101},
      {ws, {{"Origin", "http://" + Here()}}, 101},
      {ws, {{"Origin", "http://localhost:" + std::to_string(port_)}}, 101},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target + " " + (c.headers.empty() ? "" : c.headers.begin()->second));
    TWsClient client(port_, c.target, c.headers);
    EXPECT_EQ(client.Connected(), c.status == 101);
    EXPECT_EQ(client.Refusal().Status, c.status);
    if (client.Connected()) {
      EXPECT_EQ(client.Request({{"op", "hello"}})["ok"], true);
    }
  }
}

TEST_F(WebServerTest, PagesBeyondTheLimitAreRefusedUntilOneLeaves) {
  const std::string ws = std::string("/ws?token=") + kToken;
  auto first = std::make_unique<TWsClient>(port_, ws);
  TWsClient second(port_, ws);
  ASSERT_TRUE(first->Connected());
  ASSERT_TRUE(second.Connected());
  // Both are really served.
  EXPECT_EQ(first->Request({{"op", "hello"}})["ok"], true);
  EXPECT_EQ(second.Request({{"op", "hello"}})["ok"], true);
  {
    TWsClient third(port_, ws);
    EXPECT_FALSE(third.Connected());
    EXPECT_EQ(third.Refusal().Status, 503);
  }
  first.reset();
  // The server notices the close on its own time: try until the place is free.
  EXPECT_TRUE(quvi_test::WaitUntil([&] { return TWsClient(port_, ws).Connected(); }));
}

TEST_F(WebServerTest, OversizedAndBinaryMessagesGetAnErrorAndTheSocketStaysUsable) {
  TWsClient page(port_, std::string("/ws?token=") + kToken);
  ASSERT_TRUE(page.Connected());
  const json made = page.Request({{"op", "create"}});
  ASSERT_EQ(made["ok"], true) << made;
  const uint32_t c = made["control"];
  page.Request({{"op", "put"}, {"control", c}, {"name", "HostIP"}, {"value", "10.0.0.1"}});

  json big = {{"op", "put"},
              {"control", c},
              {"name", "HostIP"},
              {"value", std::string(70000, 'x')},
              {"id", 1}};
  page.SendText(big.dump());
  auto reply = page.ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)["ok"], false);
  EXPECT_NE((*reply).value("error", "").find("too large"), std::string::npos) << *reply;
  page.SendBinary("\x01\x02");
  reply = page.ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_NE((*reply).value("error", "").find("malformed message"), std::string::npos) << *reply;
  const json value = page.Request({{"op", "get"}, {"control", c}, {"name", "HostIP"}});
  EXPECT_EQ(value["value"], "10.0.0.1");

  // Beyond a megabyte the server does not even read it: the socket ends.
  page.SendText(std::string(2 << 20, ' '));
  EXPECT_FALSE(page.ReadReply());
}

}  // namespace
}  // namespace quvi_web

namespace quvi_web {
namespace {

// A page sending far faster than the host answers is read as fast as the host handles: every
// message is answered, in order, and nothing is lost while its socket waits.
TEST_F(WebServerTest, AFloodOfMessagesIsAnsweredInOrder) {
  TWsClient page(port_, std::string("/ws?token=") + kToken);
  ASSERT_TRUE(page.Connected());
  constexpr int kMessages = 500;
  // All sent before any is read: the socket buffers hold them while the server pauses.
  for (int i = 0; i < kMessages; ++i) page.SendText(json{{"op", "hello"}, {"id", i}}.dump());
  int expected = 0;
  while (expected < kMessages) {
    auto reply = page.ReadReply();
    if (!reply) break;
    EXPECT_EQ((*reply)["id"], expected);
    ++expected;
  }
  EXPECT_EQ(expected, kMessages);
}

}  // namespace
}  // namespace quvi_web
