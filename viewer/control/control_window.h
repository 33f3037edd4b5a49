// TControlWindow: what the control object needs of its window, in the terms of the play
// window and the preview window (TAbstractPlayWindow, TAbstractPreviewWindow,
// TOstraNvPreviewWindow): the settings and operations the control forwards, and the handlers
// through which the window and its model report to the control. The device-family preview
// window implements it; tests use a fake. All members run on the window's (host's
// user-interface) thread; the handlers are called on the threads named beside them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/date_time.h"
#include "platform/automation_variant.h"
#include "platform/messages.h"

namespace viewer {

class TPlayer;

class TControlWindow {
 public:
  using TNotify = std::function<void()>;
  using TDataHandler = std::function<void(const uint8_t* data, int32_t length, int32_t type)>;
  using TPlayerCreatedHandler = std::function<void(TPlayer& player)>;
  using TStatusHandler = std::function<void(int32_t code)>;
  using TVideoInfoHandler = std::function<void(int32_t codec, int32_t width, int32_t height)>;

  virtual ~TControlWindow() = default;

  // The window's own handle.
  virtual plat::HWND Handle() = 0;

  // ---- Handlers; set once by the control, kept across every start ----
  virtual void SetOnClick(TNotify handler) = 0;                             // user-interface thread
  virtual void SetOnDblClick(TNotify handler) = 0;                          // user-interface thread
  virtual void SetOnConnected(TNotify handler) = 0;                         // connection thread
  virtual void SetOnDisConnected(TNotify handler) = 0;                      // connection thread
  virtual void SetDataHandler(TDataHandler handler) = 0;                    // play thread
  virtual void SetPlayerCreatedHandler(TPlayerCreatedHandler handler) = 0;  // window thread
  virtual void SetStatusHandler(TStatusHandler handler) = 0;                // connection thread
  virtual void SetOnVideoInfoChanged(TVideoInfoHandler handler) = 0;        // play thread

  // ---- Preview window: PTZ, video parameters, cursor control, zoom, watermark ----
  virtual int32_t SendPTZControlCommand() = 0;
  virtual int32_t PTZCommandID() = 0;
  virtual void SetPTZCommandID(int32_t v) = 0;
  virtual int32_t PTZControlEnabled() = 0;
  virtual void SetPTZControlEnabled(int32_t v) = 0;
  virtual int32_t PTZPresetIndex() = 0;
  virtual void SetPTZPresetIndex(int32_t v) = 0;
  virtual int32_t PTZSpeed() = 0;
  virtual void SetPTZSpeed(int32_t v) = 0;
  virtual int32_t Brightness() = 0;
  virtual void SetBrightness(int32_t v) = 0;
  virtual int32_t Contrast() = 0;
  virtual void SetContrast(int32_t v) = 0;
  virtual int32_t Saturation() = 0;
  virtual void SetSaturation(int32_t v) = 0;
  virtual int32_t Hue() = 0;
  virtual void SetHue(int32_t v) = 0;
  virtual bool QuviMode() = 0;
  virtual void SetQuviMode(bool v) = 0;
  virtual bool CursorCtrl() = 0;
  virtual void SetCursorCtrl(bool v) = 0;
  virtual bool DigitalZoomMode() = 0;
  virtual void SetDigitalZoomMode(bool v) = 0;
  virtual void Zoom(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  virtual void UnZoom() = 0;
  virtual void ZoomByPoint(int32_t x, int32_t y, int32_t flag) = 0;
  virtual void SetWatermark(const std::string& text) = 0;

  // ---- Play window: operations ----
  virtual int32_t GetLastError() = 0;
  virtual void GetClientNetID(std::string& result) = 0;
  virtual bool Login() = 0;
  virtual bool Logout() = 0;
  virtual bool CaptureBMP() = 0;
  virtual bool CaptureBMPResultFilename(std::string& file_name) = 0;
  virtual void StartPlay() = 0;
  virtual void StopPlay() = 0;
  virtual void StartRecord() = 0;
  virtual void StopRecord() = 0;
  virtual void ShowFullScreen() = 0;
  virtual void ExitFullScreen() = 0;
  virtual bool AudioOpen() = 0;
  virtual bool AudioClose() = 0;
  virtual void SaveFileAs() = 0;
  virtual void ChangeLinkMode(int32_t previous, int32_t mode) = 0;

  // ---- Play window: settings (most live in the play model) ----
  virtual int32_t Alignment() = 0;
  virtual void SetAlignment(int32_t v) = 0;
  virtual int32_t BorderStyle() = 0;
  virtual void SetBorderStyle(int32_t v) = 0;
  virtual bool Visible() = 0;
  virtual void SetVisible(bool v) = 0;
  virtual uint32_t Color() = 0;
  virtual void SetColor(uint32_t v) = 0;
  virtual uint32_t BackgroundColor() = 0;
  virtual void SetBackgroundColor(uint32_t v) = 0;
  virtual int32_t PlayType() = 0;
  virtual int32_t ConnectionType() = 0;
  virtual void SetConnectionType(int32_t v) = 0;
  virtual std::string HostIP() = 0;
  virtual void SetHostIP(const std::string& v) = 0;
  virtual int32_t HostPort() = 0;
  virtual void SetHostPort(int32_t v) = 0;
  virtual std::string StreamMediaIP() = 0;
  virtual void SetStreamMediaIP(const std::string& v) = 0;
  virtual int32_t StreamMediaPort() = 0;
  virtual void SetStreamMediaPort(int32_t v) = 0;
  virtual std::string StreamMediaID() = 0;
  virtual void SetStreamMediaID(const std::string& v) = 0;
  virtual std::string ClientNetID() = 0;
  virtual void SetClientNetID(const std::string& v) = 0;
  virtual std::string Token() = 0;
  virtual void SetToken(const std::string& v) = 0;
  virtual std::string LoginUser() = 0;
  virtual void SetLoginUser(const std::string& v) = 0;
  virtual std::string Password() = 0;
  virtual void SetPassword(const std::string& v) = 0;
  virtual std::string UserName() = 0;
  virtual void SetUserName(const std::string& v) = 0;
  virtual int32_t ChannelNo() = 0;
  virtual void SetChannelNo(int32_t v) = 0;
  virtual int32_t PortNo() = 0;
  virtual void SetPortNo(int32_t v) = 0;
  virtual bool IsPlaying() = 0;
  virtual TDateTime StartPlayTime() = 0;
  virtual float Bitrate() = 0;
  virtual int32_t CurFrameNumReceived() = 0;
  virtual float FrameRateReceived() = 0;
  virtual int32_t ReadTimeout() = 0;
  virtual void SetReadTimeout(int32_t v) = 0;
  virtual int32_t ConnectTimeout() = 0;
  virtual void SetConnectTimeout(int32_t v) = 0;
  virtual bool FullScreen() = 0;
  virtual void SetFullScreen(bool v) = 0;
  virtual bool IsPALFormat() = 0;
  virtual void SetIsPALFormat(bool v) = 0;
  virtual int32_t Fluency() = 0;
  virtual void SetFluency(int32_t v) = 0;
  virtual int32_t TryTimes() = 0;
  virtual void SetTryTimes(int32_t v) = 0;
  virtual std::string CaptureBMPPath() = 0;
  virtual void SetCaptureBMPPath(const std::string& v) = 0;
  virtual bool AudioPlaying() = 0;
  virtual int32_t Volume() = 0;
  virtual void SetVolume(int32_t v) = 0;
  virtual std::string DVRID() = 0;
  // Raises when the text is no decimal number (the text is kept, its number is not).
  virtual void SetDVRID(const std::string& v) = 0;
  virtual int32_t DeviceType() = 0;
  virtual void SetDeviceType(int32_t v) = 0;
  virtual bool CheckRight() = 0;
  virtual void SetCheckRight(bool v) = 0;
  virtual std::string CenterAddr() = 0;
  virtual void SetCenterAddr(const std::string& v) = 0;
  virtual int32_t CenterPort() = 0;
  virtual void SetCenterPort(int32_t v) = 0;
  virtual std::string CenterServicePath() = 0;
  virtual void SetCenterServicePath(const std::string& v) = 0;
  virtual int32_t CenterConnectTimeout() = 0;
  virtual void SetCenterConnectTimeout(int32_t v) = 0;
  virtual std::string RecordFile() = 0;
  virtual void SetRecordFile(const std::string& v) = 0;
  virtual int32_t LinkMode() = 0;
  virtual void SetLinkMode(int32_t v) = 0;
  virtual bool NoRefresh() = 0;
  virtual void SetNoRefresh(bool v) = 0;
  // Reading an empty tip text yields its default.
  virtual std::string TipConnectingMsg() = 0;
  virtual void SetTipConnectingMsg(const std::string& v) = 0;
  virtual std::string TipConnectFailedMsg() = 0;
  virtual void SetTipConnectFailedMsg(const std::string& v) = 0;
  virtual std::string TipPlayFailedMsg() = 0;
  virtual void SetTipPlayFailedMsg(const std::string& v) = 0;
  // 0 means the window itself; reading 0 on an owned window stores its own handle.
  virtual plat::HWND PlayWnd() = 0;
  virtual void SetPlayWnd(plat::HWND v) = 0;
  virtual std::string Caption() = 0;
  virtual void SetCaption(const std::string& v) = 0;
  virtual plat::TFontDesc Font() = 0;
  virtual void SetFont(const plat::TFontDesc& v) = 0;
  virtual uint32_t FontColor() = 0;
  virtual void SetFontColor(uint32_t v) = 0;
  virtual int32_t FontSize() = 0;
  virtual void SetFontSize(int32_t v) = 0;

  // ---- Platform window settings and state ----
  virtual bool ParentBackground() = 0;
  virtual void SetParentBackground(bool v) = 0;
  virtual bool DoubleBuffered() = 0;
  virtual void SetDoubleBuffered(bool v) = 0;
  virtual bool AlignDisabled() = 0;
  virtual int32_t VisibleDockClientCount() = 0;
  virtual int32_t DrawTextBiDiModeFlagsReadingOnly() = 0;
  virtual bool Enabled() = 0;
  virtual void SetEnabled(bool v) = 0;
  virtual void InitiateAction() = 0;
  virtual bool IsRightToLeft() = 0;
  virtual bool UseRightToLeftReading() = 0;
  virtual bool UseRightToLeftScrollBar() = 0;
  virtual void SetSubComponent(bool is_sub_component) = 0;
};

}  // namespace viewer
