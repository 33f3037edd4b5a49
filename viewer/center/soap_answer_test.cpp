// Answers as SOAP stacks send them (node-soap's plain elements, multiRef graphs, faults with
// error statuses) and broken ones, read into results or into the status a failure gives.
#include "viewer/center/soap_answer.h"

#include <gtest/gtest.h>

#include <functional>

#include "viewer/center/authorization_server.h"
#include "viewer/center/center_errors.h"

namespace viewer {
namespace {

constexpr char kOpen[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soapenv:Envelope "
    "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><soapenv:Body>";
constexpr char kClose[] = "</soapenv:Body></soapenv:Envelope>";

TSoapReply Reply(long status, const std::string& body_inner,
                 const std::string& type = "text/xml; charset=utf-8") {
  TSoapReply r;
  r.Status = status;
  r.ContentType = type;
  r.Body = kOpen + body_inner + kClose;
  return r;
}

TSoapReply Wrapped(const std::string& op, const std::string& result) {
  return Reply(
      200, "<ns1:" + op + "Response xmlns:ns1=\"urn:x\">" + result + "</ns1:" + op + "Response>");
}

// The status the client gives when reading the reply fails; 1 when it does not fail.
int32_t FailureStatus(const std::function<void()>& read) {
  try {
    read();
  } catch (const ECenterCallError& e) {
    return CenterFailureStatus(e);
  }
  return 1;
}

TEST(SoapAnswer, BooleanResults) {
  const struct {
    const char* Result;
    int Expected;  // 1 true, 0 false, -1 a failure
  } cases[] = {
      {"<ns1:checkPermissionReturn>true</ns1:checkPermissionReturn>", 1},
      {"<checkPermissionReturn xsi:type=\"xsd:boolean\">false</checkPermissionReturn>", 0},
      {"<r> 1 </r>", 1},
      {"<r>0</r>", 0},
      {"<r>TRUE</r>", -1},
      {"<r>maybe</r>", -1},
      {"<r xsi:nil=\"true\"/>", -1},
      {"", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Result);
    const TSoapReply reply = Wrapped("checkPermission", c.Result);
    if (c.Expected < 0) {
      EXPECT_EQ(FailureStatus([&] { ReadBooleanAnswer(reply); }), kCenterFailed);
    } else {
      EXPECT_EQ(ReadBooleanAnswer(reply), c.Expected == 1);
    }
  }
}

TEST(SoapAnswer, StringAndPersonResultsIncludingMultiRefGraphs) {
  EXPECT_EQ(ReadStringAnswer(Wrapped("createToken", "<r>tok-1 </r>")), "tok-1 ");
  EXPECT_EQ(ReadStringAnswer(Wrapped("createToken", "<r xsi:nil=\"1\"/>")), "");

  // node-soap: the person inline.
  EXPECT_EQ(
      ReadPersonName(Wrapped("validateToken", "<r><admin>false</admin><name>张三</name></r>")),
      "张三");
  // Axis: the person, and even its name, as multiRefs beside the wrapper.
  const TSoapReply axis =
      Reply(200,
            "<ns1:validateTokenResponse xmlns:ns1=\"urn:x\"><validateTokenReturn href=\"#id0\"/>"
            "</ns1:validateTokenResponse>"
            "<multiRef id=\"id1\" xsi:type=\"xsd:string\">李四</multiRef>"
            "<multiRef id=\"id0\" xsi:type=\"ns2:Person\"><admin>true</admin>"
            "<name href=\"#id1\"/><orgs xsi:type=\"soapenc:Array\"/></multiRef>");
  EXPECT_EQ(ReadPersonName(axis), "李四");
  EXPECT_EQ(ReadPersonName(Wrapped("validateToken", "<r xsi:nil=\"true\"/>")), std::nullopt);
  EXPECT_EQ(ReadPersonName(Wrapped("validateToken", "<r><admin>false</admin></r>")), "");

  // Links that lead nowhere or in a circle are failures, not hangs.
  EXPECT_EQ(
      FailureStatus([] { ReadPersonName(Wrapped("validateToken", "<r href=\"#missing\"/>")); }),
      kCenterFailed);
  EXPECT_EQ(FailureStatus([] {
              ReadPersonName(Reply(200,
                                   "<w><r href=\"#a\"/></w><m id=\"a\" href=\"#b\"/>"
                                   "<m id=\"b\" href=\"#a\"/>"));
            }),
            kCenterFailed);
  EXPECT_EQ(FailureStatus([] {
              ReadPersonName(Wrapped("validateToken", "<r href=\"http://elsewhere/x\"/>"));
            }),
            kCenterFailed);
}

TEST(SoapAnswer, FailuresMapToTheirStatus) {
  const std::string token_fault =
      "<soapenv:Fault><faultcode>soapenv:Server</faultcode><faultstring>"
      "com.center.TokenInvalidateException: gone</faultstring></soapenv:Fault>";
  const std::string timeout_fault =
      "<soapenv:Fault><faultcode>soapenv:Server</faultcode><faultstring>"
      "Timeout waiting for lock</faultstring></soapenv:Fault>";
  TSoapReply html;
  html.Status = 404;
  html.ContentType = "text/html";
  html.Body = "<html>TokenInvalidate? no such page</html>";
  TSoapReply html_ok = html;
  html_ok.Status = 200;
  TSoapReply garbage;
  garbage.Status = 200;
  garbage.Body = "\x01\x02 not xml";
  TSoapReply not_envelope;
  not_envelope.Status = 200;
  not_envelope.Body = "<Envelope><Head/></Envelope>";

  const struct {
    const char* What;
    TSoapReply Reply;
    int32_t Status;
  } cases[] = {
      {"fault with an error status naming TokenInvalidate", Reply(500, token_fault), -2},
      {"the same fault with status 200 is no HTTP error", Reply(200, token_fault), -999},
      {"fault naming Timeout", Reply(500, timeout_fault), -4},
      {"error status, any text holding TokenInvalidate", html, -2},
      {"HTML page with status 200", html_ok, -999},
      {"no status line", Reply(0, "<r/>"), -999},
      {"not XML", garbage, -999},
      {"no SOAP envelope", not_envelope, -999},
      {"empty body", Reply(200, ""), -999},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(FailureStatus([&] { ReadBooleanAnswer(c.Reply); }), c.Status);
    EXPECT_EQ(FailureStatus([&] { ReadPersonName(c.Reply); }), c.Status);
  }
  EXPECT_EQ(CenterFailureStatus(ECenterCallError("Timeout: no answer")), kCenterTimeout);
  EXPECT_EQ(CenterFailureStatus(ECenterCallError("Couldn't connect")), kCenterFailed);
}

TEST(SoapAnswer, HeaderLinesGiveTheLastHeadsStatusAndType) {
  TSoapReply r;
  for (const char* line :
       {"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 500 Internal Server Error\r\n",
        "content-TYPE:  text/xml;charset=UTF-8 \r\n", "X-Other: a:b\r\n", "\r\n"}) {
    r.TakeHeaderLine(line);
  }
  EXPECT_EQ(r.Status, 500);
  EXPECT_EQ(r.ContentType, "text/xml;charset=UTF-8");

  r.TakeHeaderLine("HTTP/2 204\r\n");
  EXPECT_EQ(r.Status, 204);
  EXPECT_EQ(r.ContentType, "");
  r.TakeHeaderLine("HTTP/1.0 99999999999999999999 big\r\n");
  EXPECT_EQ(r.Status, 999);
  r.TakeHeaderLine("HTTP/1.0\r\n");
  EXPECT_EQ(r.Status, 0);
}

}  // namespace
}  // namespace viewer
