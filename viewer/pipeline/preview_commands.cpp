// The commands of a live view that travel on the model's command connection rather than on
// the stream: picture settings, PTZ (to the server or handed to the PTZ proxy) and the
// link-mode change. Each request is sent once on a connection opened for it; no answer is read.
#include <exception>

#include "viewer/pipeline/play_model.h"
#include "viewer/player/ostra_nv_preview_player.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/socket_client.h"

namespace viewer {

namespace {

// PTZ commands whose proxy parameter is the preset index rather than the enable value.
bool IsPresetCommand(int32_t command) {
  return command >= 20 && command <= 22;
}

// PTZ values travel as one byte; anything else (negative values included) is refused.
bool FitsInByte(int32_t value) {
  return static_cast<uint32_t>(value) <= 0xFF;
}

void DisconnectQuietly(TKvTCPClientObj& connection) {
  try {
    if (connection.Connected()) connection.Disconnect();
  } catch (...) {
  }
}

}  // namespace

// ---- TAbstractPreviewModel ----

void TAbstractPreviewModel::SetVideoParam(std::atomic<int32_t>& field, int32_t v) {
  if (v == field) return;
  if (v < kMinVideoParam || v > kMaxVideoParam) {
    SetStatus(kStatusInvalidParameter);
    return;
  }
  field = v;
  if (Playing()) RefreshVideoParams();
}

void TAbstractPreviewModel::StoreVideoParams(int32_t brightness, int32_t contrast,
                                             int32_t saturation, int32_t hue) {
  brightness_ = brightness;
  contrast_ = contrast;
  saturation_ = saturation;
  hue_ = hue;
}

void TAbstractPreviewModel::ConsumePtzCommand() {
  ptz_command_id_ = -1;
  ptz_control_enabled_ = -1;
}

void TAbstractPreviewModel::HandPtzToProxy() {
  if (PTZProxyIP().empty() || PTZProxyPort() == 0) return;
  if (!ptz_proxy_) {
    if (!ptz_proxy_factory_) {
      Log("no ptz proxy sender, command " + std::to_string(ptz_command_id_) + " not sent");
      return;
    }
    TPtzProxyTarget target;
    target.ProxyHost = PTZProxyIP();
    target.ProxyPort = PTZProxyPort();
    target.ChannelNo = ChannelNo();
    target.Token = Token();
    target.DVRID = DVRIDValue();
    ptz_proxy_ = ptz_proxy_factory_(target);
    if (!ptz_proxy_) return;
  }
  const int32_t command = ptz_command_id_;
  ptz_proxy_->Post(
      command, IsPresetCommand(command) ? ptz_preset_index_.load() : ptz_control_enabled_.load());
}

void TAbstractPreviewModel::ReleasePtzProxy() {
  ptz_proxy_.reset();
}

// ---- TOstraNvPreviewModel ----

void TOstraNvPreviewModel::InitVideoParams() {
  StoreVideoParams(70, 75, 85, 127);
}

TRequestAddressing TOstraNvPreviewModel::CommandAddressing() {
  return TRequestAddressing{ConnectionType(), ClientNetID(), HostIP()};
}

void TOstraNvPreviewModel::SendCommandOnce(const std::vector<uint8_t>& request) {
  TKvTCPClientObj& connection = CommandConnection();
  ConfigureCommandConnection(*this);
  connection.Connect();
  connection.Send(request.data(), request.size());
}

int32_t TOstraNvPreviewModel::RefreshVideoParams() {
  int32_t result = kCommandSent;
  try {
    if (!Playing()) throw ENoPlayingBeforeVideoParaRefresh();
    TVideoParamsRequest request;
    request.Token = Token();
    request.ChannelNo = ChannelNo();
    request.Brightness = brightness_;
    request.Contrast = contrast_;
    request.Saturation = saturation_;
    request.Hue = hue_;
    std::vector<uint8_t> bytes;
    try {
      bytes = EncodeRequest(CommandAddressing(), request);
    } catch (const std::exception& e) {
      result = kCommandRequestNotBuilt;
      Log(std::string("write video params request failed, e=") + e.what());
    }
    if (result == kCommandSent) SendCommandOnce(bytes);
  } catch (const ENoPlayingBeforeVideoParaRefresh&) {
    result = kCommandVideoParamsNotPlaying;
  } catch (const std::exception& e) {
    result = kCommandFailed;
    Log(std::string("refresh video params failed, e=") + e.what());
  } catch (...) {
    result = kCommandFailed;
  }
  DisconnectQuietly(CommandConnection());
  SetStatus(result);
  return result;
}

int32_t TOstraNvPreviewModel::SendPTZControlCommand() {
  switch (PTZConnectionType()) {
    case 0:
    case 1:
      return SendPtzToServer();
    case 2:
      HandPtzToProxy();
      return kCommandSent;
    default:
      return kCommandSent;
  }
}

int32_t TOstraNvPreviewModel::SendPtzToServer() {
  int32_t result = kCommandSent;
  try {
    const int32_t command = PTZCommandID();
    const int32_t enabled = PTZControlEnabled();
    if (!FitsInByte(command)) throw EPTZControlCommand::InvalidCommand(command);
    if (!FitsInByte(enabled)) throw EPTZControlCommand::InvalidEnabled(enabled);
    if (!Playing()) throw ENoPlayingBeforePTZControl();
    TPtzSpeedRequest request;
    request.Token = Token();
    request.DVRID = DVRID();
    request.ChannelNo = ChannelNo();
    request.Command = command;
    request.Enabled = enabled;
    request.Speed = PTZSpeed();
    // Without a speed the shorter request goes, which servers without speed control know.
    const std::vector<uint8_t> bytes =
        request.Speed >= 0
            ? EncodeRequest(CommandAddressing(), request)
            : EncodeRequest(CommandAddressing(), static_cast<const TPtzRequest&>(request));
    SendCommandOnce(bytes);
  } catch (const EPTZControlCommand& e) {
    result = kCommandInvalidPtz;
    Log("send ptz command failed, e=" + e.Message());
  } catch (const ENoPlayingBeforePTZControl& e) {
    result = kCommandPtzNotPlaying;
    Log("send ptz command failed, e=" + e.Message());
  } catch (const std::exception& e) {
    result = kCommandFailed;
    Log(std::string("send ptz command failed, e=") + e.what());
  } catch (...) {
    result = kCommandFailed;
  }
  DisconnectQuietly(CommandConnection());
  ConsumePtzCommand();
  SetStatus(result);
  return result;
}

void TOstraNvPreviewModel::ChangeLinkMode(int32_t previous, int32_t mode) {
  if (auto* player = dynamic_cast<TOstraNvPreviewPlayer*>(Player())) player->SetLinkMode(mode);
  TKvTCPClientObj& connection = CommandConnection();
  try {
    TLinkModeRequest request;
    request.Token = Token();
    request.DVRID = DVRID();
    request.ChannelNo = ChannelNo();
    request.PreviousLinkMode = previous;
    request.NewLinkMode = mode;
    const std::vector<uint8_t> bytes = EncodeRequest(CommandAddressing(), request);
    if (!connection.Connected()) {
      ConfigureCommandConnection(*this);
      connection.Connect();
    }
    if (connection.Connected()) connection.Send(bytes.data(), bytes.size());
  } catch (...) {
    // The new mode is kept whatever became of the request.
  }
  DisconnectQuietly(connection);
  TAbstractPlayModel::ChangeLinkMode(previous, mode);
}

}  // namespace viewer
