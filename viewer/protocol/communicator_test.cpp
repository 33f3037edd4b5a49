#include "viewer/protocol/communicator.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "platform/messages.h"
#include "platform/time.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/pipeline/test_pipeline_model.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/loopback_peer.h"
#include "viewer/protocol/packages.h"
#include "viewer/protocol/preview_communicator.h"
#include "viewer/protocol/requests.h"
#include "viewer/protocol/responses.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/protocol/wire_format.h"
#include "viewer/viewer_log.h"

namespace viewer {
namespace {

using test_support::BE32;
using test_support::ConnectClient;
using test_support::Join;
using test_support::TLoopbackListener;
using test_support::TLoopbackPeer;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kMarker = 0x5A5A1234;
constexpr size_t kOpenRequestSize = 162;

// An open answer of the given total length: head with code and status, then the words.
Bytes Answer(uint32_t code, int32_t status, std::initializer_list<int32_t> words = {}) {
  Bytes body;
  for (int32_t w : words) {
    const Bytes b = BE32(static_cast<uint32_t>(w));
    body.insert(body.end(), b.begin(), b.end());
  }
  return EncodeResponse(code, status, body.data(), body.size());
}

// A preview communicator on a loopback connection whose far end runs on its own thread, and
// a notification window owned by the test thread.
class PreviewSession : public ::testing::Test {
 protected:
  void SetUp() override {
    peer_ = ConnectClient(client_, listener_);
    ASSERT_NE(peer_, nullptr);
    window_ = plat::CreateWindowHandle();
    comm_.Client = &client_;
    comm_.ProtectedSection = &section_;
    comm_.Model = &model_;
    comm_.WindowHandle = window_;
    comm_.Token = "token-of-the-user";
    comm_.ChannelNo = 3;
  }
  void TearDown() override {
    JoinPeer();
    plat::DestroyWindowHandle(window_);
  }
  void JoinPeer() {
    if (peer_thread_.joinable()) peer_thread_.join();
  }

  // The far end takes `requests` open requests, then sends the answer and, unless it is to
  // close after it, the marker word.
  void PeerAnswers(Bytes answer, bool then_close = false, int requests = 1) {
    peer_thread_ = std::thread([this, answer = std::move(answer), then_close, requests] {
      received_.assign(kOpenRequestSize * requests, 0);
      if (!peer_->Receive(received_.data(), received_.size())) received_.clear();
      peer_->Send(answer);
      if (then_close)
        peer_->Close();
      else
        peer_->Send(BE32(kMarker));
    });
  }

  // The n-th open request the far end received.
  TOpenLiveRequest ReceivedRequest(TRequestHead& head, int n = 0) {
    TOpenLiveRequest request;
    EXPECT_TRUE(
        DecodeRequest(received_.data() + kOpenRequestSize * n, kOpenRequestSize, request, &head));
    return request;
  }

  std::optional<plat::TMsg> NextMessage() {
    plat::TMsg msg;
    if (!plat::GetMessage(&msg, 0)) return std::nullopt;
    return msg;
  }

  TLoopbackListener listener_;
  TKvTCPClientObj client_;
  std::unique_ptr<TLoopbackPeer> peer_;
  std::thread peer_thread_;
  Bytes received_;
  plat::HWND window_ = 0;
  TProtectedSection section_;
  test_support::TTestPipelineModel model_;
  TOstraNvPreviewCommunicator comm_;
};

struct AnswerCase {
  std::string name;
  Bytes answer;
  const std::type_info* raised;  // nullptr: the view is accepted
  std::string message;
  std::optional<std::pair<plat::WPARAM, plat::LPARAM>> posted;  // picture settings message
  bool then_close = false;  // the far end closes after the answer instead of sending the marker
};

// Test listings name a row by its name rather than by its bytes.
void PrintTo(const AnswerCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<AnswerCase> AnswerCases() {
  const uint32_t ok = wire::kOpenLiveResponse;
  // A well-formed head whose length word is replaced.
  const auto with_length = [](Bytes b, int32_t length) {
    const Bytes l = BE32(static_cast<uint32_t>(length));
    std::copy(l.begin(), l.end(), b.begin());
    return b;
  };
  return {
      {"AcceptedWithoutSettings", Answer(ok, 0), nullptr, "", std::nullopt},
      {"AcceptedWithSettingsClamped", Answer(ok, 0, {300, -5, 60, 20}), nullptr, "",
       std::make_pair(128 * 256 + 0, 60 * 256 + 20)},
      {"ContrastAndSaturationStopAt127", Answer(ok, 0, {128, 128, 500, 128}), nullptr, "",
       std::make_pair(128 * 256 + 127, 127 * 256 + 128)},
      {"SettingsFollowedByMoreBytes", Answer(ok, 0, {70, 75, 85, 127, 9, 9}), nullptr, "",
       std::make_pair(70 * 256 + 75, 85 * 256 + 127)},
      {"NoRight", Answer(ok, -1), &typeid(EHaveNoRight), "no right", std::nullopt},
      {"InvalidToken", Answer(ok, -2), &typeid(ETokenInvalid), "invalid token", std::nullopt},
      {"MalformedProtocol", Answer(ok, -3), &typeid(EMalformedProtocol), "malformed protocol",
       std::nullopt},
      {"Timeout", Answer(ok, -4), &typeid(ETimeout), "timeout", std::nullopt},
      {"FileNotFound", Answer(ok, -5), &typeid(EFileNotFound), "file not found", std::nullopt},
      {"UnknownError", Answer(ok, -999), &typeid(EUnknown), "unknown error", std::nullopt},
      {"UnknownStatus", Answer(ok, -7), &typeid(EUnknown), "unknown status -7", std::nullopt},
      {"RejectionCarryingSettings", Answer(ok, -1, {1, 2, 3, 4}), &typeid(EHaveNoRight), "no right",
       std::nullopt},
      // Only the head is sent: the code is judged before any payload is read.
      {"PlayPackageInsteadOfAnswer", Join({BE32(24), BE32(wire::kPlayPackage)}),
       &typeid(EInvalidReturnStatusCommand), "not preview connect resp", std::nullopt},
      {"TooShortForStatus", Join({BE32(20), BE32(ok), Bytes(12, 0)}),
       &typeid(EInvalidPackageLength), "Invalid pack size: 20", std::nullopt},
      {"ShorterThanItsHead", Join({BE32(4), BE32(ok)}), &typeid(EInvalidPackageLength),
       "Invalid pack size: 4", std::nullopt},
      {"OneSettingByte", Join({BE32(25), BE32(ok), Bytes(12, 0), BE32(0), Bytes{7}}),
       &typeid(EInvalidPackageLength), "Invalid pack size: 25", std::nullopt},
      {"ThreeOfFourSettings", Answer(ok, 0, {1, 2, 3}), &typeid(EInvalidPackageLength),
       "Invalid pack size: 36", std::nullopt},
      // Judged before the code word is read.
      {"NegativeLength", BE32(static_cast<uint32_t>(-24)), &typeid(EInvalidPackageLength),
       "receivedPackLen < 0", std::nullopt},
      // Read as a status it would be a plain rejection; the length alone must stop it.
      {"LengthBeyondTheLargestPackage", Join({BE32(0x7FFFFFFF), BE32(ok)}),
       &typeid(EInvalidPackageLength), "Invalid pack size: 2147483647", std::nullopt},
      {"ClosedBeforeAnswering", Bytes{}, &typeid(EReadPackageHead), "socket closed", std::nullopt,
       true},
      {"ClosedInsideTheAnswer", with_length(Answer(ok, 0), 40), &typeid(EReadPackage),
       "socket closed", std::nullopt, true},
  };
}

class HandshakeAnswers : public PreviewSession, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(HandshakeAnswers, AreJudgedWithoutReadingPastTheAnswer) {
  const AnswerCase& c = GetParam();
  PeerAnswers(c.answer, c.then_close);
  const std::type_info* raised = nullptr;
  std::string message;
  try {
    comm_.GetPlayRight();
  } catch (const std::exception& e) {
    raised = &typeid(e);
    message = e.what();
  }
  JoinPeer();
  ASSERT_EQ(received_.size(), kOpenRequestSize);  // the open request went out first

  if (c.raised == nullptr) {
    EXPECT_EQ(raised, nullptr) << "raised " << message;
  } else {
    ASSERT_NE(raised, nullptr) << "accepted";
    EXPECT_EQ(raised->name(), std::string(c.raised->name()));
    EXPECT_EQ(message, c.message);
  }
  const std::optional<plat::TMsg> msg = NextMessage();
  if (c.posted) {
    ASSERT_TRUE(msg.has_value());
    EXPECT_EQ(msg->message, kVideoParamsMessage);
    EXPECT_EQ(msg->wParam, c.posted->first);
    EXPECT_EQ(msg->lParam, c.posted->second);
    EXPECT_FALSE(NextMessage().has_value());
  } else {
    EXPECT_FALSE(msg.has_value()) << "posted " << msg->message;
  }
  if (!c.then_close) {
    EXPECT_EQ(client_.ReadInt32(true), kMarker);  // the answer's bytes and nothing more
  }
}

INSTANTIATE_TEST_SUITE_P(OneRowPerAnswer, HandshakeAnswers, ::testing::ValuesIn(AnswerCases()),
                         [](const ::testing::TestParamInfo<AnswerCase>& info) {
                           return info.param.name;
                         });

TEST_F(PreviewSession, OpenRequestCarriesTheModelsValuesWhenItIsSent) {
  model_.dvrid = "4711";
  model_.link_mode = 1;
  comm_.ChannelNo = 0x10005;  // only the low 16 bits travel
  comm_.ClientNetID = "10.1.2.3";
  comm_.ServerAddress = "192.168.0.9";
  std::vector<std::string> lines;
  SetLogListener([&lines](const std::string& line) { lines.push_back(line); });
  PeerAnswers(Answer(wire::kOpenLiveResponse, 0), false, 2);
  comm_.SendOpenCommand();
  model_.dvrid = "4712";
  model_.link_mode = 2;
  comm_.ConnectionType = 1;
  comm_.GetPlayRight();
  JoinPeer();
  ASSERT_EQ(received_.size(), 2 * kOpenRequestSize);

  TRequestHead head;
  TOpenLiveRequest first = ReceivedRequest(head, 0);
  EXPECT_EQ(head.Code, wire::kOpenLiveRequest);
  EXPECT_EQ(head.Length, kOpenRequestSize);
  EXPECT_EQ(first.Token, "token-of-the-user");
  EXPECT_EQ(first.DVRID, "4711");
  EXPECT_EQ(first.ChannelNo, 5);
  EXPECT_EQ(first.LinkMode, 1);
  EXPECT_EQ(head.ClientAddress, 0u);  // direct connection: no addresses
  EXPECT_EQ(head.TargetAddress, 0u);

  TOpenLiveRequest second = ReceivedRequest(head, 1);
  EXPECT_EQ(second.DVRID, "4712");
  EXPECT_EQ(second.LinkMode, 2);
  EXPECT_EQ(head.ClientAddress, 0x0A010203u);
  EXPECT_EQ(head.TargetAddress, 0xC0A80009u);

  SetLogListener(nullptr);
  EXPECT_EQ(lines, (std::vector<std::string>{"open live, did=4711, ch=65541, mode=1",
                                             "open live, did=4712, ch=65541, mode=2"}));
}

TEST_F(PreviewSession, WithoutAModelTheRequestCarriesTheDefaultDeviceAndLinkModeZero) {
  comm_.Model = nullptr;
  PeerAnswers(Answer(wire::kOpenLiveResponse, 0));
  comm_.GetPlayRight();
  JoinPeer();
  TRequestHead head;
  const TOpenLiveRequest request = ReceivedRequest(head);
  EXPECT_EQ(request.DVRID, "-1");
  EXPECT_EQ(request.LinkMode, 0);
}

TEST_F(PreviewSession, ADeviceIdThatIsNoIntegerSendsNothing) {
  model_.dvrid = "recorder-7";
  EXPECT_THROW(comm_.GetPlayRight(), EInvalidDeviceId);
  client_.Disconnect();
  uint8_t byte;
  EXPECT_FALSE(peer_->Receive(&byte, 1));
}

TEST_F(PreviewSession, TheOpenRequestWaitsForTheSectionLock) {
  section_.Enter();
  std::thread sender([this] { comm_.SendOpenCommand(); });
  plat::Sleep(100);
  uint8_t byte;
  const long early = ::recv(peer_->Handle(), &byte, 1, MSG_DONTWAIT | MSG_PEEK);
  EXPECT_EQ(early, -1) << "the request went out while the lock was held";
  section_.Leave();
  sender.join();
  Bytes request(kOpenRequestSize);
  EXPECT_TRUE(peer_->Receive(request.data(), request.size()));
}

TEST_F(PreviewSession, SettingsThatDoNotFitArePostedAsAReadFailure) {
  struct Case {
    size_t size;
    size_t offset;
    bool decoded;
  };
  const Bytes words = Join({BE32(1), BE32(2), BE32(3), BE32(4)});
  Bytes payload = Join({Bytes(16, 0), words});
  const Case cases[] = {{32, 16, true},  {31, 16, false}, {32, 17, false},
                        {32, 40, false}, {16, 0, true},   {0, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << "@" << c.offset);
    const uint8_t* data = c.size == 16 ? words.data() : payload.data();
    comm_.ParseVideoParams(data, c.size, c.offset);
    const std::optional<plat::TMsg> msg = NextMessage();
    ASSERT_TRUE(msg.has_value());
    if (c.decoded) {
      EXPECT_EQ(msg->message, kVideoParamsMessage);
      EXPECT_EQ(msg->wParam, 1u * 256 + 2);
      EXPECT_EQ(msg->lParam, 3 * 256 + 4);
    } else {
      EXPECT_EQ(msg->message, kVideoParamsFailedMessage);
      EXPECT_EQ(msg->wParam, kVideoParamsReadError);
      EXPECT_EQ(msg->lParam, 0);
    }
  }
  EXPECT_FALSE(NextMessage().has_value());
}

TEST_F(PreviewSession, ReadPackageHandsOverThePackageAndForgetsABrokenOne) {
  const Bytes media = {1, 2, 3, 4, 5};
  peer_thread_ = std::thread([&] {
    peer_->Send(EncodePlayPackage(128, media.data(), media.size()));
    peer_->Send(Join({BE32(0x100001), BE32(wire::kPlayPackage)}));
  });
  std::unique_ptr<TAbstractPackage> package = comm_.ReadPackage();
  ASSERT_NE(package, nullptr);
  EXPECT_EQ(comm_.Package, package.get());
  EXPECT_EQ(package->FrameType, 128);
  EXPECT_EQ(package->FrameLength, 5);

  try {
    comm_.ReadPackage();
    ADD_FAILURE() << "accepted an oversized package";
  } catch (const EInvalidPackageLength& e) {
    EXPECT_EQ(e.Message(), "Invalid pack size: 1048577");
  }
  EXPECT_EQ(comm_.Package, nullptr);
}

TEST(CommunicatorChecks, FirstPackageOfEachConnectionIsTestedAsTheHead) {
  struct Step {
    uint32_t code;
    bool new_connection;           // the connection thread cleared HeadChecked before
    const std::type_info* raised;  // nullptr: passes
    const char* message;
  };
  const Step steps[] = {
      {wire::kPlayPackage, false, nullptr, ""},
      {wire::kPlayPackage, false, nullptr, ""},
      {wire::kNoMediaPackage, false, &typeid(EInvalidPlayPackage),
       "not preview frame resp:0xCAFE0001"},
      {wire::kOpenLiveResponse, false, &typeid(EInvalidPlayPackage),
       "not preview frame resp:0x80050101"},
      {wire::kOpenLiveResponse, true, &typeid(EInvalidPlayFileHead), "not file head resp"},
      {wire::kPlayPackage, false, nullptr, ""},  // the head was used up by the failed one
      {wire::kPlayPackage, true, nullptr, ""},
      {wire::kNoMediaPackage, false, &typeid(EInvalidPlayPackage),
       "not preview frame resp:0xCAFE0001"},
  };
  TOstraNvPreviewCommunicator comm;
  EXPECT_FALSE(comm.HeadChecked);
  int n = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(n++);
    TOstraPreviewPlayPackage package;
    package.PackType = s.code;
    comm.Package = &package;
    if (s.new_connection) comm.HeadChecked = false;
    const std::type_info* raised = nullptr;
    std::string message;
    try {
      comm.CheckPackage();
    } catch (const EViewerException& e) {
      raised = &typeid(e);
      message = e.Message();
    }
    EXPECT_TRUE(comm.HeadChecked);
    if (s.raised == nullptr) {
      EXPECT_EQ(raised, nullptr) << message;
    } else {
      ASSERT_NE(raised, nullptr);
      EXPECT_EQ(raised->name(), std::string(s.raised->name()));
      EXPECT_EQ(message, s.message);
    }
  }
  // Only the server's packages without media stay out of the play queue.
  EXPECT_FALSE(comm.IsMediaPackage(wire::kNoMediaPackage));
  EXPECT_TRUE(comm.IsMediaPackage(wire::kPlayPackage));
}

// A clock the statistics tests move by hand.
TDateTime g_now = 46000.5;
TDateTime FakeNow() {
  return g_now;
}
void SetElapsed(TDateTime start, int64_t milliseconds) {
  g_now = start + static_cast<double>(milliseconds) / 86400000.0;
}

class Statistics : public ::testing::Test {
 protected:
  void SetUp() override {
    g_now = 46000.5;
    comm_.Clock = &FakeNow;
    comm_.ResetStatics();
    start_ = g_now;
  }
  void Count(int32_t pack_length) {
    TOstraPreviewPlayPackage package;
    package.PackLength = pack_length;
    comm_.Package = &package;
    comm_.UpdateStatics();
    comm_.Package = nullptr;
  }

  TOstraNvPreviewCommunicator comm_;
  TDateTime start_ = 0;
};

TEST_F(Statistics, RatesAreCountsPerWholeSecondAndZeroInTheFirstSecond) {
  Count(1000);
  Count(500);
  Count(1500);
  struct Case {
    int64_t elapsed_ms;
    float bitrate;
    float frame_rate;
  };
  const Case cases[] = {
      {0, 0, 0},          {999, 0, 0},     {1000, 3000, 3}, {1999, 3000, 3},
      {2500, 1500, 1.5f}, {3000, 1000, 1}, {-5000, 0, 0},  // the wall clock went back: no rate
                                                           // rather than a negative one
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.elapsed_ms);
    SetElapsed(start_, c.elapsed_ms);
    EXPECT_FLOAT_EQ(comm_.GetBitrate(), c.bitrate);
    EXPECT_FLOAT_EQ(comm_.GetFrameRate(), c.frame_rate);
  }
  EXPECT_EQ(comm_.TotalBytes.load(), 3000);
  EXPECT_EQ(comm_.PackageCount.load(), 3);
  EXPECT_EQ(comm_.StartTime.load(), start_);
}

TEST_F(Statistics, ResetStartsANewPeriodFromZero) {
  Count(1000);
  SetElapsed(start_, 5000);
  comm_.ResetStatics();
  EXPECT_EQ(comm_.TotalBytes.load(), 0);
  EXPECT_EQ(comm_.PackageCount.load(), 0);
  EXPECT_EQ(comm_.StartTime.load(), g_now);
  Count(700);
  SetElapsed(start_, 5999);  // 999 ms into the new period
  EXPECT_EQ(comm_.GetBitrate(), 0);
  SetElapsed(start_, 7000);
  EXPECT_FLOAT_EQ(comm_.GetBitrate(), 350);
  EXPECT_FLOAT_EQ(comm_.GetFrameRate(), 0.5f);
}

TEST_F(Statistics, ByteCountDoesNotWrapPastTwoGigabytes) {
  comm_.TotalBytes.store(2147483000);
  Count(1048576);
  EXPECT_EQ(comm_.TotalBytes.load(), 2147483000LL + 1048576);
  SetElapsed(start_, 1000);
  EXPECT_GT(comm_.GetBitrate(), 2.1e9f);
}

TEST(CommunicatorConstruction, StartsUncheckedDirectAndWithAFreshPeriod) {
  const TDateTime before = Now();
  TOstraNvPreviewCommunicator comm;
  EXPECT_FALSE(comm.HeadChecked);
  EXPECT_EQ(comm.ConnectionType, 0);
  EXPECT_EQ(comm.PackageCount.load(), 0);
  EXPECT_EQ(comm.TotalBytes.load(), 0);
  EXPECT_GE(comm.StartTime.load(), before);
  EXPECT_LE(comm.StartTime.load(), Now());
}

}  // namespace
}  // namespace viewer
