#include "viewer/control/play_window.h"

#include <cstdio>
#include <exception>

#include "common/viewer_utils.h"
#include "platform/dialogs.h"
#include "viewer/protocol/adapter.h"
#include "viewer/viewer_log.h"

namespace viewer {

namespace {

// Kind number of the media file name the save-as dialog is preset with.
constexpr int kSaveAsMediaKind = 5;
constexpr const char* kSaveAsFilter = "Video Files|*.*";

std::string Hex8(uintptr_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<uint32_t>(value));
  return text;
}

std::string OrDefault(const std::string& text, const char* fallback) {
  return text.empty() ? fallback : text;
}

}  // namespace

TAbstractPlayWindow::TAbstractPlayWindow(plat::HWND parent)
    : plat::TCustomPanel(parent), center_client_(std::make_unique<TEmbeddedAuthorizationServer>()) {
  SetBevelOuter(false);
  SetColor(0);
  // The captions tell the connection status on the black window: white, so they show.
  SetFontColor(plat::RGB(0xFF, 0xFF, 0xFF));
}

TAbstractPlayWindow::~TAbstractPlayWindow() {
  try {
    play_model_.reset();
  } catch (...) {
    // The window goes regardless; the model logged what failed.
  }
}

void TAbstractPlayWindow::SetCenterAddr(const std::string& value) {
  center_addr_ = value;
  center_client_->SetCenterAddr(value);
}

void TAbstractPlayWindow::SetCenterPort(int32_t value) {
  center_port_ = value;
  center_client_->SetCenterPort(value);
}

void TAbstractPlayWindow::SetCenterServicePath(const std::string& value) {
  center_service_path_ = value;
  center_client_->SetCenterServicePath(value);
}

void TAbstractPlayWindow::SetCenterConnectTimeout(int32_t value) {
  center_connect_timeout_ = value;
  center_client_->SetCenterConnectTimeout(value);
}

void TAbstractPlayWindow::InitPlayModel() {
  play_model_ = CreatePlayModel();
  // The player's stop requests and the full-screen restore address this window.
  play_model_->SetNotifyWnd(Handle());
}

void TAbstractPlayWindow::Log(const std::string& text) {
  WriteLog(text);
}

std::string TAbstractPlayWindow::LogPrefix() {
  return play_model_->LogPrefix();
}

// ---- Start, stop, record ----

void TAbstractPlayWindow::StartPlay() {
  Log("start play-->");
  plat::HWND window = PlayWnd();
  if (window == 0 && Parent() != 0) window = Handle();
  play_model_->SetPlayWnd(window);
  Log("play wnd = 0x" + Hex8(static_cast<uintptr_t>(window)));
  play_model_->StartPlay();
}

void TAbstractPlayWindow::StopPlay() {
  Log("ch" + std::to_string(ChannelNo()) + " stop play->");
  play_model_->StopPlay();
  SetCaption("");
  Log("ch" + std::to_string(ChannelNo()) + " stop play<-");
}

std::string TAbstractPlayWindow::RecordFileForModel() const {
  std::string name = record_file_;
  if (!name.empty() && name.back() == '\\') name.back() = '/';
  return name;
}

void TAbstractPlayWindow::StartRecord() {
  play_model_->StartRecord(RecordFileForModel());
}

void TAbstractPlayWindow::StopRecord() {
  play_model_->StopRecord();
}

// ---- Operations forwarded to the model ----

bool TAbstractPlayWindow::CaptureBMP() {
  return play_model_->CaptureBMP();
}
bool TAbstractPlayWindow::CaptureBMPResultFilename(std::string& file_name) {
  return play_model_->CaptureBMPToFile(file_name);
}
bool TAbstractPlayWindow::Login() {
  return play_model_->Login();
}
bool TAbstractPlayWindow::Logout() {
  return play_model_->Logout();
}
void TAbstractPlayWindow::GetClientNetID(std::string& result) {
  play_model_->GetClientNetID(result);
}
int32_t TAbstractPlayWindow::GetLastError() {
  return play_model_->Status();
}
bool TAbstractPlayWindow::AudioOpen() {
  return play_model_->OpenSound();
}
bool TAbstractPlayWindow::AudioClose() {
  return play_model_->CloseSound();
}
void TAbstractPlayWindow::ChangeLinkMode(int32_t previous, int32_t mode) {
  play_model_->ChangeLinkMode(previous, mode);
}
void TAbstractPlayWindow::SetWatermark(const std::string& text) {
  Log("set watermark " + text);
  play_model_->SetWatermark(text);
}

void TAbstractPlayWindow::SaveFileAs() {
  const std::string preset = BuildMediaFileName((ChannelNo() + 1) % 256, kSaveAsMediaKind);
  plat::TSaveDialogRequest request{preset, kSaveAsFilter, "", ""};
  const bool chosen = plat::GetSaveFileName(Handle(), request);
  if (chosen && request.file_name != preset) {
    save_as_file_name_ = request.file_name;
  } else {
    save_as_file_name_.clear();
  }
}

// ---- Full screen ----

void TAbstractPlayWindow::ShowFullScreen() {
  play_model_->SetFullScreen(true);
}

void TAbstractPlayWindow::ExitFullScreen() {
  if (play_model_->FullScreen()) LeaveFullScreen();
}

void TAbstractPlayWindow::SetFullScreen(bool value) {
  if (value) {
    play_model_->SetFullScreen(true);
  } else if (play_model_->FullScreen()) {
    LeaveFullScreen();
  }
}

void TAbstractPlayWindow::LeaveFullScreen() {
  if (play_model_->FullScreen()) {
    // Clearing the flag makes the model put a running view's picture back into its play
    // window and reopen its sound.
    play_model_->SetFullScreen(false);
    return;
  }
  // Asked to leave without the flag (the message): the restore is done here.
  if (!play_model_->Playing()) return;
  const bool restored =
      play_model_->Adapter().PlayInWindow(play_model_->PortNo(), play_model_->PlayWnd());
  if (!restored) {
    Log(LogPrefix() + kRestorePlayFailedText);
    plat::MessageBox(Handle(), kRestorePlayFailedText, "", plat::MB_OK);
  }
  // There is no task bar to show again here.
}

// ---- Messages and painting ----

intptr_t TAbstractPlayWindow::WndProc(plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam) {
  switch (message) {
    case kStopPlayMessage:
      Log(LogPrefix() + "on stop play msg");
      // The model's stop, not StopPlay: the caption stays.
      play_model_->StopPlay();
      Repaint();
      return 0;
    case kConnectStatusMessage:
      OnConnectStatus(static_cast<int32_t>(wParam));
      return 0;
    case kStopViewMessage:
      Log("ch" + std::to_string(ChannelNo()) + " recv stop play msg");
      StopPlay();
      return 0;
    case kRestartViewMessage:
      Log("on restart msg");
      StopPlay();
      StartPlay();
      return 0;
    case kReplayOverMessage:
      Log("on replay over msg");
      StopPlay();
      return 0;
    case kLeaveFullScreenMessage:
      LeaveFullScreen();
      return 0;
    default:
      return plat::TCustomPanel::WndProc(message, wParam, lParam);
  }
}

std::string TAbstractPlayWindow::StatusText(int32_t code) {
  switch (code) {
    case kStatusReadFailed:
      return TipPlayFailedMsg();
    case kStatusConnected:
      return TipWaitPlayMsg();
    case kStatusConnectFailed:
      return TipConnectFailedMsg();
    case kStatusConnecting:
      return TipConnectingMsg();
    default:
      return "";
  }
}

void TAbstractPlayWindow::OnConnectStatus(int32_t code) {
  Log(LogPrefix() + "recv connect info msg, wparam=" + std::to_string(code));
  const std::string text = StatusText(code);
  SetCaption(text);
  Log(LogPrefix() + "caption=" + text);
}

void TAbstractPlayWindow::Paint(plat::HDC dc, const plat::RECT& client) {
  if (no_refresh_ || play_model_->IsPlayingStatus()) return;
  plat::TCustomPanel::Paint(dc, client);
}

intptr_t TAbstractPlayWindow::EraseBackground(plat::HDC) {
  return no_refresh_ ? 1 : 0;
}

// ---- Window properties ----

void TAbstractPlayWindow::SetBackgroundColor(plat::COLORREF value) {
  background_color_ = value;
  if (!play_model_->Playing()) SetColor(value);
}

void TAbstractPlayWindow::SetIsPALFormat(bool value) {
  is_pal_format_ = value;
  PALFormatChanged();
}

plat::HWND TAbstractPlayWindow::PlayWnd() {
  if (play_wnd_ == 0 && Parent() != 0) play_wnd_ = Handle();
  return play_wnd_;
}

plat::HWND TAbstractPlayWindow::PlayHandle() const {
  return Parent() != 0 ? Handle() : 0;
}

std::string TAbstractPlayWindow::TipConnectingMsg() const {
  return OrDefault(tip_connecting_, kDefaultTipConnecting);
}
std::string TAbstractPlayWindow::TipConnectFailedMsg() const {
  return OrDefault(tip_connect_failed_, kDefaultTipConnectFailed);
}
std::string TAbstractPlayWindow::TipPlayFailedMsg() const {
  return OrDefault(tip_play_failed_, kDefaultTipPlayFailed);
}
std::string TAbstractPlayWindow::TipWaitPlayMsg() const {
  return OrDefault(tip_wait_play_, kDefaultTipWaitPlay);
}

void TAbstractPlayWindow::SetOnPlayEndEvent(TPlayEndEvent handler) {
  on_play_end_ = handler;
  play_model_->OnPlayEndEvent = std::move(handler);
}

// ---- Model properties ----

TPlayType TAbstractPlayWindow::PlayType() {
  return play_model_->PlayType();
}
uint8_t TAbstractPlayWindow::ConnectionType() {
  return play_model_->ConnectionType();
}
void TAbstractPlayWindow::SetConnectionType(uint8_t value) {
  play_model_->SetConnectionType(value);
}
uint8_t TAbstractPlayWindow::PTZConnectionType() {
  return play_model_->PTZConnectionType();
}
void TAbstractPlayWindow::SetPTZConnectionType(uint8_t value) {
  play_model_->SetPTZConnectionType(value);
}
std::string TAbstractPlayWindow::HostIP() {
  return play_model_->HostIP();
}
void TAbstractPlayWindow::SetHostIP(const std::string& value) {
  play_model_->SetHostIP(value);
}
int32_t TAbstractPlayWindow::HostPort() {
  return play_model_->HostPort();
}
void TAbstractPlayWindow::SetHostPort(int32_t value) {
  play_model_->SetHostPort(value);
}
std::string TAbstractPlayWindow::StreamMediaIP() {
  return play_model_->StreamMediaIP();
}
void TAbstractPlayWindow::SetStreamMediaIP(const std::string& value) {
  play_model_->SetStreamMediaIP(value);
}
int32_t TAbstractPlayWindow::StreamMediaPort() {
  return play_model_->StreamMediaPort();
}
void TAbstractPlayWindow::SetStreamMediaPort(int32_t value) {
  play_model_->SetStreamMediaPort(value);
}
std::string TAbstractPlayWindow::StreamMediaID() {
  return play_model_->StreamMediaID();
}
void TAbstractPlayWindow::SetStreamMediaID(const std::string& value) {
  play_model_->SetStreamMediaID(value);
}
std::string TAbstractPlayWindow::PTZProxyIP() {
  return play_model_->PTZProxyIP();
}
void TAbstractPlayWindow::SetPTZProxyIP(const std::string& value) {
  play_model_->SetPTZProxyIP(value);
}
int32_t TAbstractPlayWindow::PTZProxyPort() {
  return play_model_->PTZProxyPort();
}
void TAbstractPlayWindow::SetPTZProxyPort(int32_t value) {
  play_model_->SetPTZProxyPort(value);
}
std::string TAbstractPlayWindow::ClientNetID() {
  return play_model_->ClientNetID();
}
void TAbstractPlayWindow::SetClientNetID(const std::string& value) {
  play_model_->SetClientNetID(value);
}
std::string TAbstractPlayWindow::Token() {
  return play_model_->Token();
}
void TAbstractPlayWindow::SetToken(const std::string& value) {
  play_model_->SetToken(value);
}
std::string TAbstractPlayWindow::LoginUser() {
  return play_model_->LoginUser();
}
void TAbstractPlayWindow::SetLoginUser(const std::string& value) {
  play_model_->SetLoginUser(value);
}
std::string TAbstractPlayWindow::Password() {
  return play_model_->Password();
}
void TAbstractPlayWindow::SetPassword(const std::string& value) {
  play_model_->SetPassword(value);
}
std::string TAbstractPlayWindow::UserName() {
  return play_model_->UserName();
}
void TAbstractPlayWindow::SetUserName(const std::string& value) {
  play_model_->SetUserName(value);
}
int32_t TAbstractPlayWindow::ChannelNo() {
  return play_model_ ? play_model_->ChannelNo() : -1;
}
void TAbstractPlayWindow::SetChannelNo(int32_t value) {
  play_model_->SetChannelNo(value);
}
int32_t TAbstractPlayWindow::PortNo() {
  return play_model_->PortNo();
}
void TAbstractPlayWindow::SetPortNo(int32_t value) {
  play_model_->SetPortNo(value);
}
bool TAbstractPlayWindow::IsPlaying() {
  return play_model_->Playing();
}
bool TAbstractPlayWindow::IsPlayingStatus() {
  return play_model_->IsPlayingStatus();
}
TDateTime TAbstractPlayWindow::StartPlayTime() {
  return play_model_->StartPlayTime();
}
float TAbstractPlayWindow::Bitrate() {
  return play_model_->Bitrate();
}
int32_t TAbstractPlayWindow::CurFrameNumReceived() {
  return play_model_->CurFrameNumReceived();
}
float TAbstractPlayWindow::FrameRateReceived() {
  return play_model_->FrameRateReceived();
}
int32_t TAbstractPlayWindow::ReadTimeout() {
  return play_model_->ReadTimeout();
}
void TAbstractPlayWindow::SetReadTimeout(int32_t value) {
  play_model_->SetReadTimeout(value);
}
int32_t TAbstractPlayWindow::ConnectTimeout() {
  return play_model_->ConnectTimeout();
}
void TAbstractPlayWindow::SetConnectTimeout(int32_t value) {
  play_model_->SetConnectTimeout(value);
}
bool TAbstractPlayWindow::FullScreen() {
  return play_model_->FullScreen();
}
int32_t TAbstractPlayWindow::Fluency() {
  return play_model_->Fluency();
}
void TAbstractPlayWindow::SetFluency(int32_t value) {
  play_model_->SetFluency(value);
}
int32_t TAbstractPlayWindow::TryTimes() {
  return play_model_->TryTimes();
}
void TAbstractPlayWindow::SetTryTimes(int32_t value) {
  play_model_->SetTryTimes(value);
}
std::string TAbstractPlayWindow::CaptureBMPPath() {
  return play_model_->CaptureBMPPath();
}
void TAbstractPlayWindow::SetCaptureBMPPath(const std::string& value) {
  play_model_->SetCaptureBMPPath(value);
}
bool TAbstractPlayWindow::AudioPlaying() {
  return play_model_->AudioPlaying();
}
int32_t TAbstractPlayWindow::Volume() {
  return play_model_->Volume();
}
void TAbstractPlayWindow::SetVolume(int32_t value) {
  play_model_->SetVolume(value);
}
std::string TAbstractPlayWindow::DVRID() {
  return play_model_->DVRID();
}
void TAbstractPlayWindow::SetDVRID(const std::string& value) {
  play_model_->SetDVRID(value);
}
int64_t TAbstractPlayWindow::EmbDVRID() {
  return play_model_->DVRIDValue();
}
int32_t TAbstractPlayWindow::DeviceType() {
  return play_model_->DeviceType();
}
void TAbstractPlayWindow::SetDeviceType(int32_t value) {
  play_model_->SetDeviceType(value);
}
std::string TAbstractPlayWindow::SN() {
  return play_model_->SN();
}
void TAbstractPlayWindow::SetSN(const std::string& value) {
  play_model_->SetSN(value);
}
bool TAbstractPlayWindow::UseMouseControl() {
  return play_model_->UseMouseControl();
}
void TAbstractPlayWindow::SetUseMouseControl(bool value) {
  play_model_->SetUseMouseControl(value);
}
bool TAbstractPlayWindow::WriteSysLog() {
  return play_model_->WriteSysLog();
}
void TAbstractPlayWindow::SetWriteSysLog(bool value) {
  play_model_->SetWriteSysLog(value);
}
bool TAbstractPlayWindow::CheckRight() {
  return play_model_->CheckRight();
}
void TAbstractPlayWindow::SetCheckRight(bool value) {
  play_model_->SetCheckRight(value);
}
int32_t TAbstractPlayWindow::LinkMode() {
  return play_model_->LinkMode();
}
void TAbstractPlayWindow::SetLinkMode(int32_t value) {
  play_model_->SetLinkMode(value);
}
void TAbstractPlayWindow::SetOnConnected(TConnectionThread::TModelHandler handler) {
  play_model_->OnConnected = std::move(handler);
}
void TAbstractPlayWindow::SetOnDisConnected(TConnectionThread::TModelHandler handler) {
  play_model_->OnDisConnected = std::move(handler);
}
void TAbstractPlayWindow::SetOnVideoInfoChanged(TPlayer::TVideoInfoHandler handler) {
  play_model_->onVideoInfoChanged = std::move(handler);
}

}  // namespace viewer
