#include "viewer/protocol/adapter.h"

#include <exception>

#include "common/viewer_utils.h"
#include "platform/last_error.h"
#include "viewer/player/player_binding.h"
#include "viewer/protocol/adapter_answers.h"
#include "viewer/protocol/adapter_model.h"
#include "viewer/protocol/requests.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/viewer_log.h"

namespace viewer {

void ConfigureCommandConnection(TAdapterModel& model) {
  TKvTCPClientObj& connection = model.CommandConnection();
  const bool direct = model.ConnectionType() != ctByStreamMedia;
  std::string host = direct ? model.HostIP() : model.StreamMediaIP();
  ResolveHostAddress(host);  // an unresolvable name stays and fails the connect
  connection.Host = host;
  connection.Port = direct ? model.HostPort() : model.StreamMediaPort();
  connection.ConnectTimeout = model.ConnectTimeout();
  connection.SetRecvTimeout(model.ReadTimeout());
}

namespace {

// Closes the command connection when an exchange ends, however it ends.
class TDisconnectOnExit {
 public:
  explicit TDisconnectOnExit(TKvTCPClientObj& connection) : connection_(connection) {}
  ~TDisconnectOnExit() {
    try {
      connection_.Disconnect();
    } catch (...) {
    }
  }
  TDisconnectOnExit(const TDisconnectOnExit&) = delete;
  TDisconnectOnExit& operator=(const TDisconnectOnExit&) = delete;

 private:
  TKvTCPClientObj& connection_;
};

void Fail(const char* operation, uint32_t code) {
  WriteLogF("%s failed, e=%u", operation, code);
  plat::SetLastError(code);
}

void FailWithException(const char* operation, uint32_t code, const std::exception& e) {
  WriteLogF("%s failed, e=%u, %s", operation, code, e.what());
  plat::SetLastError(code);
}

// Player API results that mean a boolean are judged by their low byte.
bool LowByte(int32_t result) {
  return (result & 0xFF) != 0;
}

// Snapshot kind of the view: its folder level and file-name extension follow it.
int CaptureKind(TPlayType type) {
  switch (type) {
    case ptPreview:
      return 2;
    case ptReplay:
      return 3;
  }
  return -1;
}

bool IsBlank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

void TOstraNvAdapter::DropCommandConnection() {
  TKvTCPClientObj& connection = Model->CommandConnection();
  if (!connection.Connected()) return;
  try {
    connection.Disconnect();
  } catch (...) {
  }
}

void TOstraNvAdapter::ConnectCommandConnection() {
  ConfigureCommandConnection(*Model);
  Model->CommandConnection().Connect();
}

uint32_t TOstraNvAdapter::Exchange(const std::vector<uint8_t>& request,
                                   std::vector<uint8_t>& answer) {
  TKvTCPClientObj& connection = Model->CommandConnection();
  // Nothing can answer a request that did not leave (e.g. the connect failed).
  if (!connection.SendBuffer(request.data(), request.size())) return kAdapterReadFailed;
  return ReadAnswer(connection, answer);
}

void TOstraNvAdapter::GetClientNetID(std::string& result) {
  result.clear();
  WriteLog("get client net id-->");
  try {
    DropCommandConnection();
    ConnectCommandConnection();
  } catch (const std::exception& e) {
    FailWithException("get client net id", kAdapterPrepareFailed, e);
    return;
  }
  TDisconnectOnExit disconnect(Model->CommandConnection());
  try {
    const TRequestAddressing addressing{Model->ConnectionType(), Model->ClientNetID(),
                                        Model->StreamMediaID()};
    const std::vector<uint8_t> request =
        EncodeRequest(addressing, TClientIdentityRequest{GetLocalIPAddress()});
    std::vector<uint8_t> message;
    if (const uint32_t error = Exchange(request, message); error != 0) {
      Fail("get client net id", error);
      return;
    }
    const TClientIdentityAnswer answer = ParseClientIdentityAnswer(message.data(), message.size());
    if (answer.Error != 0) {
      Fail("get client net id", answer.Error);
      return;
    }
    result = answer.Address;
  } catch (const std::exception& e) {
    FailWithException("get client net id", kAdapterUnknownStatus, e);
    return;
  }
  WriteLog("get client net id<--" + result);
}

bool TOstraNvAdapter::Login() {
  WriteLog("login-->" + Model->LoginUser());
  try {
    DropCommandConnection();
    if (Model->ConnectionType() == ctByStreamMedia && Model->ClientNetID().empty()) {
      std::string net_id;
      GetClientNetID(net_id);
      Model->SetClientNetID(net_id);
    }
    ConnectCommandConnection();
  } catch (const std::exception& e) {
    FailWithException("login", kAdapterPrepareFailed, e);
    return false;
  }
  TDisconnectOnExit disconnect(Model->CommandConnection());
  try {
    const TRequestAddressing addressing{Model->ConnectionType(), Model->ClientNetID(),
                                        Model->HostIP()};
    const std::vector<uint8_t> request =
        EncodeRequest(addressing, TLoginRequest{Model->LoginUser(), Model->Password()});
    std::vector<uint8_t> message;
    if (const uint32_t error = Exchange(request, message); error != 0) {
      Fail("login", error);
      return false;
    }
    TLoginAnswer answer = ParseLoginAnswer(message.data(), message.size());
    if (answer.Error != 0) {
      Fail("login", answer.Error);
      return false;
    }
    Model->SetToken(answer.Token);
    Model->SetUserName(answer.UserName);
    Model->SetLoggedIn(true);
  } catch (const std::exception& e) {
    FailWithException("login", kAdapterUnknownStatus, e);
    return false;
  }
  WriteLog("login<--" + Model->UserName());
  return true;
}

bool TOstraNvAdapter::Logout() {
  if (!Model->LoggedIn()) return true;
  WriteLog("logout-->");
  TKvTCPClientObj& connection = Model->CommandConnection();
  TDisconnectOnExit disconnect(connection);
  try {
    if (!connection.Connected()) ConnectCommandConnection();
  } catch (const std::exception& e) {
    FailWithException("logout", kAdapterPrepareFailed, e);
    return false;
  }
  try {
    const TRequestAddressing addressing{Model->ConnectionType(), Model->ClientNetID(),
                                        Model->HostIP()};
    const std::vector<uint8_t> request = EncodeRequest(addressing, TLogoutRequest{Model->Token()});
    // The server does not answer a logout; a request that did not leave changes nothing here.
    connection.SendBuffer(request.data(), request.size());
    // The logged-in flag stays set, so a later logout sends the cleared token.
    Model->SetToken(std::string());
    Model->SetUserName(std::string());
  } catch (const std::exception& e) {
    FailWithException("logout", kAdapterUnknownStatus, e);
    return false;
  }
  WriteLog("logout<--");
  return true;
}

bool TOstraNvAdapter::CaptureBMP() {
  std::string file_name;
  return CaptureBMPToFile(file_name);
}

bool TOstraNvAdapter::CaptureBMPToFile(std::string& file_name) {
  try {
    if (!Model->Playing()) return false;
    if (file_name.empty()) {
      file_name = BuildCapturePath(Model->ChannelNo() & 0xFF, CaptureKind(Model->PlayType()),
                                   Model->CaptureBMPPath(), true);
    }
    if (IsBlank(file_name)) return false;
    return LowByte(CaptureImageToFile(Model->PortNo(), file_name));
  } catch (const std::exception& e) {
    WriteLogF("capture bmp failed, %s", e.what());
    return false;
  }
}

bool TOstraNvAdapter::OpenSound(int32_t port) {
  return LowByte(proxy::Zr_Play_OpenSound(port));
}

bool TOstraNvAdapter::StopSound(int32_t port) {
  return LowByte(proxy::Zr_Play_StopSound(port));
}

int32_t TOstraNvAdapter::GetVolume(int32_t port) {
  return proxy::Zr_Play_GetVolume(port);
}

bool TOstraNvAdapter::SetVolume(int32_t port, uint16_t volume) {
  return LowByte(proxy::Zr_Play_SetVolume(port, volume));
}

bool TOstraNvAdapter::ThrowBFrame(int32_t port, int32_t level) {
  return LowByte(proxy::Zr_Play_ThrowBFrame(port, level));
}

bool TOstraNvAdapter::PlayInWindow(int32_t port, plat::HWND window) {
  Model->SetPlayWnd(window);
  // The picture moves even when the port was not playing: Play runs whatever Stop answered.
  const bool stopped = LowByte(proxy::Zr_Play_Stop(port));
  const bool playing = LowByte(proxy::Zr_Play_Play(port, window));
  if (stopped && playing && Model->AudioPlaying()) Model->OpenSound();
  return stopped && playing;
}

}  // namespace viewer
