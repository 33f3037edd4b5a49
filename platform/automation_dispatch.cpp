#include "platform/automation_dispatch.h"

#include <strings.h>

#include <exception>

namespace plat {

TDispatcher::TDispatcher(const TInterfaceDesc& iface) : iface_(iface) {}

bool TDispatcher::Bind(int32_t dispid, uint16_t kind, THandler handler) {
  for (const TFuncDesc& f : iface_.Funcs) {
    if (f.DispId == dispid && f.Kind == kind) {
      handlers_[{dispid, kind}] = std::move(handler);
      return true;
    }
  }
  return false;
}

std::vector<const TFuncDesc*> TDispatcher::UnboundFuncs() const {
  std::vector<const TFuncDesc*> out;
  for (const TFuncDesc& f : iface_.Funcs) {
    if (handlers_.count({f.DispId, f.Kind}) == 0) out.push_back(&f);
  }
  return out;
}

bool TDispatcher::FullyBound() const {
  return UnboundFuncs().empty();
}

HRESULT TDispatcher::GetIDOfName(const std::string& name, int32_t* dispid) const {
  if (dispid == nullptr) return E_POINTER;
  for (const TFuncDesc& f : iface_.Funcs) {
    if (strcasecmp(f.Name.c_str(), name.c_str()) == 0) {
      *dispid = f.DispId;
      return S_OK;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

const TFuncDesc* TDispatcher::Find(int32_t dispid, uint16_t kind) const {
  const TFuncDesc* fallback = nullptr;
  for (const TFuncDesc& f : iface_.Funcs) {
    if (f.DispId != dispid) continue;
    if (f.Kind == kind) return &f;
    // Hosts call a property read as a method, and a read-only property as a method call.
    if (kind == (DISPATCH_METHOD | DISPATCH_PROPERTYGET) &&
        (f.Kind == DISPATCH_METHOD || f.Kind == DISPATCH_PROPERTYGET)) {
      if (fallback == nullptr || f.Kind == DISPATCH_PROPERTYGET) fallback = &f;
    }
  }
  return fallback;
}

HRESULT TDispatcher::Invoke(int32_t dispid, uint16_t kind, std::vector<TVariant>& args,
                            TVariant* result, std::string* error) {
  std::string scratch;
  std::string& why = error ? *error : scratch;
  why.clear();
  const TFuncDesc* f = Find(dispid, kind);
  if (f == nullptr) {
    why = "no member " + std::to_string(dispid) + " for invoke kind " + std::to_string(kind);
    return DISP_E_MEMBERNOTFOUND;
  }
  if (args.size() != f->Params.size()) {
    why = f->Name + " takes " + std::to_string(f->Params.size()) + " argument(s), got " +
          std::to_string(args.size());
    return DISP_E_BADPARAMCOUNT;
  }
  std::vector<TVariant> converted(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    const TParamDesc& p = f->Params[i];
    const HRESULT hr = ChangeType(args[i], p.Type, &converted[i]);
    if (FAILED(hr)) {
      why = f->Name + ": argument " + std::to_string(i + 1) + " (" + p.Name + ") must be " +
            VarTypeName(p.Type) + (hr == DISP_E_OVERFLOW ? ", value out of range" : "");
      return hr;
    }
  }
  auto it = handlers_.find({f->DispId, f->Kind});
  if (it == handlers_.end()) {
    why = f->Name + " is not implemented";
    return E_NOTIMPL;
  }
  TVariant value;
  try {
    it->second(converted, value);
  } catch (const std::exception& e) {
    why = e.what();
    return DISP_E_EXCEPTION;
  } catch (...) {
    why = f->Name + " failed";
    return DISP_E_EXCEPTION;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    if (f->Params[i].Flags & PARAMFLAG_OUT) args[i] = std::move(converted[i]);
  }
  if (result != nullptr) {
    if (f->Result == TVarType::Empty) {
      *result = TVariant();
    } else if (FAILED(ChangeType(value, f->Result, result))) {
      why = f->Name + " gave a value of the wrong type";
      return E_FAIL;
    }
  }
  return S_OK;
}

}  // namespace plat
