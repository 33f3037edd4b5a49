// Every request of the stream protocol against a server running in process: answers
// compared byte for byte with answers built here field by field, requests without an answer
// shown to get none, and every request's log line compared whole.
#include <gtest/gtest.h>

#include <string>

#include "common/viewer_utils.h"
#include "tools/streamsim/test_support.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/wire_format.h"

namespace streamsim {
namespace {

using test::TBytes;
using test::TByteWriter;
using test::TRunningServer;
using test::TViewerClient;
namespace wire = viewer::wire;

const std::string kRawToken("tok\0en", 6);  // a zero byte inside, as login answers may carry

// The head every answer starts with: length, code, three zero words, status.
TByteWriter AnswerHead(uint32_t length, uint32_t code, int32_t status) {
  TByteWriter w;
  w.BE32(length).BE32(code).BE32(0).BE32(0).BE32(0).BE32(static_cast<uint32_t>(status));
  return w;
}

// Relay addressing, so the head's address words are filled and must be logged.
viewer::TRequestAddressing Relay() {
  return {1, "10.0.0.5", "192.168.1.20"};
}

std::string HeadFields(const std::string& request, size_t length, const char* code) {
  return "\"request\":\"" + request + "\",\"length\":" + std::to_string(length) + ",\"code\":\"" +
         code + "\",\"constant\":1";
}

class Requests : public ::testing::Test {
 protected:
  TServerOptions Options() {
    TServerOptions o = test::FastFileOptions(file_.Path);
    o.Accounts.User = "viewer";
    o.Accounts.Password = "secret";
    o.Accounts.Token = kRawToken;
    o.Accounts.UserName = "Viewer One";
    return o;
  }
  // The line the server logged for the client's request of that kind.
  std::string LoggedLine(const TViewerClient& client, const std::string& request) {
    return server_->Log().WaitFor({"\"event\":\"request\"",
                                   "\"peer\":\"" + client.LocalPeer() + "\"",
                                   "\"request\":\"" + request + "\""});
  }
  void Start(const TServerOptions& o) { server_ = std::make_unique<TRunningServer>(o); }
  std::string Prefix(const TViewerClient& client) {
    return "{\"event\":\"request\",\"conn\":1,\"peer\":\"" + client.LocalPeer() + "\",";
  }

  test::TTempDir dir_;
  test::TTestFile file_ = test::WriteTestFile(dir_.Path("a.rec"));
  std::unique_ptr<TRunningServer> server_;
};

struct TLoginCase {
  const char* Name;
  std::string User, Password;
  std::optional<int32_t> ForcedStatus;
  int32_t RefuseStatus;
  int32_t Expected;
};

// Test listings name a row by its name rather than by its bytes.
void PrintTo(const TLoginCase& c, std::ostream* os) {
  *os << c.Name;
}

class LoginAnswers : public Requests, public ::testing::WithParamInterface<TLoginCase> {};

TEST_P(LoginAnswers, AreByteExactAndLogged) {
  const TLoginCase& c = GetParam();
  TServerOptions o = Options();
  o.Accounts.LoginStatus = c.ForcedStatus;
  o.Accounts.RefuseStatus = c.RefuseStatus;
  Start(o);
  TViewerClient client(server_->Port());
  client.SendRequest(viewer::TLoginRequest{c.User, c.Password}, Relay());

  TBytes expected;
  if (c.Expected == 0) {
    const std::string name = "Viewer One";
    expected = AnswerHead(152 + name.size(), 0x80010001, 0)
                   .Text(kRawToken, 128)
                   .Raw(TBytes(name.begin(), name.end()))
                   .Bytes();
  } else {
    expected = AnswerHead(24, 0x80010001, c.Expected).Bytes();
  }
  EXPECT_EQ(client.ReadMessage(), expected);
  EXPECT_EQ(LoggedLine(client, "login"),
            Prefix(client) + HeadFields("login", 108, "0x00010001") +
                ",\"client_address\":\"10.0.0.5\",\"target_address\":\"192.168.1.20\","
                "\"login_user\":\"" +
                c.User + "\",\"password\":\"" + c.Password +
                "\",\"status\":" + std::to_string(c.Expected) + "}");
}

INSTANTIATE_TEST_SUITE_P(
    OneRowPerCase, LoginAnswers,
    ::testing::Values(TLoginCase{"Accepted", "viewer", "secret", std::nullopt, -1, 0},
                      TLoginCase{"WrongPassword", "viewer", "wrong", std::nullopt, -1, -1},
                      TLoginCase{"WrongUserOwnStatus", "nobody", "secret", std::nullopt, 3, 3},
                      TLoginCase{"ForcedRefusal", "viewer", "secret", -4, -1, -4},
                      TLoginCase{"ForcedAcceptance", "x", "y", 0, -1, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Requests, ClientIdentityAnswersThePeersAddressOrTheConfiguredOne) {
  Start(Options());
  TViewerClient client(server_->Port());
  client.SendRequest(viewer::TClientIdentityRequest{"172.16.0.9"}, Relay());
  EXPECT_EQ(client.ReadMessage(), AnswerHead(28, 0x81000001, 0).BE32(0x7F000001).Bytes());
  EXPECT_EQ(LoggedLine(client, "client_identity"),
            Prefix(client) + HeadFields("client_identity", 24, "0x01000001") +
                ",\"client_address\":\"10.0.0.5\",\"target_address\":\"192.168.1.20\","
                "\"local_address\":\"172.16.0.9\",\"status\":0,"
                "\"answered_address\":\"127.0.0.1\"}");

  server_.reset();
  TServerOptions o = Options();
  o.Accounts.ClientAddress = "10.1.2.3";
  Start(o);
  TViewerClient second(server_->Port());
  second.SendRequest(viewer::TClientIdentityRequest{"172.16.0.9"});
  EXPECT_EQ(second.ReadMessage(), AnswerHead(28, 0x81000001, 0).BE32(0x0A010203).Bytes());
}

TEST_F(Requests, ClientIdentityRefusedCarriesOnlyTheHead) {
  TServerOptions o = Options();
  o.Accounts.IdentityStatus = -4;
  Start(o);
  TViewerClient client(server_->Port());
  client.SendRequest(viewer::TClientIdentityRequest{"172.16.0.9"});
  EXPECT_EQ(client.ReadMessage(), AnswerHead(24, 0x81000001, -4).Bytes());
}

TEST_F(Requests, OpenLiveAnswersTheChannelsPictureSettingsThenStreams) {
  Start(Options());
  TViewerClient client(server_->Port());
  viewer::TOpenLiveRequest open;
  open.Token = kRawToken;
  open.DVRID = "-7";
  open.ChannelNo = 65535;
  open.LinkMode = 2;
  client.SendRequest(open, Relay());
  EXPECT_EQ(client.ReadMessage(),
            AnswerHead(40, 0x80050101, 0).BE32(70).BE32(75).BE32(85).BE32(127).Bytes());
  EXPECT_EQ(client.ReadPackage()->FrameType, wire::kFrameStreamHead);
  EXPECT_EQ(LoggedLine(client, "open_live"),
            Prefix(client) + HeadFields("open_live", 162, "0x00050101") +
                ",\"client_address\":\"10.0.0.5\",\"target_address\":\"192.168.1.20\","
                "\"token\":\"tok\\u0000en\",\"dvrid\":-7,\"channel\":65535,\"link_mode\":2,"
                "\"status\":0,\"brightness\":70,\"contrast\":75,\"saturation\":85,\"hue\":127}");
}

TEST_F(Requests, OpenLiveWithoutPictureSettingsIsTheHeadAlone) {
  TServerOptions o = Options();
  o.VideoParams.reset();
  Start(o);
  TViewerClient client(server_->Port());
  client.SendRequest(viewer::TOpenLiveRequest{});
  EXPECT_EQ(client.ReadMessage(), AnswerHead(24, 0x80050101, 0).Bytes());
}

TEST_F(Requests, OpenLiveWithAnotherTokenIsRefusedWhenTokensAreRequired) {
  TServerOptions o = Options();
  o.Accounts.RequireToken = true;
  Start(o);
  {
    TViewerClient client(server_->Port());
    viewer::TOpenLiveRequest open;
    open.Token = "other";
    client.SendRequest(open);
    EXPECT_EQ(client.ReadMessage(), AnswerHead(24, 0x80050101, -2).Bytes());
    EXPECT_THROW(client.ReadPackage(), viewer::EReadPackageHead);  // closed after refusing
  }
  TViewerClient client(server_->Port());
  viewer::TOpenLiveRequest open;
  open.Token = kRawToken;
  client.SendRequest(open);
  EXPECT_EQ(client.ReadMessage().size(), 40u);
}

// Requests that get no answer: each is followed on the same connection by a client identity
// query, whose answer must be the next bytes to arrive.
struct TSilentCase {
  const char* Name;
  TBytes Request;
  std::string Fields;  // the log line after the head fields
};

// Test listings name a row by its name rather than by its bytes.
void PrintTo(const TSilentCase& c, std::ostream* os) {
  *os << c.Name;
}

std::vector<TSilentCase> SilentCases() {
  viewer::TLinkModeRequest link;
  link.Token = "tk";
  link.DVRID = "2147483647";
  link.ChannelNo = 4;
  link.PreviousLinkMode = 0;
  link.NewLinkMode = 1;
  viewer::TPtzRequest ptz;
  ptz.Token = "tk";
  ptz.ChannelNo = 3;
  ptz.Command = 21;
  ptz.Enabled = 1;
  viewer::TPtzSpeedRequest ptz_speed;
  ptz_speed.Token = "tk";
  ptz_speed.DVRID = "-2147483648";
  ptz_speed.ChannelNo = 3;
  ptz_speed.Command = 255;
  ptz_speed.Enabled = 0;
  ptz_speed.Speed = 7;
  viewer::TVideoParamsRequest params;
  params.Token = "tk";
  params.ChannelNo = 9;
  params.Brightness = 127;
  params.Contrast = 0;
  params.Saturation = -1;
  params.Hue = 300;
  const std::string addresses =
      ",\"client_address\":\"10.0.0.5\",\"target_address\":\"192.168.1.20\",\"token\":\"tk\"";
  return {
      {"Logout", viewer::EncodeRequest(Relay(), viewer::TLogoutRequest{kRawToken}),
       HeadFields("logout", 148, "0x00010003") +
           ",\"client_address\":\"10.0.0.5\",\"target_address\":\"192.168.1.20\","
           "\"token\":\"tok\\u0000en\"}"},
      {"LinkMode", viewer::EncodeRequest(Relay(), link),
       HeadFields("link_mode", 166, "0x00050103") + addresses +
           ",\"dvrid\":2147483647,\"channel\":4,\"previous_link_mode\":0,\"new_link_mode\":1}"},
      {"Ptz", viewer::EncodeRequest(Relay(), ptz),
       HeadFields("ptz", 160, "0x00090002") + addresses +
           ",\"dvrid\":-1,\"channel\":3,\"command\":21,\"enabled\":1}"},
      {"PtzSpeed", viewer::EncodeRequest(Relay(), ptz_speed),
       HeadFields("ptz_speed", 161, "0x00090003") + addresses +
           ",\"dvrid\":-2147483648,\"channel\":3,\"command\":255,\"enabled\":0,\"speed\":7}"},
      {"VideoParams", viewer::EncodeRequest(Relay(), params),
       HeadFields("video_params", 166, "0x000A0001") + addresses +
           ",\"channel\":9,\"brightness\":127,\"contrast\":0,\"saturation\":-1,\"hue\":300}"},
  };
}

class SilentRequests : public Requests, public ::testing::WithParamInterface<TSilentCase> {};

TEST_P(SilentRequests, GetNoAnswerAndOneLineWithEveryField) {
  Start(Options());
  TViewerClient client(server_->Port());
  client.Send(GetParam().Request);
  client.SendRequest(viewer::TClientIdentityRequest{});
  EXPECT_EQ(client.ReadMessage(), AnswerHead(28, 0x81000001, 0).BE32(0x7F000001).Bytes());
  const std::string name = RequestName(ReadUInt32(GetParam().Request.data() + 4, true));
  EXPECT_EQ(LoggedLine(client, name), Prefix(client) + GetParam().Fields);
}

INSTANTIATE_TEST_SUITE_P(OneRowPerRequest, SilentRequests, ::testing::ValuesIn(SilentCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Requests, VideoParametersSetAChannelsSettingsForLaterOpenAnswers) {
  Start(Options());
  TViewerClient command(server_->Port());
  viewer::TVideoParamsRequest params;
  params.ChannelNo = 9;
  params.Brightness = 1;
  params.Contrast = 2;
  params.Saturation = 3;
  params.Hue = 4;
  command.SendRequest(params);
  ASSERT_FALSE(server_->Log().WaitFor({"\"request\":\"video_params\""}).empty());

  auto answer_for = [&](int32_t channel) {
    TViewerClient client(server_->Port());
    viewer::TOpenLiveRequest open;
    open.ChannelNo = channel;
    client.SendRequest(open);
    return client.ReadMessage();
  };
  EXPECT_EQ(answer_for(9), AnswerHead(40, 0x80050101, 0).BE32(1).BE32(2).BE32(3).BE32(4).Bytes());
  EXPECT_EQ(answer_for(8),
            AnswerHead(40, 0x80050101, 0).BE32(70).BE32(75).BE32(85).BE32(127).Bytes());
}

TEST_F(Requests, MalformedRequestsAreAnsweredWithStatusMinusThreeWhereAnAnswerIsDue) {
  Start(Options());
  TViewerClient client(server_->Port());
  // A login one byte short, and one whose constant word is not 1.
  TBytes short_login = viewer::EncodeRequest({}, viewer::TLoginRequest{"viewer", "secret"});
  short_login.pop_back();
  short_login[3] = static_cast<uint8_t>(short_login.size());
  client.Send(short_login);
  EXPECT_EQ(client.ReadMessage(), AnswerHead(24, 0x80010001, -3).Bytes());
  TBytes bad_constant = viewer::EncodeRequest({}, viewer::TClientIdentityRequest{});
  bad_constant[11] = 2;
  client.Send(bad_constant);
  EXPECT_EQ(client.ReadMessage(), AnswerHead(24, 0x81000001, -3).Bytes());
  EXPECT_EQ(server_->Log().WaitFor({"malformed_request", "login"}),
            "{\"event\":\"malformed_request\",\"conn\":1,\"peer\":\"" + client.LocalPeer() +
                "\",\"request\":\"login\",\"length\":107,\"code\":\"0x00010001\","
                "\"expected_length\":108,\"status\":-3}");
  // A malformed PTZ request gets no answer; the connection goes on.
  TBytes long_ptz = viewer::EncodeRequest({}, viewer::TPtzRequest{});
  long_ptz.push_back(0);
  long_ptz[3] = static_cast<uint8_t>(long_ptz.size());
  client.Send(long_ptz);
  client.SendRequest(viewer::TClientIdentityRequest{});
  EXPECT_EQ(client.ReadMessage().size(), 28u);
}

TEST_F(Requests, UnknownCodesAreLoggedAndSkippedImpossibleLengthsEndTheConnection) {
  Start(Options());
  TViewerClient client(server_->Port());
  client.Send(TByteWriter().BE32(12).BE32(0x00770001).BE32(0xDEADBEEF).Bytes());
  client.SendRequest(viewer::TClientIdentityRequest{});
  EXPECT_EQ(client.ReadMessage().size(), 28u);
  EXPECT_EQ(server_->Log().WaitFor({"unknown_request"}),
            "{\"event\":\"unknown_request\",\"conn\":1,\"peer\":\"" + client.LocalPeer() +
                "\",\"length\":12,\"code\":\"0x00770001\"}");

  for (uint32_t length : {7u, 0x10001u, 0xFFFFFFFFu}) {
    TViewerClient bad(server_->Port());
    bad.Send(TByteWriter().BE32(length).BE32(wire::kLoginRequest).Bytes());
    EXPECT_THROW(bad.ReadMessage(), viewer::EViewerException) << length;
    EXPECT_FALSE(
        server_->Log().WaitFor({"bad_request", "\"length\":" + std::to_string(length)}).empty());
  }
}

TEST_F(Requests, PtzProxyLogsEachRequestAndDropsAConnectionSendingAnythingElse) {
  TServerOptions o = Options();
  o.PtzProxyPort = 0;
  Start(o);
  ASSERT_NE(server_->PtzProxyPort(), 0);
  ASSERT_NE(server_->PtzProxyPort(), server_->Port());
  TViewerClient proxy(server_->PtzProxyPort());
  viewer::TPtzRequest ptz;
  ptz.Token = std::string(130, 'k');  // cut at 128 bytes
  ptz.DVRID = "123456";
  ptz.ChannelNo = 70000;  // the low 16 bits travel
  ptz.Command = 20;
  ptz.Enabled = 5;
  proxy.SendRequest(ptz);
  ptz.Command = 3;
  proxy.SendRequest(ptz);
  const std::string start = "{\"event\":\"ptz_proxy_request\",\"conn\":1,\"peer\":\"" +
                            proxy.LocalPeer() + "\"," + HeadFields("ptz", 160, "0x00090002") +
                            ",\"client_address\":\"0.0.0.0\",\"target_address\":\"0.0.0.0\","
                            "\"token\":\"" +
                            std::string(128, 'k') + "\",\"dvrid\":123456,\"channel\":4464,";
  EXPECT_EQ(server_->Log().WaitFor({"ptz_proxy_request", "\"command\":20"}),
            start + "\"command\":20,\"value\":5}");
  EXPECT_EQ(server_->Log().WaitFor({"ptz_proxy_request", "\"command\":3"}),
            start + "\"command\":3,\"value\":5}");

  proxy.SendRequest(viewer::TPtzSpeedRequest{});
  EXPECT_EQ(server_->Log().WaitFor({"ptz_proxy_bad_request"}),
            "{\"event\":\"ptz_proxy_bad_request\",\"conn\":1,\"peer\":\"" + proxy.LocalPeer() +
                "\",\"length\":161,\"code\":\"0x00090003\"}");
  EXPECT_THROW(proxy.ReadMessage(), viewer::EViewerException);
}

TEST_F(Requests, StoppingClosesBothListeners) {
  TServerOptions o = test::FastFileOptions(file_.Path);
  o.PtzProxyPort = 0;
  Start(o);
  const int stream_port = server_->Port(), ptz_port = server_->PtzProxyPort();
  server_->Stop();
  for (const int port : {stream_port, ptz_port}) {
    viewer::TKvTCPClientObj client;
    client.Host = "127.0.0.1";
    client.Port = port;
    EXPECT_FALSE(client.Connect()) << "port " << port;
  }
}

}  // namespace
}  // namespace streamsim
