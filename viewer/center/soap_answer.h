// Reading the center service's answers: the HTTP status and content type from the header
// lines, then the SOAP envelope (a fault, or the RPC result, following multiRef links). Every
// answer that is not the expected one becomes an ECenterCallError. Plain functions and a
// value type; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace viewer {

// Largest answer body taken; a longer one fails the call.
constexpr size_t kMaxSoapAnswerBytes = 1 << 20;

struct TSoapReply {
  long Status = 0;          // HTTP status code, 0 before a status line
  std::string ContentType;  // the Content-Type value, "" when none was sent
  std::string Body;

  // Takes one header line as it came ("HTTP/1.1 200 OK\r\n", "Content-Type: text/xml\r\n").
  // A status line starts a new head, so an interim "100 Continue" head is forgotten.
  void TakeHeaderLine(std::string_view line);
};

// The boolean result ("true"/"false", "1"/"0").
bool ReadBooleanAnswer(const TSoapReply& reply);
// The string result; a nil or empty result is "".
std::string ReadStringAnswer(const TSoapReply& reply);
// The "name" of the Person result; no value when the result is nil (no person).
std::optional<std::string> ReadPersonName(const TSoapReply& reply);
// An answer without result: only that it is not a failure.
void ReadEmptyAnswer(const TSoapReply& reply);

}  // namespace viewer
