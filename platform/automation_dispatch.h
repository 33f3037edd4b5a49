// TDispatcher: calls into an object through one interface description, by DISPID or by
// name (case-insensitive). It checks the invoke kind and the argument count, converts every
// argument to its declared type, runs the bound handler and turns a failure into a result
// code with its text. Used on the object's own (user-interface) thread; it owns its
// handlers, the description is borrowed and must outlive it.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/automation_typeinfo.h"
#include "platform/automation_variant.h"
#include "platform/platform_api.h"

namespace plat {

class QUVI_PLATFORM_API TDispatcher {
 public:
  // Gets the converted arguments in declaration order (out arguments may be changed and are
  // handed back) and sets the result. Any exception becomes DISP_E_EXCEPTION with its text.
  using THandler = std::function<void(std::vector<TVariant>& args, TVariant& result)>;

  explicit TDispatcher(const TInterfaceDesc& iface);

  // Binds the function of that DISPID and kind; false when the description has none.
  bool Bind(int32_t dispid, uint16_t kind, THandler handler);
  // True when every function of the description has a handler.
  bool FullyBound() const;
  std::vector<const TFuncDesc*> UnboundFuncs() const;

  // DISP_E_UNKNOWNNAME for a name the interface does not have.
  HRESULT GetIDOfName(const std::string& name, int32_t* dispid) const;
  // Calls the function. `args` holds the caller's arguments in declaration order; out
  // arguments are written back into it. On failure `error` gets the reason.
  HRESULT Invoke(int32_t dispid, uint16_t kind, std::vector<TVariant>& args, TVariant* result,
                 std::string* error);

  const TInterfaceDesc& Interface() const { return iface_; }

 private:
  const TFuncDesc* Find(int32_t dispid, uint16_t kind) const;

  const TInterfaceDesc& iface_;
  std::map<std::pair<int32_t, uint16_t>, THandler> handlers_;
};

}  // namespace plat
