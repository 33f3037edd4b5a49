#include "viewer/pipeline/connection_thread.h"

#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>

#include "common/viewer_utils.h"
#include "platform/time.h"
#include "viewer/pipeline/pipeline_model.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/player/player.h"
#include "viewer/protocol/communicator.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/packages.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/viewer_log.h"

namespace viewer {

namespace {

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// Failures after which the thread cannot sensibly go on: the texts of a failed thread
// creation and of exhausted memory (the platform's wording and the C++ one).
bool IsResourceFailure(const std::string& message) {
  return Contains(message, "Thread creation error") || Contains(message, "Out of memory") ||
         Contains(message, "bad_alloc");
}

bool IsVideoFrameType(int32_t frame_type) {
  switch (frame_type) {
    case 1:
    case 2:
    case 4:
    case 256:
    case 512:
      return true;
    default:
      return false;
  }
}

}  // namespace

TConnectionThread::TConnectionThread(std::unique_ptr<TCommunicator> communicator)
    : tcp_client_(std::make_unique<TKvTCPClientObj>()), communicator_(std::move(communicator)) {
  connect_timeout_ = tcp_client_->ConnectTimeout;
  read_timeout_ = tcp_client_->RecvTimeout();
}

TConnectionThread::~TConnectionThread() {
  // The owner normally stopped and waited for the thread; never free what it still uses.
  if (Started() && !Finished()) {
    RequestStop();
    if (ProtectedSection != nullptr) ProtectedSection->BlockingQueue.Unblock();
    WaitFor();
  }
  try {
    Log("free connection thread-->");
    Log("free communicator");
    communicator_.reset();
    Log("free connect obj");
    if (tcp_client_) tcp_client_->Disconnect();
    tcp_client_.reset();
    Log("free connection thread<--");
  } catch (...) {
    // Freeing goes on regardless; the members release the rest.
  }
}

void TConnectionThread::RequestStop() {
  Active = false;
  Terminate();
  if (tcp_client_ && tcp_client_->Connected()) tcp_client_->Disconnect();
}

void TConnectionThread::SetFatalStatus(int32_t code) {
  if (ProtectedSection != nullptr) {
    std::lock_guard<TProtectedSection> hold(*ProtectedSection);
    if (Model != nullptr) Model->SetStatus(code);
  } else if (Model != nullptr) {
    Model->SetStatus(code);
  }
  Terminate();
}

void TConnectionThread::PostStatus(int32_t code) {
  if (!ModelPlaying()) return;
  plat::PostMessage(PlayWnd, kConnectStatusMessage, static_cast<plat::WPARAM>(code), 0);
  Model->NotifyStatus(code);
}

void TConnectionThread::SetConnectTimeout(int32_t milliseconds) {
  if (milliseconds == connect_timeout_) return;
  connect_timeout_ = milliseconds;
  tcp_client_->ConnectTimeout = milliseconds;
}

void TConnectionThread::SetReadTimeout(int32_t milliseconds) {
  if (milliseconds == read_timeout_) return;
  read_timeout_ = milliseconds;
  tcp_client_->SetRecvTimeout(milliseconds);
}

int32_t TConnectionThread::CyclePauseStepsFromEnvironment() {
  const char* text = std::getenv("QUVI_RECONNECT_PAUSE_MS");
  if (text == nullptr || *text == '\0') return kCyclePauseSteps;
  char* end = nullptr;
  errno = 0;
  const long ms = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || ms < 0 || ms > 60000) return kCyclePauseSteps;
  return static_cast<int32_t>((ms + kCyclePauseStepMs - 1) / kCyclePauseStepMs);
}

bool TConnectionThread::ModelPlaying() const {
  return Model != nullptr && Model->Playing();
}

bool TConnectionThread::PlayerActive() const {
  return Player == nullptr || Player->Active;
}

// ---- Cycles ----

void TConnectionThread::Execute() {
  // Named so that profiles and the process's thread list tell the receiving stage apart.
  pthread_setname_np(pthread_self(), "view-recv");
  while (!Terminated()) {
    bool end = false;
    RunLogged([&] { end = RunCycle(); });
    if (end) break;
    // The disconnect step's abort has woken a reader waiting then; while this thread waits for
    // its next connection the play thread waits for packages again instead of polling.
    if (ProtectedSection != nullptr) ProtectedSection->BlockingQueue.ResumeRead();
    // Also after a failed cycle, so that a step failing every time cannot make the thread spin.
    RunLogged([&] {
      if (Active) PauseBetweenCycles();
      end = !ModelPlaying();
    });
    if (end) break;
  }
}

void TConnectionThread::RunLogged(const std::function<void()>& step) {
  std::string message;
  try {
    step();
    return;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "unknown exception";
  }
  Log("Exception occur in TConnectionThread.Execute. connectThread:0x" + ObjectId() +
      ", E=" + message);
}

bool TConnectionThread::RunCycle() {
  if (!Active) {
    DisconnectStep();
    return true;
  }
  try {
    const int32_t run = ++run_count_;
    if (run > 1) RunReplayHooks();
    Log("do execute-->");
    DoExecute();
    Log("after do execute");
  } catch (...) {
    DisconnectStep();
    throw;
  }
  DisconnectStep();
  return false;
}

void TConnectionThread::RunReplayHooks() {
  try {
    if (Player != nullptr) Player->RefreshCurrentPlayTime();
    Log("refresh current play time");
    int32_t first = 0;
    int32_t second = 0;
    if (Model != nullptr) Model->CurrentPlayTime(first, second);
    communicator_->SetCurrentPlayTime(first, second);
    Log("set current play time");
    if (Player != nullptr) Player->ResetPlaySpeedRatio();
    Log("reset play speed ratio");
  } catch (const std::exception& e) {
    Log(std::string("check update play file failed, e=") + e.what());
  }
}

void TConnectionThread::DisconnectStep() {
  Log("do disconnect");
  if (ProtectedSection != nullptr) ProtectedSection->BlockingQueue.AbortRead();
  try {
    if (tcp_client_) tcp_client_->Disconnect();
  } catch (...) {
    // A connection that cannot even be closed is gone for this thread all the same.
  }
  communicator_->HeadChecked = false;
  if (OnDisConnected && Model != nullptr) OnDisConnected(*Model);
}

void TConnectionThread::PauseBetweenCycles() {
  for (int32_t step = 0; step < CyclePauseSteps; ++step) {
    if (!Active || Terminated() || !ModelPlaying()) return;
    Clock.Sleep(kCyclePauseStepMs);
  }
}

void TConnectionThread::PauseAttempt(uint32_t ms) {
  // In short slices so that a stopping view need not sit out the whole pause.
  constexpr uint32_t kSlice = 20;
  for (uint32_t slept = 0; slept < ms; slept += kSlice) {
    if (!Active || Terminated()) return;
    Clock.Sleep(kSlice);
  }
}

void TConnectionThread::DoExecute() {
  if (Terminated()) return;
  if (!ConnectWithRetries()) {
    PostStatus(kStatusConnectFailed);
    Log("connect failed");
    return;
  }
  PostStatus(kStatusConnected);
  Log("connect successed!");
  if (Terminated()) return;
  if (Model != nullptr) Model->OnConnectedHook();
  Log("set play speed");
  ReceiveLoop();
}

// ---- Connecting ----

void TConnectionThread::ConfigureClient() {
  if (!tcp_client_) tcp_client_ = std::make_unique<TKvTCPClientObj>();
  // Every connection of the view reads with ReadTimeout: the socket a reconnect creates
  // starts with the socket layer's default, so it is made here and the setting applied to it.
  tcp_client_->CreateSocket();
  if (ConnectionType == 0) {
    tcp_client_->Host = HostIP;
    tcp_client_->Port = HostPort;
  } else if (ConnectionType == 1) {
    tcp_client_->Host = StreamMediaIP;
    tcp_client_->Port = StreamMediaPort;
  }
  tcp_client_->ConnectTimeout = connect_timeout_;
  tcp_client_->SetRecvTimeout(read_timeout_);
}

bool TConnectionThread::ConnectWithRetries() {
  Log("connect timeout=" + std::to_string(connect_timeout_) +
      ", read timeout=" + std::to_string(read_timeout_));
  int32_t attempt = 0;
  // Only a finished handshake makes a connection; one left standing by a failure does not.
  bool handshake_done = false;
  try {
    while (attempt < TryTimes && !Terminated() && Active && ModelPlaying() && PlayerActive()) {
      ++attempt;
      try {
        ConfigureClient();
        if (tcp_client_->Connect()) {
          PostStatus(kStatusConnecting);
          try {
            communicator_->GetPlayRight();
            handshake_done = true;
            break;
          } catch (const std::exception& e) {
            PostStatus(kStatusReadFailed);
            Log(std::string("get play right failed! E= ") + e.what());
            tcp_client_->Disconnect();
          }
        }
        if (Terminated()) break;
        PauseAttempt(kAttemptPauseMs);
      } catch (const std::exception& e) {
        // The next attempt connects anew instead of reusing this connection.
        try {
          tcp_client_->Disconnect();
        } catch (...) {
        }
        plat::PostMessage(PlayWnd, kConnectAttemptFailedMessage, static_cast<plat::WPARAM>(attempt),
                          0);
        const std::string message = e.what();
        Log("ERROR_GET_PLAY_NET_CONNECT, Error is " + message);
        // The host application is left running: the view reports the fatal status and this
        // thread ends.
        if (IsResourceFailure(message)) SetFatalStatus(kFatalResources);
        if (Terminated()) break;
        PauseAttempt(kAttemptPauseMs);
      }
    }
  } catch (const std::exception& e) {
    SetFatalStatus(kFatalConnectFailure);
    Log(std::string("ERROR_GET_PLAY_UNKNOWN_CONNECT, Error is ") + e.what());
  } catch (...) {
    SetFatalStatus(kFatalUnknown);
    Log("ERROR_UNKNOWN! ");
  }
  const bool connected = handshake_done && tcp_client_ && tcp_client_->Connected();
  if (connected && OnConnected && Model != nullptr) OnConnected(*Model);
  return connected;
}

// ---- Receiving ----

void TConnectionThread::ReceiveLoop() {
  step_ = "receive video data-->";
  try {
    probe_packages_ = 0;
    probe_videos_ = 0;
    communicator_->ResetStatics();
    while (!Terminated()) {
      step_ = "check modal playing";
      if (!ModelPlaying()) break;
      step_ = "read one pack";
      std::unique_ptr<TAbstractPackage> package;
      try {
        package = communicator_->ReadPackage();
      } catch (const std::exception& e) {
        const std::string message = e.what();
        Log("read one pack failed! Error=" + message);
        PostStatus(kStatusReadFailed);
        if (IsResourceFailure(message)) SetFatalStatus(kFatalResources);
        break;
      }
      step_ = "check pack";
      if (!HandlePackage(std::move(package))) break;
    }
    if (!tcp_client_->Connected())
      Log("connect thread 0x" + ObjectId() + " break recv data. TCPClient.Connect = False");
    if (Terminated()) Log("connect thread 0x" + ObjectId() + " break recv data. Terminated = True");
  } catch (const std::exception& e) {
    Log(std::string("step=") + step_ + ", receive data E=" + e.what());
  } catch (...) {
    Log(std::string("step=") + step_ + ", receive data E=unknown exception");
  }
}

bool TConnectionThread::HandlePackage(std::unique_ptr<TAbstractPackage> package) {
  // The communicator's view of the current package ends with this call, whoever then owns it.
  struct TForget {
    TCommunicator& communicator;
    ~TForget() { communicator.Package = nullptr; }
  } forget{*communicator_};
  if (!package || package->FrameLength == 0) return true;

  try {
    communicator_->UpdateStatics();
  } catch (const std::exception& e) {
    Log("fCommunicator.UpdateStatics failed! ThreadId:0x" + ThreadIdText() + ", Error=" + e.what());
    return true;
  }
  step_ = "com check pack";
  try {
    communicator_->CheckPackage();
  } catch (const std::exception& e) {
    Log("ReadPackage failed! ThreadId:0x" + ThreadIdText() + ", Error=" + e.what());
    return true;
  }

  try {
    step_ = "check pack type";
    if (!communicator_->IsMediaPackage(package->PackType)) {
      Log("check package failed!Connect Thread:0x" + ObjectId() + ", PackageType=0x" +
          Hex8(package->PackType));
      return true;
    }
    ProbeVideo(*package);
    step_ = "check drop frames";
    DropFramesIfFull();
    step_ = "en queue";
    if (ProtectedSection == nullptr) throw EViewerException("no shared state");
    ProtectedSection->BlockingQueue.PutOrRaise(std::move(package));
    return true;
  } catch (const std::exception& e) {
    package.reset();
    char text[96];
    std::snprintf(text, sizeof text,
                  "CH%d Check package failed!Connect Thread:%X, Error=", ChannelNo, LogId(this));
    WriteLog(text + std::string(e.what()));
    return false;
  }
}

void TConnectionThread::ProbeVideo(const TAbstractPackage& package) {
  if (probe_packages_ >= kProbePackages) return;
  ++probe_packages_;
  if (IsVideoFrameType(package.FrameType)) {
    ++probe_videos_;
    if (probe_videos_ <= kVideoStatusPosts) {
      PostStatus(kStatusVideoArriving);
      char type[16];
      std::snprintf(type, sizeof type, "%02X", static_cast<unsigned>(package.FrameType));
      const int32_t queued =
          ProtectedSection != nullptr ? ProtectedSection->BlockingQueue.Count() : 0;
      Log("frame " + std::to_string(probe_packages_) + ", type=0x" + type +
          ", queue count=" + std::to_string(queued));
    }
  }
  if (probe_packages_ > kAudioOnlyLimit && probe_videos_ < 1)
    throw EViewerException("only audio frame");
}

void TConnectionThread::DropFramesIfFull() {
  if (ProtectedSection == nullptr || Model == nullptr || !Model->DropWhenFull()) return;
  TPackageQueue& queue = ProtectedSection->BlockingQueue;
  // A snapshot without the queue's lock: this thread is the only writer, so the queue cannot
  // fill up behind it, and a package the play thread takes meanwhile only makes room.
  if (queue.Count() < queue.Capacity()) return;
  for (;;) {
    std::unique_ptr<TAbstractPackage> dropped;
    int32_t tag = 0;
    const int32_t result = queue.Get(dropped, tag, 0);
    if (result != kQueueOk && result != kQueueInvalidItem) break;
    if (!dropped) continue;
    char text[64];
    std::snprintf(text, sizeof text, "type=0x%x, size=%d",
                  static_cast<unsigned>(dropped->FrameType), dropped->FrameLength);
    Log(std::string("drop frame-->") + text);
  }
  if (ElapsedTicksBetween(Model->LastDataTick(), Clock.TickCount()) >= kStalledMs)
    Model->FirePlayEnd();
}

// ---- Log lines ----

std::string TConnectionThread::Prefix() const {
  std::string did = "?";
  std::string mode = "?";
  std::string port = "?";
  if (Model != nullptr) {
    did = Model->DVRID();
    mode = std::to_string(Model->LinkMode());
    port = std::to_string(Model->PortNo());
  }
  return "did=" + did + ", ch=" + std::to_string(ChannelNo) + ", mode=" + mode + ", port=" + port +
         "-->";
}

void TConnectionThread::Log(const std::string& text) const {
  WriteLog(Prefix() + text);
}

std::string TConnectionThread::ObjectId() const {
  return Hex8(LogId(this));
}

std::string TConnectionThread::ThreadIdText() const {
  return Hex8(static_cast<uint32_t>(ThreadID()));
}

}  // namespace viewer
