// The host interface's controls, calls, events and type description (quvi_host.h).
#include <cstring>
#include <new>
#include <vector>

#include "platform/thread.h"
#include "viewer/control/control_window_factory.h"
#include "viewer/control/host_control.h"
#include "viewer/control/host_variants.h"
#include "viewer/control/type_library.h"

namespace viewer {

std::atomic<int32_t>& ServerReferences() {
  static std::atomic<int32_t> references{0};
  return references;
}

namespace {

QUVI_HRESULT CheckControl(QuviControl* control) {
  if (control == nullptr || !control->control) return Fail(QUVI_E_POINTER, "no control");
  if (control->thread != plat::GetCurrentThreadId()) {
    return Fail(QUVI_E_WRONG_THREAD, "the control belongs to another thread");
  }
  return QUVI_S_OK;
}

// The type description as C structures, built once.
struct TCInterface {
  std::vector<std::vector<QuviParamInfo>> params;
  std::vector<QuviFunctionInfo> funcs;
};
struct TCTypeInfo {
  TCInterface interfaces[2];
  std::vector<std::vector<QuviEnumValue>> enum_values;
  std::vector<QuviEnumInfo> enums;
  QuviLibraryInfo library{};
};

void FillInterface(const plat::TInterfaceDesc& desc, TCInterface* out) {
  out->params.resize(desc.Funcs.size());
  for (size_t i = 0; i < desc.Funcs.size(); ++i) {
    const plat::TFuncDesc& f = desc.Funcs[i];
    for (const plat::TParamDesc& p : f.Params) {
      out->params[i].push_back(QuviParamInfo{p.Name.c_str(), static_cast<uint16_t>(p.Type),
                                             p.TypeName.c_str(), p.Flags});
    }
    out->funcs.push_back(QuviFunctionInfo{
        f.DispId, f.Name.c_str(), f.Kind, static_cast<uint16_t>(f.Result), f.ResultTypeName.c_str(),
        static_cast<uint32_t>(f.Params.size()), out->params[i].data()});
  }
}

const TCTypeInfo& CTypeInfo() {
  static const TCTypeInfo info = [] {
    const plat::TLibraryDesc& lib = QuviLiveViewerTypeLibrary();
    TCTypeInfo t;
    FillInterface(lib.Dispatch, &t.interfaces[QUVI_DISPATCH_INTERFACE]);
    FillInterface(lib.Events, &t.interfaces[QUVI_EVENT_INTERFACE]);
    t.enum_values.resize(lib.Enums.size());
    for (size_t i = 0; i < lib.Enums.size(); ++i) {
      for (const auto& v : lib.Enums[i].Values) {
        t.enum_values[i].push_back(QuviEnumValue{v.Name.c_str(), v.Value});
      }
      t.enums.push_back(QuviEnumInfo{lib.Enums[i].Name.c_str(), lib.Enums[i].Guid.c_str(),
                                     static_cast<uint32_t>(t.enum_values[i].size()),
                                     t.enum_values[i].data()});
    }
    QuviLibraryInfo& l = t.library;
    l.name = lib.Name.c_str();
    l.guid = lib.Guid.c_str();
    l.help_string = lib.HelpString.c_str();
    l.major_version = lib.MajorVersion;
    l.minor_version = lib.MinorVersion;
    l.class_name = lib.Class.Name.c_str();
    l.class_guid = lib.Class.Guid.c_str();
    l.class_help_string = lib.Class.HelpString.c_str();
    l.prog_id = kControlProgID;
    l.dispatch_name = lib.Dispatch.Name.c_str();
    l.dispatch_guid = lib.Dispatch.Guid.c_str();
    l.dispatch_help_string = lib.Dispatch.HelpString.c_str();
    l.dispatch_flags = lib.Dispatch.Flags;
    l.events_name = lib.Events.Name.c_str();
    l.events_guid = lib.Events.Guid.c_str();
    l.events_help_string = lib.Events.HelpString.c_str();
    return t;
  }();
  return info;
}

}  // namespace
}  // namespace viewer

using viewer::Fail;
using viewer::Succeed;

namespace {

void LocalReleaseControl(QuviControl* control) {
  // Its windows and threads belong to the creating thread; from elsewhere nothing is freed.
  if (viewer::CheckControl(control) != QUVI_S_OK) return;
  delete control;
  --viewer::ServerReferences();
}

intptr_t LocalGetControlWindow(QuviControl* control) {
  if (viewer::CheckControl(control) != QUVI_S_OK) return 0;
  return control->control->Window().Handle();
}

QUVI_HRESULT LocalFindMember(QuviControl* control, const char* name, int32_t* dispid) {
  if (QUVI_HRESULT hr = viewer::CheckControl(control); hr != QUVI_S_OK) return hr;
  if (name == nullptr || dispid == nullptr) return Fail(QUVI_E_POINTER, "no name or no DISPID");
  const QUVI_HRESULT hr = control->control->GetIDOfName(name, dispid);
  if (hr != QUVI_S_OK) return Fail(hr, std::string("no member named '") + name + "'");
  return Succeed();
}

// No member takes more; a larger count is a host's mistake, refused before any argument is read.
constexpr uint32_t kMaxArguments = 32;

QUVI_HRESULT InvokeUnguarded(QuviControl* control, int32_t dispid, uint16_t kind, QuviVariant* args,
                             uint32_t arg_count, QuviVariant* result) {
  std::vector<plat::TVariant> values(arg_count);
  for (uint32_t i = 0; i < arg_count; ++i) {
    const QUVI_HRESULT hr = viewer::FromHostVariant(args[i], &values[i]);
    if (hr != QUVI_S_OK) {
      return Fail(hr, "argument " + std::to_string(i + 1) + " is no valid variant");
    }
  }
  const std::vector<plat::TVariant> before = values;
  plat::TVariant value;
  std::string error;
  const QUVI_HRESULT hr = control->control->Invoke(dispid, kind, values, &value, &error);
  if (hr < 0) return Fail(hr, error);
  // Out arguments the member changed go back to the host, in its memory.
  for (uint32_t i = 0; i < arg_count; ++i) {
    if (values[i] == before[i]) continue;
    QuviVariant replaced;
    if (viewer::ToHostVariant(values[i], &replaced) != QUVI_S_OK) {
      return Fail(QUVI_E_OUTOFMEMORY, "no memory for an out argument");
    }
    QuviVariantClear(&args[i]);
    args[i] = replaced;
  }
  if (result != nullptr && viewer::ToHostVariant(value, result) != QUVI_S_OK) {
    return Fail(QUVI_E_OUTOFMEMORY, "no memory for the result");
  }
  return Succeed(hr);
}

QUVI_HRESULT LocalInvoke(QuviControl* control, int32_t dispid, uint16_t kind, QuviVariant* args,
                         uint32_t arg_count, QuviVariant* result) {
  if (QUVI_HRESULT hr = viewer::CheckControl(control); hr != QUVI_S_OK) return hr;
  if (args == nullptr && arg_count > 0) return Fail(QUVI_E_POINTER, "no arguments");
  if (arg_count > kMaxArguments) {
    return Fail(QUVI_E_BADPARAMCOUNT, std::to_string(arg_count) + " arguments are too many");
  }
  try {
    return InvokeUnguarded(control, dispid, kind, args, arg_count, result);
  } catch (const std::bad_alloc&) {
    return Fail(QUVI_E_OUTOFMEMORY, "no memory for the call");
  }
}

QUVI_HRESULT LocalConnectEvents(QuviControl* control, QuviEventSink sink, void* user,
                                uint32_t* cookie) {
  if (QUVI_HRESULT hr = viewer::CheckControl(control); hr != QUVI_S_OK) return hr;
  if (sink == nullptr || cookie == nullptr) return Fail(QUVI_E_POINTER, "no sink or no cookie");
  *cookie = control->control->Advise(
      [sink, user](int32_t dispid, const std::vector<plat::TVariant>& args) {
        std::vector<QuviVariant> c(args.size());
        size_t made = 0;
        for (; made < args.size(); ++made) {
          if (viewer::ToHostVariant(args[made], &c[made]) != QUVI_S_OK) break;
        }
        if (made == args.size()) sink(user, dispid, c.data(), static_cast<uint32_t>(c.size()));
        for (size_t i = 0; i < made; ++i) QuviVariantClear(&c[i]);
      });
  return Succeed();
}

QUVI_HRESULT LocalDisconnectEvents(QuviControl* control, uint32_t cookie) {
  if (QUVI_HRESULT hr = viewer::CheckControl(control); hr != QUVI_S_OK) return hr;
  const QUVI_HRESULT hr = control->control->Unadvise(cookie);
  if (hr != QUVI_S_OK) return Fail(hr, "no sink with cookie " + std::to_string(cookie));
  return Succeed();
}

QUVI_HRESULT LocalGetDroppedDataEvents(QuviControl* control, uint64_t* count) {
  if (QUVI_HRESULT hr = viewer::CheckControl(control); hr != QUVI_S_OK) return hr;
  if (count == nullptr) return Fail(QUVI_E_POINTER, "no place for the count");
  *count = control->control->DroppedDataEvents();
  return Succeed();
}

const TQuviControlOps kLocalOps = {
    LocalReleaseControl, LocalGetControlWindow, LocalFindMember,          LocalInvoke,
    LocalConnectEvents,  LocalDisconnectEvents, LocalGetDroppedDataEvents};

}  // namespace

namespace viewer {

QUVI_HRESULT CreateControlHere(intptr_t parent, int32_t width, int32_t height,
                               QuviControl** control) {
  if (control == nullptr) return Fail(QUVI_E_POINTER, "no place for the control");
  *control = nullptr;
  if (width < 0 || height < 0) return Fail(QUVI_E_INVALIDARG, "negative control size");
  try {
    std::unique_ptr<TControlWindow> window = CreateControlWindow(parent, width, height);
    if (!window) {
      return Fail(QUVI_E_CLASSNOTAVAILABLE, "this library has no window for the control");
    }
    auto handle = std::make_unique<QuviControl>();
    handle->control = std::make_unique<TPmOstraNvPreviewWindowX>(std::move(window));
    handle->thread = plat::GetCurrentThreadId();
    handle->ops = &kLocalOps;
    *control = handle.release();
    ++ServerReferences();
    return Succeed();
  } catch (const std::exception& e) {
    return Fail(QUVI_E_FAIL, e.what());
  }
}

}  // namespace viewer

namespace {

QUVI_HRESULT NoControl() {
  return Fail(QUVI_E_POINTER, "no control");
}

}  // namespace

extern "C" {

void QuviReleaseControl(QuviControl* control) {
  if (control != nullptr) control->ops->Release(control);
}

intptr_t QuviGetControlWindow(QuviControl* control) {
  return control != nullptr ? control->ops->GetWindow(control) : 0;
}

QUVI_HRESULT QuviFindMember(QuviControl* control, const char* name, int32_t* dispid) {
  return control != nullptr ? control->ops->FindMember(control, name, dispid) : NoControl();
}

QUVI_HRESULT QuviInvoke(QuviControl* control, int32_t dispid, uint16_t kind, QuviVariant* args,
                        uint32_t arg_count, QuviVariant* result) {
  return control != nullptr ? control->ops->Invoke(control, dispid, kind, args, arg_count, result)
                            : NoControl();
}

QUVI_HRESULT QuviConnectEvents(QuviControl* control, QuviEventSink sink, void* user,
                               uint32_t* cookie) {
  return control != nullptr ? control->ops->ConnectEvents(control, sink, user, cookie)
                            : NoControl();
}

QUVI_HRESULT QuviDisconnectEvents(QuviControl* control, uint32_t cookie) {
  return control != nullptr ? control->ops->DisconnectEvents(control, cookie) : NoControl();
}

QUVI_HRESULT QuviGetDroppedDataEvents(QuviControl* control, uint64_t* count) {
  return control != nullptr ? control->ops->GetDroppedDataEvents(control, count) : NoControl();
}

int32_t QuviPumpMessages(uint32_t timeout_ms) {
  return plat::PumpMessages(timeout_ms);
}

QUVI_HRESULT QuviGetLibraryInfo(QuviLibraryInfo* info) {
  if (info == nullptr) return Fail(QUVI_E_POINTER, "no place for the library information");
  *info = viewer::CTypeInfo().library;
  return Succeed();
}

uint32_t QuviGetFunctionCount(int32_t which_interface) {
  if (which_interface != QUVI_DISPATCH_INTERFACE && which_interface != QUVI_EVENT_INTERFACE) {
    return 0;
  }
  return static_cast<uint32_t>(viewer::CTypeInfo().interfaces[which_interface].funcs.size());
}

QUVI_HRESULT QuviGetFunction(int32_t which_interface, uint32_t index, QuviFunctionInfo* info) {
  if (info == nullptr) return Fail(QUVI_E_POINTER, "no place for the function information");
  if (index >= QuviGetFunctionCount(which_interface)) {
    return Fail(QUVI_E_INVALIDARG, "no function " + std::to_string(index));
  }
  *info = viewer::CTypeInfo().interfaces[which_interface].funcs[index];
  return Succeed();
}

uint32_t QuviGetEnumCount(void) {
  return static_cast<uint32_t>(viewer::CTypeInfo().enums.size());
}

QUVI_HRESULT QuviGetEnum(uint32_t index, QuviEnumInfo* info) {
  if (info == nullptr) return Fail(QUVI_E_POINTER, "no place for the enumeration");
  if (index >= QuviGetEnumCount()) {
    return Fail(QUVI_E_INVALIDARG, "no enumeration " + std::to_string(index));
  }
  *info = viewer::CTypeInfo().enums[index];
  return Succeed();
}

}  // extern "C"
