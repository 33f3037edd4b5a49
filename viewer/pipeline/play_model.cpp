#include "viewer/pipeline/play_model.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <stdexcept>

#include "common/viewer_utils.h"
#include "platform/process.h"
#include "platform/time.h"
#include "viewer/pipeline/play_thread.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/protocol/adapter.h"
#include "viewer/protocol/communicator.h"
#include "viewer/protocol/preview_communicator.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/viewer_log.h"

namespace viewer {
namespace {

// Without a play thread the data-stall rule cannot fire before this much time passed.
constexpr int64_t kDataStallMs = TConnectionThread::kStalledMs;

std::string ErrorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

bool HasExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

}  // namespace

std::string BuildRecordFileName(const std::string& record_file, int32_t channel, TDateTime now) {
  const std::string generated =
      std::to_string(channel) + "-0-" + DateDigits(now) + TimeDigits(now) + ".h264";
  if (record_file.empty()) return plat::DataRoot() + "/videodata/" + generated;
  // A trailing backslash marks a folder as well.
  if (record_file.back() == '\\')
    return record_file.substr(0, record_file.size() - 1) + "/" + generated;
  if (record_file.back() == '/') return record_file + generated;
  if (!HasExtension(record_file)) return record_file + "/" + generated;
  return record_file;
}

// ---- TAbstractPlayModel ----

TAbstractPlayModel::TAbstractPlayModel()
    : command_connection_(std::make_unique<TKvTCPClientObj>()) {}

TAbstractPlayModel::~TAbstractPlayModel() {
  Destroy();
}

void TAbstractPlayModel::InitAdapter() {
  adapter_ = CreateAdapter();
}

void TAbstractPlayModel::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  Log("destroy play modal-->" + IdText());
  try {
    StopPlay();
    if (logged_in_ && adapter_) Logout();
    command_connection_.reset();
    adapter_.reset();
  } catch (...) {
    Log("free play model failed, e=" + ErrorText(std::current_exception()));
  }
  Log("destroy play modal<--" + IdText());
}

std::string TAbstractPlayModel::IdText() const {
  return "0x" + Hex8(LogId(this));
}

void TAbstractPlayModel::Log(const std::string& text) {
  WriteLog(LogPrefix() + text);
}

std::string TAbstractPlayModel::Text(const std::string& field) {
  std::lock_guard<std::mutex> hold(text_lock_);
  return field;
}

void TAbstractPlayModel::SetText(std::string& field, const std::string& value) {
  std::lock_guard<std::mutex> hold(text_lock_);
  field = value;
}

std::string TAbstractPlayModel::DVRID() {
  return Text(dvrid_);
}

void TAbstractPlayModel::SetDVRID(const std::string& v) {
  SetText(dvrid_, v);
  dvrid_value_ = DeviceIdNumber(v);  // raises for a bad text, which stays stored
}

void TAbstractPlayModel::SetPortNo(int32_t v) {
  if (v == port_no_) return;
  Log("set port to " + std::to_string(v));
  port_no_ = v;
}

std::string TAbstractPlayModel::LogPrefix() {
  return "did=" + DVRID() + ", ch=" + std::to_string(ChannelNo()) +
         ", stream=" + std::to_string(LinkMode()) + "-->";
}

// ---- Account and capture: the adapter's operations ----

void TAbstractPlayModel::GetClientNetID(std::string& result) {
  adapter_->GetClientNetID(result);
}
bool TAbstractPlayModel::Login() {
  return adapter_->Login();
}
bool TAbstractPlayModel::Logout() {
  return adapter_->Logout();
}
bool TAbstractPlayModel::CaptureBMP() {
  return adapter_->CaptureBMP();
}
bool TAbstractPlayModel::CaptureBMPToFile(std::string& file_name) {
  return adapter_->CaptureBMPToFile(file_name);
}

void TAbstractPlayModel::ChangeLinkMode(int32_t, int32_t mode) {
  link_mode_ = mode;
}

// ---- Status and events ----

void TAbstractPlayModel::SetStatus(int32_t status) {
  if (!is_playing_ || status == status_) return;
  status_ = status;
  if (OnStatusChange) OnStatusChange(*this);
}

void TAbstractPlayModel::NotifyStatus(int32_t status) {
  if (OnStatus) OnStatus(status);
}

void TAbstractPlayModel::FirePlayEnd() {
  if (!OnPlayEndEvent) return;
  // The connection and play threads may both get here; only the first one fires.
  if (play_end_fired_.exchange(true)) return;
  OnPlayEndEvent(*this);
}

void TAbstractPlayModel::MarkDataTime() {
  last_data_tick_ = Clock.TickCount();
}

bool TAbstractPlayModel::DataStalled() {
  return ElapsedTicksBetween(last_data_tick_, Clock.TickCount()) >= kDataStallMs;
}

TPlayer* TAbstractPlayModel::Player() {
  return play_thread_ ? play_thread_->Player() : nullptr;
}

int32_t TAbstractPlayModel::PlayerPort() {
  TPlayer* player = Player();
  return player != nullptr ? player->Port.load() : port_no_.load();
}

bool TAbstractPlayModel::IsPlayingStatus() {
  TPlayer* player = Player();
  return is_playing_ && player != nullptr && player->StreamOpened;
}

// ---- Statistics ----

TDateTime TAbstractPlayModel::StartPlayTime() {
  return connection_thread_ ? connection_thread_->Communicator().StartTime.load() : Now();
}
float TAbstractPlayModel::Bitrate() {
  return connection_thread_ ? connection_thread_->Communicator().GetBitrate() : 0;
}
float TAbstractPlayModel::FrameRateReceived() {
  return connection_thread_ ? connection_thread_->Communicator().GetFrameRate() : 0;
}
int32_t TAbstractPlayModel::CurFrameNumReceived() {
  return connection_thread_ ? connection_thread_->Communicator().PackageCount.load() : 0;
}

// ---- Sound and picture ----

bool TAbstractPlayModel::OpenSound() {
  audio_playing_ = true;
  if (!is_playing_) return false;
  try {
    return adapter_->OpenSound(PlayerPort());
  } catch (...) {
    return false;
  }
}

bool TAbstractPlayModel::CloseSound() {
  if (!is_playing_) return false;
  const bool closed = adapter_->StopSound(PlayerPort());
  if (closed) audio_playing_ = false;
  return closed;
}

int32_t TAbstractPlayModel::GetVolume() {
  const int32_t volume = adapter_->GetVolume(PlayerPort());
  return volume < 0 ? volume_.load() : volume;
}

void TAbstractPlayModel::SetVolume(int32_t v) {
  if (v == volume_) return;
  if (v < kMinVolume || v > kMaxVolume) {
    SetStatus(kStatusInvalidParameter);
    return;
  }
  volume_ = v;
  adapter_->SetVolume(PlayerPort(), static_cast<uint16_t>(v));
}

void TAbstractPlayModel::SetFluency(int32_t v) {
  if (v == fluency_) return;
  fluency_ = v;
  if (is_playing_) adapter_->ThrowBFrame(PlayerPort(), BFrameLevelForFluency(v));
}

void TAbstractPlayModel::SetFullScreen(bool v) {
  if (v == full_screen_) return;
  full_screen_ = v;
  // Leaving full screen puts the picture back into the play window; the window does the
  // rest of the restore (its own geometry).
  if (!v && is_playing_) adapter_->PlayInWindow(PlayerPort(), play_wnd_);
}

void TAbstractPlayModel::SetWatermark(const std::string& v) {
  if (Watermark() == v) return;
  SetText(watermark_, v);
  if (TPlayer* player = Player(); is_playing_ && player != nullptr) player->SetWatermarkText(v);
}

// ---- Recording ----

bool TAbstractPlayModel::StartRecord(const std::string& file_name) {
  TPlayer* player = Player();
  if (player == nullptr) return false;
  const std::string name = BuildRecordFileName(file_name, channel_no_, Now());
  const size_t slash = name.find_last_of('/');
  if (slash != std::string::npos && slash > 0) plat::ForceDirectories(name.substr(0, slash));
  const int file = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (file < 0) Log("create record file failed: " + name);
  // A file that could not be made still ends the recording in progress: the player gets
  // the invalid handle and writes nothing more.
  player->StartRecord(name, true, file);
  return file >= 0;
}

void TAbstractPlayModel::StopRecord() {
  if (TPlayer* player = Player()) player->StopRecord();
}

// ---- Start and stop ----

void TAbstractPlayModel::StartPlay() {
  if (is_playing_.exchange(true)) return;
  // Re-armed only by a real start, so a second StartPlay cannot let the event fire twice.
  play_end_fired_ = false;
  BuildPipeline();
}

void TAbstractPlayModel::BuildPipeline() {
  protected_section_ = std::make_unique<TProtectedSection>();
  std::string host = HostIP();
  ResolveHostAddress(host);  // an unresolvable name is kept, so the connects fail
  if (connection_type_ == ctByStreamMedia && ClientNetID().empty()) {
    std::string net_id;
    GetClientNetID(net_id);
    SetClientNetID(net_id);
  }

  connection_thread_ = std::make_unique<TConnectionThread>(CreateCommunicator());
  protected_section_->ConnectionThread = connection_thread_.get();
  ConfigureCommunicator(connection_thread_->Communicator(), host);
  ConfigureConnectionThread(*connection_thread_, host);

  std::unique_ptr<TPlayer> player = CreatePlayer();
  player->Model = this;
  TPlayer& created = *player;
  play_thread_ = std::make_unique<TPlayThread>(std::move(player));
  ConfigurePlayer(created);
  play_thread_->Model = this;
  play_thread_->ProtectedSection = protected_section_.get();
  connection_thread_->Player = &created;
  created.Active = true;

  MarkDataTime();
  connection_thread_->Resume();
  play_thread_->Resume();
}

void TAbstractPlayModel::ConfigureCommunicator(TCommunicator& communicator,
                                               const std::string& host) {
  communicator.WindowHandle = notify_wnd_;
  communicator.HeadChecked = false;
  communicator.ProtectedSection = protected_section_.get();
  communicator.Client = &connection_thread_->TCPClient();
  communicator.ConnectionType = connection_type_;
  communicator.ServerAddress = host;
  communicator.ClientNetID = ClientNetID();
  communicator.Token = Token();
  communicator.ChannelNo = channel_no_;
  communicator.LoginUser = LoginUser();
  communicator.Password = Password();
  communicator.WriteSysLog = write_sys_log_;
}

void TAbstractPlayModel::ConfigureConnectionThread(TConnectionThread& thread,
                                                   const std::string& host) {
  thread.PlayWnd = play_wnd_;
  thread.ConnectionType = connection_type_;
  thread.HostIP = host;
  thread.HostPort = host_port_;
  thread.StreamMediaIP = StreamMediaIP();
  thread.StreamMediaPort = stream_media_port_;
  thread.ChannelNo = channel_no_;
  thread.Model = this;
  thread.OnConnected = OnConnected;
  thread.OnDisConnected = OnDisConnected;
  thread.SetConnectTimeout(connect_timeout_);
  thread.SetReadTimeout(read_timeout_);
  thread.TryTimes = try_times_;
  thread.CyclePauseSteps = TConnectionThread::CyclePauseStepsFromEnvironment();
  thread.ProtectedSection = protected_section_.get();
  thread.Clock = Clock;
}

void TAbstractPlayModel::ConfigurePlayer(TPlayer& player) {
  player.PlayWindow = play_wnd_;
  player.NotifyWindow = notify_wnd_;
  player.StreamOpened = false;
  player.Port = port_no_.load();
  player.ProtectedSection = protected_section_.get();
  player.Fluency = fluency_.load();
  player.SetWatermarkText(Watermark());
  player.OnVideoInfoRead = onVideoInfoChanged;
}

void TAbstractPlayModel::StopPlay() {
  if (!is_playing_.exchange(false)) return;
  Log("do stop play-->");
  OnStopHook();
  if (TPlayer* player = Player()) player->Active = false;
  if (audio_playing_) CloseSound();  // not playing any more: sound stays wanted
  TearDownPipeline();
  Log("do stop play<--");
}

void TAbstractPlayModel::TearDownPipeline() {
  if (connection_thread_) {
    try {
      connection_thread_->RequestStop();
    } catch (...) {
      Log("connection thread do disconnect failed, e=" + ErrorText(std::current_exception()));
    }
  }
  if (play_thread_) play_thread_->Terminate();
  if (protected_section_) {
    try {
      protected_section_->BlockingQueue.Unblock();
    } catch (...) {
      Log("PlayModel=" + IdText() +
          " unblock access of BlockingQueue. e=" + ErrorText(std::current_exception()));
    }
  }
  Log("free connection thread");
  try {
    if (connection_thread_) connection_thread_->WaitFor();
    connection_thread_.reset();
  } catch (...) {
    Log("connection thread do free failed, e=" + ErrorText(std::current_exception()));
  }
  if (play_thread_) {
    try {
      Log("PlayThread: 0x" + Hex8(LogId(play_thread_.get())) + ", before PlayThread.WaitFor");
      play_thread_->WaitFor();
      Log("try free play thread");
      play_thread_.reset();
      Log("free play thread");
    } catch (...) {
      Log("play thread do free failed, e=" + ErrorText(std::current_exception()));
    }
  }
  protected_section_.reset();
}

// ---- TAbstractPreviewModel ----

TAbstractPreviewModel::TAbstractPreviewModel() {
  drop_when_full_ = true;
  play_type_ = ptPreview;
}

TAbstractPreviewModel::~TAbstractPreviewModel() {
  ReleasePtzProxy();
}

void TAbstractPreviewModel::StartPlay() {
  const bool was_playing = Playing();
  if (!was_playing && !LoggedIn() && Token().empty()) Login();
  TAbstractPlayModel::StartPlay();
  if (was_playing) return;
  if (TPlayer* player = Player(); player != nullptr && OnPlayerCreated) {
    OnPlayerCreated(*this, *player);
  }
}

// ---- TOstraNvPreviewModel ----

TOstraNvPreviewModel::TOstraNvPreviewModel() {
  link_mode_ = 1;
  InitVideoParams();
  InitAdapter();
}

TOstraNvPreviewModel::~TOstraNvPreviewModel() {
  // The proxy's sender may still be sending with this model's settings: it goes first.
  ReleasePtzProxy();
  Destroy();
}

std::unique_ptr<TCommunicator> TOstraNvPreviewModel::CreateCommunicator() {
  auto communicator = std::make_unique<TOstraNvPreviewCommunicator>();
  communicator->Model = this;
  return communicator;
}

std::unique_ptr<TPlayer> TOstraNvPreviewModel::CreatePlayer() {
  auto player = std::make_unique<TOstraNvPreviewPlayer>();
  WriteLogF("Create player %X", LogId(player.get()));
  player->OnReceiveData = OnReceiveData;
  player->NoDecode = PlayWnd() == 0;
  player->SetLinkMode(LinkMode());
  return player;
}

std::unique_ptr<TAbstractAdapter> TOstraNvPreviewModel::CreateAdapter() {
  return std::make_unique<TOstraNvAdapter>(*this);
}

}  // namespace viewer
