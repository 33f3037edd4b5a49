#include "viewer/pipeline/blocking_queue.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

#include "viewer/pipeline/queue_exception.h"

namespace viewer {

namespace {

constexpr int32_t kPutOrRaiseTag = 4;

[[noreturn]] void RaisePutFailure(int32_t result) {
  switch (result) {
    case kQueueFull:
      throw QueueException("ObjectQueue Insert Error,Write Full");
    case kQueuePutWaitFailed:
      throw QueueException("ObjectQueue Insert Error,Unsafe Write");
    case kQueuePutTimeout:
      throw QueueException("ObjectQueue Insert Error,Write TimeOut");
    case kQueueClosed:
      throw QueueException("ObjectQueue Insert Error,Buffer Closed");
    case kQueueInvalidItem:
      throw QueueException("ObjectQueue Insert Error,Invalid Pointer");
    default:
      throw QueueException("ObjectQueue Insert Error,result=" + std::to_string(result));
  }
}

}  // namespace

TGeneralQueue::TGeneralQueue(int32_t capacity)
    : capacity_(std::max<int32_t>(capacity, 0)), slots_(static_cast<size_t>(capacity_)) {}

TGeneralQueue::~TGeneralQueue() {
  Clear();
}

template <class Ready>
TGeneralQueue::TWaitEnd TGeneralQueue::WaitUntil(std::unique_lock<std::mutex>& lock,
                                                 std::condition_variable& cv, int32_t& waiting,
                                                 bool reader, int32_t timeout_ms, Ready ready) {
  // One deadline for the whole call: a waiter that is woken but loses the race for the
  // slot or entry waits only for what is left of its time-out. Taken only once a wait is
  // really needed, to keep the clock off the path of a queue that is neither full nor empty.
  const bool unlimited = timeout_ms < 0;
  std::chrono::steady_clock::time_point deadline;
  bool deadline_set = false;
  bool timed_out = false;
  const uint32_t aborts = read_aborts_;
  for (;;) {
    if (ready()) return TWaitEnd::kReady;
    if (closed_) return TWaitEnd::kClosed;
    if (reader && (read_aborted_ || read_aborts_ != aborts)) return TWaitEnd::kAborted;
    if (timed_out) return TWaitEnd::kTimedOut;
    ++waiting;
    if (unlimited) {
      cv.wait(lock);
    } else {
      if (!deadline_set) {
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        deadline_set = true;
      }
      timed_out = cv.wait_until(lock, deadline) == std::cv_status::timeout;
    }
    LeftWait(waiting);
  }
}

void TGeneralQueue::LeftWait(int32_t& waiting) {
  --waiting;
  if (closed_ && waiting_writers_ == 0 && waiting_readers_ == 0) left_cv_.notify_all();
}

int32_t TGeneralQueue::Put(void* item, int32_t tag, int32_t timeout_ms) {
  std::unique_lock lock(mutex_);
  if (timeout_ms != 0) {
    const TWaitEnd end = WaitUntil(lock, space_cv_, waiting_writers_, false, timeout_ms,
                                   [this] { return Held() < capacity_; });
    if (end == TWaitEnd::kClosed) return kQueueClosed;
    if (end == TWaitEnd::kTimedOut) return kQueuePutTimeout;
  }
  if (Held() >= capacity_) return kQueueFull;
  if (item == nullptr) return kQueueInvalidItem;
  write_index_ = Advance(write_index_);
  slots_[write_index_] = TSlot{item, tag};
  SetHeld(Held() + 1);
  // Woken after the lock is let go, so that the reader does not wake only to wait for it.
  const bool wake = waiting_readers_ > 0;
  lock.unlock();
  if (wake) data_cv_.notify_one();
  return kQueueOk;
}

void TGeneralQueue::PutOrRaise(void* item) {
  const int32_t result = Put(item, kPutOrRaiseTag, kQueueInfinite);
  if (result < 0) RaisePutFailure(result);
}

int32_t TGeneralQueue::Get(void*& item, int32_t& tag, int32_t timeout_ms) {
  std::unique_lock lock(mutex_);
  if (timeout_ms != 0) {
    const TWaitEnd end = WaitUntil(lock, data_cv_, waiting_readers_, true, timeout_ms,
                                   [this] { return Held() > 0; });
    if (end == TWaitEnd::kClosed) return kQueueClosed;
    if (end == TWaitEnd::kAborted) return kQueueEmpty;
    if (end == TWaitEnd::kTimedOut) return kQueueGetTimeout;
  }
  if (Held() == 0) return kQueueEmpty;
  read_index_ = Advance(read_index_);
  TSlot& slot = slots_[read_index_];
  item = slot.item;
  tag = slot.tag;
  slot = TSlot{};
  SetHeld(Held() - 1);
  const bool wake = waiting_writers_ > 0;
  lock.unlock();
  if (wake) space_cv_.notify_one();
  return item == nullptr ? kQueueInvalidItem : kQueueOk;
}

void* TGeneralQueue::Take() {
  void* item = nullptr;
  int32_t tag = 0;
  return Get(item, tag, kQueueInfinite) == kQueueOk ? item : nullptr;
}

bool TGeneralQueue::IsFull() {
  std::lock_guard lock(mutex_);
  return Held() >= capacity_;
}

int32_t TGeneralQueue::WaitingWriters() {
  std::lock_guard lock(mutex_);
  return waiting_writers_;
}

int32_t TGeneralQueue::WaitingReaders() {
  std::lock_guard lock(mutex_);
  return waiting_readers_;
}

void TGeneralQueue::AbortRead() {
  std::lock_guard lock(mutex_);
  read_aborted_ = true;
  ++read_aborts_;
  data_cv_.notify_all();
}

void TGeneralQueue::ResumeRead() {
  std::lock_guard lock(mutex_);
  read_aborted_ = false;
}

void TGeneralQueue::Unblock() {
  std::unique_lock lock(mutex_);
  closed_ = true;
  space_cv_.notify_all();
  data_cv_.notify_all();
  left_cv_.wait(lock, [this] { return waiting_writers_ == 0 && waiting_readers_ == 0; });
}

void TGeneralQueue::Clear() {
  std::lock_guard lock(mutex_);
  ClearItems();
  // Writers blocked on a full queue would otherwise sleep on until the next Get.
  if (waiting_writers_ > 0) space_cv_.notify_all();
}

void TGeneralQueue::ClearItems() {
  RemoveAllItems([](void* item) { std::free(item); });
}

}  // namespace viewer
