#include "tools/quvi-probe/members_listing.h"

#include <cstdio>
#include <string>
#include <vector>

#include "viewer/control/quvi_host.h"

namespace probe {

namespace {

std::string TypeName(uint16_t type, const char* enum_name) {
  if (enum_name != nullptr && *enum_name != '\0') return enum_name;
  switch (type) {
    case QUVI_VT_EMPTY:
      return "void";
    case QUVI_VT_I4:
      return "long";
    case QUVI_VT_R4:
      return "single";
    case QUVI_VT_R8:
      return "double";
    case QUVI_VT_DATE:
      return "DATE";
    case QUVI_VT_STRING:
      return "BSTR";
    case QUVI_VT_FONT:
      return "IFontDisp*";
    case QUVI_VT_BOOL:
      return "VARIANT_BOOL";
    case QUVI_VT_COLOR:
      return "OLE_COLOR";
    case QUVI_VT_BYTES:
      return "SAFEARRAY(unsigned char)";
    default:
      return "?";
  }
}

std::string DispIdText(int32_t dispid) {
  char buf[32];
  if (dispid < 0) {
    std::snprintf(buf, sizeof buf, "%d", dispid);
  } else {
    std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(dispid));
  }
  return buf;
}

std::string Params(const QuviFunctionInfo& f) {
  std::string text = "(";
  for (uint32_t i = 0; i < f.param_count; ++i) {
    const QuviParamInfo& p = f.params[i];
    if (i > 0) text += ", ";
    if (p.flags & QUVI_PARAM_OUT) text += "in/out ";
    text += TypeName(p.type, p.type_name) + " " + p.name;
  }
  return text + ")";
}

// One line per member: the functions of one DISPID sit together in the table.
void PrintInterface(std::ostream& out, int32_t which, bool events, int* members) {
  const uint32_t n = QuviGetFunctionCount(which);
  for (uint32_t i = 0; i < n;) {
    QuviFunctionInfo first;
    QuviGetFunction(which, i, &first);
    std::vector<std::string> kinds;
    std::string type;
    std::string params;
    uint32_t j = i;
    for (; j < n; ++j) {
      QuviFunctionInfo f;
      QuviGetFunction(which, j, &f);
      if (f.dispid != first.dispid) break;
      switch (f.kind) {
        case QUVI_INVOKE_METHOD:
          kinds.push_back(events ? "event" : "method");
          type = TypeName(f.result_type, f.result_type_name);
          params = Params(f);
          break;
        case QUVI_INVOKE_GET:
          kinds.push_back("get");
          type = TypeName(f.result_type, f.result_type_name);
          break;
        case QUVI_INVOKE_PUT:
          kinds.push_back("put");
          if (f.param_count == 1) type = TypeName(f.params[0].type, f.params[0].type_name);
          break;
        case QUVI_INVOKE_PUTREF:
          kinds.push_back("putref");
          break;
      }
    }
    std::string kind_text;
    for (const std::string& k : kinds) kind_text += (kind_text.empty() ? "" : "/") + k;
    char line[512];
    std::snprintf(line, sizeof line, "  %-6s %-34s %-16s %s%s\n", DispIdText(first.dispid).c_str(),
                  first.name, kind_text.c_str(), type.c_str(), params.c_str());
    out << line;
    ++*members;
    i = j;
  }
}

}  // namespace

int PrintMembers(std::ostream& out) {
  QuviLibraryInfo lib;
  QuviGetLibraryInfo(&lib);
  out << "library " << lib.name << " " << lib.guid << " version " << lib.major_version << "."
      << lib.minor_version << " \"" << lib.help_string << "\"\n";
  out << "class " << lib.class_name << " " << lib.class_guid << " (" << lib.prog_id << ")\n";
  int members = 0;
  out << "interface " << lib.dispatch_name << " " << lib.dispatch_guid
      << ((lib.dispatch_flags & 0x40) ? " dual" : "") << "\n";
  PrintInterface(out, QUVI_DISPATCH_INTERFACE, false, &members);
  out << members << " members\n";
  int events = 0;
  out << "events " << lib.events_name << " " << lib.events_guid << "\n";
  PrintInterface(out, QUVI_EVENT_INTERFACE, true, &events);
  out << events << " events\n";
  for (uint32_t i = 0; i < QuviGetEnumCount(); ++i) {
    QuviEnumInfo e;
    QuviGetEnum(i, &e);
    out << "enum " << e.name << " " << e.guid << ":";
    for (uint32_t v = 0; v < e.value_count; ++v) {
      out << (v ? ", " : " ") << e.values[v].name << " = " << e.values[v].value;
    }
    out << "\n";
  }
  return members;
}

}  // namespace probe
