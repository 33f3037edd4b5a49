#include "tools/quvi-web/variant_json.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace quvi_web {

using nlohmann::json;

namespace {

bool FontFromJson(const json& value, QuviVariant* out, std::string* error) {
  QuviFont font{};
  std::string name;
  try {
    name = value.value("name", std::string());
    font.size = value.value("size", 9.0);
    font.weight = static_cast<int16_t>(value.value("weight", 400));
    font.charset = static_cast<int16_t>(value.value("charset", 1));
    font.bold = value.value("bold", false);
    font.italic = value.value("italic", false);
    font.underline = value.value("underline", false);
    font.strikethrough = value.value("strikethrough", false);
  } catch (const json::exception&) {
    *error = "a font's fields have the wrong types";
    return false;
  }
  if (!std::isfinite(font.size)) {
    *error = "a font's size must be a number";
    return false;
  }
  font.name = name.data();
  if (QuviVariantSetFont(out, &font) < 0) {
    *error = QuviGetErrorText();
    return false;
  }
  return true;
}

bool BytesFromJson(const json& value, QuviVariant* out, std::string* error) {
  const json& text = value["base64"];
  int64_t lower = 0;
  if (value.contains("lowerBound")) {
    const json& bound = value["lowerBound"];
    if (!bound.is_number_integer() || bound.get<int64_t>() < INT32_MIN ||
        bound.get<int64_t>() > INT32_MAX) {
      *error = "lowerBound must be a 32-bit whole number";
      return false;
    }
    lower = bound.get<int64_t>();
  }
  std::string bytes;
  if (!text.is_string() || !Base64Decode(text.get<std::string>(), &bytes)) {
    *error = "base64 must be base64 text";
    return false;
  }
  if (QuviVariantSetBytes(out, reinterpret_cast<const uint8_t*>(bytes.data()),
                          static_cast<uint32_t>(bytes.size()), static_cast<int32_t>(lower)) < 0) {
    *error = QuviGetErrorText();
    return false;
  }
  return true;
}

}  // namespace

bool JsonToVariant(const json& value, QuviVariant* out, std::string* error) {
  QuviVariantClear(out);
  switch (value.type()) {
    case json::value_t::null:
      return true;
    case json::value_t::boolean:
      out->vt = QUVI_VT_BOOL;
      out->u.boolean = value.get<bool>() ? -1 : 0;
      return true;
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: {
      if (value.is_number_unsigned() && value.get<uint64_t>() > uint64_t{INT32_MAX}) {
        out->vt = QUVI_VT_R8;
        out->u.r8 = static_cast<double>(value.get<uint64_t>());
        return true;
      }
      const int64_t n = value.get<int64_t>();
      if (n >= INT32_MIN && n <= INT32_MAX) {
        out->vt = QUVI_VT_I4;
        out->u.i4 = static_cast<int32_t>(n);
      } else {
        out->vt = QUVI_VT_R8;
        out->u.r8 = static_cast<double>(n);
      }
      return true;
    }
    case json::value_t::number_float:
      out->vt = QUVI_VT_R8;
      out->u.r8 = value.get<double>();
      return true;
    case json::value_t::string:
      if (QuviVariantSetString(out, value.get_ref<const std::string&>().c_str()) < 0) {
        *error = QuviGetErrorText();
        return false;
      }
      return true;
    case json::value_t::object:
      if (value.contains("base64")) return BytesFromJson(value, out, error);
      if (value.contains("name")) return FontFromJson(value, out, error);
      *error = "an object value must be a font (name, size, ...) or bytes (base64)";
      return false;
    default:
      *error = "arrays and binary values are no member values";
      return false;
  }
}

json VariantToJson(const QuviVariant& v) {
  switch (v.vt) {
    case QUVI_VT_I4:
      return v.u.i4;
    case QUVI_VT_R4:
      return std::isfinite(v.u.r4) ? json(v.u.r4) : json(nullptr);
    case QUVI_VT_R8:
      return std::isfinite(v.u.r8) ? json(v.u.r8) : json(nullptr);
    case QUVI_VT_DATE:
      return std::isfinite(v.u.date) ? json(v.u.date) : json(nullptr);
    case QUVI_VT_BOOL:
      return v.u.boolean != 0;
    case QUVI_VT_COLOR:
      return v.u.color;
    case QUVI_VT_STRING: {
      // A broken UTF-8 sequence is replaced when the reply is written (DumpJson).
      return v.u.str.data ? std::string(v.u.str.data, v.u.str.length) : "";
    }
    case QUVI_VT_FONT: {
      if (v.u.font == nullptr) return nullptr;
      const QuviFont& f = *v.u.font;
      return json{{"name", f.name ? f.name : ""},
                  {"size", f.size},
                  {"weight", f.weight},
                  {"charset", f.charset},
                  {"bold", f.bold != 0},
                  {"italic", f.italic != 0},
                  {"underline", f.underline != 0},
                  {"strikethrough", f.strikethrough != 0}};
    }
    case QUVI_VT_BYTES:
      return json{{"base64", Base64Encode(v.u.bytes.data, v.u.bytes.count)},
                  {"lowerBound", v.u.bytes.lower_bound}};
    default:
      return nullptr;
  }
}

std::string DumpJson(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string Base64Encode(const uint8_t* data, size_t size) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < size; i += 3) {
    const uint32_t n = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (i < size) {
    uint32_t n = uint32_t(data[i]) << 16;
    if (i + 1 < size) n |= uint32_t(data[i + 1]) << 8;
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += i + 1 < size ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool Base64Decode(const std::string& text, std::string* bytes) {
  bytes->clear();
  uint32_t bits = 0;
  int count = 0;
  size_t padding = 0;
  for (char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    if (c >= '0' && c <= '9') value = c - '0' + 52;
    if (c == '+') value = 62;
    if (c == '/') value = 63;
    if (c == '=') {
      ++padding;
      continue;
    }
    if (value < 0 || padding > 0) return false;  // a stray character, or data after padding
    bits = (bits << 6) | uint32_t(value);
    if (++count == 4) {
      bytes->push_back(char(bits >> 16));
      bytes->push_back(char(bits >> 8));
      bytes->push_back(char(bits));
      bits = 0;
      count = 0;
    }
  }
  if (padding > 2 || count == 1) return false;
  if (count == 2) bytes->push_back(char(bits >> 4));
  if (count == 3) {
    bytes->push_back(char(bits >> 10));
    bytes->push_back(char(bits >> 2));
  }
  return true;
}

}  // namespace quvi_web
