#include "viewer/center/soap_answer.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "viewer/center/center_errors.h"

namespace viewer {

namespace {

// multiRef links followed from one element before the answer counts as broken.
constexpr int kMaxLinks = 8;

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string_view Trim(std::string_view text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string_view LocalName(const char* name) {
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}

pugi::xml_node FirstElement(pugi::xml_node parent) {
  for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_element) return n;
  }
  return {};
}

pugi::xml_node ChildNamed(pugi::xml_node parent, std::string_view local) {
  for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_element && LocalName(n.name()) == local) return n;
  }
  return {};
}

pugi::xml_attribute AttributeNamed(pugi::xml_node node, std::string_view local) {
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    if (LocalName(a.name()) == local) return a;
  }
  return {};
}

bool IsNil(pugi::xml_node node) {
  const pugi::xml_attribute nil = AttributeNamed(node, "nil");
  return nil && (std::strcmp(nil.value(), "true") == 0 || std::strcmp(nil.value(), "1") == 0);
}

// An element of the encoded graph: itself, or the multiRef its href points to in the Body.
pugi::xml_node Resolve(pugi::xml_node body, pugi::xml_node node) {
  for (int i = 0; i < kMaxLinks; ++i) {
    const pugi::xml_attribute href = node.attribute("href");
    if (!href) return node;
    const char* ref = href.value();
    if (ref[0] != '#') throw ECenterCallError("answer links outside itself: " + std::string(ref));
    pugi::xml_node target;
    for (pugi::xml_node n = body.first_child(); n && !target; n = n.next_sibling()) {
      if (n.type() == pugi::node_element && std::strcmp(n.attribute("id").value(), ref + 1) == 0) {
        target = n;
      }
    }
    if (!target) throw ECenterCallError("answer links to a missing element " + std::string(ref));
    node = target;
  }
  throw ECenterCallError("answer links in a circle");
}

std::string FaultText(pugi::xml_node fault) {
  const pugi::xml_node text = ChildNamed(fault, "faultstring");
  return text ? text.child_value() : "unknown fault";
}

// The parsed answer and its Body; throws for an error status, a fault or a broken answer.
class TAnswer {
 public:
  explicit TAnswer(const TSoapReply& reply) {
    const bool ok_status = reply.Status >= 200 && reply.Status < 300;
    const pugi::xml_parse_result parsed = doc_.load_buffer(
        reply.Body.data(), reply.Body.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (parsed) {
      const pugi::xml_node envelope = doc_.document_element();
      if (LocalName(envelope.name()) == "Envelope") body_ = ChildNamed(envelope, "Body");
    }
    const pugi::xml_node first = body_ ? FirstElement(body_) : pugi::xml_node();
    const bool fault = first && LocalName(first.name()) == "Fault";
    if (!ok_status) {
      std::string message = "HTTP status " + std::to_string(reply.Status);
      if (fault) message += ": " + FaultText(first);
      throw ECenterCallError(message, true, reply.Body);
    }
    if (!reply.ContentType.empty() && Lower(reply.ContentType).find("xml") == std::string::npos) {
      throw ECenterCallError("answer is not XML but " + reply.ContentType);
    }
    if (!parsed) throw ECenterCallError(std::string("answer is not XML: ") + parsed.description());
    if (!body_) throw ECenterCallError("answer is not a SOAP envelope");
    if (fault) throw ECenterCallError(FaultText(first));
    if (!first) throw ECenterCallError("answer has an empty body");
    wrapper_ = first;
  }

  // The result element, resolved; throws when there is none.
  pugi::xml_node Result() const {
    const pugi::xml_node result = FirstElement(Resolve(body_, wrapper_));
    if (!result) throw ECenterCallError("answer carries no result");
    return Resolve(body_, result);
  }
  pugi::xml_node Body() const { return body_; }

 private:
  pugi::xml_document doc_;
  pugi::xml_node body_;
  pugi::xml_node wrapper_;
};

}  // namespace

void TSoapReply::TakeHeaderLine(std::string_view line) {
  line = Trim(line);
  if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
    Status = 0;
    ContentType.clear();
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) return;
    long status = 0;
    size_t i = space + 1;
    for (int digits = 0;
         i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) && digits < 3;
         ++i, ++digits) {
      status = status * 10 + (line[i] - '0');
    }
    Status = status;
    return;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  if (Lower(Trim(line.substr(0, colon))) == "content-type") {
    ContentType = std::string(Trim(line.substr(colon + 1)));
  }
}

bool ReadBooleanAnswer(const TSoapReply& reply) {
  const TAnswer answer(reply);
  const pugi::xml_node result = answer.Result();
  if (IsNil(result)) throw ECenterCallError("answer carries no boolean");
  const std::string_view text = Trim(result.child_value());
  if (text == "true" || text == "1") return true;
  if (text == "false" || text == "0") return false;
  throw ECenterCallError("answer is not a boolean: " + std::string(text.substr(0, 40)));
}

std::string ReadStringAnswer(const TSoapReply& reply) {
  const TAnswer answer(reply);
  const pugi::xml_node result = answer.Result();
  return IsNil(result) ? std::string() : std::string(result.child_value());
}

std::optional<std::string> ReadPersonName(const TSoapReply& reply) {
  const TAnswer answer(reply);
  const pugi::xml_node person = answer.Result();
  if (IsNil(person)) return std::nullopt;
  const pugi::xml_node name = ChildNamed(person, "name");
  if (!name) return std::string();
  const pugi::xml_node value = Resolve(answer.Body(), name);
  return IsNil(value) ? std::string() : std::string(value.child_value());
}

void ReadEmptyAnswer(const TSoapReply& reply) {
  const TAnswer answer(reply);
}

}  // namespace viewer
