#include "modules/vdec/input_buffer.h"

namespace vdec {

void TInputBuffer::SetCapacity(size_t bytes) {
  std::lock_guard lock(mutex_);
  capacity_ = bytes;
}

size_t TInputBuffer::Capacity() const {
  std::lock_guard lock(mutex_);
  return capacity_;
}

size_t TInputBuffer::Used() const {
  std::lock_guard lock(mutex_);
  return used_;
}

bool TInputBuffer::Push(const uint8_t* data, size_t size) {
  // Copied before taking the lock, so that the decoding thread is not held up meanwhile.
  std::vector<uint8_t> block(data, data + size);
  std::unique_lock lock(mutex_);
  const bool fits = size <= capacity_ && used_ <= capacity_ - size;
  if (!fits && !blocks_.empty()) return false;
  blocks_.push_back(std::move(block));
  used_ += size;
  // Woken after the lock is let go: a woken Pop would otherwise wait at once for the lock.
  const bool wake = waiting_ > 0;
  lock.unlock();
  if (wake) cv_.notify_one();
  return true;
}

std::optional<std::vector<uint8_t>> TInputBuffer::Pop() {
  std::unique_lock lock(mutex_);
  ++waiting_;
  cv_.wait(lock, [this] { return cancelled_ || !blocks_.empty(); });
  --waiting_;
  if (cancelled_) return std::nullopt;
  std::vector<uint8_t> block = std::move(blocks_.front());
  blocks_.pop_front();
  used_ -= block.size();
  return block;
}

void TInputBuffer::Cancel() {
  std::lock_guard lock(mutex_);
  cancelled_ = true;
  cv_.notify_all();
}

void TInputBuffer::Resume() {
  std::lock_guard lock(mutex_);
  cancelled_ = false;
}

void TInputBuffer::Clear() {
  std::lock_guard lock(mutex_);
  blocks_.clear();
  used_ = 0;
}

}  // namespace vdec
