// TConnectionThread: the connection thread of one started view. It connects to the stream
// server or relay (TryTimes attempts per cycle), runs the open handshake, reads play packages
// into the view's queue, empties a full queue, posts its progress as status codes to the play
// window and the model's status listener, and after a broken connection pauses and starts a
// new cycle for as long as the view plays.
// Created suspended by the play model, which fills in the fields and resumes it; on stop the
// window thread calls RequestStop, unblocks the queue and waits for the thread before
// destroying it. Owns the stream connection (TCPClient) and the communicator; the model, the
// shared state and the player are not owned.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/messages.h"
#include "platform/thread.h"
#include "viewer/pipeline/pipeline_clock.h"

namespace viewer {

class TAbstractPackage;
class TCommunicator;
class TKvTCPClientObj;
class TPipelineModel;
class TPlayer;
class TProtectedSection;

// Status messages to the play window: wParam = the status code, lParam 0.
constexpr plat::UINT kConnectStatusMessage = 0x04CD;
// Posted when a connect attempt raised: wParam = the attempt's number (from 1), lParam 0.
constexpr plat::UINT kConnectAttemptFailedMessage = 0x052D;

// Codes posted with kConnectStatusMessage.
constexpr int32_t kStatusConnecting = -1;     // a TCP connection stands, handshake begins
constexpr int32_t kStatusConnectFailed = -2;  // every attempt of a cycle failed
constexpr int32_t kStatusConnected = -5;      // handshake done, waiting for pictures
constexpr int32_t kStatusVideoArriving = -6;  // one of a connection's first three videos
constexpr int32_t kStatusReadFailed = -7;     // handshake or package read failed
// Fatal codes handed to the model's SetStatus; each ends the thread.
constexpr int32_t kFatalResources = -2;        // no thread could be created, or no memory
constexpr int32_t kFatalConnectFailure = 104;  // unexpected failure around the attempts
constexpr int32_t kFatalUnknown = 9999;        // something that is no exception object at all

class TConnectionThread : public plat::TThread {
 public:
  // Pause between connect attempts of one cycle.
  static constexpr uint32_t kAttemptPauseMs = 500;
  // Pause between cycles: at most kCyclePauseSteps steps of kCyclePauseStepMs.
  static constexpr uint32_t kCyclePauseStepMs = 100;
  static constexpr int32_t kCyclePauseSteps = 50;
  // Packages of a connection the video probe looks at, and after how many of them a
  // connection without any video is given up.
  static constexpr int32_t kProbePackages = 60;
  static constexpr int32_t kAudioOnlyLimit = 50;
  // -6 is posted for this many video packages per connection.
  static constexpr int32_t kVideoStatusPosts = 3;
  // A full queue while the play thread fed nothing for this long ends the view's play.
  static constexpr int64_t kStalledMs = 10000;

  using TModelHandler = std::function<void(TPipelineModel& model)>;

  // Takes the communicator and creates the stream connection; the thread stays suspended.
  explicit TConnectionThread(std::unique_ptr<TCommunicator> communicator);
  // If the owner has not stopped the thread, stops it (closing the queue as well) and waits
  // for it; then frees the communicator and the stream connection, logging each step.
  ~TConnectionThread() override;

  // Window thread: clears Active, terminates the thread and disconnects the stream
  // connection, which breaks a read in progress. The owner then unblocks the queue and
  // waits for the thread.
  void RequestStop();

  // Hands code to the model's SetStatus under the shared state's lock, then terminates the
  // thread.
  void SetFatalStatus(int32_t code);
  // While the model plays: posts kConnectStatusMessage to PlayWnd and calls the model's
  // status listener on the calling thread.
  void PostStatus(int32_t code);

  // Set on the thread and on the stream connection at once, when the value changes.
  void SetConnectTimeout(int32_t milliseconds);
  void SetReadTimeout(int32_t milliseconds);
  int32_t ConnectTimeout() const { return connect_timeout_; }
  int32_t ReadTimeout() const { return read_timeout_; }

  TKvTCPClientObj& TCPClient() { return *tcp_client_; }
  TCommunicator& Communicator() { return *communicator_; }
  int32_t RunCount() const { return run_count_.load(); }

  // ---- Set by the model before the thread runs ----
  TPipelineModel* Model = nullptr;                // not owned
  TProtectedSection* ProtectedSection = nullptr;  // not owned
  // The view's player (owned by the play thread, which outlives this thread): connect
  // attempts stop when it is no longer Active, and a reconnection runs its replay hooks.
  // Null: no player to consult.
  TPlayer* Player = nullptr;
  uint8_t ConnectionType = 0;  // 0 direct to HostIP, 1 through the stream-media relay
  std::string HostIP;          // already resolved to a dotted quad
  int32_t HostPort = 0;
  std::string StreamMediaIP;  // used as given
  int32_t StreamMediaPort = 0;
  int32_t TryTimes = 0;
  int32_t ChannelNo = 0;
  plat::HWND PlayWnd = 0;
  TModelHandler OnConnected;     // after a cycle's connection and handshake succeeded
  TModelHandler OnDisConnected;  // at every disconnect step

  // Steps of kCyclePauseStepMs in the pause between cycles; tests shorten it.
  int32_t CyclePauseSteps = kCyclePauseSteps;
  // The pause between cycles set in the environment as QUVI_RECONNECT_PAUSE_MS (0 .. 60000,
  // rounded up to whole steps), so a soak of many faults need not sit out 5 s after each;
  // kCyclePauseSteps when it is unset or no such number. The model applies it at each start.
  static int32_t CyclePauseStepsFromEnvironment();
  // Pauses and the stall test run on it.
  TPipelineClock Clock;

  // Cleared by the model when the view stops; any thread reads it.
  std::atomic<bool> Active{true};

 protected:
  void Execute() override;

 private:
  // One pass of Execute's loop: a cycle (unless Active is false) and the disconnect step.
  // True when the thread is to end.
  bool RunCycle();
  // Runs a step of Execute's loop; a failure is logged and the loop goes on.
  void RunLogged(const std::function<void()>& step);
  void RunReplayHooks();
  void DoExecute();
  bool ConnectWithRetries();
  // Points the stream connection at the target of ConnectionType with the thread's time-outs.
  void ConfigureClient();
  void ReceiveLoop();
  // Examines one package and queues it; false ends the connection's loop.
  bool HandlePackage(std::unique_ptr<TAbstractPackage> package);
  // Counts the package into the video probe; raises when the stream carries no video.
  void ProbeVideo(const TAbstractPackage& package);
  void DropFramesIfFull();
  void DisconnectStep();
  void PauseBetweenCycles();
  // Sleeps up to ms, returning early once the thread is to stop.
  void PauseAttempt(uint32_t ms);
  bool PlayerActive() const;
  bool ModelPlaying() const;

  // "did=.., ch=.., mode=.., port=..-->" followed by text.
  void Log(const std::string& text) const;
  std::string Prefix() const;
  // This object's and the running thread's identifiers for log lines.
  std::string ObjectId() const;
  std::string ThreadIdText() const;

  std::unique_ptr<TKvTCPClientObj> tcp_client_;
  std::unique_ptr<TCommunicator> communicator_;
  int32_t connect_timeout_ = 0;
  int32_t read_timeout_ = 0;
  std::atomic<int32_t> run_count_{0};
  // Video probe of the current connection.
  int32_t probe_packages_ = 0;
  int32_t probe_videos_ = 0;
  // Receive step in progress, for the log line of an unexpected failure.
  const char* step_ = "";
};

}  // namespace viewer
