#include "platform/automation_variant.h"

#include <strings.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace plat {

TVariant TVariant::FromI4(int32_t v) {
  TVariant r;
  r.type_ = TVarType::I4;
  r.i4_ = v;
  return r;
}
TVariant TVariant::FromR4(float v) {
  TVariant r;
  r.type_ = TVarType::R4;
  r.r4_ = v;
  return r;
}
TVariant TVariant::FromR8(double v) {
  TVariant r;
  r.type_ = TVarType::R8;
  r.r8_ = v;
  return r;
}
TVariant TVariant::FromDate(double v) {
  TVariant r;
  r.type_ = TVarType::Date;
  r.r8_ = v;
  return r;
}
TVariant TVariant::FromBool(bool v) {
  TVariant r;
  r.type_ = TVarType::Bool;
  r.i4_ = v ? VARIANT_TRUE : VARIANT_FALSE;
  return r;
}
TVariant TVariant::FromString(std::string v) {
  TVariant r;
  r.type_ = TVarType::String;
  r.str_ = std::move(v);
  return r;
}
TVariant TVariant::FromColor(uint32_t v) {
  TVariant r;
  r.type_ = TVarType::Color;
  r.i4_ = static_cast<int32_t>(v);
  return r;
}
TVariant TVariant::FromFont(TFontDesc v) {
  TVariant r;
  r.type_ = TVarType::Font;
  r.font_ = std::move(v);
  return r;
}
TVariant TVariant::FromBytes(TByteArray v) {
  TVariant r;
  r.type_ = TVarType::ByteArray;
  r.bytes_ = std::move(v);
  return r;
}

namespace {

bool IsNumeric(TVarType t) {
  return t == TVarType::I4 || t == TVarType::R4 || t == TVarType::R8 || t == TVarType::Date ||
         t == TVarType::Bool || t == TVarType::Color || t == TVarType::Empty;
}

// The value of a numeric variant as a double (empty is 0).
double NumberOf(const TVariant& v) {
  switch (v.Type()) {
    case TVarType::I4:
    case TVarType::Bool:
      return v.I4();
    case TVarType::Color:
      return v.Color();
    case TVarType::R4:
      return v.R4();
    case TVarType::R8:
    case TVarType::Date:
      return v.R8();
    default:
      return 0;
  }
}

// A whole text as a number; surrounding blanks allowed, "true"/"false" as -1 / 0.
bool ParseNumber(const std::string& text, double* out) {
  size_t b = text.find_first_not_of(" \t");
  size_t e = text.find_last_not_of(" \t");
  if (b == std::string::npos) return false;
  const std::string s = text.substr(b, e - b + 1);
  if (strcasecmp(s.c_str(), "true") == 0) {
    *out = -1;
    return true;
  }
  if (strcasecmp(s.c_str(), "false") == 0) {
    *out = 0;
    return true;
  }
  errno = 0;
  char* end = nullptr;
  const double d = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || errno == ERANGE || !std::isfinite(d)) return false;
  *out = d;
  return true;
}

// Rounds half to even and checks the range [lo, hi].
HRESULT ToIntegral(double d, double lo, double hi, int64_t* out) {
  if (!std::isfinite(d)) return DISP_E_OVERFLOW;
  const double r = std::nearbyint(d);  // default rounding mode: half to even
  if (r < lo || r > hi) return DISP_E_OVERFLOW;
  *out = static_cast<int64_t>(r);
  return S_OK;
}

std::string FormatNumber(const TVariant& v) {
  char buf[64];
  switch (v.Type()) {
    case TVarType::I4:
      std::snprintf(buf, sizeof buf, "%d", v.I4());
      break;
    case TVarType::Color:
      std::snprintf(buf, sizeof buf, "%u", v.Color());
      break;
    case TVarType::Bool:
      return v.Bool() ? "True" : "False";
    case TVarType::R4:
      std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v.R4()));
      break;
    case TVarType::R8:
    case TVarType::Date:
      std::snprintf(buf, sizeof buf, "%.17g", v.R8());
      break;
    default:
      return "";
  }
  return buf;
}

}  // namespace

HRESULT ChangeType(const TVariant& in, TVarType type, TVariant* out) {
  if (out == nullptr) return E_POINTER;
  if (in.Type() == type) {
    *out = in;
    return S_OK;
  }
  if (type == TVarType::Empty) {
    *out = TVariant();
    return S_OK;
  }
  if (type == TVarType::String) {
    if (!IsNumeric(in.Type())) return DISP_E_TYPEMISMATCH;
    *out = TVariant::FromString(FormatNumber(in));
    return S_OK;
  }
  if (type == TVarType::Font || type == TVarType::ByteArray) return DISP_E_TYPEMISMATCH;

  double d = 0;
  if (in.Type() == TVarType::String) {
    if (!ParseNumber(in.String(), &d)) return DISP_E_TYPEMISMATCH;
  } else if (IsNumeric(in.Type())) {
    d = NumberOf(in);
  } else {
    return DISP_E_TYPEMISMATCH;
  }

  int64_t n = 0;
  HRESULT hr = S_OK;
  switch (type) {
    case TVarType::I4:
      hr = ToIntegral(d, INT32_MIN, INT32_MAX, &n);
      if (SUCCEEDED(hr)) *out = TVariant::FromI4(static_cast<int32_t>(n));
      return hr;
    case TVarType::Color:
      // Colours are unsigned; a negative 32-bit integer keeps its bits (system colours).
      hr = ToIntegral(d, INT32_MIN, UINT32_MAX, &n);
      if (SUCCEEDED(hr)) *out = TVariant::FromColor(static_cast<uint32_t>(n));
      return hr;
    case TVarType::Bool:
      *out = TVariant::FromBool(d != 0);
      return S_OK;
    case TVarType::R4:
      if (std::fabs(d) > 3.402823466e38) return DISP_E_OVERFLOW;
      *out = TVariant::FromR4(static_cast<float>(d));
      return S_OK;
    case TVarType::R8:
      *out = TVariant::FromR8(d);
      return S_OK;
    case TVarType::Date:
      *out = TVariant::FromDate(d);
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

const char* VarTypeName(TVarType type) {
  switch (type) {
    case TVarType::Empty:
      return "void";
    case TVarType::I4:
      return "long";
    case TVarType::R4:
      return "single";
    case TVarType::R8:
      return "double";
    case TVarType::Date:
      return "DATE";
    case TVarType::String:
      return "BSTR";
    case TVarType::Font:
      return "IFontDisp*";
    case TVarType::Bool:
      return "VARIANT_BOOL";
    case TVarType::Color:
      return "OLE_COLOR";
    case TVarType::ByteArray:
      return "SAFEARRAY(unsigned char)";
  }
  return "?";
}

}  // namespace plat
