#include "modules/qeldsound/sound_player.h"

namespace qelsound {

TSoundPlayer::TSoundPlayer(std::unique_ptr<TSoundSink> sink, const std::string& wav_path,
                           int queue_ms)
    : sink_(std::move(sink)), queue_ms_(queue_ms) {
  if (!wav_path.empty()) wav_.emplace(wav_path);
  if (sink_->Paced()) output_thread_ = std::thread([this] { RunOutput(); });
}

TSoundPlayer::~TSoundPlayer() {
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
    queue_.clear();
  }
  queued_.notify_all();
  if (output_thread_.joinable()) output_thread_.join();
}

bool TSoundPlayer::SetFormat(const TSoundFormat& format) {
  if (!format.Valid()) return false;
  std::lock_guard lock(lock_);
  format_ = format;
  return true;
}

TSoundPlayer::EPlay TSoundPlayer::Play(const uint8_t* data, size_t size) {
  std::unique_lock lock(lock_);
  const TSoundFormat format = format_;
  if (!format.Valid() || data == nullptr) return EPlay::Refused;
  // Only whole sample frames reach the device.
  size -= size % format.FrameBytes();
  if (size == 0) return EPlay::Refused;
  if (!sink_->Paced()) {
    lock.unlock();
    Output(format, data, size);
    return EPlay::Played;
  }
  const size_t limit = format.BytesPerSecond() * static_cast<size_t>(queue_ms_) / 1000;
  // One frame always fits an empty queue, however long it is.
  if (!queue_.empty() && queued_bytes_ + size > limit) {
    ++dropped_;
    return EPlay::Dropped;
  }
  queue_.push_back({format, std::vector<uint8_t>(data, data + size)});
  queued_bytes_ += size;
  lock.unlock();
  queued_.notify_one();
  return EPlay::Played;
}

void TSoundPlayer::Output(const TSoundFormat& format, const uint8_t* data, size_t size) {
  std::lock_guard lock(output_lock_);
  if (!sink_format_ || !(*sink_format_ == format)) {
    sink_format_ = format;
    sink_open_ = sink_->Open(format);
  }
  // A device that failed loses the frame; what was played is what the WAV file holds.
  if (!sink_open_ || !sink_->Write(data, size)) return;
  played_bytes_ += size;
  if (wav_) wav_->Write(format, data, size);
}

void TSoundPlayer::RunOutput() {
  std::unique_lock lock(lock_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    TQueued item = std::move(queue_.front());
    queue_.pop_front();
    // Counted until played, so the queue's bound includes the frame at the device.
    lock.unlock();
    Output(item.Format, item.Samples.data(), item.Samples.size());
    lock.lock();
    queued_bytes_ -= item.Samples.size();
  }
}

uint64_t TSoundPlayer::DroppedFrames() const {
  std::lock_guard lock(lock_);
  return dropped_;
}

uint64_t TSoundPlayer::PlayedBytes() const {
  std::lock_guard lock(output_lock_);
  return played_bytes_;
}

}  // namespace qelsound
