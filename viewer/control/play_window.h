// The play window: the visible child window of a view. It shows a caption while no video is
// drawn (the connection status as tip texts), lets the player draw into it (or into the window
// given as PlayWnd), owns the view's play model for its whole life and keeps most settings in
// it, and starts, stops, restarts and records the view in answer to its members and to the
// messages the pipeline posts. Device families derive from it and make their own model.
// Threads: made, used and destroyed on the host's user-interface thread, whose message loop
// delivers the pipeline's messages; OnPlayEndEvent runs on a pipeline thread. Owns the model.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/date_time.h"
#include "platform/custom_panel.h"
#include "viewer/center/authorization_server.h"
#include "viewer/pipeline/play_model.h"

namespace viewer {

// Messages the play window handles besides the player's stop request (kStopPlayMessage) and
// the connection status (kConnectStatusMessage); nothing inside the control sends them: the
// host or another program may.
constexpr plat::UINT kStopViewMessage = 0x04CE;
constexpr plat::UINT kRestartViewMessage = 0x04CF;
constexpr plat::UINT kReplayOverMessage = 0x9053;
constexpr plat::UINT kLeaveFullScreenMessage = 0x0465;

// Default tip texts (shown when the host has set none).
inline constexpr const char* kDefaultTipConnecting = "正在连接...";
inline constexpr const char* kDefaultTipConnectFailed = "连接失败，准备重连...";
inline constexpr const char* kDefaultTipPlayFailed = "播放失败";
inline constexpr const char* kDefaultTipWaitPlay = "等待数据...";
// Shown when leaving full screen cannot put the picture back.
inline constexpr const char* kRestorePlayFailedText = "恢复正常播放失败！";

class TAbstractPlayWindow : public plat::TCustomPanel {
 public:
  using TPlayEndEvent = TAbstractPlayModel::TModelCallback;

  ~TAbstractPlayWindow() override;

  // ---- Virtual operations ----
  virtual std::unique_ptr<TAbstractPlayModel> CreatePlayModel() = 0;
  // Gives the model the play window and starts the view; connecting goes on in the background.
  virtual void StartPlay();
  // Stops the view (waits for its threads) and clears the caption.
  virtual void StopPlay();
  // Records the running view into RecordFile (completed to a full name by the model).
  virtual void StartRecord();
  virtual void StopRecord();

  // ---- Operations ----
  bool CaptureBMP();
  // An empty name gets a generated one under CaptureBMPPath (or the data root), given back.
  bool CaptureBMPResultFilename(std::string& file_name);
  bool Login();
  bool Logout();
  void GetClientNetID(std::string& result);
  // The model's Status.
  int32_t GetLastError();
  bool AudioOpen();
  bool AudioClose();
  // The host's save-file dialog preset to a generated media name; a different name the user
  // picks is kept (SaveAsFileName), anything else clears the kept one.
  void SaveFileAs();
  const std::string& SaveAsFileName() const { return save_as_file_name_; }
  void ShowFullScreen();
  void ExitFullScreen();
  void SetWatermark(const std::string& text);
  void ChangeLinkMode(int32_t previous, int32_t mode);
  // "did=<DVRID>, ch=<ChannelNo>, stream=<LinkMode>-->"
  std::string LogPrefix();
  // The caption text of a connection status code (a tip text, or empty).
  std::string StatusText(int32_t code);

  // ---- Properties kept by the window ----
  plat::COLORREF BackgroundColor() const { return background_color_; }
  // Also the window's Color while no view runs.
  void SetBackgroundColor(plat::COLORREF value);
  bool IsPALFormat() const { return is_pal_format_; }
  void SetIsPALFormat(bool value);
  const std::string& CenterAddr() const { return center_addr_; }
  // The center settings are kept here and copied into the window's center-service client.
  void SetCenterAddr(const std::string& value);
  int32_t CenterPort() const { return center_port_; }
  void SetCenterPort(int32_t value);
  const std::string& CenterServicePath() const { return center_service_path_; }
  void SetCenterServicePath(const std::string& value);
  int32_t CenterConnectTimeout() const { return center_connect_timeout_; }
  void SetCenterConnectTimeout(int32_t value);
  // The center-service client the window owns (made with the window, freed with it).
  TEmbeddedAuthorizationServer& CenterClient() { return *center_client_; }
  const std::string& RecordFile() const { return record_file_; }
  void SetRecordFile(const std::string& value) { record_file_ = value; }
  // 0 read on a window with a parent becomes, and stays, the window's own handle.
  plat::HWND PlayWnd();
  void SetPlayWnd(plat::HWND value) { play_wnd_ = value; }
  // The window's own handle when it has a parent, else 0.
  plat::HWND PlayHandle() const;
  bool NoRefresh() const { return no_refresh_; }
  void SetNoRefresh(bool value) { no_refresh_ = value; }
  // Tip texts: an empty one reads as its default.
  std::string TipConnectingMsg() const;
  void SetTipConnectingMsg(const std::string& value) { tip_connecting_ = value; }
  std::string TipConnectFailedMsg() const;
  void SetTipConnectFailedMsg(const std::string& value) { tip_connect_failed_ = value; }
  std::string TipPlayFailedMsg() const;
  void SetTipPlayFailedMsg(const std::string& value) { tip_play_failed_ = value; }
  std::string TipWaitPlayMsg() const;
  void SetTipWaitPlayMsg(const std::string& value) { tip_wait_play_ = value; }
  const TPlayEndEvent& OnPlayEndEvent() const { return on_play_end_; }
  // Kept here and in the model, which fires it at most once per view on a pipeline thread.
  void SetOnPlayEndEvent(TPlayEndEvent handler);

  // ---- Properties kept by the model ----
  TPlayType PlayType();
  uint8_t ConnectionType();
  void SetConnectionType(uint8_t value);
  uint8_t PTZConnectionType();
  void SetPTZConnectionType(uint8_t value);
  std::string HostIP();
  void SetHostIP(const std::string& value);
  int32_t HostPort();
  void SetHostPort(int32_t value);
  std::string StreamMediaIP();
  void SetStreamMediaIP(const std::string& value);
  int32_t StreamMediaPort();
  void SetStreamMediaPort(int32_t value);
  std::string StreamMediaID();
  void SetStreamMediaID(const std::string& value);
  std::string PTZProxyIP();
  void SetPTZProxyIP(const std::string& value);
  int32_t PTZProxyPort();
  void SetPTZProxyPort(int32_t value);
  std::string ClientNetID();
  void SetClientNetID(const std::string& value);
  std::string Token();
  void SetToken(const std::string& value);
  std::string LoginUser();
  void SetLoginUser(const std::string& value);
  std::string Password();
  void SetPassword(const std::string& value);
  std::string UserName();
  void SetUserName(const std::string& value);
  // -1 without a model.
  int32_t ChannelNo();
  void SetChannelNo(int32_t value);
  int32_t PortNo();
  void SetPortNo(int32_t value);
  bool IsPlaying();
  bool IsPlayingStatus();
  TDateTime StartPlayTime();
  float Bitrate();
  int32_t CurFrameNumReceived();
  float FrameRateReceived();
  int32_t ReadTimeout();
  void SetReadTimeout(int32_t value);
  int32_t ConnectTimeout();
  void SetConnectTimeout(int32_t value);
  bool FullScreen();
  // True only sets the flag; false while it is set leaves full screen.
  void SetFullScreen(bool value);
  int32_t Fluency();
  void SetFluency(int32_t value);
  int32_t TryTimes();
  void SetTryTimes(int32_t value);
  std::string CaptureBMPPath();
  void SetCaptureBMPPath(const std::string& value);
  bool AudioPlaying();
  int32_t Volume();
  // Out of 0..10: status 501 through the model, value unchanged.
  void SetVolume(int32_t value);
  std::string DVRID();
  // Raises std::invalid_argument for a text that is no number (the host sees a failed call).
  void SetDVRID(const std::string& value);
  int64_t EmbDVRID();
  int32_t DeviceType();
  void SetDeviceType(int32_t value);
  std::string SN();
  void SetSN(const std::string& value);
  bool UseMouseControl();
  void SetUseMouseControl(bool value);
  bool WriteSysLog();
  void SetWriteSysLog(bool value);
  bool CheckRight();
  void SetCheckRight(bool value);
  int32_t LinkMode();
  void SetLinkMode(int32_t value);
  // Handlers the model calls on the pipeline's threads.
  void SetOnConnected(TConnectionThread::TModelHandler handler);
  void SetOnDisConnected(TConnectionThread::TModelHandler handler);
  void SetOnVideoInfoChanged(TPlayer::TVideoInfoHandler handler);

  TAbstractPlayModel* PlayModel() { return play_model_.get(); }

  // ---- Digital zoom: which part of the picture the player shows (play_window_zoom.cpp) ----
  bool DigitalZoomMode() const { return digital_zoom_mode_; }
  // On: the cross cursor, and a drag with the left button zooms into the dragged rectangle
  // (dragged up and to the left it unzooms). Off: the default cursor and UnZoom.
  void SetDigitalZoomMode(bool value);
  // Shows the part of the region shown now that the window rectangle covers.
  void Zoom(int32_t left, int32_t top, int32_t right, int32_t bottom);
  // One step in (flag not 0) or out, placed by the window point (x, y).
  void ZoomByPoint(int32_t x, int32_t y, int32_t flag);
  // Back to the whole picture; the next zoom reads the picture size again.
  void UnZoom();
  bool ZoomActive() const { return zoom_active_; }
  // In picture pixels; the whole picture after the size was read, until a zoom changes it.
  const plat::RECT& ZoomRect() const { return zoom_rect_; }
  int32_t PictureWidth() const { return picture_width_; }
  int32_t PictureHeight() const { return picture_height_; }

 protected:
  // A black window without bevel, captions in white, as a child of `parent`. The most derived
  // constructor calls InitPlayModel once CreatePlayModel can run.
  explicit TAbstractPlayWindow(plat::HWND parent);
  void InitPlayModel();

  intptr_t WndProc(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) override;
  // Colour and caption only while NoRefresh is off and no video plays.
  void Paint(plat::HDC dc, const plat::RECT& client) override;
  // Not erased: the answer is NoRefresh.
  intptr_t EraseBackground(plat::HDC dc) override;
  // Hook for the video standard; nothing here.
  virtual void PALFormatChanged() {}
  // In zoom mode the left button's press and release make the drag rectangle.
  void MouseDown(plat::TMouseButton button, plat::TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(plat::TMouseButton button, plat::TShiftState shift, int32_t x, int32_t y) override;

 private:
  void OnConnectStatus(int32_t code);
  // Puts the picture back into the play window and reopens sound; a message box when that
  // fails.
  void LeaveFullScreen();
  // Reads the picture size when it is not known yet (the region becomes the whole picture);
  // false, with the log line, when the player cannot tell it.
  bool EnsurePictureSize();
  // Hands the region to the player for the play window; the hand cursor shows it.
  void ApplyZoomRegion();
  // The record setting as the model takes it: a trailing backslash is a folder separator.
  std::string RecordFileForModel() const;
  void Log(const std::string& text);

  std::unique_ptr<TAbstractPlayModel> play_model_;
  std::unique_ptr<TEmbeddedAuthorizationServer> center_client_;
  plat::COLORREF background_color_ = 0;
  bool is_pal_format_ = false;
  std::string center_addr_;
  int32_t center_port_ = 0;
  std::string center_service_path_;
  int32_t center_connect_timeout_ = 0;
  std::string record_file_;
  plat::HWND play_wnd_ = 0;
  bool no_refresh_ = false;
  std::string tip_connecting_, tip_connect_failed_, tip_play_failed_, tip_wait_play_;
  bool digital_zoom_mode_ = false;
  int32_t picture_width_ = 0, picture_height_ = 0;  // 0: not read yet
  plat::RECT zoom_rect_;                            // picture pixels
  plat::HWND zoom_window_ = 0;                      // the window the region was set for
  bool zoom_active_ = false;
  plat::RECT drag_rect_;  // window coordinates
  TPlayEndEvent on_play_end_;
  std::string save_as_file_name_;
};

}  // namespace viewer
