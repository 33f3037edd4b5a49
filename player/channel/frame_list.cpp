#include "player/channel/frame_list.h"

namespace zrplay {

bool TFrameList::Exists() const {
  std::lock_guard lock(lock_);
  return exists_;
}

size_t TFrameList::Count() const {
  std::lock_guard lock(lock_);
  return frames_.size();
}

void TFrameList::Append(std::unique_ptr<TBufferFrame> frame) {
  std::lock_guard lock(lock_);
  exists_ = true;
  frames_.push_back(std::move(frame));
}

std::unique_ptr<TBufferFrame> TFrameList::TakeFirst(bool clean, std::atomic<bool>& wait_for_key,
                                                    const TChannelLog& log) {
  std::lock_guard lock(lock_);
  if (frames_.empty()) return nullptr;
  if (clean) CleanLocked(wait_for_key, log);
  if (frames_.empty()) return nullptr;
  std::unique_ptr<TBufferFrame> first = std::move(frames_.front());
  frames_.pop_front();
  return first;
}

void TFrameList::CleanLocked(std::atomic<bool>& wait_for_key, const TChannelLog& log) {
  if (FrameTimeDistanceMs(frames_.front()->FrameTime(), frames_.back()->FrameTime()) <
      kCleanSpanMs) {
    return;
  }
  log.WriteF("frame list count=%zu, need clean", frames_.size());
  int key = -1;
  for (int i = static_cast<int>(frames_.size()) - 1; i >= 0; --i) {
    if (frames_[i]->IsKeyFrame()) {
      key = i;
      break;
    }
  }
  if (key < 0) {
    wait_for_key = true;
    frames_.clear();
  } else {
    frames_.erase(frames_.begin(), frames_.begin() + key);
  }
  log.WriteF("clean from %d, remain count=%zu", key, frames_.size());
}

void TFrameList::Free() {
  std::deque<std::unique_ptr<TBufferFrame>> gone;
  {
    std::lock_guard lock(lock_);
    gone.swap(frames_);
    exists_ = false;
  }
}

}  // namespace zrplay
