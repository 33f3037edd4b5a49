// The center client against a real SOAP stack: node-soap serving the token, permission and
// action log services from their RPC/encoded WSDLs, recording every call it receives.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <pugixml.hpp>

#include "tests/center/center_server.h"
#include "viewer/center/authorization_server.h"
#include "viewer/center/soap_envelope.h"

namespace viewer {
namespace {

using center_test::TCenterServer;
using center_test::TRecordedCall;
using TClock = std::chrono::steady_clock;

// A loopback port with a listener that takes connections and never reads or answers (port 0
// when refuse: a port that was just closed, so connecting is refused).
class TSilentPort {
 public:
  explicit TSilentPort(bool refuse = false) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len), 0);
    port_ = ntohs(a.sin_port);
    if (refuse) {
      close(fd_);
      fd_ = -1;
    } else {
      EXPECT_EQ(listen(fd_, 64), 0);
    }
  }
  ~TSilentPort() {
    if (fd_ >= 0) close(fd_);
  }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Every parameter of the call in the raw envelope carries an xsi:type, and the call element
// is in the namespace given.
void ExpectEncodedCall(const TRecordedCall& call, const std::string& ns) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(call.Raw.c_str())) << call.Raw;
  const pugi::xml_node element = doc.document_element().first_child().first_child();
  const std::string name = element.name();
  ASSERT_EQ(name.substr(name.find(':') + 1), call.Operation);
  EXPECT_EQ(
      std::string(element.attribute(("xmlns:" + name.substr(0, name.find(':'))).c_str()).value()),
      ns);
  for (pugi::xml_node p = element.first_child(); p; p = p.next_sibling()) {
    EXPECT_NE(std::string(p.attribute("xsi:type").value()), "") << p.name();
    for (pugi::xml_node f = p.first_child(); f; f = f.next_sibling()) {
      if (f.type() == pugi::node_element) {
        EXPECT_NE(std::string(f.attribute("xsi:type").value()), "") << f.name();
      }
    }
  }
}

// The text of the report's time element as it went over the wire.
std::string SentTime(const TRecordedCall& call) {
  pugi::xml_document doc;
  doc.load_string(call.Raw.c_str());
  return doc.select_node("//_log/time").node().child_value();
}

// The instant a "+08:00" time stands for, as the service's ISO text in UTC.
std::string UtcOfPlusEight(const std::string& time) {
  TDateTimeParts p;
  std::sscanf(time.c_str(), "%d-%d-%dT%d:%d:%d.%d", &p.year, &p.month, &p.day, &p.hour, &p.minute,
              &p.second, &p.millisecond);
  const TDateTimeParts u = DecodeDateTime(EncodeDateTime(p) - 8.0 / 24.0 + 1e-9);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", u.year, u.month, u.day,
                u.hour, u.minute, u.second, u.millisecond);
  return text;
}

class CenterService : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new TCenterServer({"--path", "/sc/"}); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    client_ = std::make_unique<TEmbeddedAuthorizationServer>(TCenterNamespaces{});
    client_->SetCenterAddr("127.0.0.1");
    client_->SetCenterPort(server_->Port());
    client_->SetCenterServicePath("/sc/");
  }

  std::string Url(const char* service) const {
    return "http://127.0.0.1:" + std::to_string(server_->Port()) + "/sc/" + service;
  }

  TRecordedCall Next() {
    std::optional<TRecordedCall> call = server_->NextCall();
    EXPECT_TRUE(call.has_value()) << "the server received nothing";
    return call.value_or(TRecordedCall{});
  }

  static TCenterServer* server_;
  std::unique_ptr<TEmbeddedAuthorizationServer> client_;
};

TCenterServer* CenterService::server_ = nullptr;

TEST_F(CenterService, RequestTokenObtainsTokenAndPersonName) {
  std::string token, name;
  EXPECT_EQ(client_->RequestToken("operator", "secret", token, name), kCenterOk);
  EXPECT_EQ(token, "tok-operator");
  EXPECT_EQ(name, "张三");

  const TRecordedCall create = Next();
  EXPECT_EQ(create.Operation, "createToken");
  EXPECT_EQ(create.Args.at("_loginName"), "operator");
  EXPECT_EQ(create.Args.at("_password"), "secret");
  ExpectEncodedCall(create, Url(kTokenServiceName));
  const TRecordedCall validate = Next();
  EXPECT_EQ(validate.Operation, "validateToken");
  EXPECT_EQ(validate.Args.at("_tokenKey"), "tok-operator");
  ExpectEncodedCall(validate, Url(kTokenServiceName));
}

TEST_F(CenterService, RequestTokenStatuses) {
  const struct {
    const char* Login;
    const char* Password;
    int32_t Status;
    const char* Token;
    int Calls;
  } cases[] = {
      // A token of blanks is no token.
      {"blank", "secret", kCenterDenied, "   ", 2},
      // The login itself fails with a fault that does not reject a token.
      {"operator", "wrong", kCenterFailed, "", 1},
      // The token is kept though validating it is rejected.
      {"expired", "secret", kCenterTokenRejected, "tok-expired", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Login);
    std::string token, name = "unchanged";
    EXPECT_EQ(client_->RequestToken(c.Login, c.Password, token, name), c.Status);
    EXPECT_EQ(token, c.Token);
    for (int i = 0; i < c.Calls; ++i) Next();
  }
}

TEST_F(CenterService, CheckActionRightAsksTheTablesQuestion) {
  EXPECT_EQ(client_->CheckActionRight("allow", 15, 2, 1234), kCenterOk);
  TRecordedCall call = Next();
  EXPECT_EQ(call.Operation, "checkPermission");
  EXPECT_EQ(call.Args, (std::map<std::string, std::string>{{"_subjectId", "1234"},
                                                           {"_subjectClassId", "-2"},
                                                           {"_tokenKey", "allow"},
                                                           {"_actionIndex", "14"}}));
  ExpectEncodedCall(call, Url(kPermServiceName));

  EXPECT_EQ(client_->CheckActionRight("allow", 0, 2, 1234), kCenterOk);
  call = Next();
  EXPECT_EQ(call.Operation, "checkChannelPermission");
  EXPECT_EQ(call.Args, (std::map<std::string, std::string>{{"_dvrId", "1234"},
                                                           {"_channelCode", "2"},
                                                           {"_tokenKey", "allow"},
                                                           {"_actionIndex", "16"}}));
  ExpectEncodedCall(call, Url(kPermServiceName));

  // Only the low seven bits choose the row: 128 + 39 is action 39.
  EXPECT_EQ(client_->CheckActionRight("deny", 128 + 39, 0, -5), kCenterDenied);
  call = Next();
  EXPECT_EQ(call.Args.at("_subjectClassId"), "-2");
  EXPECT_EQ(call.Args.at("_actionIndex"), "-1");
}

TEST_F(CenterService, CheckActionRightStatuses) {
  const struct {
    const char* Token;
    int32_t Status;
  } cases[] = {{"allow", kCenterOk},
               {"deny", kCenterDenied},
               {"expired", kCenterTokenRejected},
               {"slow-db", kCenterTimeout},
               {"broken", kCenterFailed}};
  for (const auto& c : cases) {
    for (int action : {3, 21}) {
      SCOPED_TRACE(std::string(c.Token) + " action " + std::to_string(action));
      EXPECT_EQ(client_->CheckActionRight(c.Token, action, 1, 77), c.Status);
      EXPECT_EQ(Next().Args.at("_tokenKey"), c.Token);
    }
  }
}

TEST_F(CenterService, NothingIsSentWithoutAnEndpointOrForActionsPastTheTable) {
  std::string token, name;
  client_->SetCenterAddr("  ");
  EXPECT_EQ(client_->RequestToken("operator", "secret", token, name), kCenterFailed);
  EXPECT_EQ(client_->CheckActionRight("allow", 15, 2, 1234), kCenterFailed);
  EXPECT_FALSE(client_->ReportAction("allow", 2, 1234, "x", 1, true));

  client_->SetCenterAddr("127.0.0.1");
  client_->SetCenterPort(0);
  EXPECT_EQ(client_->RequestToken("operator", "secret", token, name), kCenterFailed);
  EXPECT_EQ(client_->CheckActionRight("allow", 0, 2, 1234), kCenterFailed);
  EXPECT_FALSE(client_->ReportAction("allow", 2, 1234, "x", 1, true));
  EXPECT_EQ(token, "");
  EXPECT_EQ(client_->ReportsInFlight(), 0);
  EXPECT_EQ(client_->ReportsDropped(), 0u);  // refused, not started and dropped

  client_->SetCenterPort(server_->Port());
  for (int action : {40, 127, -1}) {
    EXPECT_EQ(client_->CheckActionRight("allow", action, 2, 1234), kCenterFailed) << action;
  }
  // The next call the server sees is this one: none of the above reached it.
  EXPECT_EQ(client_->CheckActionRight("deny", 1, 9, 9), kCenterDenied);
  const TRecordedCall call = Next();
  EXPECT_EQ(call.Operation, "checkChannelPermission");
  EXPECT_EQ(call.Args.at("_channelCode"), "9");
}

TEST_F(CenterService, RefusedConnectionIsAFailure) {
  TSilentPort closed(true);
  client_->SetCenterPort(closed.Port());
  std::string token, name;
  EXPECT_EQ(client_->RequestToken("operator", "secret", token, name), kCenterFailed);
  EXPECT_EQ(client_->CheckActionRight("allow", 15, 2, 1234), kCenterFailed);
}

// The one test that waits for the 2000 ms on purpose: a service that takes the call and never
// answers. The report time-out, set short, does not shorten it.
TEST_F(CenterService, UnansweredCallTimesOutAfterTwoSeconds) {
  client_->SetCenterConnectTimeout(100);
  const auto start = TClock::now();
  EXPECT_EQ(client_->CheckActionRight("stall", 15, 2, 1234), kCenterTimeout);
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start).count();
  EXPECT_GE(waited, 1900);
  EXPECT_LT(waited, 15000);
  EXPECT_EQ(Next().Args.at("_tokenKey"), "stall");
}

TEST_F(CenterService, ReportActionSendsTheActionLog) {
  client_ = std::make_unique<TEmbeddedAuthorizationServer>(
      TCenterNamespaces{"urn:center-services", "urn:center-arrays"});
  client_->Configure({"127.0.0.1", server_->Port(), "/sc/", 2000});

  const TDateTime before = Now();
  EXPECT_TRUE(client_->ReportAction(std::string(300, 'k'), 2, 1234, "抓图", 3, true));
  const TDateTime after = Now();
  TRecordedCall call = Next();
  EXPECT_EQ(call.Operation, "logOfToken");
  EXPECT_EQ(call.Args.at("_tokenKey"), std::string(200, 'k'));
  EXPECT_EQ(call.Args.at("_log.operated"), "dvrId:1234,channelCode:2");
  EXPECT_EQ(call.Args.at("_log.operation"), "抓图");
  EXPECT_EQ(call.Args.at("_log.level"), "3");
  EXPECT_EQ(call.Args.at("_log.result"), "成功");
  EXPECT_EQ(call.Args.at("_log.typeOfOperated"), "通道");
  EXPECT_EQ(call.Args.at("_log.src"), "DVR");
  const std::string time = SentTime(call);
  EXPECT_GE(time, CenterDateTimeText(before));
  EXPECT_LE(time, CenterDateTimeText(after));
  // The service read the offset: it holds the instant eight hours before the clock reading.
  EXPECT_EQ(call.Args.at("_log.time"), UtcOfPlusEight(time));
  ExpectEncodedCall(call, "urn:center-services");
  EXPECT_NE(call.Raw.find("xmlns:ns3=\"urn:center-arrays\""), std::string::npos);
  EXPECT_NE(call.Raw.find("xmlns:ns2=\"urn:BeanService\""), std::string::npos);

  EXPECT_TRUE(client_->ReportAction("t", -1, 0, "", 0, false));
  call = Next();
  EXPECT_EQ(call.Args.at("_log.result"), "失败");
  EXPECT_EQ(call.Args.at("_log.operated"), "dvrId:0,channelCode:-1");
}

// The time carries +08:00 whatever the machine's zone: the clock reading is sent as it is.
TEST_F(CenterService, ReportTimeKeepsPlusEightUnderAnotherZone) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "XYZ+05:30", 1);  // UTC-05:30
  tzset();
  const TDateTime before = Now();
  EXPECT_TRUE(client_->ReportAction("tz", 2, 1234, "tz", 1, true));
  const TDateTime after = Now();
  const std::string time = SentTime(Next());
  client_.reset();  // the sender is done before the zone changes back
  if (old) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
  EXPECT_EQ(time.substr(23), "+08:00");
  EXPECT_GE(time, CenterDateTimeText(before));
  EXPECT_LE(time, CenterDateTimeText(after));
}

// A sender gives up after the report time-out, or at once when nobody listens; either way
// the report is lost quietly and the sender ends by itself.
TEST_F(CenterService, ReportSendersEndOnTheirOwnWhenTheServiceFails) {
  TSilentPort silent;
  client_->Configure({"127.0.0.1", silent.Port(), "/sc/", 300});
  const auto start = TClock::now();
  EXPECT_TRUE(client_->ReportAction("t", 1, 1, "silent", 1, true));
  EXPECT_TRUE(client_->WaitReportsSent(60000));
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start).count(),
            250);

  TSilentPort closed(true);
  client_->SetCenterPort(closed.Port());
  EXPECT_TRUE(client_->ReportAction("t", 1, 1, "refused", 1, false));
  EXPECT_TRUE(client_->WaitReportsSent(60000));
  EXPECT_EQ(client_->ReportsDropped(), 0u);
}

// A burst of reports to a service that never answers: the bound holds, the rest are dropped
// and counted, and the client goes away without waiting out the long time-out.
TEST_F(CenterService, ReportsInFlightAreBoundedAndUnloadingDoesNotWaitThemOut) {
  TSilentPort silent;
  client_->Configure({"127.0.0.1", silent.Port(), "/sc/", 60000});
  int started = 0;
  for (int i = 0; i < 20; ++i) started += client_->ReportAction("t", 1, 1, "burst", 1, true);
  EXPECT_EQ(started, kMaxReportsInFlight);
  EXPECT_EQ(client_->ReportsInFlight(), kMaxReportsInFlight);
  EXPECT_EQ(client_->ReportsDropped(), static_cast<uint64_t>(20 - kMaxReportsInFlight));

  const auto start = TClock::now();
  client_.reset();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(TClock::now() - start).count(), 30);
}

}  // namespace
}  // namespace viewer
