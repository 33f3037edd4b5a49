#include "tools/quvi-web/page_outbox.h"

namespace quvi_web {

void TPageOutbox::SetWake(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_ = std::move(wake);
}

void TPageOutbox::SendText(std::string text) {
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return;
    if (text_bytes_ + text.size() > text_limit_) {
      overflowed_ = true;
      closed_ = true;
      texts_.clear();
      pictures_.clear();
    } else {
      text_bytes_ += text.size();
      texts_.push_back(std::move(text));
    }
    wake = wake_;
  }
  if (wake) wake();
}

bool TPageOutbox::PictureWaiting(uint32_t control) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pictures_.count(control) != 0;
}

void TPageOutbox::PutPicture(uint32_t control, std::string bytes) {
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return;
    pictures_[control] = std::move(bytes);
    wake = wake_;
  }
  if (wake) wake();
}

void TPageOutbox::DropPicture(uint32_t control) {
  std::lock_guard<std::mutex> lock(mutex_);
  pictures_.erase(control);
}

bool TPageOutbox::Take(TMessage* message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!texts_.empty()) {
    message->Binary = false;
    message->Bytes = std::move(texts_.front());
    texts_.pop_front();
    text_bytes_ -= message->Bytes.size();
    return true;
  }
  if (pictures_.empty()) return false;
  auto it = pictures_.lower_bound(next_picture_control_);
  if (it == pictures_.end()) it = pictures_.begin();
  message->Binary = true;
  message->Bytes = std::move(it->second);
  next_picture_control_ = it->first + 1;
  pictures_.erase(it);
  return true;
}

void TPageOutbox::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  texts_.clear();
  pictures_.clear();
  wake_ = nullptr;
}

bool TPageOutbox::Closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

bool TPageOutbox::Overflowed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return overflowed_;
}

}  // namespace quvi_web
