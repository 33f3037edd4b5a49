#include "viewer/control/send_ptz_command_thread.h"

#include <algorithm>
#include <exception>

#include "common/viewer_utils.h"
#include "viewer/protocol/requests.h"
#include "viewer/viewer_log.h"

namespace viewer {

TSendPTZCommandThread::TSendPTZCommandThread(const TPtzProxyTarget& target) : target_(target) {}

TSendPTZCommandThread::~TSendPTZCommandThread() {
  Terminate();
  stopping_.Set();
  // A connect may be under way, or about to start: keep breaking it until the thread is gone.
  while (!WaitFor(20)) Client.Abort();
  Client.Disconnect();
}

void TSendPTZCommandThread::Post(int32_t command, int32_t value) {
  {
    plat::TLock hold(Lock);
    command_value_ = value;
    pending_command_ = command;
  }
  posted_.Set();
}

int32_t TSendPTZCommandThread::PendingCommand() {
  plat::TLock hold(Lock);
  return pending_command_;
}

std::vector<uint8_t> TSendPTZCommandThread::BuildRequest(const TPtzProxyTarget& target,
                                                         int32_t command, int32_t value) {
  TPtzProxyRequest request;
  request.Token = target.Token;
  request.DVRID = target.DVRID;
  request.ChannelNo = target.ChannelNo;
  request.Command = command;
  request.Value = value;
  return EncodeRequest(TRequestAddressing{}, request);
}

void TSendPTZCommandThread::Execute() {
  uint32_t pause = 0;
  while (!Terminated()) {
    if (PendingCommand() == -1) {
      plat::TEvent::WaitForAny({&posted_, &stopping_}, kIdlePause);
      continue;
    }
    if (!EnsureConnected(pause)) continue;
    SendPending();
  }
  Client.Disconnect();
}

bool TSendPTZCommandThread::EnsureConnected(uint32_t& pause) {
  if (!Client.Connected()) {
    std::string host = target_.ProxyHost;
    ResolveHostAddress(host);
    Client.Host = host;
    Client.Port = target_.ProxyPort;
    Client.ConnectTimeout = kConnectTimeout;
    try {
      Client.Connect();
    } catch (...) {
      // Counted as a failed connect below.
    }
  }
  if (Client.Connected()) {
    pause = 0;
    return true;
  }
  ++failed_connects_;
  // Once per outage.
  if (pause == 0)
    WriteLog("ptz proxy " + target_.ProxyHost + ":" + std::to_string(target_.ProxyPort) +
             " not reached, trying again");
  // Never back to back: a proxy that refuses at once would otherwise be hammered.
  pause = pause == 0 ? kFirstRetryPause : std::min(pause * 2, kLastRetryPause);
  stopping_.WaitFor(pause);
  return false;
}

void TSendPTZCommandThread::SendPending() {
  int32_t command = -1;
  int32_t value = 0;
  {
    // Taken and cleared together: a command posted while this one travels is kept.
    plat::TLock hold(Lock);
    command = pending_command_;
    value = command_value_;
    pending_command_ = -1;
  }
  try {
    const std::vector<uint8_t> request = BuildRequest(target_, command, value);
    Client.SendBuffer(request.data(), request.size());
    WriteLog("send ptz command to proxy, cmd=" + std::to_string(command) +
             ", value=" + std::to_string(value));
  } catch (const std::exception& e) {
    WriteLog(std::string("send ptz command to proxy failed, e=") + e.what());
  }
  Client.Disconnect();
}

}  // namespace viewer
