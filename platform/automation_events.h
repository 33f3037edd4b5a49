// TEventConnectionPoint: the one event connection point of an automation object. The
// object's thread (the host's user-interface thread, which creates it) advises and unadvises
// sinks; any thread may fire. Events only exist while a sink is connected: firing without
// one does nothing. Events are queued and delivered on the creating thread through its
// message loop, in the order fired. Droppable events (data) are bounded: beyond the limit
// the oldest undelivered one is dropped and counted. Owns its hidden message window and the
// queued events; events still queued when it is destroyed or the last sink leaves are
// dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/automation_variant.h"
#include "platform/messages.h"
#include "platform/platform_api.h"

namespace plat {

class QUVI_PLATFORM_API TEventConnectionPoint {
 public:
  // Called on the creating thread with the event's DISPID and its arguments.
  using TSink = std::function<void(int32_t dispid, const std::vector<TVariant>& args)>;

  static constexpr size_t kDefaultDroppableLimit = 64;

  explicit TEventConnectionPoint(size_t droppable_limit = kDefaultDroppableLimit);
  ~TEventConnectionPoint();
  TEventConnectionPoint(const TEventConnectionPoint&) = delete;
  TEventConnectionPoint& operator=(const TEventConnectionPoint&) = delete;

  // Connects a sink; returns its cookie (never 0).
  uint32_t Advise(TSink sink);
  // CONNECT_E_NOCONNECTION for an unknown cookie.
  HRESULT Unadvise(uint32_t cookie);
  bool Connected() const;

  // Any thread. Queues the event for delivery when a sink is connected.
  void Fire(int32_t dispid, std::vector<TVariant> args, bool droppable = false);
  // Droppable events dropped so far.
  uint64_t DroppedEvents() const;
  // Events waiting for the creating thread's message loop.
  size_t PendingEvents() const;

  struct TState;

 private:
  std::shared_ptr<TState> state_;
};

}  // namespace plat
