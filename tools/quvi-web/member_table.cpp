#include "tools/quvi-web/member_table.h"

#include <algorithm>
#include <cctype>

#include "viewer/control/quvi_host.h"

namespace quvi_web {

using nlohmann::json;

namespace {

std::string TypeName(uint16_t type, const char* enum_name) {
  if (enum_name != nullptr && *enum_name != 0) return enum_name;
  switch (type) {
    case QUVI_VT_EMPTY:
      return "void";
    case QUVI_VT_I4:
      return "int";
    case QUVI_VT_R4:
      return "single";
    case QUVI_VT_R8:
      return "double";
    case QUVI_VT_DATE:
      return "date";
    case QUVI_VT_STRING:
      return "string";
    case QUVI_VT_FONT:
      return "font";
    case QUVI_VT_BOOL:
      return "bool";
    case QUVI_VT_COLOR:
      return "color";
    case QUVI_VT_BYTES:
      return "bytes";
    default:
      return "variant";
  }
}

json Params(const QuviFunctionInfo& f) {
  json params = json::array();
  for (uint32_t i = 0; i < f.param_count; ++i) {
    const QuviParamInfo& p = f.params[i];
    params.push_back({{"name", p.name},
                      {"type", TypeName(p.type, p.type_name)},
                      {"out", (p.flags & QUVI_PARAM_OUT) != 0}});
  }
  return params;
}

}  // namespace

const TMemberTable& TMemberTable::Instance() {
  static const TMemberTable table;
  return table;
}

TMemberTable::TMemberTable() {
  json properties = json::array();
  json methods = json::array();
  json events = json::array();
  std::map<std::string, size_t> property_rows;
  const uint32_t count = QuviGetFunctionCount(QUVI_DISPATCH_INTERFACE);
  for (uint32_t i = 0; i < count; ++i) {
    QuviFunctionInfo f{};
    if (QuviGetFunction(QUVI_DISPATCH_INTERFACE, i, &f) != QUVI_S_OK) continue;
    if (f.kind == QUVI_INVOKE_METHOD) {
      methods.push_back({{"name", f.name},
                         {"result", TypeName(f.result_type, f.result_type_name)},
                         {"params", Params(f)}});
      continue;
    }
    auto row = property_rows.find(f.name);
    if (row == property_rows.end()) {
      const uint16_t type = f.kind == QUVI_INVOKE_GET ? f.result_type
                            : f.param_count > 0       ? f.params[f.param_count - 1].type
                                                      : QUVI_VT_EMPTY;
      const char* type_name = f.kind == QUVI_INVOKE_GET ? f.result_type_name
                              : f.param_count > 0       ? f.params[f.param_count - 1].type_name
                                                        : "";
      properties.push_back({{"name", f.name},
                            {"type", TypeName(type, type_name)},
                            {"readable", false},
                            {"writable", false}});
      row = property_rows.emplace(f.name, properties.size() - 1).first;
    }
    json& p = properties[row->second];
    if (f.kind == QUVI_INVOKE_GET) p["readable"] = true;
    if (f.kind & (QUVI_INVOKE_PUT | QUVI_INVOKE_PUTREF)) p["writable"] = true;
  }
  const uint32_t event_count = QuviGetFunctionCount(QUVI_EVENT_INTERFACE);
  for (uint32_t i = 0; i < event_count; ++i) {
    QuviFunctionInfo f{};
    if (QuviGetFunction(QUVI_EVENT_INTERFACE, i, &f) != QUVI_S_OK) continue;
    TEventDescription& e = events_[f.dispid];
    e.Name = f.name;
    for (uint32_t j = 0; j < f.param_count; ++j) e.ArgNames.push_back(f.params[j].name);
    events.push_back({{"name", f.name}, {"params", Params(f)}});
  }
  listing_ = {{"properties", properties}, {"methods", methods}, {"events", events}};
}

const TEventDescription* TMemberTable::Event(int32_t dispid) const {
  auto it = events_.find(dispid);
  return it == events_.end() ? nullptr : &it->second;
}

bool TMemberTable::NamesServerFiles(const std::string& name) {
  // PlayWnd would let a page draw into any window of the process, another page's included.
  static const char* const kRefused[] = {
      "capturebmppath",           "recordfile", "savefileas", "capturebmp", "startrecord",
      "capturebmpresultfilename", "playwnd"};
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::any_of(std::begin(kRefused), std::end(kRefused),
                     [&](const char* refused) { return lower == refused; });
}

}  // namespace quvi_web
