// Bounded first-in-first-out queue between the connection thread (writer) and the play
// thread (reader). Writers wait while it is full, readers while it is empty; Unblock
// releases every waiter for good so a stopping view can join both threads, and AbortRead
// lets a reader on an empty queue return at once after the connection dropped, until
// ResumeRead lets reads wait again.
// Any number of threads may call any operation; the queue owns the entries it holds.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace viewer {

// Results of Put and Get.
enum : int32_t {
  kQueueOk = 0,
  kQueueInvalidItem = -1,    // Put: null item (nothing inserted); Get: the entry held null
  kQueueClosed = -2,         // Unblock closed the queue while waiting
  kQueuePutTimeout = -4,     // stayed full for the whole time-out
  kQueueGetTimeout = -5,     // stayed empty for the whole time-out
  kQueuePutWaitFailed = -6,  // the wait itself failed (condition-variable waits do not)
  kQueueGetWaitFailed = -7,  // the wait itself failed (condition-variable waits do not)
  kQueueFull = -8,           // full and time-out 0
  kQueueEmpty = -9,          // empty and time-out 0, or reading aborted
};

// Time-out of Put and Get meaning "wait as long as it takes" (any negative value does).
constexpr int32_t kQueueInfinite = -1;

// The queue machinery over raw entries. Entries given to it are memory blocks from
// std::malloc, which ClearItems frees; TObjectBlockingQueue holds objects instead.
class TGeneralQueue {
 public:
  explicit TGeneralQueue(int32_t capacity);
  // Frees what is still queued. No thread may be inside the queue any more.
  virtual ~TGeneralQueue();
  TGeneralQueue(const TGeneralQueue&) = delete;
  TGeneralQueue& operator=(const TGeneralQueue&) = delete;

  // Inserts item with tag, waiting up to timeout_ms while the queue is full (0: no wait,
  // negative: no limit). On kQueueOk the queue owns item; otherwise the caller keeps it.
  int32_t Put(void* item, int32_t tag, int32_t timeout_ms);
  // Put with tag 4 and no time limit; any failure raises QueueException with its message
  // (the caller keeps item then).
  void PutOrRaise(void* item);
  // Removes the oldest entry, waiting up to timeout_ms while the queue is empty. item and
  // tag are set only when an entry was removed (kQueueOk or kQueueInvalidItem); the caller
  // owns the item then.
  int32_t Get(void*& item, int32_t& tag, int32_t timeout_ms);
  // Get without time limit; null on every failure, never raises.
  void* Take();

  bool IsFull();
  // Entries held; read without the lock, so only a snapshot.
  int32_t Count() const { return Held(); }
  int32_t Capacity() const { return capacity_; }
  // Threads blocked in Put or Get right now.
  int32_t WaitingWriters();
  int32_t WaitingReaders();

  // From now on a Get on an empty queue returns kQueueEmpty at once, waiting ones too.
  void AbortRead();
  // Lets a Get on an empty queue wait again after AbortRead. A reader that was waiting when
  // AbortRead came still returns, even when ResumeRead follows before it woke.
  void ResumeRead();
  // Closes the queue for waiting: every Put on a full and every Get on an empty queue that
  // would wait (time-out not 0), those waiting now and all later ones, returns
  // kQueueClosed. Returns only after every thread that was waiting has left its wait.
  // Entries can still be put and taken where no wait is needed.
  void Unblock();
  // Disposes of every entry and wakes the writers waiting for space.
  void Clear();

 protected:
  // Disposes of every entry; called with the lock held. Derived queues that dispose of
  // entries differently must also call Clear in their own destructor, because by the time
  // this base destructor runs only the base's ClearItems is left.
  virtual void ClearItems();
  // Removes every entry, oldest first, handing each to dispose; with the lock held.
  template <class Dispose>
  void RemoveAllItems(Dispose dispose);

 private:
  struct TSlot {
    void* item = nullptr;
    int32_t tag = 0;
  };
  enum class TWaitEnd { kReady, kClosed, kAborted, kTimedOut };

  // Waits on cv until ready() holds, the queue is closed, reading is aborted (for a
  // reader) or the time-out passes; counts the caller in waiting meanwhile.
  template <class Ready>
  TWaitEnd WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                     int32_t& waiting, bool reader, int32_t timeout_ms, Ready ready);
  void LeftWait(int32_t& waiting);
  // Entries held. Changed only under the lock, so a plain load and store suffice; atomic
  // because Count reads it without the lock.
  int32_t Held() const { return count_.load(std::memory_order_relaxed); }
  void SetHeld(int32_t n) { count_.store(n, std::memory_order_relaxed); }
  int32_t Advance(int32_t index) const { return index + 1 >= capacity_ ? 0 : index + 1; }

  std::mutex mutex_;
  std::condition_variable space_cv_;  // a slot became free, or the queue closed
  std::condition_variable data_cv_;   // an entry arrived, the queue closed or reading aborted
  std::condition_variable left_cv_;   // a waiter left its wait after the queue closed
  const int32_t capacity_;
  std::vector<TSlot> slots_;
  int32_t write_index_ = 0;  // slot last written; advanced before writing
  int32_t read_index_ = 0;   // slot last read; advanced before reading
  std::atomic<int32_t> count_{0};
  int32_t waiting_writers_ = 0;
  int32_t waiting_readers_ = 0;
  bool closed_ = false;
  bool read_aborted_ = false;
  uint32_t read_aborts_ = 0;  // AbortRead calls so far; tells a waiting reader it was meant
};

template <class Dispose>
void TGeneralQueue::RemoveAllItems(Dispose dispose) {
  while (Held() > 0) {
    read_index_ = Advance(read_index_);
    TSlot& slot = slots_[read_index_];
    void* item = slot.item;
    slot = TSlot{};
    SetHeld(Held() - 1);
    dispose(item);
  }
}

// The queue the pipeline uses: entries are objects of T (play packages), moved in and out
// as unique pointers and destroyed with the queue or by Clear. Whoever takes one owns it.
template <class T>
class TObjectBlockingQueue : public TGeneralQueue {
 public:
  using TGeneralQueue::TGeneralQueue;
  ~TObjectBlockingQueue() override { Clear(); }

  // On kQueueOk the queue has taken item (it is null now); otherwise item is unchanged.
  int32_t Put(std::unique_ptr<T>& item, int32_t tag, int32_t timeout_ms) {
    const int32_t result = TGeneralQueue::Put(item.get(), tag, timeout_ms);
    if (result == kQueueOk) item.release();
    return result;
  }
  // On failure item is destroyed and QueueException raised.
  void PutOrRaise(std::unique_ptr<T> item) {
    TGeneralQueue::PutOrRaise(item.get());
    item.release();
  }
  int32_t Get(std::unique_ptr<T>& item, int32_t& tag, int32_t timeout_ms) {
    void* raw = nullptr;
    const int32_t result = TGeneralQueue::Get(raw, tag, timeout_ms);
    if (result == kQueueOk || result == kQueueInvalidItem) item.reset(static_cast<T*>(raw));
    return result;
  }
  std::unique_ptr<T> Take() { return std::unique_ptr<T>(static_cast<T*>(TGeneralQueue::Take())); }

 protected:
  void ClearItems() override {
    static_assert(sizeof(T) > 0, "entries are destroyed as complete objects");
    RemoveAllItems([](void* item) { delete static_cast<T*>(item); });
  }
};

}  // namespace viewer
