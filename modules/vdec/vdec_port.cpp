#include "modules/vdec/vdec_port.h"

#include <cstring>

namespace vdec {

TVdecPort::TVdecPort(int32_t number) : number_(number) {}

TVdecPort::~TVdecPort() {
  std::lock_guard lifecycle(lifecycle_mutex_);
  StopDecoding();
}

bool TVdecPort::OnOwnDecodingThread() const {
  return TDecodeWorker::CallingPort() == number_;
}

bool TVdecPort::IsTaken() const {
  std::lock_guard lock(state_mutex_);
  return taken_;
}

bool TVdecPort::Take() {
  std::lock_guard lifecycle(lifecycle_mutex_);
  std::lock_guard lock(state_mutex_);
  if (taken_) return false;
  taken_ = true;
  return true;
}

bool TVdecPort::Release() {
  if (OnOwnDecodingThread()) return false;
  std::lock_guard lifecycle(lifecycle_mutex_);
  if (!IsTaken()) return false;
  StopDecoding();
  hook_.Reset();
  picture_.Clear();
  std::lock_guard lock(state_mutex_);
  input_.Clear();
  input_.SetCapacity(0);
  open_ = false;
  settings_ = TSettings{};
  taken_ = false;
  return true;
}

void TVdecPort::StopDecoding() {
  if (worker_) {
    worker_->Stop();
    worker_.reset();
  }
  std::lock_guard lock(state_mutex_);
  playing_ = false;
}

void TVdecPort::Deliver(const AVFrame& picture, const VDEC_FRAME_INFO& info) {
  picture_.Set(&picture);
  hook_.Deliver(number_, picture, info);
  // With a window the library draws: the first enabled display region shown in that window
  // picks the part of the picture, else the whole picture.
  VDEC_HWND window = 0;
  VDEC_RECT source{0, 0, 0, 0};
  {
    std::lock_guard lock(state_mutex_);
    window = settings_.window;
    for (const TDisplayRegion& region : settings_.regions) {
      if (region.enabled && (region.window == window || region.window == 0)) {
        source = region.source;
        break;
      }
    }
  }
  if (window != 0 && window != -1) painter_.Paint(window, picture, source);
}

bool TVdecPort::SetStreamOpenMode(uint32_t mode) {
  if (mode != VDEC_STREAM_REALTIME && mode != VDEC_STREAM_FILE) return false;
  std::lock_guard lock(state_mutex_);
  if (!taken_) return false;
  settings_.open_mode = mode;
  return true;
}

bool TVdecPort::OpenStream(uint32_t buffer_pool_size) {
  if (buffer_pool_size == 0 || OnOwnDecodingThread()) return false;
  std::lock_guard lifecycle(lifecycle_mutex_);
  std::lock_guard lock(state_mutex_);
  if (!taken_) return false;
  input_.SetCapacity(buffer_pool_size);
  open_ = true;
  return true;
}

bool TVdecPort::InputData(const uint8_t* data, uint32_t size) {
  if (data == nullptr || size == 0) return false;
  // Held while copying, so that no block lands in a stream being closed.
  std::lock_guard lock(state_mutex_);
  return taken_ && open_ && input_.Push(data, size);
}

bool TVdecPort::CloseStream() {
  if (OnOwnDecodingThread()) return false;
  std::lock_guard lifecycle(lifecycle_mutex_);
  if (!IsTaken()) return false;
  StopDecoding();
  std::lock_guard lock(state_mutex_);
  open_ = false;
  input_.Clear();
  return true;
}

bool TVdecPort::SetEngine(int32_t decode_type, int32_t render_type) {
  std::lock_guard lock(state_mutex_);
  if (!taken_) return false;
  settings_.decode_type = decode_type;
  settings_.render_type = render_type;
  return true;
}

bool TVdecPort::Play(VDEC_HWND window) {
  if (OnOwnDecodingThread()) return false;
  std::lock_guard lifecycle(lifecycle_mutex_);
  {
    std::lock_guard lock(state_mutex_);
    if (!taken_ || !open_) return false;
    settings_.window = window;
    settings_.paused = false;
  }
  if (!worker_) {
    auto worker = std::make_unique<TDecodeWorker>(
        number_, input_,
        [this](const AVFrame& picture, const VDEC_FRAME_INFO& info) { Deliver(picture, info); });
    if (!worker->Start()) return false;
    worker_ = std::move(worker);
  }
  std::lock_guard lock(state_mutex_);
  playing_ = true;
  return true;
}

bool TVdecPort::AntiAliasEnable(bool enable) {
  std::lock_guard lock(state_mutex_);
  if (!taken_) return false;
  settings_.anti_alias = enable;
  return true;
}

bool TVdecPort::SetDecCBStream(uint32_t selector) {
  return IsTaken() && hook_.SelectStreams(selector);
}

bool TVdecPort::SetDecodeCallBack(VDEC_DecodeCallBack hook, void* user) {
  if (!IsTaken()) return false;
  hook_.Set(hook, user);
  return true;
}

bool TVdecPort::Stop() {
  if (OnOwnDecodingThread()) return false;
  std::lock_guard lifecycle(lifecycle_mutex_);
  if (!IsTaken()) return false;
  StopDecoding();
  return true;
}

bool TVdecPort::Pause(bool pause) {
  std::lock_guard lock(state_mutex_);
  if (!taken_ || !playing_) return false;
  settings_.paused = pause;
  return true;
}

bool TVdecPort::Fast() {
  std::lock_guard lock(state_mutex_);
  if (!taken_ || settings_.speed >= kMaxSpeed) return false;
  ++settings_.speed;
  return true;
}

bool TVdecPort::Slow() {
  std::lock_guard lock(state_mutex_);
  if (!taken_ || settings_.speed <= kMinSpeed) return false;
  --settings_.speed;
  return true;
}

bool TVdecPort::SetDisplayRegion(uint32_t region, const VDEC_RECT* source, VDEC_HWND window,
                                 bool enable) {
  if (region >= VDEC_MAX_DISPLAY_REGIONS) return false;
  VDEC_RECT rect{0, 0, 0, 0};
  if (enable) {
    if (source == nullptr) return false;
    rect = *source;
    const bool whole_picture =
        rect.left == 0 && rect.top == 0 && rect.right == 0 && rect.bottom == 0;
    const bool valid =
        rect.left >= 0 && rect.top >= 0 && rect.right > rect.left && rect.bottom > rect.top;
    if (!whole_picture && !valid) return false;
  }
  std::lock_guard lock(state_mutex_);
  if (!taken_) return false;
  settings_.regions[region] = TDisplayRegion{rect, window, enable};
  return true;
}

bool TVdecPort::GetPictureSize(int32_t* width, int32_t* height) {
  if (width == nullptr || height == nullptr || !IsTaken()) return false;
  return picture_.Size(*width, *height);
}

bool TVdecPort::GetPicJPEG(uint8_t* buffer, uint32_t buffer_size, uint32_t* jpeg_size,
                           int32_t quality) {
  if (jpeg_size == nullptr) return false;
  *jpeg_size = 0;
  if (buffer == nullptr || !IsTaken()) return false;
  std::vector<uint8_t> jpeg;
  if (!picture_.Jpeg(quality, jpeg)) return false;
  *jpeg_size = static_cast<uint32_t>(jpeg.size());
  if (jpeg.size() > buffer_size) return false;
  std::memcpy(buffer, jpeg.data(), jpeg.size());
  return true;
}

}  // namespace vdec
