// TPreviewControlWindow: the control object's window (TControlWindow) made of this device
// family's preview window: every member forwards to the TOstraNvPreviewWindow it owns, with the
// control's handler and value types turned into the window's. It is the window a control gets
// unless a library installs another factory (control_window_factory.h).
// Threads: made, used and destroyed on the host's user-interface thread; the handlers run on
// the threads TControlWindow names. Owns the preview window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "viewer/control/control_window.h"
#include "viewer/control/preview_window.h"

namespace viewer {

class TPreviewControlWindow : public TControlWindow {
 public:
  // A preview window of width × height at the top left of `parent`'s client area.
  TPreviewControlWindow(plat::HWND parent, int32_t width, int32_t height);
  ~TPreviewControlWindow() override;

  TOstraNvPreviewWindow& Window() { return *window_; }

  plat::HWND Handle() override { return window_->Handle(); }
  void SetOnClick(TNotify handler) override;
  void SetOnDblClick(TNotify handler) override;
  void SetOnConnected(TNotify handler) override;
  void SetOnDisConnected(TNotify handler) override;
  void SetDataHandler(TDataHandler handler) override;
  void SetPlayerCreatedHandler(TPlayerCreatedHandler handler) override;
  void SetStatusHandler(TStatusHandler handler) override;
  void SetOnVideoInfoChanged(TVideoInfoHandler handler) override;

#define QUVI_FORWARD_PROP(type, name) \
  type name() override {              \
    return window_->name();           \
  }                                   \
  void Set##name(type v) override {   \
    window_->Set##name(v);            \
  }
#define QUVI_FORWARD_TEXT(name)                   \
  std::string name() override {                   \
    return window_->name();                       \
  }                                               \
  void Set##name(const std::string& v) override { \
    window_->Set##name(v);                        \
  }
#define QUVI_FORWARD_GET(type, name) \
  type name() override {             \
    return window_->name();          \
  }
#define QUVI_FORWARD_CALL(name) \
  void name() override {        \
    window_->name();            \
  }

  int32_t SendPTZControlCommand() override {
    return window_->SendPTZControlCommand();
  }
  QUVI_FORWARD_PROP(int32_t, PTZCommandID)
  QUVI_FORWARD_PROP(int32_t, PTZControlEnabled)
  QUVI_FORWARD_PROP(int32_t, PTZPresetIndex)
  QUVI_FORWARD_PROP(int32_t, PTZSpeed)
  QUVI_FORWARD_PROP(int32_t, Brightness)
  QUVI_FORWARD_PROP(int32_t, Contrast)
  QUVI_FORWARD_PROP(int32_t, Saturation)
  QUVI_FORWARD_PROP(int32_t, Hue)
  QUVI_FORWARD_PROP(bool, QuviMode)
  QUVI_FORWARD_PROP(bool, CursorCtrl)
  QUVI_FORWARD_PROP(bool, DigitalZoomMode)
  void Zoom(int32_t left, int32_t top, int32_t right, int32_t bottom) override {
    window_->Zoom(left, top, right, bottom);
  }
  QUVI_FORWARD_CALL(UnZoom)
  void ZoomByPoint(int32_t x, int32_t y, int32_t flag) override {
    window_->ZoomByPoint(x, y, flag);
  }
  void SetWatermark(const std::string& text) override {
    window_->SetWatermark(text);
  }

  QUVI_FORWARD_GET(int32_t, GetLastError)
  void GetClientNetID(std::string& result) override {
    window_->GetClientNetID(result);
  }
  QUVI_FORWARD_GET(bool, Login)
  QUVI_FORWARD_GET(bool, Logout)
  QUVI_FORWARD_GET(bool, CaptureBMP)
  bool CaptureBMPResultFilename(std::string& file_name) override {
    return window_->CaptureBMPResultFilename(file_name);
  }
  QUVI_FORWARD_CALL(StartPlay)
  QUVI_FORWARD_CALL(StopPlay)
  QUVI_FORWARD_CALL(StartRecord)
  QUVI_FORWARD_CALL(StopRecord)
  QUVI_FORWARD_CALL(ShowFullScreen)
  QUVI_FORWARD_CALL(ExitFullScreen)
  QUVI_FORWARD_GET(bool, AudioOpen)
  QUVI_FORWARD_GET(bool, AudioClose)
  QUVI_FORWARD_CALL(SaveFileAs)
  void ChangeLinkMode(int32_t previous, int32_t mode) override {
    window_->ChangeLinkMode(previous, mode);
  }

  int32_t Alignment() override {
    return window_->Alignment();
  }
  void SetAlignment(int32_t v) override;
  int32_t BorderStyle() override {
    return window_->BorderStyle();
  }
  void SetBorderStyle(int32_t v) override;
  QUVI_FORWARD_PROP(bool, Visible)
  QUVI_FORWARD_PROP(uint32_t, Color)
  QUVI_FORWARD_PROP(uint32_t, BackgroundColor)
  int32_t PlayType() override {
    return window_->PlayType();
  }
  int32_t ConnectionType() override {
    return window_->ConnectionType();
  }
  void SetConnectionType(int32_t v) override {
    window_->SetConnectionType(static_cast<uint8_t>(v));
  }
  QUVI_FORWARD_TEXT(HostIP)
  QUVI_FORWARD_PROP(int32_t, HostPort)
  QUVI_FORWARD_TEXT(StreamMediaIP)
  QUVI_FORWARD_PROP(int32_t, StreamMediaPort)
  QUVI_FORWARD_TEXT(StreamMediaID)
  QUVI_FORWARD_TEXT(ClientNetID)
  QUVI_FORWARD_TEXT(Token)
  QUVI_FORWARD_TEXT(LoginUser)
  QUVI_FORWARD_TEXT(Password)
  QUVI_FORWARD_TEXT(UserName)
  QUVI_FORWARD_PROP(int32_t, ChannelNo)
  QUVI_FORWARD_PROP(int32_t, PortNo)
  QUVI_FORWARD_GET(bool, IsPlaying)
  QUVI_FORWARD_GET(TDateTime, StartPlayTime)
  QUVI_FORWARD_GET(float, Bitrate)
  QUVI_FORWARD_GET(int32_t, CurFrameNumReceived)
  QUVI_FORWARD_GET(float, FrameRateReceived)
  QUVI_FORWARD_PROP(int32_t, ReadTimeout)
  QUVI_FORWARD_PROP(int32_t, ConnectTimeout)
  QUVI_FORWARD_PROP(bool, FullScreen)
  QUVI_FORWARD_PROP(bool, IsPALFormat)
  QUVI_FORWARD_PROP(int32_t, Fluency)
  QUVI_FORWARD_PROP(int32_t, TryTimes)
  QUVI_FORWARD_TEXT(CaptureBMPPath)
  QUVI_FORWARD_GET(bool, AudioPlaying)
  QUVI_FORWARD_PROP(int32_t, Volume)
  QUVI_FORWARD_TEXT(DVRID)
  QUVI_FORWARD_PROP(int32_t, DeviceType)
  QUVI_FORWARD_PROP(bool, CheckRight)
  QUVI_FORWARD_TEXT(CenterAddr)
  QUVI_FORWARD_PROP(int32_t, CenterPort)
  QUVI_FORWARD_TEXT(CenterServicePath)
  QUVI_FORWARD_PROP(int32_t, CenterConnectTimeout)
  QUVI_FORWARD_TEXT(RecordFile)
  QUVI_FORWARD_PROP(int32_t, LinkMode)
  QUVI_FORWARD_PROP(bool, NoRefresh)
  QUVI_FORWARD_TEXT(TipConnectingMsg)
  QUVI_FORWARD_TEXT(TipConnectFailedMsg)
  QUVI_FORWARD_TEXT(TipPlayFailedMsg)
  QUVI_FORWARD_PROP(plat::HWND, PlayWnd)
  QUVI_FORWARD_TEXT(Caption)
  plat::TFontDesc Font() override;
  void SetFont(const plat::TFontDesc& v) override;
  uint32_t FontColor() override {
    return window_->Font().color;
  }
  void SetFontColor(uint32_t v) override {
    window_->SetFontColor(v);
  }
  int32_t FontSize() override {
    return window_->Font().size;
  }
  void SetFontSize(int32_t v) override {
    window_->SetFontSize(v);
  }

  QUVI_FORWARD_PROP(bool, ParentBackground)
  QUVI_FORWARD_PROP(bool, DoubleBuffered)
  QUVI_FORWARD_PROP(bool, Enabled)
  // The platform's docking, action and text-direction states: none of them here.
  bool AlignDisabled() override {
    return false;
  }
  int32_t VisibleDockClientCount() override {
    return 0;
  }
  int32_t DrawTextBiDiModeFlagsReadingOnly() override {
    return 0;
  }
  void InitiateAction() override {}
  bool IsRightToLeft() override {
    return false;
  }
  bool UseRightToLeftReading() override {
    return false;
  }
  bool UseRightToLeftScrollBar() override {
    return false;
  }
  void SetSubComponent(bool) override {}

#undef QUVI_FORWARD_PROP
#undef QUVI_FORWARD_TEXT
#undef QUVI_FORWARD_GET
#undef QUVI_FORWARD_CALL

 private:
  std::unique_ptr<TOstraNvPreviewWindow> window_;
};

}  // namespace viewer
