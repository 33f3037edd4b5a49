// Values between the page's JSON and the control's variants. JSON numbers become 32-bit
// integers when whole and in range, else doubles; strings, booleans (-1/0) and null (empty)
// map directly; {"name","size",...} is a font and {"base64","lowerBound"} a byte array. The
// control converts each value to the member's declared type. Plain functions; any thread.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "viewer/control/quvi_host.h"

namespace quvi_web {

// Fills `out` (initialised by the caller) from the JSON value; false with `error` set for a
// value that is no variant (an array, another object, bad base64).
bool JsonToVariant(const nlohmann::json& value, QuviVariant* out, std::string* error);
// The JSON form of a variant.
nlohmann::json VariantToJson(const QuviVariant& value);

// The text of a JSON value; broken UTF-8 in strings is replaced, never thrown about.
std::string DumpJson(const nlohmann::json& value);

std::string Base64Encode(const uint8_t* data, size_t size);
// False for text that is no base64.
bool Base64Decode(const std::string& text, std::string* bytes);

// A variant that frees what it holds.
class TOwnedVariant {
 public:
  TOwnedVariant() { QuviVariantInit(&v_); }
  ~TOwnedVariant() { QuviVariantClear(&v_); }
  TOwnedVariant(TOwnedVariant&& other) noexcept : v_(other.v_) { QuviVariantInit(&other.v_); }
  TOwnedVariant(const TOwnedVariant&) = delete;
  TOwnedVariant& operator=(const TOwnedVariant&) = delete;
  QuviVariant* get() { return &v_; }
  const QuviVariant& operator*() const { return v_; }

 private:
  QuviVariant v_;
};

}  // namespace quvi_web
