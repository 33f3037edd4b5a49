#include "platform/sync.h"

#include <algorithm>
#include <chrono>

namespace plat {

struct EventWaiter {
  std::mutex mutex;
  std::condition_variable cv;
  bool signalled = false;
};

namespace {
std::chrono::steady_clock::time_point Deadline(uint32_t timeout_ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
}
}  // namespace

TEvent::TEvent(bool manual_reset, bool initial_state)
    : manual_(manual_reset), state_(initial_state) {}

TEvent::~TEvent() = default;

void TEvent::Set() {
  std::vector<EventWaiter*> waiters;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = true;
    if (manual_)
      cv_.notify_all();
    else
      cv_.notify_one();
    for (EventWaiter* w : waiters_) {
      std::lock_guard<std::mutex> wl(w->mutex);
      w->signalled = true;
      w->cv.notify_all();
    }
  }
}

void TEvent::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  state_ = false;
}

bool TEvent::IsSet() {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

bool TEvent::TryConsumeLocked() {
  if (!state_) return false;
  if (!manual_) state_ = false;
  return true;
}

uint32_t TEvent::WaitFor(uint32_t timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (timeout_ms == INFINITE) {
    cv_.wait(lock, [this] { return state_; });
  } else if (!cv_.wait_until(lock, Deadline(timeout_ms), [this] { return state_; })) {
    return WAIT_TIMEOUT;
  }
  TryConsumeLocked();
  return WAIT_OBJECT_0;
}

void TEvent::AddWaiter(EventWaiter* w) {
  std::lock_guard<std::mutex> lock(mutex_);
  waiters_.push_back(w);
}

void TEvent::RemoveWaiter(EventWaiter* w) {
  std::lock_guard<std::mutex> lock(mutex_);
  waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), w), waiters_.end());
}

uint32_t TEvent::WaitForAny(const std::vector<TEvent*>& events, uint32_t timeout_ms) {
  EventWaiter waiter;
  for (TEvent* e : events) e->AddWaiter(&waiter);
  const auto deadline = Deadline(timeout_ms == INFINITE ? 0 : timeout_ms);
  uint32_t result = WAIT_TIMEOUT;
  for (;;) {
    {
      std::lock_guard<std::mutex> wl(waiter.mutex);
      waiter.signalled = false;
    }
    bool found = false;
    for (size_t i = 0; i < events.size() && !found; ++i) {
      std::lock_guard<std::mutex> lock(events[i]->mutex_);
      if (events[i]->TryConsumeLocked()) {
        result = WAIT_OBJECT_0 + static_cast<uint32_t>(i);
        found = true;
      }
    }
    if (found) break;
    std::unique_lock<std::mutex> wl(waiter.mutex);
    if (timeout_ms == INFINITE) {
      waiter.cv.wait(wl, [&] { return waiter.signalled; });
    } else if (!waiter.cv.wait_until(wl, deadline, [&] { return waiter.signalled; })) {
      break;
    }
  }
  for (TEvent* e : events) e->RemoveWaiter(&waiter);
  return result;
}

}  // namespace plat
