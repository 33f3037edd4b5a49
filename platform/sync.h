// Locks and events standing in for the desktop's critical sections and kernel events.
// Any thread may use them; a TCriticalSection is re-entrant for the thread that holds it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/platform_api.h"

namespace plat {

constexpr uint32_t INFINITE = 0xFFFFFFFFu;
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 258;

// Re-entrant lock.
class QUVI_PLATFORM_API TCriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  // BasicLockable, so std::lock_guard / std::unique_lock work on it.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a TCriticalSection for the life of a scope.
class TLock {
 public:
  explicit TLock(TCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
  ~TLock() { cs_.Leave(); }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;

 private:
  TCriticalSection& cs_;
};

struct EventWaiter;

// Auto-reset (one waiter consumes each signal) or manual-reset (stays set until Reset) event.
class QUVI_PLATFORM_API TEvent {
 public:
  explicit TEvent(bool manual_reset = false, bool initial_state = false);
  ~TEvent();
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void Set();
  void Reset();
  // WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT when timeout_ms passed (INFINITE waits forever).
  uint32_t WaitFor(uint32_t timeout_ms);
  bool IsSet();

  // Waits until any of the events is signalled; returns WAIT_OBJECT_0 + index of the first
  // signalled event (which an auto-reset event consumes), or WAIT_TIMEOUT.
  static uint32_t WaitForAny(const std::vector<TEvent*>& events, uint32_t timeout_ms);

 private:
  bool TryConsumeLocked();
  void AddWaiter(EventWaiter* w);
  void RemoveWaiter(EventWaiter* w);

  std::mutex mutex_;
  std::condition_variable cv_;
  bool manual_;
  bool state_;
  std::vector<EventWaiter*> waiters_;
};

}  // namespace plat
