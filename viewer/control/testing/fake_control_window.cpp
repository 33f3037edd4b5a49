#include "viewer/control/testing/fake_control_window.h"

#include <stdexcept>

#include "platform/gdi.h"

namespace viewer {

namespace {
std::string OrDefault(const std::string& text, const char* def) {
  return text.empty() ? def : text;
}
}  // namespace

TFakeControlWindow::TFakeControlWindow(plat::HWND parent, int32_t width, int32_t height)
    : parent_(parent), handle_(plat::CreateWindowHandle()) {
  plat::MoveWindow(handle_, 0, 0, width, height);
}

TFakeControlWindow::~TFakeControlWindow() {
  StopPlay();
  plat::DestroyWindowHandle(handle_);
}

void TFakeControlWindow::Log(const char* name) {
  std::lock_guard<std::mutex> lock(calls_lock_);
  // Callers that never take the log (the fuzz target) keep only the latest calls.
  if (calls_.size() >= 4096) calls_.erase(calls_.begin(), calls_.begin() + 2048);
  calls_.emplace_back(name);
}

std::vector<std::string> TFakeControlWindow::TakeCalls() {
  std::lock_guard<std::mutex> lock(calls_lock_);
  return std::move(calls_);
}

std::string TFakeControlWindow::TipConnectingMsg() {
  Log("TipConnectingMsg");
  return OrDefault(tip_connecting_, "正在连接...");
}
void TFakeControlWindow::SetTipConnectingMsg(const std::string& v) {
  Log("SetTipConnectingMsg");
  tip_connecting_ = v;
}
std::string TFakeControlWindow::TipConnectFailedMsg() {
  Log("TipConnectFailedMsg");
  return OrDefault(tip_connect_failed_, "连接失败，准备重连...");
}
void TFakeControlWindow::SetTipConnectFailedMsg(const std::string& v) {
  Log("SetTipConnectFailedMsg");
  tip_connect_failed_ = v;
}
std::string TFakeControlWindow::TipPlayFailedMsg() {
  Log("TipPlayFailedMsg");
  return OrDefault(tip_play_failed_, "播放失败");
}
void TFakeControlWindow::SetTipPlayFailedMsg(const std::string& v) {
  Log("SetTipPlayFailedMsg");
  tip_play_failed_ = v;
}

std::string TFakeControlWindow::DVRID() {
  Log("DVRID");
  return dvrid_;
}
void TFakeControlWindow::SetDVRID(const std::string& v) {
  Log("SetDVRID");
  dvrid_ = v;
  size_t used = 0;
  try {
    (void)std::stoll(v, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != v.size())
    throw std::invalid_argument("'" + v + "' is not a valid integer value");
}

plat::TFontDesc TFakeControlWindow::Font() {
  Log("Font");
  return font_;
}
void TFakeControlWindow::SetFont(const plat::TFontDesc& v) {
  Log("SetFont");
  font_ = v;
}
void TFakeControlWindow::Zoom(int32_t, int32_t, int32_t, int32_t) {
  Log("Zoom");
}
void TFakeControlWindow::ZoomByPoint(int32_t, int32_t, int32_t) {
  Log("ZoomByPoint");
}
void TFakeControlWindow::SetWatermark(const std::string&) {
  Log("SetWatermark");
}
void TFakeControlWindow::GetClientNetID(std::string& result) {
  Log("GetClientNetID");
  result = ClientNetID_;
}
bool TFakeControlWindow::CaptureBMPResultFilename(std::string& file_name) {
  Log("CaptureBMPResultFilename");
  if (!playing_) return false;
  if (file_name.empty()) {
    file_name = CaptureBMPPath_ + "/" + std::to_string(ChannelNo_) + "-2-capture.bmp";
  }
  return true;
}
bool TFakeControlWindow::AudioOpen() {
  Log("AudioOpen");
  audio_playing_ = true;
  return true;
}
bool TFakeControlWindow::AudioClose() {
  Log("AudioClose");
  audio_playing_ = false;
  return true;
}
void TFakeControlWindow::ChangeLinkMode(int32_t, int32_t mode) {
  Log("ChangeLinkMode");
  LinkMode_ = mode;
}
void TFakeControlWindow::SetSubComponent(bool) {
  Log("SetSubComponent");
}

void TFakeControlWindow::StartPlay() {
  Log("StartPlay");
  if (playing_) return;
  playing_ = true;
  start_time_ = Now();
  frames_ = 0;
  stop_.Reset();
  player_ = std::make_unique<TOstraNvPreviewPlayer>();
  player_->NoDecode = PlayWnd_ == 0;  // the player's own default
  if (on_player_) on_player_(*player_);
  last_player_no_decode_ = player_->NoDecode.load();
  view_ = std::thread([this, frames = ScriptFrames] { RunView(frames); });
}

void TFakeControlWindow::StopPlay() {
  Log("StopPlay");
  stop_.Set();
  if (view_.joinable()) view_.join();
  playing_ = false;
  player_.reset();
}

void TFakeControlWindow::RunView(int32_t frames) {
  if (on_connected_) on_connected_();
  if (on_status_) on_status_(-1);
  if (on_status_) on_status_(-5);
  std::vector<uint8_t> head(40, 0x48);
  if (on_data_) on_data_(head.data(), static_cast<int32_t>(head.size()), 128);
  if (on_status_) on_status_(-6);
  if (on_video_info_) on_video_info_(4, 704, 576);
  std::vector<uint8_t> frame(kFrameSize);
  for (int32_t n = 0; n < frames && !stop_.IsSet(); ++n) {
    for (int32_t i = 0; i < kFrameSize; ++i) frame[i] = static_cast<uint8_t>(n + i);
    if (on_data_) on_data_(frame.data(), kFrameSize, 1);
    ++frames_;
  }
  stop_.WaitFor(plat::INFINITE);
  if (on_disconnected_) on_disconnected_();
}

}  // namespace viewer
