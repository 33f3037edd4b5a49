#include "viewer/pipeline/connection_thread.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/messages.h"
#include "platform/time.h"
#include "tests/support/wait_until.h"
#include "viewer/pipeline/pipeline_model.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/pipeline/testing/fake_clock.h"
#include "viewer/player/player.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/loopback_peer.h"
#include "viewer/protocol/packages.h"
#include "viewer/protocol/preview_communicator.h"
#include "viewer/protocol/responses.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/protocol/wire_format.h"
#include "viewer/viewer_log.h"

namespace viewer {
namespace {

using test_support::TLoopbackListener;
using test_support::TLoopbackPeer;
using testing::FakeClock;
using testing::g_fake_tick;
using Bytes = std::vector<uint8_t>;

constexpr size_t kOpenRequestSize = 162;
constexpr const char* kPrefix = "did=17, ch=5, mode=1, port=3-->";
constexpr int32_t kFrameAudio = wire::kFrameAudio;
constexpr int32_t kFrameVideo = wire::kFrameVideo;
constexpr int32_t kFrameHead = wire::kFrameStreamHead;

using quvi_test::WaitUntil;

// How long a thread told to end may take before the test calls it hung.
const uint32_t kHangGuardMs =
    static_cast<uint32_t>(std::chrono::milliseconds(quvi_test::kHangGuard).count());

// Polls pred every few milliseconds for up to timeout_ms: for the one check of how long
// something takes. Everything else waits with WaitUntil.
bool WaitUntilWithin(const std::function<bool()>& pred, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Everything the thread tells its surroundings, in order: statuses, hooks, checks. Any thread.
class TEventLog {
 public:
  void Add(const std::string& event) {
    std::lock_guard<std::mutex> hold(mutex_);
    events_.push_back(event);
  }
  std::vector<std::string> All() {
    std::lock_guard<std::mutex> hold(mutex_);
    return events_;
  }
  // The events that start with prefix, without it.
  std::vector<std::string> Of(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& e : All())
      if (e.rfind(prefix, 0) == 0) found.push_back(e.substr(prefix.size()));
    return found;
  }
  int Count(const std::string& event) {
    const auto all = All();
    return static_cast<int>(std::count(all.begin(), all.end(), event));
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> events_;
};

// The view's model: plays until the test stops it; records statuses ("status:<code>") and
// fatal statuses ("fatal:<code>"). Its status listener can be told to raise at one code.
class TViewModel : public TPipelineModel {
 public:
  explicit TViewModel(TEventLog& events) : events_(events) {}

  std::string DVRID() override { return "17"; }
  int32_t LinkMode() override { return 1; }
  int32_t PortNo() override { return 3; }
  int32_t ChannelNo() override { return 5; }
  bool Playing() override { return IsPlaying; }
  bool DropWhenFull() override { return Drop; }
  uint32_t LastDataTick() override { return DataTick; }
  void MarkDataTime() override { DataTick = plat::GetTickCount(); }
  void SetStatus(int32_t status) override { events_.Add("fatal:" + std::to_string(status)); }
  void NotifyStatus(int32_t status) override {
    events_.Add("status:" + std::to_string(status));
    if (RaiseAtStatus && *RaiseAtStatus == status) throw EViewerException(RaiseMessage);
  }
  void FirePlayEnd() override { ++PlayEnds; }
  bool AudioPlaying() override { return false; }
  bool OpenSound() override { return false; }
  void CurrentPlayTime(int32_t& first, int32_t& second) override {
    first = 11;
    second = 22;
  }

  std::atomic<bool> IsPlaying{true};
  std::atomic<bool> Drop{true};
  std::atomic<uint32_t> DataTick{plat::GetTickCount()};
  std::atomic<int> PlayEnds{0};
  // Set before the thread starts.
  std::optional<int32_t> RaiseAtStatus;
  std::string RaiseMessage;

 private:
  TEventLog& events_;
};

// A player whose replay hooks only leave their mark.
class THookPlayer : public TPlayer {
 public:
  explicit THookPlayer(TEventLog& events) : events_(events) { Active = true; }
  int32_t GetPackageHeadSize() const override { return 20; }
  int32_t GetRecordOffset() const override { return 20; }
  bool IsStreamHead(int32_t frame_type) const override { return frame_type == kFrameHead; }
  void BeginPlay(TAbstractPackage&) override {}
  bool InputPackage(TAbstractPackage&) override { return true; }
  void StopPlay() override {}
  void PostStopPlayMessage() override {}
  void ResetPlaySpeedRatio() override { events_.Add("hook:reset play speed ratio"); }
  void RefreshCurrentPlayTime() override { events_.Add("hook:refresh current play time"); }

 private:
  TEventLog& events_;
};

// The preview communicator, noting which package check ran ("check:head" / "check:frame"),
// the receive time-out each handshake found on the socket ("timeout:<ms>"), and the play
// position it was given. It can be told to fail its handshake or its reads.
class TNotingCommunicator : public TOstraNvPreviewCommunicator {
 public:
  explicit TNotingCommunicator(TEventLog& events) : events_(events) {}

  void CheckFileHead() override {
    events_.Add("check:head");
    TOstraNvPreviewCommunicator::CheckFileHead();
  }
  void CheckFramePackage() override {
    events_.Add("check:frame");
    TOstraNvPreviewCommunicator::CheckFramePackage();
  }
  void GetPlayRight() override {
    timeval tv{};
    socklen_t len = sizeof tv;
    if (::getsockopt(Client->Handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, &len) == 0)
      events_.Add("timeout:" + std::to_string(tv.tv_sec * 1000 + tv.tv_usec / 1000));
    if (RaiseNonException) throw 42;
    TOstraNvPreviewCommunicator::GetPlayRight();
  }
  std::unique_ptr<TAbstractPackage> ReadPackage() override {
    if (!ReadFailure.empty()) throw EReadPackage(ReadFailure);
    return TOstraNvPreviewCommunicator::ReadPackage();
  }
  void SetCurrentPlayTime(int32_t first, int32_t second) override {
    events_.Add("hook:set current play time " + std::to_string(first) + "," +
                std::to_string(second));
  }

  // Set before the thread starts.
  bool RaiseNonException = false;
  std::string ReadFailure;

 private:
  TEventLog& events_;
};

// Collects the viewer log's lines while it lives.
class TLogLines {
 public:
  TLogLines() {
    SetLogListener([this](const std::string& line) {
      std::lock_guard<std::mutex> hold(mutex_);
      lines_.push_back(line);
    });
  }
  ~TLogLines() { SetLogListener(nullptr); }
  std::vector<std::string> All() {
    std::lock_guard<std::mutex> hold(mutex_);
    return lines_;
  }
  int Count(const std::string& text) {
    int n = 0;
    for (const std::string& line : All())
      if (line.find(text) != std::string::npos) ++n;
    return n;
  }
  // Lines equal to the thread's prefix followed by text.
  int CountExact(const std::string& text) {
    const std::string whole = kPrefix + text;
    int n = 0;
    for (const std::string& line : All())
      if (line == whole) ++n;
    return n;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

// ---- The far side: a stream server that runs one script per accepted connection ----

class TScriptedServer;

// One accepted connection as a script sees it.
struct TConnection {
  TLoopbackPeer& peer;
  TScriptedServer& server;

  // Takes the open request and answers it with status.
  bool Handshake(int32_t status = 0);
  bool Play(int32_t frame_type, uint8_t tag, size_t media_size = 32);
  bool KeepAlive();
  // Sends nothing until the client closes (true) or the server is shut down (false).
  bool Stall();
};

using TScript = std::function<void(TConnection&)>;

class TScriptedServer {
 public:
  explicit TScriptedServer(std::vector<TScript> scripts) : scripts_(std::move(scripts)) {
    thread_ = std::thread([this] { Serve(); });
  }
  ~TScriptedServer() {
    stopping_ = true;
    // Wakes an accept that waits for a connection nobody will make any more.
    TKvTCPClientObj wake;
    wake.Host = "127.0.0.1";
    wake.Port = Port();
    wake.ConnectTimeout = 1000;
    wake.Connect();
    thread_.join();
  }

  int Port() const { return listener_.Port(); }
  int Accepted() const { return accepted_; }
  // Connections whose client hung up while the script stalled.
  int ClosedByClient() const { return closed_by_client_; }
  bool Stopping() const { return stopping_; }
  void NoteClosedByClient() { ++closed_by_client_; }

 private:
  void Serve() {
    for (const TScript& script : scripts_) {
      const int fd = listener_.Accept();
      TLoopbackPeer peer(fd);
      if (stopping_) return;
      ++accepted_;
      TConnection connection{peer, *this};
      script(connection);
    }
  }

  TLoopbackListener listener_;
  std::vector<TScript> scripts_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::atomic<int> closed_by_client_{0};
  std::thread thread_;
};

bool TConnection::Handshake(int32_t status) {
  Bytes request(kOpenRequestSize);
  if (!peer.Receive(request.data(), request.size())) return false;
  return peer.Send(EncodeOpenLiveResponse(status, std::nullopt));
}

bool TConnection::Play(int32_t frame_type, uint8_t tag, size_t media_size) {
  Bytes media(media_size, tag);
  return peer.Send(EncodePlayPackage(frame_type, media.data(), media.size()));
}

bool TConnection::KeepAlive() {
  const uint8_t payload[4] = {1, 2, 3, 4};
  return peer.Send(EncodeNoMediaPackage(payload, sizeof payload));
}

bool TConnection::Stall() {
  for (;;) {
    if (server.Stopping()) return false;
    pollfd p{peer.Handle(), POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char c;
    if (::recv(peer.Handle(), &c, 1, 0) <= 0) {
      server.NoteClosedByClient();
      return true;
    }
  }
}

// The port of a listener that is gone again: connecting to it is refused.
int RefusingPort() {
  TLoopbackListener listener;
  return listener.Port();
}

// ---- Fixture: one view's connection thread against a scripted server ----

class ConnectionThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = plat::CreateWindowHandle();
    model_.DataTick = plat::GetTickCount();
    auto communicator = std::make_unique<TNotingCommunicator>(events_);
    comm_ = communicator.get();
    thread_ = std::make_unique<TConnectionThread>(std::move(communicator));
    // As the play model fills them in.
    comm_->WindowHandle = window_;
    comm_->ProtectedSection = &section_;
    comm_->Client = &thread_->TCPClient();
    comm_->Model = &model_;
    comm_->ChannelNo = 5;
    comm_->ServerAddress = "127.0.0.1";
    thread_->Model = &model_;
    thread_->ProtectedSection = &section_;
    thread_->Player = &player_;
    thread_->PlayWnd = window_;
    thread_->HostIP = "127.0.0.1";
    thread_->ChannelNo = 5;
    thread_->TryTimes = 1;
    thread_->SetConnectTimeout(2000);
    thread_->SetReadTimeout(3000);
    thread_->OnConnected = [this](TPipelineModel&) { events_.Add("connected"); };
    thread_->OnDisConnected = [this](TPipelineModel&) { events_.Add("disconnected"); };
  }
  void TearDown() override {
    if (thread_ && !stopped_) StopView();
    thread_.reset();
    server_.reset();
    plat::DestroyWindowHandle(window_);
  }

  void Serve(std::vector<TScript> scripts) {
    server_ = std::make_unique<TScriptedServer>(std::move(scripts));
    thread_->HostPort = server_->Port();
  }
  void Start() { ASSERT_TRUE(thread_->Start()); }

  // With dropping off, a server that sends the head and 101 frames leaves the thread blocked
  // putting the last one into the full queue.
  void StartBlockedOnAFullQueue() {
    model_.Drop = false;
    Serve({[](TConnection& c) {
      c.Handshake();
      c.Play(kFrameHead, 0);
      for (int i = 1; i <= 101; ++i) c.Play(kFrameVideo, static_cast<uint8_t>(i));
      c.Stall();
    }});
    Start();
    ASSERT_TRUE(WaitUntil([&] { return section_.BlockingQueue.WaitingWriters() == 1; }));
  }

  // The play model's stop: the view stops playing, the thread is told to end and its read
  // broken, the queue closed; then the thread is waited for. Returns how long that took.
  int64_t StopView() {
    stopped_ = true;
    const uint32_t start = plat::GetTickCount();
    model_.IsPlaying = false;
    thread_->RequestStop();
    section_.BlockingQueue.Unblock();
    EXPECT_TRUE(thread_->WaitFor(kHangGuardMs)) << "connection thread did not end";
    const int64_t took = static_cast<int64_t>(plat::GetTickCount() - start);
    std::printf("[ info ] view stopped after %lld ms\n", static_cast<long long>(took));
    return took;
  }

  std::vector<std::string> Statuses() { return events_.Of("status:"); }
  bool WaitForStatusCount(const std::string& code, int n) {
    return WaitUntil([&] { return events_.Count("status:" + code) >= n; });
  }
  // The codes of the status messages posted to the play window so far.
  std::vector<std::string> PostedStatuses(std::vector<plat::WPARAM>* attempts = nullptr) {
    std::vector<std::string> codes;
    plat::TMsg msg;
    while (plat::GetMessage(&msg, 0)) {
      if (msg.hwnd != window_) continue;
      if (msg.message == kConnectStatusMessage)
        codes.push_back(std::to_string(static_cast<int32_t>(msg.wParam)));
      if (msg.message == kConnectAttemptFailedMessage && attempts != nullptr)
        attempts->push_back(msg.wParam);
    }
    return codes;
  }
  // Frame types and tags of the queued packages, oldest first, emptying the queue.
  std::vector<std::pair<int32_t, uint8_t>> TakeQueued() {
    std::vector<std::pair<int32_t, uint8_t>> queued;
    for (;;) {
      std::unique_ptr<TAbstractPackage> package;
      int32_t tag = 0;
      if (section_.BlockingQueue.Get(package, tag, 0) != kQueueOk) break;
      queued.emplace_back(package->FrameType, package->FrameLength > 0 ? package->Media()[0] : 0);
    }
    return queued;
  }

  TLogLines log_;
  TEventLog events_;
  TViewModel model_{events_};
  THookPlayer player_{events_};
  TProtectedSection section_;
  plat::HWND window_ = 0;
  bool stopped_ = false;
  std::unique_ptr<TScriptedServer> server_;
  TNotingCommunicator* comm_ = nullptr;  // owned by the thread
  std::unique_ptr<TConnectionThread> thread_;
};

// ---- Connecting ----

// The one test that sits out the real pause between cycles.
TEST_F(ConnectionThreadTest, WithoutAttemptsEveryCycleFailsAfterTheFullPause) {
  Serve({});
  thread_->TryTimes = 0;
  std::atomic<uint32_t> first_failure{0};
  thread_->OnDisConnected = [&](TPipelineModel&) {
    if (first_failure == 0) first_failure = plat::GetTickCount();
  };
  Start();
  ASSERT_TRUE(WaitForStatusCount("-2", 2));
  const int64_t pause = static_cast<int64_t>(plat::GetTickCount() - first_failure);
  StopView();

  EXPECT_GE(pause, 4900) << "the next cycle came before the pause";
  EXPECT_EQ(server_->Accepted(), 0);
  for (const std::string& code : Statuses()) EXPECT_EQ(code, "-2");
  EXPECT_GE(thread_->RunCount(), 2);
  EXPECT_GE(log_.CountExact("connect failed"), 2);
  EXPECT_GE(log_.CountExact("connect timeout=2000, read timeout=3000"), 2);
}

TEST_F(ConnectionThreadTest, RejectedHandshakeCountsAsAFailedAttempt) {
  Serve({[](TConnection& c) { c.Handshake(-1); }, [](TConnection& c) { c.Handshake(-1); }});
  thread_->TryTimes = 2;
  Start();
  ASSERT_TRUE(WaitForStatusCount("-2", 1));
  StopView();

  const std::vector<std::string> expected = {"-1", "-7", "-1", "-7", "-2"};
  EXPECT_EQ(Statuses(), expected);
  EXPECT_EQ(PostedStatuses(), expected) << "the play window saw other codes than the listener";
  EXPECT_EQ(server_->Accepted(), 2);
  EXPECT_EQ(log_.CountExact("get play right failed! E= no right"), 2);
  EXPECT_EQ(events_.Count("connected"), 0);
  EXPECT_EQ(section_.BlockingQueue.Count(), 0);
}

TEST_F(ConnectionThreadTest, RefusedConnectionsEndInConnectFailed) {
  thread_->HostPort = RefusingPort();
  thread_->TryTimes = 3;
  Start();
  ASSERT_TRUE(WaitForStatusCount("-2", 1));
  StopView();
  EXPECT_EQ(Statuses(), std::vector<std::string>{"-2"});
  std::vector<plat::WPARAM> attempts;
  PostedStatuses(&attempts);
  EXPECT_TRUE(attempts.empty()) << "a refused connect is no raised attempt";
}

TEST_F(ConnectionThreadTest, AttemptsArePausedHalfASecondAndCyclesFiveSeconds) {
  thread_->HostPort = RefusingPort();
  thread_->TryTimes = 3;
  thread_->Clock = FakeClock();
  g_fake_tick = 0xFFFFF000u;  // the rules hold across the wrap of the tick count
  const uint32_t start = g_fake_tick;
  std::mutex lock;
  std::vector<uint32_t> disconnects;
  thread_->OnDisConnected = [&](TPipelineModel&) {
    std::lock_guard<std::mutex> hold(lock);
    disconnects.push_back(g_fake_tick);
  };
  Start();
  ASSERT_TRUE(WaitForStatusCount("-2", 2));
  StopView();
  std::lock_guard<std::mutex> hold(lock);
  ASSERT_GE(disconnects.size(), 2u);
  // Each of the three refused attempts is followed by 500 ms; a cycle is then paused 5 s.
  EXPECT_EQ(disconnects[0] - start, 3u * 500u);
  EXPECT_EQ(disconnects[1] - disconnects[0], 5000u + 3u * 500u);
}

TEST(CyclePauseFromEnvironment, ShortensThePauseOnlyForAWholeNumberInRange) {
  struct TCase {
    const char* Value;  // nullptr: unset
    int32_t Steps;
  };
  const TCase cases[] = {{nullptr, 50},  {"", 50},      {"300", 3},   {"250", 3}, {"0", 0},
                         {"60000", 600}, {"60001", 50}, {"-100", 50}, {"2s", 50}, {" 300", 3}};
  for (const TCase& c : cases) {
    if (c.Value == nullptr) {
      ::unsetenv("QUVI_RECONNECT_PAUSE_MS");
    } else {
      ::setenv("QUVI_RECONNECT_PAUSE_MS", c.Value, 1);
    }
    EXPECT_EQ(TConnectionThread::CyclePauseStepsFromEnvironment(), c.Steps)
        << (c.Value ? c.Value : "unset");
  }
  ::unsetenv("QUVI_RECONNECT_PAUSE_MS");
}

// Failures raised inside an attempt, and what each leaves behind.
struct AttemptFailure {
  const char* name;
  std::optional<int32_t> listener_raises_at;
  const char* message;
  bool handshake_raises_non_exception;
  std::vector<plat::WPARAM> attempt_messages;  // wParams of kConnectAttemptFailedMessage
  std::vector<std::string> fatal;
  const char* log_line;
  int log_lines;
  bool ends_by_itself;
};

// Test listings name a row by its name rather than by its bytes.
void PrintTo(const AttemptFailure& c, std::ostream* os) {
  *os << c.name;
}

class AttemptFailureTest : public ConnectionThreadTest,
                           public ::testing::WithParamInterface<AttemptFailure> {};

TEST_P(AttemptFailureTest, IsReportedAndNeverPassesForAConnection) {
  const AttemptFailure& c = GetParam();
  Serve({[](TConnection& conn) {
           conn.Handshake();
           conn.Stall();
         },
         [](TConnection& conn) {
           conn.Handshake();
           conn.Stall();
         }});
  thread_->TryTimes = 2;
  model_.RaiseAtStatus = c.listener_raises_at;
  model_.RaiseMessage = c.message;
  comm_->RaiseNonException = c.handshake_raises_non_exception;
  Start();
  if (c.ends_by_itself)
    EXPECT_TRUE(thread_->WaitFor(kHangGuardMs)) << "a fatal status must end the thread";
  else
    ASSERT_TRUE(WaitForStatusCount("-2", 1));
  StopView();

  std::vector<plat::WPARAM> attempts;
  PostedStatuses(&attempts);
  EXPECT_EQ(attempts, c.attempt_messages);
  EXPECT_EQ(events_.Of("fatal:"), c.fatal);
  EXPECT_EQ(log_.CountExact(c.log_line), c.log_lines);
  EXPECT_EQ(events_.Count("status:-5"), 0) << "a failed attempt passed for a connection";
  EXPECT_EQ(events_.Count("connected"), 0);
  EXPECT_EQ(thread_->RunCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Attempts, AttemptFailureTest,
    ::testing::Values(
        AttemptFailure{"ListenerRaises",
                       -1,
                       "listener broke",
                       false,
                       {1, 2},
                       {},
                       "ERROR_GET_PLAY_NET_CONNECT, Error is listener broke",
                       2,
                       false},
        AttemptFailure{"ThreadCreation",
                       -1,
                       "Thread creation error: out of threads",
                       false,
                       {1},
                       {"-2"},
                       "ERROR_GET_PLAY_NET_CONNECT, Error is Thread creation error: out of threads",
                       1,
                       true},
        AttemptFailure{
            "NotAnException", std::nullopt, "", true, {}, {"9999"}, "ERROR_UNKNOWN! ", 1, true}),
    [](const ::testing::TestParamInfo<AttemptFailure>& info) { return info.param.name; });

// ---- Receiving ----

TEST_F(ConnectionThreadTest, StreamWithoutVideoIsDroppedAfterFiftyOnePackages) {
  Serve({[](TConnection& c) {
           c.Handshake();
           c.Play(kFrameHead, 0);
           for (int i = 1; i <= 60 && c.Play(kFrameAudio, static_cast<uint8_t>(i)); ++i) {
           }
           c.Stall();
         },
         [](TConnection& c) {
           c.Handshake();
           c.Stall();
         }});
  thread_->CyclePauseSteps = 1;
  Start();
  ASSERT_TRUE(WaitForStatusCount("-5", 2)) << "no new cycle after the audio-only stream";
  ASSERT_TRUE(WaitUntil([&] { return server_->ClosedByClient() >= 1; }));
  StopView();

  const std::vector<std::string> expected = {"-1", "-5", "-1", "-5"};
  EXPECT_EQ(Statuses(), expected);
  EXPECT_EQ(thread_->RunCount(), 2);
  EXPECT_EQ(log_.Count("Check package failed!Connect Thread:"), 1);
  EXPECT_EQ(log_.Count("Error=only audio frame"), 1);
  // The head and 49 audio packages made it; the 51st package ended the connection.
  const auto queued = TakeQueued();
  ASSERT_EQ(queued.size(), 50u);
  EXPECT_EQ(queued.front().first, kFrameHead);
  EXPECT_EQ(queued.back(), std::make_pair(kFrameAudio, uint8_t{49}));
}

// Two connections of one view, each streaming a head, keep-alives, audio and six videos and
// then closing: what the second one shares with the first and what it does not.
class ReconnectTest : public ConnectionThreadTest {
 protected:
  static void StreamThenClose(TConnection& c) {
    c.Handshake();
    c.Play(kFrameHead, 0);
    c.KeepAlive();
    for (uint8_t i = 1; i <= 6; ++i) {
      c.Play(kFrameAudio, static_cast<uint8_t>(100 + i));
      c.Play(kFrameVideo, i);
      c.Play(kFrameVideo, i, 0);  // an empty frame is no package for the player
    }
  }
  void RunTwoConnections() {
    Serve({StreamThenClose, StreamThenClose, [](TConnection& c) {
             c.Handshake();
             c.Stall();
           }});
    thread_->CyclePauseSteps = 1;
    Start();
    ASSERT_TRUE(WaitForStatusCount("-5", 3));
    StopView();
  }
};

TEST_F(ReconnectTest, VideoArrivingIsPostedForTheFirstThreeVideosOfEachConnection) {
  RunTwoConnections();
  const std::vector<std::string> one = {"-1", "-5", "-6", "-6", "-6", "-7"};
  std::vector<std::string> expected = one;
  expected.insert(expected.end(), one.begin(), one.end());
  expected.insert(expected.end(), {"-1", "-5"});
  EXPECT_EQ(Statuses(), expected);
  // Packages counted by the probe: head 1, audio 2, video 3, audio 4, video 5, ...
  EXPECT_EQ(log_.CountExact("frame 3, type=0x01, queue count=2"), 1);
  EXPECT_EQ(log_.Count("frame 7, type=0x01, queue count="), 2);
  EXPECT_EQ(log_.Count("frame 9, type=0x01"), 0);
  // Both servers closed; the stop may break the third connection's read the same way.
  EXPECT_GE(log_.CountExact("read one pack failed! Error=socket closed"), 2);
  // Keep-alives and empty frames never reach the queue.
  EXPECT_EQ(TakeQueued().size(), 2u * 13u);
}

TEST_F(ReconnectTest, EachConnectionStartsFreshWithItsHeadCheckedAgain) {
  RunTwoConnections();
  std::vector<std::string> checks;
  for (const std::string& e : events_.All())
    if (e.rfind("check:", 0) == 0 || e == "connected" || e == "disconnected") checks.push_back(e);
  std::vector<std::string> one = {"connected", "check:head"};
  one.insert(one.end(), 12, "check:frame");
  one.push_back("disconnected");
  std::vector<std::string> expected = one;
  expected.insert(expected.end(), one.begin(), one.end());
  expected.insert(expected.end(), {"connected", "disconnected"});
  EXPECT_EQ(checks, expected);

  // Every connection reads with the view's ReadTimeout, not only the first one.
  EXPECT_EQ(events_.Of("timeout:"), (std::vector<std::string>{"3000", "3000", "3000"}));
}

TEST_F(ReconnectTest, ReplayHooksRunFromTheSecondCycleOn) {
  RunTwoConnections();
  EXPECT_EQ(thread_->RunCount(), 3);
  const std::vector<std::string> one = {"refresh current play time", "set current play time 11,22",
                                        "reset play speed ratio"};
  std::vector<std::string> expected = one;
  expected.insert(expected.end(), one.begin(), one.end());
  EXPECT_EQ(events_.Of("hook:"), expected);
  EXPECT_EQ(log_.CountExact("refresh current play time"), 2);
  EXPECT_EQ(log_.CountExact("set current play time"), 2);
  EXPECT_EQ(log_.CountExact("reset play speed ratio"), 2);
  // Every hook follows a disconnect: none ran before the first connection's packages.
  const auto all = events_.All();
  const auto first_hook = std::find(all.begin(), all.end(), "hook:refresh current play time");
  EXPECT_NE(std::find(all.begin(), first_hook, "disconnected"), first_hook);
}

// Exhausted memory while reading ends the view's connection thread with a fatal status.
class ReadOutOfMemoryTest : public ConnectionThreadTest,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(ReadOutOfMemoryTest, IsFatal) {
  const std::string message = GetParam();
  Serve({[](TConnection& c) {
    c.Handshake();
    c.Stall();
  }});
  comm_->ReadFailure = message;
  Start();
  EXPECT_TRUE(thread_->WaitFor(kHangGuardMs)) << "a fatal status must end the thread";
  EXPECT_EQ(Statuses(), (std::vector<std::string>{"-1", "-5", "-7"}));
  EXPECT_EQ(events_.Of("fatal:"), std::vector<std::string>{"-2"});
  EXPECT_EQ(log_.CountExact("read one pack failed! Error=" + message), 1);
  EXPECT_EQ(thread_->RunCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Messages, ReadOutOfMemoryTest,
                         ::testing::Values("Out of memory", "std::bad_alloc"));

TEST_F(ConnectionThreadTest, DisconnectWakesAWaitingReaderAndTheNextConnectionLetsReadsWait) {
  Serve({[](TConnection& c) { c.Handshake(); },  // and closes
         [](TConnection& c) {
           c.Handshake();
           c.Stall();
         }});
  thread_->Clock = FakeClock();
  // The readers stand in for the play thread; each is released at the latest by the stop,
  // which closes the queue, so no failure below leaves one running.
  std::atomic<bool> first_returned{false};
  std::thread first([&] {
    (void)section_.BlockingQueue.Take();
    first_returned = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return section_.BlockingQueue.WaitingReaders() == 1; }));
  Start();
  EXPECT_TRUE(WaitUntil([&] { return first_returned.load(); }))
      << "the disconnect step did not abort the waiting read";
  EXPECT_TRUE(WaitForStatusCount("-5", 2));

  // The view is connected again: a read waits for packages instead of returning at once.
  std::atomic<bool> second_returned{false};
  std::thread second([&] {
    (void)section_.BlockingQueue.Take();
    second_returned = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return section_.BlockingQueue.WaitingReaders() == 1; }))
      << "the read returned at once";
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(second_returned.load());
  StopView();
  first.join();
  second.join();
  EXPECT_TRUE(second_returned.load());
}

TEST_F(ConnectionThreadTest, AReconnectReadsWithTheShortReadTimeoutToo) {
  const TScript silent = [](TConnection& c) {
    c.Handshake();
    c.Stall();
  };
  Serve({silent, silent, silent});
  thread_->SetReadTimeout(300);
  thread_->CyclePauseSteps = 1;
  Start();
  // With the socket layer's 10000 ms on the second connection this would not come in time
  // (the first read alone takes 300 ms).
  ASSERT_TRUE(WaitUntilWithin([&] { return events_.Count("status:-7") >= 2; }, 10000));
  StopView();
  const std::vector<std::string> timeouts = events_.Of("timeout:");
  ASSERT_GE(timeouts.size(), 2u);
  EXPECT_EQ(timeouts[0], "300");
  EXPECT_EQ(timeouts[1], "300");
  EXPECT_GE(log_.CountExact("read one pack failed! Error=recv timeout"), 2);
}

// ---- A full queue ----

class FullQueueTest : public ConnectionThreadTest,
                      public ::testing::WithParamInterface<uint32_t> {};

// The play-end event of a full queue needs 10000 ms or more without data fed.
bool StallFiresPlayEnd(uint32_t since_data_ms) {
  return since_data_ms >= 10000;
}

TEST_P(FullQueueTest, NextPackageDropsTheWholeBacklogAndIsQueued) {
  const uint32_t since_data = GetParam();
  thread_->Clock = FakeClock();
  g_fake_tick = 0x10000000u;
  model_.DataTick = g_fake_tick - since_data;
  Serve({[](TConnection& c) {
    c.Handshake();
    c.Play(kFrameHead, 0, 40);
    for (int i = 1; i <= 100; ++i) c.Play(kFrameVideo, static_cast<uint8_t>(i), 40);
    c.Stall();
  }});
  Start();
  ASSERT_TRUE(WaitUntil([&] { return log_.Count("drop frame-->") >= 100; }));
  ASSERT_TRUE(WaitUntil([&] { return section_.BlockingQueue.Count() == 1; }));
  StopView();

  EXPECT_EQ(log_.CountExact("drop frame-->type=0x80, size=40"), 1);
  EXPECT_EQ(log_.CountExact("drop frame-->type=0x1, size=40"), 99);
  const auto queued = TakeQueued();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0], std::make_pair(kFrameVideo, uint8_t{100}));
  EXPECT_EQ(model_.PlayEnds, StallFiresPlayEnd(since_data) ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(MillisecondsSinceDataWasFed, FullQueueTest,
                         ::testing::Values(0u, 9999u, 10000u, 20000u));

// ---- Stopping ----

TEST_F(ConnectionThreadTest, StoppingBreaksABlockingRead) {
  Serve({[](TConnection& c) {
    c.Handshake();
    c.Play(kFrameHead, 0);
    c.Stall();
  }});
  Start();
  ASSERT_TRUE(WaitUntil([&] { return section_.BlockingQueue.Count() == 1; }));
  // Let the thread settle in its next read.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  StopView();

  EXPECT_TRUE(WaitUntil([&] { return server_->ClosedByClient() == 1; }));
  EXPECT_EQ(Statuses(), (std::vector<std::string>{"-1", "-5"})) << "a stopped view posts nothing";
  EXPECT_EQ(log_.Count(" break recv data. Terminated = True"), 1);
  EXPECT_EQ(thread_->RunCount(), 1);
}

TEST_F(ConnectionThreadTest, StoppingEndsAPendingConnectWithinTheConnectWait) {
  TLoopbackListener listener(0);
  listener.FillAcceptQueue();
  thread_->HostPort = listener.Port();
  // The stop must come while the connect still waits; the wait is long enough that a test
  // thread held off the processor for a while still comes in time.
  thread_->SetConnectTimeout(2000);
  Start();
  ASSERT_TRUE(WaitUntil([&] { return log_.Count("connect timeout=2000") == 1; }));
  StopView();
  EXPECT_TRUE(Statuses().empty());
}

TEST_F(ConnectionThreadTest, StoppingReleasesAPutIntoAFullQueue) {
  ASSERT_NO_FATAL_FAILURE(StartBlockedOnAFullQueue());
  StopView();
  EXPECT_EQ(log_.Count("CH5 Check package failed!Connect Thread:"), 1);
  EXPECT_EQ(log_.Count("Error=ObjectQueue Insert Error,Buffer Closed"), 1);
  EXPECT_EQ(section_.BlockingQueue.Count(), 100);
}

// ---- Settings and lifetime ----

TEST_F(ConnectionThreadTest, TimeoutsReachTheStreamConnectionOnlyWhenTheyChange) {
  TKvTCPClientObj& client = thread_->TCPClient();
  EXPECT_EQ(client.ConnectTimeout, 2000);
  EXPECT_EQ(client.RecvTimeout(), 3000);
  thread_->SetConnectTimeout(7000);
  thread_->SetReadTimeout(4000);
  EXPECT_EQ(client.ConnectTimeout, 7000);
  EXPECT_EQ(client.RecvTimeout(), 4000);
  // Unchanged values are not applied again, even where the connection differs by now.
  client.ConnectTimeout = 1;
  client.SetRecvTimeout(9000);
  thread_->SetConnectTimeout(7000);
  thread_->SetReadTimeout(4000);
  EXPECT_EQ(client.ConnectTimeout, 1);
  EXPECT_EQ(client.RecvTimeout(), 9000);
}

TEST_F(ConnectionThreadTest, DestructionLogsItsStepsWithThePrefix) {
  Serve({[](TConnection& c) {
    c.Handshake();
    c.Stall();
  }});
  Start();
  ASSERT_TRUE(WaitForStatusCount("-5", 1));
  StopView();
  thread_.reset();
  std::vector<std::string> freeing;
  for (const std::string& line : log_.All())
    if (line.find("free ") != std::string::npos) freeing.push_back(line);
  const std::string p = kPrefix;
  EXPECT_EQ(freeing,
            (std::vector<std::string>{p + "free connection thread-->", p + "free communicator",
                                      p + "free connect obj", p + "free connection thread<--"}));
  EXPECT_TRUE(WaitUntil([&] { return server_->ClosedByClient() == 1; }));
}

TEST_F(ConnectionThreadTest, AFailingCycleIsLoggedAndStillPausedAfter) {
  thread_->TryTimes = 0;
  thread_->OnDisConnected = [](TPipelineModel&) { throw EViewerException("handler broke"); };
  Start();
  ASSERT_TRUE(WaitUntil([&] { return log_.Count(", E=handler broke") >= 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(thread_->RunCount(), 1) << "the next cycle started without the pause";
  StopView();
  EXPECT_EQ(log_.Count("Exception occur in TConnectionThread.Execute. connectThread:0x"), 1);
}

TEST_F(ConnectionThreadTest, DestroyingARunningThreadStopsItFirst) {
  ASSERT_NO_FATAL_FAILURE(StartBlockedOnAFullQueue());
  thread_.reset();  // blocked in a put into the full queue: must not hang
  EXPECT_EQ(log_.CountExact("free connection thread<--"), 1);
  EXPECT_TRUE(WaitUntil([&] { return server_->ClosedByClient() == 1; }));
}

}  // namespace
}  // namespace viewer
