// The play model: the non-visual side of one view. It keeps the connection and playing
// settings the host sets, owns the device adapter and its command connection for its whole
// life, and while the view plays owns the pipeline (shared state, connection thread, play
// thread), which it builds at each start and tears down completely at each stop.
// TAbstractPlayModel holds the pipeline and everything common; TAbstractPreviewModel is the
// live-preview kind of view; TOstraNvPreviewModel picks this device family's communicator,
// player and adapter.
// Threads: the window thread calls everything, except the TPipelineModel members, which the
// connection and play threads call while the view plays. Values those threads read are
// atomics, texts sit behind a lock, so a property may change at any moment.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/date_time.h"
#include "platform/messages.h"
#include "viewer/pipeline/connection_thread.h"
#include "viewer/pipeline/pipeline_clock.h"
#include "viewer/pipeline/pipeline_model.h"
#include "viewer/pipeline/ptz_proxy_link.h"
#include "viewer/player/ostra_nv_preview_player.h"
#include "viewer/player/player.h"
#include "viewer/protocol/adapter_model.h"
#include "viewer/protocol/requests.h"

namespace viewer {

class TAbstractAdapter;
class TCommunicator;
class TKvTCPClientObj;
class TPlayThread;
class TProtectedSection;

// Result code given to SetStatus for an out-of-range volume or picture setting.
constexpr int32_t kStatusInvalidParameter = 501;
// Result codes of the PTZ and video-parameter commands (also given to SetStatus).
constexpr int32_t kCommandSent = 0;
constexpr int32_t kCommandInvalidPtz = 404;
constexpr int32_t kCommandPtzNotPlaying = 405;
constexpr int32_t kCommandVideoParamsNotPlaying = 406;
constexpr int32_t kCommandRequestNotBuilt = 503;
constexpr int32_t kCommandFailed = 9999;
// Range of the picture settings (brightness, contrast, saturation, hue).
constexpr int32_t kMinVideoParam = 0;
constexpr int32_t kMaxVideoParam = 127;
// Volume range the model accepts.
constexpr int32_t kMinVolume = 0;
constexpr int32_t kMaxVolume = 10;

// Full record file name for the record setting `record_file` of a view on `channel` at `now`:
// empty → the default video folder under the data root plus the generated name; ending in '/'
// or a backslash → that folder plus the generated name; without extension → taken as a folder;
// otherwise the name itself. The generated name is "<channel>-0-YYYYMMDDhhnnss.h264".
std::string BuildRecordFileName(const std::string& record_file, int32_t channel, TDateTime now);

class TAbstractPlayModel : public TPipelineModel, public TAdapterModel {
 public:
  using TModelCallback = std::function<void(TAbstractPlayModel& model)>;
  using TStatusListener = std::function<void(int32_t code)>;

  TAbstractPlayModel();
  ~TAbstractPlayModel() override;
  TAbstractPlayModel(const TAbstractPlayModel&) = delete;
  TAbstractPlayModel& operator=(const TAbstractPlayModel&) = delete;

  // ---- Virtual operations, in the family's slot order ----
  // On-connected hook: TPipelineModel::OnConnectedHook (empty here).
  virtual void OnStopHook() {}
  virtual std::unique_ptr<TCommunicator> CreateCommunicator() = 0;
  virtual std::unique_ptr<TPlayer> CreatePlayer() = 0;
  virtual std::unique_ptr<TAbstractAdapter> CreateAdapter() = 0;
  virtual void GetClientNetID(std::string& result);
  virtual bool Login();
  virtual bool Logout();
  virtual bool CaptureBMP();
  virtual bool CaptureBMPToFile(std::string& file_name);
  // Builds the pipeline (suspended), fills it in and resumes it; nothing when playing.
  virtual void StartPlay();
  // Tears the pipeline down; nothing when idle. Never raises.
  virtual void StopPlay();
  // False when no view runs or the file cannot be created.
  virtual bool StartRecord(const std::string& file_name);
  virtual void StopRecord();
  virtual void ChangeLinkMode(int32_t previous, int32_t mode);

  // ---- TPipelineModel / TAdapterModel (any thread for the pipeline's members) ----
  std::string DVRID() override;
  int32_t LinkMode() override { return link_mode_; }
  int32_t PortNo() override { return port_no_; }
  int32_t ChannelNo() override { return channel_no_; }
  bool Playing() override { return is_playing_; }
  bool DropWhenFull() override { return drop_when_full_; }
  uint32_t LastDataTick() override { return last_data_tick_; }
  void MarkDataTime() override;
  void SetStatus(int32_t status) override;
  void NotifyStatus(int32_t status) override;
  void FirePlayEnd() override;
  bool AudioPlaying() override { return audio_playing_; }
  // Sets AudioPlaying; while playing opens the port's sound through the adapter.
  bool OpenSound() override;

  std::string HostIP() override { return Text(host_ip_); }
  int32_t HostPort() override { return host_port_; }
  std::string StreamMediaIP() override { return Text(stream_media_ip_); }
  int32_t StreamMediaPort() override { return stream_media_port_; }
  std::string StreamMediaID() override { return Text(stream_media_id_); }
  uint8_t ConnectionType() override { return connection_type_; }
  int32_t ConnectTimeout() override { return connect_timeout_; }
  int32_t ReadTimeout() override { return read_timeout_; }
  TKvTCPClientObj& CommandConnection() override { return *command_connection_; }
  std::string ClientNetID() override { return Text(client_net_id_); }
  void SetClientNetID(const std::string& value) override { SetText(client_net_id_, value); }
  std::string LoginUser() override { return Text(login_user_); }
  std::string Password() override { return Text(password_); }
  std::string Token() override { return Text(token_); }
  void SetToken(const std::string& value) override { SetText(token_, value); }
  std::string UserName() override { return Text(user_name_); }
  void SetUserName(const std::string& value) override { SetText(user_name_, value); }
  bool LoggedIn() override { return logged_in_; }
  void SetLoggedIn(bool value) override { logged_in_ = value; }
  TPlayType PlayType() override { return play_type_; }
  std::string CaptureBMPPath() override { return Text(capture_bmp_path_); }
  plat::HWND PlayWnd() override { return play_wnd_; }
  void SetPlayWnd(plat::HWND window) override { play_wnd_ = window; }

  // ---- Property setters (window thread); most take effect at the next start ----
  void SetHostIP(const std::string& v) { SetText(host_ip_, v); }
  void SetHostPort(int32_t v) { host_port_ = v; }
  void SetStreamMediaIP(const std::string& v) { SetText(stream_media_ip_, v); }
  void SetStreamMediaPort(int32_t v) { stream_media_port_ = v; }
  void SetStreamMediaID(const std::string& v) { SetText(stream_media_id_, v); }
  void SetConnectionType(uint8_t v) { connection_type_ = v; }
  void SetLoginUser(const std::string& v) { SetText(login_user_, v); }
  void SetPassword(const std::string& v) { SetText(password_, v); }
  // Stores the text, then its number; a text that is no decimal integer (DeviceIdNumber)
  // raises EInvalidDeviceId after the text is stored, and the number keeps its old value.
  void SetDVRID(const std::string& v);
  int64_t DVRIDValue() { return dvrid_value_; }
  void SetChannelNo(int32_t v) { channel_no_ = v; }
  // Logs a change; a running player keeps its port.
  void SetPortNo(int32_t v);
  void SetLinkMode(int32_t v) { link_mode_ = v; }
  int32_t DeviceType() { return device_type_; }
  void SetDeviceType(int32_t v) { device_type_ = v; }
  void SetPlayType(TPlayType v) { play_type_ = v; }
  void SetConnectTimeout(int32_t v) { connect_timeout_ = v; }
  void SetReadTimeout(int32_t v) { read_timeout_ = v; }
  int32_t TryTimes() { return try_times_; }
  void SetTryTimes(int32_t v) { try_times_ = v; }
  plat::HWND NotifyWnd() { return notify_wnd_; }
  void SetNotifyWnd(plat::HWND v) { notify_wnd_ = v; }
  int32_t Volume() { return volume_; }
  // Out of 0..10: SetStatus(501), nothing else. Else stored and given to the adapter.
  void SetVolume(int32_t v);
  // The adapter's volume of the port; its own Volume when the adapter answers negative.
  int32_t GetVolume();
  int32_t Fluency() { return fluency_; }
  // While playing, the player throws B-frames by BFrameLevelForFluency.
  void SetFluency(int32_t v);
  bool FullScreen() { return full_screen_; }
  void SetFullScreen(bool v);
  // While playing: the adapter's StopSound; success clears AudioPlaying.
  bool CloseSound();
  void SetCaptureBMPPath(const std::string& v) { SetText(capture_bmp_path_, v); }
  bool CheckRight() { return check_right_; }
  void SetCheckRight(bool v) { check_right_ = v; }
  bool WriteSysLog() { return write_sys_log_; }
  void SetWriteSysLog(bool v) { write_sys_log_ = v; }
  bool UseMouseControl() { return use_mouse_control_; }
  void SetUseMouseControl(bool v) { use_mouse_control_ = v; }
  std::string SN() { return Text(sn_); }
  void SetSN(const std::string& v) { SetText(sn_, v); }
  uint8_t PTZConnectionType() { return ptz_connection_type_; }
  void SetPTZConnectionType(uint8_t v) { ptz_connection_type_ = v; }
  std::string PTZProxyIP() { return Text(ptz_proxy_ip_); }
  void SetPTZProxyIP(const std::string& v) { SetText(ptz_proxy_ip_, v); }
  int32_t PTZProxyPort() { return ptz_proxy_port_; }
  void SetPTZProxyPort(int32_t v) { ptz_proxy_port_ = v; }
  std::string Watermark() { return Text(watermark_); }
  // Acts at once while playing: the player applies a text that differs from its own.
  void SetWatermark(const std::string& v);
  int32_t Status() { return status_; }
  bool PlayEndFired() { return play_end_fired_; }
  // 10 s or more since the last MarkDataTime.
  bool DataStalled();
  // Playing and the player's stream is open.
  bool IsPlayingStatus();
  // "did=<DVRID>, ch=<ChannelNo>, stream=<LinkMode>-->"
  std::string LogPrefix();

  // ---- Statistics of the running view (0, or now, without a connection thread) ----
  TDateTime StartPlayTime();
  float Bitrate();
  float FrameRateReceived();
  int32_t CurFrameNumReceived();

  TAbstractAdapter& Adapter() { return *adapter_; }
  // The running view's player; null when idle.
  TPlayer* Player();
  // The port the view's sound, volume and picture calls go to: the running player's port,
  // which is the one it fetched when PortNo is negative; PortNo when no view runs.
  int32_t PlayerPort();

  // Tick count and sleeps of the data-stall rule and the connection thread's pauses; set
  // before a start.
  TPipelineClock Clock;

  // ---- Listeners, set by the window before a start ----
  TModelCallback OnStatusChange;  // when Status changes
  TStatusListener OnStatus;       // each code the connection thread posts
  TPlayer::TVideoInfoHandler onVideoInfoChanged;
  TConnectionThread::TModelHandler OnConnected;
  TConnectionThread::TModelHandler OnDisConnected;
  TModelCallback OnPlayEndEvent;  // at most once per start

 protected:
  // The most derived constructor calls this once its CreateAdapter can run.
  void InitAdapter();
  // Stop, logout and release; the most derived destructor calls it while its overrides
  // still exist. Runs once.
  void Destroy();
  // "0x" + the model's identifier in 8 hex digits.
  std::string IdText() const;
  void Log(const std::string& text);

  // Text properties share one lock: the pipeline's threads read DVRID while the window
  // thread may set it.
  std::string Text(const std::string& field);
  void SetText(std::string& field, const std::string& value);

  std::atomic<bool> drop_when_full_{false};
  std::atomic<TPlayType> play_type_{ptPreview};
  std::atomic<int32_t> link_mode_{0};

 private:
  void BuildPipeline();
  void TearDownPipeline();
  void ConfigureCommunicator(TCommunicator& communicator, const std::string& host);
  void ConfigureConnectionThread(TConnectionThread& thread, const std::string& host);
  void ConfigurePlayer(TPlayer& player);

  std::mutex text_lock_;
  std::string host_ip_, stream_media_ip_, stream_media_id_, client_net_id_, login_user_, password_,
      token_, user_name_, dvrid_ = "-1", capture_bmp_path_, sn_, ptz_proxy_ip_, watermark_;
  std::atomic<int64_t> dvrid_value_{-1};
  std::atomic<int32_t> host_port_{0}, stream_media_port_{0}, channel_no_{-1}, port_no_{0},
      device_type_{0}, connect_timeout_{30000}, read_timeout_{30000}, try_times_{5}, volume_{5},
      fluency_{2}, ptz_proxy_port_{0}, status_{0};
  std::atomic<uint8_t> connection_type_{ctDirect}, ptz_connection_type_{0};
  std::atomic<plat::HWND> play_wnd_{0}, notify_wnd_{0};
  std::atomic<bool> audio_playing_{false}, full_screen_{false}, check_right_{false},
      write_sys_log_{false}, use_mouse_control_{false}, is_playing_{false}, logged_in_{false},
      play_end_fired_{false};
  std::atomic<uint32_t> last_data_tick_{0};

  std::unique_ptr<TKvTCPClientObj> command_connection_;
  std::unique_ptr<TAbstractAdapter> adapter_;
  bool destroyed_ = false;

  // The pipeline of the running view; the connection thread is destroyed before the play
  // thread (it consults the player), the shared state last.
  std::unique_ptr<TProtectedSection> protected_section_;
  std::unique_ptr<TConnectionThread> connection_thread_;
  std::unique_ptr<TPlayThread> play_thread_;
};

// A live view: frames are dropped when the queue fills; logs in before a start when it has
// no token; tells the window about every new player. Adds the PTZ and picture settings and
// the commands that send them (window thread only, like the rest of the model).
class TAbstractPreviewModel : public TAbstractPlayModel {
 public:
  using TPlayerCreatedHandler = std::function<void(TAbstractPlayModel& model, TPlayer& player)>;

  TAbstractPreviewModel();
  ~TAbstractPreviewModel() override;

  // Logs in first when not logged in and without a token (the result is not examined), runs
  // the start sequence, then calls OnPlayerCreated with the new player.
  void StartPlay() override;

  // ---- Picture settings: 0..127. Equal: nothing; out of range: SetStatus(501) and the value
  // stays; else stored and, while playing, sent with RefreshVideoParams ----
  int32_t Brightness() { return brightness_; }
  int32_t Contrast() { return contrast_; }
  int32_t Saturation() { return saturation_; }
  int32_t Hue() { return hue_; }
  void SetBrightness(int32_t v) { SetVideoParam(brightness_, v); }
  void SetContrast(int32_t v) { SetVideoParam(contrast_, v); }
  void SetSaturation(int32_t v) { SetVideoParam(saturation_, v); }
  void SetHue(int32_t v) { SetVideoParam(hue_, v); }
  // Stores what the server reported for the picture, sending nothing back.
  void StoreVideoParams(int32_t brightness, int32_t contrast, int32_t saturation, int32_t hue);
  virtual void InitVideoParams() = 0;
  // Sends the picture settings to the server; a result code, also given to SetStatus.
  virtual int32_t RefreshVideoParams() = 0;

  // ---- PTZ: the setters only store; SendPTZControlCommand sends ----
  int32_t PTZCommandID() { return ptz_command_id_; }
  void SetPTZCommandID(int32_t v) { ptz_command_id_ = v; }
  int32_t PTZControlEnabled() { return ptz_control_enabled_; }
  void SetPTZControlEnabled(int32_t v) { ptz_control_enabled_ = v; }
  int32_t PTZPresetIndex() { return ptz_preset_index_; }
  void SetPTZPresetIndex(int32_t v) { ptz_preset_index_ = v; }
  int32_t PTZSpeed() { return ptz_speed_; }
  void SetPTZSpeed(int32_t v) { ptz_speed_ = v; }
  // By PTZConnectionType: 0 or 1 to the server, 2 to the PTZ proxy, else nothing; a result
  // code, also given to SetStatus on the server path.
  virtual int32_t SendPTZControlCommand() = 0;

  // What creates the PTZ proxy link on first proxy use; without one the proxy path sends
  // nothing.
  void SetPtzProxyFactory(TPtzProxyFactory factory) { ptz_proxy_factory_ = std::move(factory); }
  // The link created on first proxy use; null before.
  TPtzProxyLink* PtzProxy() { return ptz_proxy_.get(); }

  TOstraNvPreviewPlayer::TReceiveDataHandler OnReceiveData;
  TPlayerCreatedHandler OnPlayerCreated;

 protected:
  // The proxy path: the link (created on first use) gets the command with its value, the
  // preset index for commands 20..22, else PTZControlEnabled. Nothing without an address.
  void HandPtzToProxy();
  // Ends and frees the proxy link; the model's destruction does this first.
  void ReleasePtzProxy();
  // Sets PTZCommandID and PTZControlEnabled back to -1: a command is consumed by one send.
  void ConsumePtzCommand();

  std::atomic<int32_t> brightness_{0}, contrast_{0}, saturation_{0}, hue_{0};

 private:
  void SetVideoParam(std::atomic<int32_t>& field, int32_t v);

  std::atomic<int32_t> ptz_command_id_{-1}, ptz_control_enabled_{-1}, ptz_preset_index_{0},
      ptz_speed_{-1};
  TPtzProxyFactory ptz_proxy_factory_;
  std::unique_ptr<TPtzProxyLink> ptz_proxy_;
};

// This device family's live view: its communicator, player and adapter.
class TOstraNvPreviewModel : public TAbstractPreviewModel {
 public:
  TOstraNvPreviewModel();
  ~TOstraNvPreviewModel() override;

  std::unique_ptr<TCommunicator> CreateCommunicator() override;
  // The preview player with the receive-data handler, no-decode when there is no play
  // window, and the current LinkMode.
  std::unique_ptr<TPlayer> CreatePlayer() override;
  std::unique_ptr<TAbstractAdapter> CreateAdapter() override;

  // 70, 75, 85, 127.
  void InitVideoParams() override;
  // 406 when not playing; else the video-parameter request, sent once on the command
  // connection (a transport failure is not detected: 0).
  int32_t RefreshVideoParams() override;
  int32_t SendPTZControlCommand() override;
  // Tells the running player, sends the link-mode request if the command connection can be
  // had (every failure ignored), then stores the new mode in any case.
  void ChangeLinkMode(int32_t previous, int32_t mode) override;

 private:
  // Checks the PTZ values and the view, sends the PTZ request; always consumes the command.
  int32_t SendPtzToServer();
  // Connects the command connection and sends the request once; the outcome is not examined.
  void SendCommandOnce(const std::vector<uint8_t>& request);
  // Where the command requests of this model go.
  TRequestAddressing CommandAddressing();
};

}  // namespace viewer
