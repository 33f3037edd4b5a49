// TFakeControlWindow: a stand-in for the preview window in tests of the control object and
// of the host interface. It keeps every setting, logs the name of every member called
// ("HostIP", "SetHostIP", "StartPlay"), and plays a scripted view: StartPlay makes a player
// (given to the player-created handler) and starts a thread that raises, as the connection
// and play threads would, OnConnected, status -1 and -5, the stream head (frame type 128,
// 40 bytes), status -6, the video information (4, 704, 576) and ScriptFrames frames of
// 1000 bytes (frame type 1, byte i of frame n = (n + i) mod 256), counted in
// CurFrameNumReceived; StopPlay ends the thread, which raises OnDisConnected last.
// Used on the creating thread, except the scripted view's own thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sync.h"
#include "viewer/control/control_window.h"
#include "viewer/player/ostra_nv_preview_player.h"

namespace viewer {

class TFakeControlWindow : public TControlWindow {
 public:
  static constexpr int32_t kScriptFrames = 300;
  static constexpr int32_t kFrameSize = 1000;

  // Frames the next scripted view raises.
  int32_t ScriptFrames = kScriptFrames;

  TFakeControlWindow(plat::HWND parent, int32_t width, int32_t height);
  ~TFakeControlWindow() override;

  // Names of the members called so far (the latest few thousand); cleared by TakeCalls.
  std::vector<std::string> TakeCalls();
  // The NoDecode the control gave the player of the last start.
  bool LastPlayerNoDecode() const { return last_player_no_decode_; }
  plat::HWND Parent() const { return parent_; }
  // Frames the scripted view has raised so far (not logged as a call).
  int32_t FramesRaised() const { return frames_; }
  // As if the play thread handed a package to the data handler.
  void RaiseData(const uint8_t* data, int32_t length, int32_t type) {
    if (on_data_) on_data_(data, length, type);
  }
  // As if the user clicked / double-clicked the window.
  void Click() {
    if (on_click_) on_click_();
  }
  void DblClick() {
    if (on_dbl_click_) on_dbl_click_();
  }

  plat::HWND Handle() override { return handle_; }
  void SetOnClick(TNotify h) override { on_click_ = std::move(h); }
  void SetOnDblClick(TNotify h) override { on_dbl_click_ = std::move(h); }
  void SetOnConnected(TNotify h) override { on_connected_ = std::move(h); }
  void SetOnDisConnected(TNotify h) override { on_disconnected_ = std::move(h); }
  void SetDataHandler(TDataHandler h) override { on_data_ = std::move(h); }
  void SetPlayerCreatedHandler(TPlayerCreatedHandler h) override { on_player_ = std::move(h); }
  void SetStatusHandler(TStatusHandler h) override { on_status_ = std::move(h); }
  void SetOnVideoInfoChanged(TVideoInfoHandler h) override { on_video_info_ = std::move(h); }

#define QUVI_FAKE_PROP(Type, Name, Default) \
  Type Name() override {                    \
    Log(#Name);                             \
    return Name##_;                         \
  }                                         \
  void Set##Name(Type v) override {         \
    Log("Set" #Name);                       \
    Name##_ = v;                            \
  }                                         \
  Type Name##_ = Default;
#define QUVI_FAKE_TEXT(Name, Default)             \
  std::string Name() override {                   \
    Log(#Name);                                   \
    return Name##_;                               \
  }                                               \
  void Set##Name(const std::string& v) override { \
    Log("Set" #Name);                             \
    Name##_ = v;                                  \
  }                                               \
  std::string Name##_ = Default;
#define QUVI_FAKE_GET(Type, Name, Value) \
  Type Name() override {                 \
    Log(#Name);                          \
    return Value;                        \
  }
#define QUVI_FAKE_CALL(Name) \
  void Name() override {     \
    Log(#Name);              \
  }

  QUVI_FAKE_PROP(int32_t, PTZCommandID, -1)
  QUVI_FAKE_PROP(int32_t, PTZControlEnabled, -1)
  QUVI_FAKE_PROP(int32_t, PTZPresetIndex, 0)
  QUVI_FAKE_PROP(int32_t, PTZSpeed, -1)
  QUVI_FAKE_PROP(int32_t, Brightness, 70)
  QUVI_FAKE_PROP(int32_t, Contrast, 75)
  QUVI_FAKE_PROP(int32_t, Saturation, 85)
  QUVI_FAKE_PROP(int32_t, Hue, 127)
  QUVI_FAKE_PROP(bool, QuviMode, false)
  QUVI_FAKE_PROP(bool, CursorCtrl, false)
  QUVI_FAKE_PROP(bool, DigitalZoomMode, false)
  QUVI_FAKE_PROP(int32_t, Alignment, 2)
  QUVI_FAKE_PROP(int32_t, BorderStyle, 0)
  QUVI_FAKE_PROP(bool, Visible, true)
  QUVI_FAKE_PROP(uint32_t, Color, 0)
  QUVI_FAKE_PROP(uint32_t, BackgroundColor, 0)
  QUVI_FAKE_PROP(int32_t, ConnectionType, 0)
  QUVI_FAKE_TEXT(HostIP, "")
  QUVI_FAKE_PROP(int32_t, HostPort, 0)
  QUVI_FAKE_TEXT(StreamMediaIP, "")
  QUVI_FAKE_PROP(int32_t, StreamMediaPort, 0)
  QUVI_FAKE_TEXT(StreamMediaID, "")
  QUVI_FAKE_TEXT(ClientNetID, "")
  QUVI_FAKE_TEXT(Token, "")
  QUVI_FAKE_TEXT(LoginUser, "")
  QUVI_FAKE_TEXT(Password, "")
  QUVI_FAKE_TEXT(UserName, "")
  QUVI_FAKE_PROP(int32_t, ChannelNo, -1)
  QUVI_FAKE_PROP(int32_t, PortNo, 0)
  QUVI_FAKE_PROP(int32_t, ReadTimeout, 30000)
  QUVI_FAKE_PROP(int32_t, ConnectTimeout, 30000)
  QUVI_FAKE_PROP(bool, FullScreen, false)
  QUVI_FAKE_PROP(bool, IsPALFormat, false)
  QUVI_FAKE_PROP(int32_t, Fluency, 2)
  QUVI_FAKE_PROP(int32_t, TryTimes, 5)
  QUVI_FAKE_TEXT(CaptureBMPPath, "")
  QUVI_FAKE_PROP(int32_t, Volume, 5)
  QUVI_FAKE_PROP(int32_t, DeviceType, 0)
  QUVI_FAKE_PROP(bool, CheckRight, false)
  QUVI_FAKE_TEXT(CenterAddr, "")
  QUVI_FAKE_PROP(int32_t, CenterPort, 0)
  QUVI_FAKE_TEXT(CenterServicePath, "")
  QUVI_FAKE_PROP(int32_t, CenterConnectTimeout, 0)
  QUVI_FAKE_TEXT(RecordFile, "")
  QUVI_FAKE_PROP(int32_t, LinkMode, 1)
  QUVI_FAKE_PROP(bool, NoRefresh, false)
  QUVI_FAKE_PROP(plat::HWND, PlayWnd, 0)
  QUVI_FAKE_TEXT(Caption, "")
  QUVI_FAKE_PROP(uint32_t, FontColor, 0)
  QUVI_FAKE_PROP(int32_t, FontSize, 8)
  QUVI_FAKE_PROP(bool, ParentBackground, false)
  QUVI_FAKE_PROP(bool, DoubleBuffered, false)
  QUVI_FAKE_PROP(bool, Enabled, true)

  QUVI_FAKE_GET(int32_t, PlayType, 0)
  QUVI_FAKE_GET(bool, IsPlaying, playing_)
  QUVI_FAKE_GET(TDateTime, StartPlayTime, start_time_)
  QUVI_FAKE_GET(float, Bitrate, playing_ ? 512.5f : 0.0f)
  QUVI_FAKE_GET(int32_t, CurFrameNumReceived, frames_.load())
  QUVI_FAKE_GET(float, FrameRateReceived, playing_ ? 25.0f : 0.0f)
  QUVI_FAKE_GET(bool, AudioPlaying, audio_playing_)
  QUVI_FAKE_GET(int32_t, GetLastError, 0)
  QUVI_FAKE_GET(int32_t, SendPTZControlCommand, 0)
  QUVI_FAKE_GET(bool, AlignDisabled, false)
  QUVI_FAKE_GET(int32_t, VisibleDockClientCount, 0)
  QUVI_FAKE_GET(int32_t, DrawTextBiDiModeFlagsReadingOnly, 0)
  QUVI_FAKE_GET(bool, IsRightToLeft, false)
  QUVI_FAKE_GET(bool, UseRightToLeftReading, false)
  QUVI_FAKE_GET(bool, UseRightToLeftScrollBar, false)
  QUVI_FAKE_GET(bool, Login, true)
  QUVI_FAKE_GET(bool, Logout, true)
  QUVI_FAKE_GET(bool, CaptureBMP, playing_)

  QUVI_FAKE_CALL(UnZoom)
  QUVI_FAKE_CALL(StartRecord)
  QUVI_FAKE_CALL(StopRecord)
  QUVI_FAKE_CALL(ShowFullScreen)
  QUVI_FAKE_CALL(ExitFullScreen)
  QUVI_FAKE_CALL(SaveFileAs)
  QUVI_FAKE_CALL(InitiateAction)

#undef QUVI_FAKE_PROP
#undef QUVI_FAKE_TEXT
#undef QUVI_FAKE_GET
#undef QUVI_FAKE_CALL

  std::string TipConnectingMsg() override;
  void SetTipConnectingMsg(const std::string& v) override;
  std::string TipConnectFailedMsg() override;
  void SetTipConnectFailedMsg(const std::string& v) override;
  std::string TipPlayFailedMsg() override;
  void SetTipPlayFailedMsg(const std::string& v) override;
  std::string DVRID() override;
  void SetDVRID(const std::string& v) override;
  plat::TFontDesc Font() override;
  void SetFont(const plat::TFontDesc& v) override;
  void Zoom(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  void ZoomByPoint(int32_t x, int32_t y, int32_t flag) override;
  void SetWatermark(const std::string& text) override;
  void GetClientNetID(std::string& result) override;
  bool CaptureBMPResultFilename(std::string& file_name) override;
  void StartPlay() override;
  void StopPlay() override;
  bool AudioOpen() override;
  bool AudioClose() override;
  void ChangeLinkMode(int32_t previous, int32_t mode) override;
  void SetSubComponent(bool is_sub_component) override;

 private:
  void Log(const char* name);
  void RunView(int32_t frames);

  plat::HWND parent_ = 0;
  plat::HWND handle_ = 0;
  std::mutex calls_lock_;
  std::vector<std::string> calls_;
  std::string tip_connecting_, tip_connect_failed_, tip_play_failed_, dvrid_ = "-1";
  plat::TFontDesc font_;
  bool playing_ = false, audio_playing_ = false;
  TDateTime start_time_ = 0;
  std::atomic<int32_t> frames_{0};
  plat::TEvent stop_{true, false};
  std::atomic<bool> last_player_no_decode_{false};
  std::unique_ptr<TOstraNvPreviewPlayer> player_;
  std::thread view_;

  TNotify on_click_, on_dbl_click_, on_connected_, on_disconnected_;
  TDataHandler on_data_;
  TPlayerCreatedHandler on_player_;
  TStatusHandler on_status_;
  TVideoInfoHandler on_video_info_;
};

}  // namespace viewer
