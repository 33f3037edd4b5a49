// The device adapter: login, logout and client identity against the in-process stream server
// and against scripted peers that answer with chosen bytes; the player operations through the
// real proxy module forwarding to the recording player.
#include "viewer/protocol/adapter.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/viewer_utils.h"
#include "platform/last_error.h"
#include "tools/streamsim/test_support.h"
#include "viewer/player/testing/player_test_support.h"
#include "viewer/protocol/adapter_answers.h"
#include "viewer/protocol/adapter_model.h"
#include "viewer/protocol/loopback_peer.h"
#include "viewer/protocol/requests.h"
#include "viewer/protocol/responses.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/protocol/wire_format.h"

namespace viewer {
namespace {

using test_support::BE32;
using test_support::Join;
using test_support::TLoopbackListener;
using test_support::TLoopbackPeer;
using testing::TRecorder;
using TBytes = std::vector<uint8_t>;

// A model whose properties are plain fields; counts the sound openings it is asked for.
class TTestAdapterModel : public TAdapterModel {
 public:
  std::string HostIP() override { return Host; }
  int32_t HostPort() override { return Port; }
  std::string StreamMediaIP() override { return MediaIP; }
  int32_t StreamMediaPort() override { return MediaPort; }
  std::string StreamMediaID() override { return MediaID; }
  uint8_t ConnectionType() override { return Type; }
  int32_t ConnectTimeout() override { return ConnectMs; }
  int32_t ReadTimeout() override { return ReadMs; }
  TKvTCPClientObj& CommandConnection() override { return Connection; }
  std::string ClientNetID() override { return NetID; }
  void SetClientNetID(const std::string& value) override { NetID = value; }
  std::string LoginUser() override { return User; }
  std::string Password() override { return Pass; }
  std::string Token() override { return TokenBytes; }
  void SetToken(const std::string& value) override { TokenBytes = value; }
  std::string UserName() override { return Name; }
  void SetUserName(const std::string& value) override { Name = value; }
  bool LoggedIn() override { return IsLoggedIn; }
  void SetLoggedIn(bool value) override { IsLoggedIn = value; }
  int32_t PortNo() override { return PlayerPort; }
  int32_t ChannelNo() override { return Channel; }
  TPlayType PlayType() override { return Kind; }
  std::string CaptureBMPPath() override { return CapturePath; }
  plat::HWND PlayWnd() override { return Window; }
  void SetPlayWnd(plat::HWND window) override { Window = window; }
  bool AudioPlaying() override { return Audio; }
  bool Playing() override { return IsPlaying; }
  bool OpenSound() override {
    ++SoundOpens;
    return true;
  }

  std::string Host = "127.0.0.1";
  int32_t Port = 0;
  std::string MediaIP = "127.0.0.1";
  int32_t MediaPort = 0;
  std::string MediaID;
  uint8_t Type = ctDirect;
  int32_t ConnectMs = 2000;
  int32_t ReadMs = 5000;
  TKvTCPClientObj Connection;
  std::string NetID;
  std::string User = "admin";
  std::string Pass = "admin";
  std::string TokenBytes;
  std::string Name;
  bool IsLoggedIn = false;
  int32_t PlayerPort = 3;
  int32_t Channel = 0;
  TPlayType Kind = ptPreview;
  std::string CapturePath;
  plat::HWND Window = 0;
  bool Audio = false;
  bool IsPlaying = false;
  int SoundOpens = 0;
};

std::string PaddedToken(const std::string& text) {
  std::string token = text;
  token.resize(wire::kTokenSize, '\0');
  return token;
}

// ---- Against the in-process stream server ----

class AdapterServerTest : public ::testing::Test {
 protected:
  // Accounts as given; a small record file serves the channels, which these exchanges never
  // open (the generated stream would be encoded for nothing).
  streamsim::TServerOptions Options() { return streamsim::test::FastFileOptions(file_.Path); }
  void Start(const streamsim::TServerOptions& options) {
    server_ = std::make_unique<streamsim::test::TRunningServer>(options);
    model_.Port = server_->Port();
    model_.MediaPort = server_->Port();
  }
  // The server's line for the first request of that kind.
  std::string Request(const std::string& request) {
    return server_->Log().WaitFor({"\"event\":\"request\"", "\"request\":\"" + request + "\""});
  }

  streamsim::test::TTempDir dir_{"adapter_test"};
  streamsim::test::TTestFile file_ = streamsim::test::WriteTestFile(dir_.Path("a.rec"));
  std::unique_ptr<streamsim::test::TRunningServer> server_;
  TTestAdapterModel model_;
  TOstraNvAdapter adapter_{model_};
};

TEST_F(AdapterServerTest, LoginKeepsTheRawTokenAndUserNameAndClosesTheConnection) {
  streamsim::TServerOptions options = Options();
  options.Accounts.Token = std::string("tok\0en", 6);
  options.Accounts.UserName = "Viewer One";
  Start(options);
  model_.Host = "localhost";  // resolved for the connection, sent as written

  plat::SetLastError(0);
  ASSERT_TRUE(adapter_.Login());
  EXPECT_EQ(model_.TokenBytes, PaddedToken(std::string("tok\0en", 6)));
  EXPECT_EQ(model_.Name, "Viewer One");
  EXPECT_TRUE(model_.IsLoggedIn);
  EXPECT_EQ(plat::GetLastError(), 0u);
  EXPECT_FALSE(model_.Connection.Connected());
  const std::string line = Request("login");
  EXPECT_NE(line.find("\"login_user\":\"admin\",\"password\":\"admin\""), std::string::npos)
      << line;
  // Direct connection: no addresses in the head.
  EXPECT_NE(line.find("\"client_address\":\"0.0.0.0\",\"target_address\":\"0.0.0.0\""),
            std::string::npos)
      << line;
}

TEST_F(AdapterServerTest, RefusedLoginsReport201AndChangeNothing) {
  struct Case {
    const char* name;
    std::optional<int32_t> login_status;  // nullopt: refused for the wrong password
  };
  for (const Case& c : {Case{"status 3", 3}, Case{"status -999", -999}, Case{"bad password", {}}}) {
    SCOPED_TRACE(c.name);
    streamsim::TServerOptions options = Options();
    options.Accounts.LoginStatus = c.login_status;
    Start(options);
    model_.Pass = c.login_status ? "admin" : "wrong";
    model_.TokenBytes = "host token";
    plat::SetLastError(0);
    EXPECT_FALSE(adapter_.Login());
    EXPECT_EQ(plat::GetLastError(), kAdapterNoRight);
    EXPECT_FALSE(model_.IsLoggedIn);
    EXPECT_EQ(model_.TokenBytes, "host token");
    EXPECT_FALSE(model_.Connection.Connected());
  }
}

TEST_F(AdapterServerTest, ClientIdentityThroughTheRelayCarriesBothAddresses) {
  streamsim::TServerOptions options = Options();
  options.Accounts.ClientAddress = "10.20.30.40";
  Start(options);
  model_.Type = ctByStreamMedia;
  model_.Port = 1;  // the relay is asked, not the recorder
  model_.NetID = "10.0.0.5";
  model_.MediaID = "192.168.1.20";

  std::string result = "stale";
  adapter_.GetClientNetID(result);
  EXPECT_EQ(result, "10.20.30.40");
  EXPECT_FALSE(model_.Connection.Connected());
  const std::string line = Request("client_identity");
  EXPECT_NE(line.find("\"client_address\":\"10.0.0.5\",\"target_address\":\"192.168.1.20\""),
            std::string::npos)
      << line;
  const std::string local = GetLocalIPAddress();
  EXPECT_NE(line.find("\"local_address\":\"" + local + "\""), std::string::npos) << line;
}

TEST_F(AdapterServerTest, ClientIdentityOverADirectConnectionCarriesZeroAddresses) {
  Start(Options());
  model_.NetID = "10.0.0.5";
  model_.MediaID = "192.168.1.20";
  std::string result;
  adapter_.GetClientNetID(result);
  EXPECT_EQ(result, "127.0.0.1");  // the server answers the peer's own address
  const std::string line = Request("client_identity");
  EXPECT_NE(line.find("\"client_address\":\"0.0.0.0\",\"target_address\":\"0.0.0.0\""),
            std::string::npos)
      << line;
}

TEST_F(AdapterServerTest, ClientIdentityStatusesMapToTheirCodes) {
  struct Case {
    int32_t status;
    uint32_t error;
  };
  for (const Case& c : {Case{-1, kAdapterNoRight}, Case{-3, kAdapterMalformedProtocol},
                        Case{-4, kAdapterReadFailed}, Case{-999, kAdapterUnknownStatus},
                        Case{5, kAdapterUnknownStatus}}) {
    SCOPED_TRACE(c.status);
    streamsim::TServerOptions options = Options();
    options.Accounts.IdentityStatus = c.status;
    Start(options);
    plat::SetLastError(0);
    std::string result = "stale";
    adapter_.GetClientNetID(result);
    EXPECT_EQ(result, "");
    EXPECT_EQ(plat::GetLastError(), c.error);
  }
}

TEST_F(AdapterServerTest, RelayLoginAsksForTheClientIdentityFirstAndSendsIt) {
  streamsim::TServerOptions options = Options();
  options.Accounts.ClientAddress = "10.9.8.7";
  Start(options);
  model_.Type = ctByStreamMedia;
  model_.Host = "192.168.7.9";  // the recorder behind the relay, sent as the login's target
  model_.Port = 1;

  ASSERT_TRUE(adapter_.Login());
  EXPECT_EQ(model_.NetID, "10.9.8.7");
  const std::string identity = Request("client_identity");
  const std::string login = Request("login");
  EXPECT_NE(identity.find("\"conn\":1,"), std::string::npos) << identity;
  EXPECT_NE(login.find("\"conn\":2,"), std::string::npos) << login;
  EXPECT_NE(login.find("\"client_address\":\"10.9.8.7\",\"target_address\":\"192.168.7.9\""),
            std::string::npos)
      << login;
}

TEST_F(AdapterServerTest, LogoutSendsTheTokenOnlyWhenLoggedInAndKeepsTheFlag) {
  streamsim::TServerOptions options = Options();
  options.Accounts.Token = "server-token";
  Start(options);

  EXPECT_TRUE(adapter_.Logout());  // not logged in: no connection at all
  ASSERT_TRUE(adapter_.Login());
  EXPECT_NE(Request("login").find("\"conn\":1,"), std::string::npos);

  EXPECT_TRUE(adapter_.Logout());
  EXPECT_EQ(model_.TokenBytes, "");
  EXPECT_EQ(model_.Name, "");
  EXPECT_TRUE(model_.IsLoggedIn);
  EXPECT_FALSE(model_.Connection.Connected());
  const std::string first = server_->Log().WaitFor({"\"request\":\"logout\"", "\"conn\":2,"});
  EXPECT_NE(first.find("\"token\":\"server-token\""), std::string::npos) << first;
}

// ---- Against scripted peers ----

// Accepts one connection, reads one request of the given size, sends the scripted bytes and
// closes. Runs on a thread of its own while the adapter waits for the answer.
class TScriptedPeer {
 public:
  TScriptedPeer(TLoopbackListener& listener, size_t request_size, TBytes answer)
      : thread_([&listener, request_size, answer = std::move(answer), this] {
          TLoopbackPeer peer(listener.Accept());
          request_.resize(request_size);
          if (!peer.Receive(request_.data(), request_.size())) request_.clear();
          peer.Send(answer);
        }) {}
  ~TScriptedPeer() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  const TBytes& Request() {
    Join();
    return request_;
  }

 private:
  TBytes request_;
  std::thread thread_;
};

TBytes LoginAnswer(size_t size, uint32_t code = wire::kLoginResponse, int32_t status = 0) {
  TBytes bytes = Join({BE32(static_cast<uint32_t>(size)), BE32(code), BE32(0), BE32(0), BE32(0),
                       BE32(static_cast<uint32_t>(status))});
  for (size_t i = bytes.size(); i < size; ++i) bytes.push_back(static_cast<uint8_t>(i));
  bytes.resize(size);
  return bytes;
}

class AdapterScriptedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model_.Port = listener_.Port();
    model_.ReadMs = 3000;
    plat::SetLastError(0);
  }
  TLoopbackListener listener_;
  TTestAdapterModel model_;
  TOstraNvAdapter adapter_{model_};
};

TEST_F(AdapterScriptedTest, LoginAnswersTooShortOrWithImpossibleLengthsAreRefused) {
  struct Case {
    const char* name;
    TBytes answer;
    uint32_t error;
  };
  const TBytes claims_more = Join({BE32(200), BE32(wire::kLoginResponse), TBytes(22, 0)});
  const Case cases[] = {
      {"151 bytes", LoginAnswer(151), kAdapterUnexpectedAnswer},
      {"head only", LoginAnswer(24), kAdapterUnexpectedAnswer},
      {"no status", LoginAnswer(20), kAdapterUnexpectedAnswer},
      {"length 4", BE32(4), kAdapterUnexpectedAnswer},
      {"identity code", LoginAnswer(200, wire::kClientIdentityResponse), kAdapterUnexpectedAnswer},
      {"length 3", BE32(3), kAdapterAnswerLength},
      {"negative length", BE32(0xFFFFFFF0u), kAdapterAnswerLength},
      {"huge length", BE32(0x7FFFFFFFu), kAdapterAnswerLength},
      {"closed mid-answer", claims_more, kAdapterReadFailed},
      {"closed without answer", {}, kAdapterReadFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TScriptedPeer peer(listener_, RequestSize<TLoginRequest>(), c.answer);
    plat::SetLastError(0);
    EXPECT_FALSE(adapter_.Login());
    EXPECT_EQ(plat::GetLastError(), c.error);
    EXPECT_FALSE(model_.IsLoggedIn);
    EXPECT_EQ(model_.TokenBytes, "");
    EXPECT_FALSE(model_.Connection.Connected());
  }
}

TEST_F(AdapterScriptedTest, ALoginAnswerOf152BytesLeavesUserNameEmpty) {
  const TBytes answer = LoginAnswer(152);
  TScriptedPeer peer(listener_, RequestSize<TLoginRequest>(), answer);
  model_.Name = "before";
  ASSERT_TRUE(adapter_.Login());
  EXPECT_EQ(model_.TokenBytes, std::string(answer.begin() + 24, answer.end()));
  EXPECT_EQ(model_.Name, "");
  EXPECT_TRUE(model_.IsLoggedIn);
  // The request is the login request of the model's account, byte for byte.
  EXPECT_EQ(peer.Request(), EncodeRequest(TRequestAddressing{}, TLoginRequest{"admin", "admin"}));
}

TEST_F(AdapterScriptedTest, ClientIdentityAnswersOfTheWrongKindOrTooShortAreRefused) {
  struct Case {
    const char* name;
    TBytes answer;
    uint32_t error;
    std::string result;
  };
  const TBytes ok = EncodeClientIdentityResponse(0, "172.16.5.4");
  const Case cases[] = {
      {"login answer's code", EncodeLoginResponse(0, "t", "u"), kAdapterUnexpectedAnswer, ""},
      {"status 0 without address", LoginAnswer(24, wire::kClientIdentityResponse),
       kAdapterUnexpectedAnswer, ""},
      {"27 bytes", LoginAnswer(27, wire::kClientIdentityResponse), kAdapterUnexpectedAnswer, ""},
      {"28 bytes", ok, 0, "172.16.5.4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TScriptedPeer peer(listener_, RequestSize<TClientIdentityRequest>(), c.answer);
    plat::SetLastError(0);
    std::string result = "stale";
    adapter_.GetClientNetID(result);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(plat::GetLastError(), c.error);
  }
}

TEST_F(AdapterScriptedTest, ASecondLogoutSendsAnAllZeroToken) {
  std::string token = PaddedToken(std::string("ab\0cd", 5));
  token[127] = 'z';
  model_.TokenBytes = token;
  model_.Name = "someone";
  model_.IsLoggedIn = true;
  model_.Type = ctByStreamMedia;
  model_.NetID = "10.1.1.1";
  model_.Host = "10.2.2.2";
  model_.MediaPort = listener_.Port();
  const TRequestAddressing addressing{ctByStreamMedia, "10.1.1.1", "10.2.2.2"};

  for (const std::string& expected : {token, std::string()}) {
    TScriptedPeer peer(listener_, RequestSize<TLogoutRequest>(), {});
    EXPECT_TRUE(adapter_.Logout());
    EXPECT_EQ(peer.Request(), EncodeRequest(addressing, TLogoutRequest{expected}));
    EXPECT_EQ(model_.TokenBytes, "");
    EXPECT_EQ(model_.Name, "");
    EXPECT_TRUE(model_.IsLoggedIn);
    EXPECT_FALSE(model_.Connection.Connected());
  }
  const TBytes zero_token(wire::kTokenSize, 0);
  const TBytes second = EncodeRequest(addressing, TLogoutRequest{});
  EXPECT_EQ(TBytes(second.begin() + wire::kRequestHeadSize, second.end()), zero_token);
}

TEST(AdapterNoServerTest, AFailedConnectShowsAsAFailedExchange) {
  TTestAdapterModel model;
  model.Port = std::make_unique<TLoopbackListener>()->Port();  // closed again at once
  TOstraNvAdapter adapter(model);
  plat::SetLastError(0);
  EXPECT_FALSE(adapter.Login());
  EXPECT_EQ(plat::GetLastError(), kAdapterReadFailed);
  plat::SetLastError(0);
  std::string result = "stale";
  adapter.GetClientNetID(result);
  EXPECT_EQ(result, "");
  EXPECT_EQ(plat::GetLastError(), kAdapterReadFailed);
  // A logout waits for no answer: the account is cleared even when the request cannot leave.
  model.IsLoggedIn = true;
  model.TokenBytes = PaddedToken("t");
  model.Name = "n";
  EXPECT_TRUE(adapter.Logout());
  EXPECT_EQ(model.TokenBytes, "");
  EXPECT_EQ(model.Name, "");
  EXPECT_FALSE(model.Connection.Connected());
}

// ---- Configuration of the command connection ----

TEST(ConfigureCommandConnectionTest, DirectGoesToTheRecorderAndTheRelayTypeToTheRelay) {
  struct Case {
    uint8_t type;
    const char* host;
    int32_t port;
  };
  for (const Case& c : {Case{ctDirect, "127.0.0.1", 5001}, Case{ctByStreamMedia, "127.0.0.2", 6001},
                        Case{7, "127.0.0.1", 5001}}) {
    SCOPED_TRACE(static_cast<int>(c.type));
    TTestAdapterModel model;
    model.Type = c.type;
    model.Host = "localhost";
    model.Port = 5001;
    model.MediaIP = "127.0.0.2";
    model.MediaPort = 6001;
    model.ConnectMs = 1234;
    model.ReadMs = 4321;
    ConfigureCommandConnection(model);
    EXPECT_EQ(model.Connection.Host, c.host);
    EXPECT_EQ(model.Connection.Port, c.port);
    EXPECT_EQ(model.Connection.ConnectTimeout, 1234);
    EXPECT_EQ(model.Connection.RecvTimeout(), 4321);
  }
}

// ---- The thread's last-error slot ----

TEST(LastErrorTest, EachThreadHasItsOwnSlot) {
  plat::SetLastError(1101);
  uint32_t seen = 99;
  std::thread([&] {
    seen = plat::GetLastError();
    plat::SetLastError(305);
  }).join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(plat::GetLastError(), 1101u);
}

// ---- Player operations through the proxy ----

class AdapterPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TRecorder::Attach());
    TRecorder::Reset();
  }
  TTestAdapterModel model_;
  TOstraNvAdapter adapter_{model_};
};

TEST_F(AdapterPlayerTest, CaptureWhileNotPlayingTouchesNothing) {
  std::string name;
  EXPECT_FALSE(adapter_.CaptureBMP());
  EXPECT_FALSE(adapter_.CaptureBMPToFile(name));
  EXPECT_EQ(name, "");
  EXPECT_TRUE(TRecorder::Calls().empty());
}

TEST_F(AdapterPlayerTest, CaptureBuildsTheNameFromChannelAndPlayType) {
  struct Case {
    TPlayType type;
    const char* middle;
    const char* extension;
  };
  for (const Case& c : {Case{ptPreview, "7-2-", ".BMP"}, Case{ptReplay, "7-3-", ".BMP"},
                        Case{static_cast<TPlayType>(5), "7--1-", ".MPG"}}) {
    SCOPED_TRACE(c.middle);
    TRecorder::Reset();
    model_.IsPlaying = true;
    model_.Channel = 0x107;  // only the low byte names the file
    model_.Kind = c.type;
    model_.CapturePath = "/tmp/snaps";
    model_.PlayerPort = 9;
    std::string name;
    EXPECT_TRUE(adapter_.CaptureBMPToFile(name));
    EXPECT_EQ(name.rfind("/tmp/snaps/" + std::string(c.middle), 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), c.extension) << name;
    EXPECT_EQ(TRecorder::Calls(),
              std::vector<std::string>{"Zr_Play_CaptureImage(9,\"" + name + "\")"});
  }
}

TEST_F(AdapterPlayerTest, CaptureOfAGivenNameReportsThePlayersResult) {
  struct Case {
    std::string name;
    std::optional<int32_t> result;  // nullopt: the player is not called
    bool expected;
  };
  const Case cases[] = {
      {"/tmp/given.bmp", 1, true},
      {"/tmp/given.bmp", 0, false},
      {"/tmp/given.bmp", 0x100, false},  // a boolean is its low byte
      {"   ", std::nullopt, false},
      {std::string(600, 'n'), std::nullopt, false},  // would reach the player unterminated
  };
  model_.IsPlaying = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.substr(0, 20));
    TRecorder::Reset();
    if (c.result) TRecorder::SetResult("Zr_Play_CaptureImage", *c.result);
    std::string name = c.name;
    EXPECT_EQ(adapter_.CaptureBMPToFile(name), c.expected);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(TRecorder::CallsOf("Zr_Play_CaptureImage").size(), c.result ? 1u : 0u);
  }
}

TEST_F(AdapterPlayerTest, PlayInWindowStopsThenPlaysAndReopensSoundOnlyWhenBothWorked) {
  struct Case {
    const char* name;
    int32_t stop;
    int32_t play;
    bool audio;
    bool expected;
    int sound_opens;
  };
  for (const Case& c :
       {Case{"both work, sound on", 1, 1, true, true, 1},
        Case{"both work, sound off", 1, 1, false, true, 0},
        Case{"stop fails", 0, 1, true, false, 0}, Case{"play fails", 1, 0x200, true, false, 0}}) {
    SCOPED_TRACE(c.name);
    TRecorder::Reset();
    TRecorder::SetResult("Zr_Play_Stop", c.stop);
    TRecorder::SetResult("Zr_Play_Play", c.play);
    TTestAdapterModel model;
    model.Audio = c.audio;
    TOstraNvAdapter adapter(model);
    EXPECT_EQ(adapter.PlayInWindow(4, 0x1234), c.expected);
    EXPECT_EQ(model.Window, 0x1234);
    EXPECT_EQ(model.SoundOpens, c.sound_opens);
    EXPECT_EQ(TRecorder::Calls(),
              (std::vector<std::string>{"Zr_Play_Stop(4)", "Zr_Play_Play(4,4660)"}));
  }
}

TEST_F(AdapterPlayerTest, SoundVolumeAndSmoothnessPassStraightThrough) {
  TRecorder::SetResult("Zr_Play_GetVolume", -7);
  TRecorder::SetResult("Zr_Play_StopSound", 0x300);
  EXPECT_TRUE(adapter_.OpenSound(2));
  EXPECT_FALSE(adapter_.StopSound(2));  // low byte 0
  EXPECT_EQ(adapter_.GetVolume(2), -7);
  EXPECT_TRUE(adapter_.SetVolume(2, 0xFFFF));
  EXPECT_TRUE(adapter_.ThrowBFrame(2, 1));
  EXPECT_EQ(TRecorder::Calls(),
            (std::vector<std::string>{"Zr_Play_OpenSound(2)", "Zr_Play_StopSound(2)",
                                      "Zr_Play_GetVolume(2)", "Zr_Play_SetVolume(2,65535)",
                                      "Zr_Play_ThrowBFrame(2,1)"}));
}

}  // namespace
}  // namespace viewer
