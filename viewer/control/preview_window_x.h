// TPmOstraNvPreviewWindowX: the control object a host creates. It owns its window (the
// device-family preview window, behind TControlWindow) and forwards nearly every member of
// the dispatch interface to it; it adds NoDecode, the version text and the event connection
// point, and turns the window's and the model's notifications into host events. Members run
// on the host's user-interface thread (the thread that created the control); events raised
// on the connection and play threads reach the host's sinks on that thread through its
// message loop, and undelivered data events are bounded (oldest dropped, counted).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation_dispatch.h"
#include "platform/automation_events.h"
#include "viewer/control/control_window.h"

namespace viewer {

class TPmOstraNvPreviewWindowX {
 public:
  // Undelivered OnReceiveData events kept at most; older ones are dropped.
  static constexpr size_t kMaxPendingDataEvents = 64;

  // Takes the window created on this thread and wires its handlers to the events.
  explicit TPmOstraNvPreviewWindowX(std::unique_ptr<TControlWindow> window);
  ~TPmOstraNvPreviewWindowX();
  TPmOstraNvPreviewWindowX(const TPmOstraNvPreviewWindowX&) = delete;
  TPmOstraNvPreviewWindowX& operator=(const TPmOstraNvPreviewWindowX&) = delete;

  plat::HRESULT GetIDOfName(const std::string& name, int32_t* dispid) const;
  // Arguments in declaration order; out arguments are written back. `error` gets the reason
  // of a failure (the exception's text when a member raised).
  plat::HRESULT Invoke(int32_t dispid, uint16_t kind, std::vector<plat::TVariant>& args,
                       plat::TVariant* result, std::string* error);

  uint32_t Advise(plat::TEventConnectionPoint::TSink sink) { return events_.Advise(sink); }
  plat::HRESULT Unadvise(uint32_t cookie) { return events_.Unadvise(cookie); }
  uint64_t DroppedDataEvents() const { return events_.DroppedEvents(); }

  TControlWindow& Window() { return *window_; }
  bool NoDecode() const { return no_decode_; }

 private:
  void WireEvents();
  void BindMembers();
  void FireReceiveData(const uint8_t* data, int32_t length, int32_t frame_type);

  plat::TEventConnectionPoint events_{kMaxPendingDataEvents};
  plat::TDispatcher dispatcher_;
  std::atomic<bool> no_decode_{false};
  // Destroyed first: its threads fire into events_ until it has stopped them.
  std::unique_ptr<TControlWindow> window_;
};

}  // namespace viewer
