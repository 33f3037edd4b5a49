// The automation layer's value type and result codes. A TVariant holds one value of the
// types that cross the automation boundary: empty, 32-bit integer, single, double, date,
// boolean (true = -1), UTF-8 string, byte array with a lower bound, font and colour. Values
// own their data and copy like plain values; any thread may use its own variants.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform_api.h"

namespace plat {

// Result codes, shaped after the desktop's: 0 is success, negative values fail.
using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);

inline bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
inline bool FAILED(HRESULT hr) {
  return hr < 0;
}

// Variant types; the numbers are the desktop's variant type tags.
enum class TVarType : uint16_t {
  Empty = 0,
  I4 = 3,
  R4 = 4,
  R8 = 5,
  Date = 7,
  String = 8,
  Font = 9,
  Bool = 11,
  Color = 19,
  ByteArray = 0x2011,
};

constexpr int16_t VARIANT_TRUE = -1;
constexpr int16_t VARIANT_FALSE = 0;

// A font as the automation font object describes it.
struct TFontDesc {
  std::string Name = "Tahoma";
  double Size = 8;  // points
  int16_t Weight = 400;
  int16_t Charset = 1;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool Strikethrough = false;

  bool operator==(const TFontDesc&) const = default;
};

// A one-dimensional byte array with the index range LowerBound .. LowerBound + size - 1.
struct TByteArray {
  int32_t LowerBound = 0;
  std::vector<uint8_t> Data;

  bool operator==(const TByteArray&) const = default;
};

class QUVI_PLATFORM_API TVariant {
 public:
  TVariant() = default;

  static TVariant FromI4(int32_t v);
  static TVariant FromR4(float v);
  static TVariant FromR8(double v);
  static TVariant FromDate(double v);
  static TVariant FromBool(bool v);
  static TVariant FromString(std::string v);
  static TVariant FromColor(uint32_t v);
  static TVariant FromFont(TFontDesc v);
  static TVariant FromBytes(TByteArray v);

  TVarType Type() const { return type_; }
  // The value as held; only meaningful for the matching Type().
  int32_t I4() const { return i4_; }
  float R4() const { return r4_; }
  double R8() const { return r8_; }  // also the date of a Date
  bool Bool() const { return i4_ != 0; }
  int16_t BoolValue() const { return static_cast<int16_t>(i4_); }
  uint32_t Color() const { return static_cast<uint32_t>(i4_); }
  const std::string& String() const { return str_; }
  const TFontDesc& Font() const { return font_; }
  const TByteArray& Bytes() const { return bytes_; }

  bool operator==(const TVariant&) const = default;

 private:
  TVarType type_ = TVarType::Empty;
  int32_t i4_ = 0;  // I4, Bool (-1 / 0), Color (bits)
  float r4_ = 0;
  double r8_ = 0;  // R8, Date
  std::string str_;
  TFontDesc font_;
  TByteArray bytes_;
};

// Converts `in` to `type` the way automation arguments are coerced: numbers between each
// other (rounded half to even, DISP_E_OVERFLOW out of range), texts parsed as numbers or as
// "true"/"false", booleans as -1 / 0, empty as zero, false or "". Fonts and byte arrays only
// convert to themselves; anything else is DISP_E_TYPEMISMATCH.
QUVI_PLATFORM_API HRESULT ChangeType(const TVariant& in, TVarType type, TVariant* out);
// The type's name as type descriptions print it ("long", "BSTR", ...).
QUVI_PLATFORM_API const char* VarTypeName(TVarType type);

}  // namespace plat
