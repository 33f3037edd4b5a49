#include "platform/automation_events.h"

#include <deque>
#include <mutex>

namespace plat {

namespace {
// Posted to the hidden window when the queue turns non-empty.
constexpr UINT kDeliverEventsMessage = WM_USER + 0x7E1;

struct TQueuedEvent {
  int32_t dispid = 0;
  std::vector<TVariant> args;
  bool droppable = false;
};

struct TSinkEntry {
  uint32_t cookie = 0;
  std::shared_ptr<TEventConnectionPoint::TSink> sink;
};
}  // namespace

// Shared with the hidden window's procedure, so a sink that releases the object while an
// event is being delivered leaves the procedure on valid memory.
struct TEventConnectionPoint::TState {
  mutable std::mutex mutex;
  std::deque<TQueuedEvent> queue;
  std::vector<TSinkEntry> sinks;
  uint32_t next_cookie = 1;
  size_t droppable_limit = 0;
  size_t droppable_queued = 0;
  uint64_t dropped = 0;
  bool deliver_posted = false;
  bool closed = false;
  HWND window = 0;

  void Deliver() {
    std::deque<TQueuedEvent> batch;
    {
      std::lock_guard<std::mutex> lock(mutex);
      deliver_posted = false;
      batch.swap(queue);
      droppable_queued = 0;
    }
    for (TQueuedEvent& e : batch) {
      std::vector<TSinkEntry> targets;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (closed) return;
        targets = sinks;
      }
      for (const TSinkEntry& s : targets) (*s.sink)(e.dispid, e.args);
    }
  }
};

TEventConnectionPoint::TEventConnectionPoint(size_t droppable_limit)
    : state_(std::make_shared<TState>()) {
  state_->droppable_limit = droppable_limit == 0 ? 1 : droppable_limit;
  std::shared_ptr<TState> state = state_;
  state_->window = CreateWindowHandle([state](HWND, UINT message, WPARAM, LPARAM) -> intptr_t {
    if (message == kDeliverEventsMessage) state->Deliver();
    return 0;
  });
}

TEventConnectionPoint::~TEventConnectionPoint() {
  HWND window = 0;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->closed = true;
    state_->queue.clear();
    state_->sinks.clear();
    window = state_->window;
  }
  DestroyWindowHandle(window);
}

uint32_t TEventConnectionPoint::Advise(TSink sink) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const uint32_t cookie = state_->next_cookie++;
  if (state_->next_cookie == 0) state_->next_cookie = 1;
  state_->sinks.push_back({cookie, std::make_shared<TSink>(std::move(sink))});
  return cookie;
}

HRESULT TEventConnectionPoint::Unadvise(uint32_t cookie) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto& sinks = state_->sinks;
  for (auto it = sinks.begin(); it != sinks.end(); ++it) {
    if (it->cookie == cookie) {
      sinks.erase(it);
      if (sinks.empty()) {
        state_->queue.clear();
        state_->droppable_queued = 0;
      }
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

bool TEventConnectionPoint::Connected() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return !state_->sinks.empty();
}

void TEventConnectionPoint::Fire(int32_t dispid, std::vector<TVariant> args, bool droppable) {
  TState& s = *state_;
  bool post = false;
  HWND window = 0;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.closed || s.sinks.empty()) return;
    if (droppable && s.droppable_queued >= s.droppable_limit) {
      for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (it->droppable) {
          s.queue.erase(it);
          --s.droppable_queued;
          ++s.dropped;
          break;
        }
      }
    }
    s.queue.push_back({dispid, std::move(args), droppable});
    if (droppable) ++s.droppable_queued;
    if (!s.deliver_posted) {
      s.deliver_posted = true;
      post = true;
      window = s.window;
    }
  }
  if (post && !PostMessage(window, kDeliverEventsMessage, 0, 0)) {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.deliver_posted = false;
  }
}

uint64_t TEventConnectionPoint::DroppedEvents() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->dropped;
}

size_t TEventConnectionPoint::PendingEvents() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->queue.size();
}

}  // namespace plat
