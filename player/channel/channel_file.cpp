// Record file play: opening and closing the file with its index thread, the two file
// notifications, position queries and seeks, and the background play thread's record file
// step.
#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>

#include "player/channel/channel.h"
#include "player/channel/speed_ladder.h"
#include "player/config/player_settings.h"
#include "player/player_log.h"
#include "player/record/create_ref_thread.h"

namespace zrplay {

// Shared between the channel and its index threads: the channel clears it when it goes, so a
// thread finishing later leaves it alone. Its lock is held while the index-complete handler
// runs, so the channel is not destroyed under a running handler; it is re-entrant because
// the file-index callback may call back into the channel, down to closing it.
struct TChannel::TIndexLink {
  std::recursive_mutex lock;
  TChannel* channel = nullptr;
};

namespace {

// Read buffers grow in steps of this many bytes.
constexpr size_t kReadBufferStep = 1024;

}  // namespace

std::shared_ptr<TFileReader> TChannel::FileReader() const {
  std::lock_guard lock(file_lock_);
  return reader_;
}

// The reader while a record file is open, else null.
std::shared_ptr<TFileReader> TChannel::OpenReader() const {
  if (StreamState() != ssRecordFile) return nullptr;
  return FileReader();
}

int32_t TChannel::NearestKeyFrame(int32_t i) const {
  const std::shared_ptr<TFileReader> reader = FileReader();
  return reader ? reader->NearestKeyFrame(i) : -1;
}

int32_t TChannel::OpenFile(const char* file_name) {
  const std::string name = file_name != nullptr ? file_name : "";
  std::shared_ptr<TFileReader> reader;
  std::shared_ptr<TIndexLink> link;
  {
    std::lock_guard lock(file_lock_);
    if (!reader_) reader_ = std::make_shared<TFileReader>();
    if (!index_link_) {
      index_link_ = std::make_shared<TIndexLink>();
      index_link_->channel = this;
    }
    reader = reader_;
    link = index_link_;
    current_index_ = 0;
  }
  stream_state_ = ssRecordFile;
  buffer_on_live_ = false;
  log_.WriteF("open file(%s)-->", name.c_str());
  const bool r = reader->Open(name);
  if (r) {
    // Counted before the thread starts, so the play step never sees a half-built index.
    ++index_builds_;
    if (!TCreateRefThread::Run(reader, [link, reader](bool) { OnIndexBuilt(link, reader); })) {
      --index_builds_;
    }
  }
  log_.WriteF("open file(%s)=%d", name.c_str(), r ? 1 : 0);
  return r ? 1 : 0;
}

void TChannel::OnIndexBuilt(const std::shared_ptr<TIndexLink>& link,
                            const std::shared_ptr<TFileReader>& reader) {
  std::lock_guard lock(link->lock);
  TChannel* channel = link->channel;
  if (channel == nullptr) return;  // closed and gone meanwhile
  --channel->index_builds_;
  ZR_FILE_REF_CALLBACK callback = nullptr;
  ZR_USER user = 0;
  {
    std::lock_guard callback_lock(channel->file_callback_lock_);
    callback = channel->file_ref_callback_;
    user = channel->file_ref_user_;
  }
  const TChannelLog log = channel->log_;
  // The callback may close the file and destroy the channel: nothing of it is used after.
  if (callback != nullptr) callback(channel->port_, user);
  if (PlayerSettings.OutputFileSortInfo) {
    log.Write("create ref end");
    WriteLog(reader->IndexListing());
  }
}

int32_t TChannel::CloseFile() {
  ReleaseRecordFile();
  stream_state_ = ssClosed;
  log_.Write("close file=1");
  return 1;
}

void TChannel::ReleaseRecordFile() {
  std::shared_ptr<TIndexLink> link;
  std::shared_ptr<TFileReader> reader;
  {
    std::lock_guard lock(file_lock_);
    link = std::move(index_link_);
    reader = std::move(reader_);
    read_buffer_ = {};
    current_index_ = 0;
  }
  if (link) {
    // Waits for a running index-complete handler; later ones find no channel.
    std::lock_guard lock(link->lock);
    link->channel = nullptr;
  }
  index_builds_ = 0;
  // Ends a build still running over the file; its thread keeps the reader alive until then.
  if (reader) reader->Close();
}

int32_t TChannel::SetFileRefCallBack(ZR_FILE_REF_CALLBACK callback, ZR_USER user) {
  {
    std::lock_guard lock(file_callback_lock_);
    file_ref_callback_ = callback;
    file_ref_user_ = user;
  }
  log_.Write("set file ref done callback=1");
  return 1;
}

int32_t TChannel::SetFileEndMsg(ZR_HWND window, uint32_t message) {
  file_end_window_ = window;
  file_end_message_ = message;
  log_.WriteF("set file end msg(wnd=0x%08X, msg=0x%08X)=1", static_cast<uint32_t>(window), message);
  return 1;
}

void TChannel::PostFileEnd() const {
  const plat::HWND window = file_end_window_;
  const uint32_t message = file_end_message_;
  if (window != 0 && message != 0) {
    plat::PostMessage(window, message, static_cast<plat::WPARAM>(port_), 0);
  }
}

int32_t TChannel::GetPlayedFrames() {
  const int32_t index = current_index_;
  log_.WriteF("get played frames=%d", index);
  return index;
}

int32_t TChannel::GetCurrFrameNum() {
  const int32_t index = current_index_;
  log_.WriteF("get current frame=%d", index);
  return index;
}

int32_t TChannel::GetFileTotalFrames() {
  const std::shared_ptr<TFileReader> reader = OpenReader();
  const int32_t r = reader ? reader->FrameCount() : 0;
  log_.WriteF("get file total frames=%d", r);
  return r;
}

int32_t TChannel::GetFileTotalMSec() {
  const std::shared_ptr<TFileReader> reader = OpenReader();
  const int32_t r = reader ? reader->DurationMs() : 0;
  log_.WriteF("get file time total milli seconds=%d", r);
  return r;
}

namespace {

// Milliseconds played in this play run: from the first to the last frame fed.
int64_t PlayedMs(const TFrameTiming& timing) {
  const TDateTime last = timing.LastFrameTime();
  return last > 0 ? FrameTimeDistanceMs(last, timing.FirstFrameTime()) : 0;
}

}  // namespace

int32_t TChannel::GetPlayedTime() {
  const int32_t r = OpenReader() ? static_cast<int32_t>(PlayedMs(timing_) / 1000) : 0;
  log_.WriteF("get played time=%d", r);
  return r;
}

int32_t TChannel::GetPlayedTimeEx() {
  const int32_t r = OpenReader() ? static_cast<int32_t>(PlayedMs(timing_)) : 0;
  log_.WriteF("get played timeex=%d", r);
  return r;
}

double TChannel::GetPlayedPos() {
  double r = 0;
  if (const std::shared_ptr<TFileReader> reader = OpenReader()) {
    const int count = reader->FrameCount();
    r = count > 0 ? static_cast<double>(current_index_) / count : -1.0;
  }
  log_.WriteF("get play pos=%g", r);
  return r;
}

int32_t TChannel::SetPlayedPos(double position) {
  if (StreamState() == ssRecordFile) {
    std::lock_guard lock(file_lock_);
    if (reader_) {
      const float where = static_cast<float>(position);
      // Round to nearest, halves to even (the default rounding mode).
      const double target = std::nearbyint(static_cast<double>(reader_->FrameCount()) * where);
      SeekLocked(std::isfinite(target) && std::fabs(target) < 2e9 ? static_cast<int32_t>(target)
                                                                  : 0);
    }
  }
  log_.WriteF("set play pos(%g)=1", position);
  return 1;
}

int32_t TChannel::SetPlayedTimeEx(int32_t ms) {
  int32_t r = 0;
  if (StreamState() == ssRecordFile) {
    std::lock_guard lock(file_lock_);
    if (reader_) {
      const int index = reader_->FrameIndexAtTime(ms);
      SeekLocked(index >= 0 ? index : 0);
      r = 1;
    }
  }
  log_.WriteF("set played time ex(%d)=%d", ms, r);
  return r;
}

int32_t TChannel::SetCurrFrameNum(int32_t frame) {
  {
    std::lock_guard lock(file_lock_);
    SeekLocked(frame);
  }
  log_.WriteF("set current frame num(value=%d)=1", frame);
  return 1;
}

int32_t TChannel::GetKeyFramePos(int32_t value, int32_t kind) {
  int32_t r = -1;
  if (const std::shared_ptr<TFileReader> reader = OpenReader()) {
    if (kind == 1) r = reader->FrameStart(value);
    if (kind == 2) r = reader->FrameStart(reader->FrameIndexAtTime(value));
  }
  log_.WriteF("get key frame pos(value=%d, type=%d)=%d", value, kind, r);
  return r;
}

int32_t TChannel::GetLastKeyPos(int32_t value, int32_t kind) {
  int32_t r = -1;
  if (const std::shared_ptr<TFileReader> reader = OpenReader()) {
    r = reader->FrameStart(reader->FrameCount() - 1);
  }
  log_.WriteF("get last key pos(value=%d, type=%d)=%d", value, kind, r);
  return r;
}

void TChannel::SeekLocked(int32_t index) {
  if (!reader_) return;
  const int32_t key = reader_->NearestKeyFrame(index);
  if (key == -1) return;
  SetCurrentIndexLocked(key);
  ShowFrameLocked(current_index_);
}

void TChannel::SetCurrentIndexLocked(int32_t index) {
  if (!reader_ || StreamState() != ssRecordFile) return;
  const int32_t last = reader_->FrameCount() - 1;
  current_index_ = std::max(0, std::min(index, last));
}

void TChannel::ShowFrameLocked(int32_t index) {
  const int32_t size = reader_ ? reader_->FrameSize(index) : 0;
  // A frame the file does not hold in full is skipped like an unreadable one, so a damaged
  // head cannot make the buffer grow to what it claims.
  if (size <= 0 || !reader_->FrameLiesInFile(index)) return;
  const size_t needed =
      (static_cast<size_t>(size) + kReadBufferStep - 1) / kReadBufferStep * kReadBufferStep;
  if (read_buffer_.size() < needed) read_buffer_.resize(needed);
  if (!reader_->ReadFrame(read_buffer_.data(), index)) return;
  InputData(read_buffer_.data(), size);
}

bool TChannel::RecordFileStep(uint32_t now_ms) {
  if (BuildingIndex() || StreamState() != ssRecordFile || paused_ || !playing_) return false;
  std::lock_guard lock(file_lock_);
  if (!reader_) return false;
  const int32_t index = current_index_;
  const int32_t count = reader_->FrameCount();
  if (index >= count) return false;
  if (!file_pacer_.Admit(reader_->FrameTime(index), reader_->FrameType(index),
                         timing_.LastFrameTime(), RecordFileDelayFactor(speed_level_), now_ms)) {
    return false;
  }
  ShowFrameLocked(index);
  current_index_ = index + 1;
  if (index + 1 >= count) PostFileEnd();
  return true;
}

}  // namespace zrplay
