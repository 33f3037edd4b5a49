// Request envelopes of the center service's calls: SOAP 1.1, RPC style with SOAP encoding,
// every parameter carrying its xsi:type, texts as UTF-8. One object builds one request on the
// calling thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/date_time.h"

namespace viewer {

// Namespace of the center's bean types ("Person", "ActionLog").
constexpr char kBeanNamespace[] = "urn:BeanService";

// What a report sends as an "ActionLog"; the fields it leaves out go empty (numbers 0, no
// person).
struct TActionLogRecord {
  int32_t Level = 0;
  std::string Operated;
  std::string Operation;
  std::string Result;
  std::string Src;
  TDateTime Time = 0;  // a local clock reading, sent as UTC+08:00
  std::string TypeOfOperated;
};

class TSoapRequest {
 public:
  // operation: the RPC wrapper element, in service_namespace; array_namespace names the
  // array type of the beans.
  TSoapRequest(std::string operation, std::string service_namespace,
               std::string array_namespace = "");

  void AddString(const std::string& name, const std::string& text);
  void AddLong(const std::string& name, int64_t value);
  void AddInt(const std::string& name, int32_t value);
  void AddActionLog(const std::string& name, const TActionLogRecord& log);

  // The whole envelope with its XML declaration.
  std::string Envelope() const;

 private:
  struct TField {
    std::string Name;
    std::string Type;  // xsi:type, e.g. "xsd:string"
    std::string Text;
    bool Nil = false;
    std::vector<TField> Children;
  };

  std::string operation_;
  std::string service_namespace_;
  std::string array_namespace_;
  std::vector<TField> params_;
};

// "2024-12-10T08:30:05.123+08:00": the clock reading with the center's fixed +08:00 offset.
std::string CenterDateTimeText(TDateTime t);

// The text with every byte sequence that is not valid UTF-8, and every character XML cannot
// carry, replaced by U+FFFD, so any caller's text makes a well-formed request.
std::string XmlSafeText(const std::string& text);

}  // namespace viewer
