#include "viewer/center/soap_envelope.h"

#include <pugixml.hpp>

#include <cstdio>
#include <sstream>

namespace viewer {

namespace {

constexpr char kEnvelopeNs[] = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr char kEncodingNs[] = "http://schemas.xmlsoap.org/soap/encoding/";
constexpr char kSchemaNs[] = "http://www.w3.org/2001/XMLSchema";
constexpr char kInstanceNs[] = "http://www.w3.org/2001/XMLSchema-instance";
constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence at p (0 when invalid) and its code point.
size_t DecodeUtf8(const unsigned char* p, size_t left, uint32_t& cp) {
  const unsigned char c = p[0];
  size_t len;
  uint32_t min;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (len > left) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

bool XmlAllows(uint32_t cp) {
  if (cp < 0x20) return cp == 0x09 || cp == 0x0A || cp == 0x0D;
  return cp != 0xFFFE && cp != 0xFFFF;
}

}  // namespace

std::string XmlSafeText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp = 0;
    const size_t len = DecodeUtf8(p + i, text.size() - i, cp);
    if (len == 0 || !XmlAllows(cp)) {
      out += kReplacement;
      i += len == 0 ? 1 : len;
    } else {
      out.append(text, i, len);
      i += len;
    }
  }
  return out;
}

std::string CenterDateTimeText(TDateTime t) {
  const TDateTimeParts p = DecodeDateTime(t);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d+08:00", p.year, p.month,
                p.day, p.hour, p.minute, p.second, p.millisecond);
  return text;
}

TSoapRequest::TSoapRequest(std::string operation, std::string service_namespace,
                           std::string array_namespace)
    : operation_(std::move(operation)),
      service_namespace_(std::move(service_namespace)),
      array_namespace_(std::move(array_namespace)) {}

void TSoapRequest::AddString(const std::string& name, const std::string& text) {
  params_.push_back({name, "xsd:string", XmlSafeText(text), false, {}});
}

void TSoapRequest::AddLong(const std::string& name, int64_t value) {
  params_.push_back({name, "xsd:long", std::to_string(value), false, {}});
}

void TSoapRequest::AddInt(const std::string& name, int32_t value) {
  params_.push_back({name, "xsd:int", std::to_string(value), false, {}});
}

void TSoapRequest::AddActionLog(const std::string& name, const TActionLogRecord& log) {
  auto text = [](const char* field, const std::string& value) {
    return TField{field, "xsd:string", XmlSafeText(value), false, {}};
  };
  TField bean{name, "ns2:ActionLog", "", false, {}};
  bean.Children = {
      {"id", "xsd:long", "0", false, {}},
      {"level", "xsd:int", std::to_string(log.Level), false, {}},
      text("levelStr", ""),
      text("operated", log.Operated),
      text("operation", log.Operation),
      text("operator", ""),
      text("orgIdPath", ""),
      text("orgNamePath", ""),
      {"person", "ns2:Person", "", true, {}},
      text("result", log.Result),
      text("src", log.Src),
      {"time", "xsd:dateTime", CenterDateTimeText(log.Time), false, {}},
      text("timeStr", ""),
      text("typeOfOperated", log.TypeOfOperated),
  };
  params_.push_back(std::move(bean));
}

std::string TSoapRequest::Envelope() const {
  pugi::xml_document doc;
  pugi::xml_node decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";

  pugi::xml_node envelope = doc.append_child("soapenv:Envelope");
  envelope.append_attribute("xmlns:soapenv") = kEnvelopeNs;
  envelope.append_attribute("xmlns:soapenc") = kEncodingNs;
  envelope.append_attribute("xmlns:xsd") = kSchemaNs;
  envelope.append_attribute("xmlns:xsi") = kInstanceNs;
  pugi::xml_node call =
      envelope.append_child("soapenv:Body").append_child(("ns1:" + operation_).c_str());
  call.append_attribute("soapenv:encodingStyle") = kEncodingNs;
  call.append_attribute("xmlns:ns1") = service_namespace_.c_str();

  auto write = [&](auto&& self, pugi::xml_node parent, const TField& field) -> void {
    pugi::xml_node node = parent.append_child(field.Name.c_str());
    node.append_attribute("xsi:type") = field.Type.c_str();
    if (field.Type.rfind("ns2:", 0) == 0 && parent == call) {
      node.append_attribute("xmlns:ns2") = kBeanNamespace;
      if (!array_namespace_.empty()) {
        node.append_attribute("xmlns:ns3") = array_namespace_.c_str();
      }
    }
    if (field.Nil) {
      node.append_attribute("xsi:nil") = "true";
    } else if (!field.Children.empty()) {
      for (const TField& child : field.Children) self(self, node, child);
    } else {
      node.text() = field.Text.c_str();
    }
  };
  for (const TField& param : params_) write(write, call, param);

  std::ostringstream out;
  doc.save(out, "", pugi::format_raw, pugi::encoding_utf8);
  return out.str();
}

}  // namespace viewer
