// The host interface's control handle: one control object, the thread it belongs to, and
// the count of live controls and server locks that decides whether the library may unload.
// A handle starts with the table of its own library's operations, so a control made by
// another copy of the library (found through the registry) is served by that copy's code.
#pragma once

#include <atomic>
#include <memory>

#include "viewer/control/preview_window_x.h"
#include "viewer/control/quvi_host.h"

struct TQuviControlOps {
  void (*Release)(QuviControl* control);
  intptr_t (*GetWindow)(QuviControl* control);
  QUVI_HRESULT (*FindMember)(QuviControl* control, const char* name, int32_t* dispid);
  QUVI_HRESULT (*Invoke)
  (QuviControl* control, int32_t dispid, uint16_t kind, QuviVariant* args, uint32_t arg_count,
   QuviVariant* result);
  QUVI_HRESULT (*ConnectEvents)
  (QuviControl* control, QuviEventSink sink, void* user, uint32_t* cookie);
  QUVI_HRESULT (*DisconnectEvents)(QuviControl* control, uint32_t cookie);
  QUVI_HRESULT (*GetDroppedDataEvents)(QuviControl* control, uint64_t* count);
};

struct QuviControl {
  const TQuviControlOps* ops = nullptr;  // first: read by any copy of the library
  std::unique_ptr<viewer::TPmOstraNvPreviewWindowX> control;
  uint64_t thread = 0;  // the creating (user-interface) thread
};

namespace viewer {

// Controls alive plus server locks held.
std::atomic<int32_t>& ServerReferences();

// Makes a control on the calling thread without looking at the registry.
QUVI_HRESULT CreateControlHere(intptr_t parent, int32_t width, int32_t height,
                               QuviControl** control);

}  // namespace viewer
