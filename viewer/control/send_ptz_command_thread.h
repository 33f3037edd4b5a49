// TSendPTZCommandThread: sends a preview model's PTZ commands through the PTZ proxy. The model
// posts on the window thread (a command still pending is replaced by the newer one); the
// thread connects, sends the 160-byte proxy request, disconnects and reads no answer. While the
// proxy cannot be reached it keeps trying, pausing a little longer after each failed connect
// (50 ms doubling up to 1 s), so an absent proxy costs almost no processor time and a command
// still gets there within about a second of the proxy's return.
// Threads: Post on the window thread, the sending on the thread itself; destroying the object
// (the model does it on the window thread) terminates the thread, breaks a pending connect and
// waits for the thread. Owns its client connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "platform/thread.h"
#include "viewer/pipeline/ptz_proxy_link.h"
#include "viewer/protocol/socket_client.h"

namespace viewer {

class TSendPTZCommandThread : public plat::TThread, public TPtzProxyLink {
 public:
  // Connect time-out of every attempt.
  static constexpr int32_t kConnectTimeout = 20000;
  // Pause after the first failed connect, doubled after each further one up to the last.
  static constexpr uint32_t kFirstRetryPause = 50;
  static constexpr uint32_t kLastRetryPause = 1000;
  // Wait between looks at the pending command while there is none.
  static constexpr uint32_t kIdlePause = 10;

  // Takes the proxy address and the identity once; the thread is created suspended.
  explicit TSendPTZCommandThread(const TPtzProxyTarget& target);
  // Terminates, breaks a pending connect and waits for the thread.
  ~TSendPTZCommandThread() override;

  // Window thread: the command and its value become the pending command.
  void Post(int32_t command, int32_t value) override;

  // -1 when nothing is pending.
  int32_t PendingCommand();
  // Failed connects so far.
  uint32_t FailedConnects() const { return failed_connects_.load(); }

  // The request for a command with its value (low bytes of both travel).
  static std::vector<uint8_t> BuildRequest(const TPtzProxyTarget& target, int32_t command,
                                           int32_t value);

 protected:
  void Execute() override;

 private:
  // Connects when not connected; false (after the pause) when the proxy cannot be reached.
  bool EnsureConnected(uint32_t& pause);
  void SendPending();

  const TPtzProxyTarget target_;
  plat::TCriticalSection Lock;
  TKvTCPClientObj Client;
  int32_t pending_command_ = -1;  // under Lock
  int32_t command_value_ = 0;     // under Lock
  plat::TEvent posted_{false, false};
  plat::TEvent stopping_{true, false};
  std::atomic<uint32_t> failed_connects_{0};
};

}  // namespace viewer
