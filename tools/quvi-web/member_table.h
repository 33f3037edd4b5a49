// The control's members as the host interface describes them: event names and argument
// names by DISPID (for the events' JSON), the listing the page asks for, and the members a
// page may not reach because they name files on the server. Built once from the type
// description; read-only afterwards, any thread.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace quvi_web {

struct TEventDescription {
  std::string Name;
  std::vector<std::string> ArgNames;
};

class TMemberTable {
 public:
  static const TMemberTable& Instance();

  // nullptr for an unknown event.
  const TEventDescription* Event(int32_t dispid) const;
  // {"properties": [...], "methods": [...], "events": [...]} with their types.
  const nlohmann::json& Listing() const { return listing_; }
  // Members that write files where their argument or value says, or name such a place:
  // a page chooses no paths on the server (letter case ignored).
  static bool NamesServerFiles(const std::string& name);

 private:
  TMemberTable();
  std::map<int32_t, TEventDescription> events_;
  nlohmann::json listing_;
};

}  // namespace quvi_web
