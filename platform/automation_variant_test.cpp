#include "platform/automation_variant.h"

#include <gtest/gtest.h>

namespace plat {
namespace {

struct Conversion {
  const char* what;
  TVariant in;
  TVarType to;
  HRESULT hr;
  TVariant expected;
};

TEST(VariantTest, ArgumentConversions) {
  const Conversion cases[] = {
      {"integer text", TVariant::FromString(" 42 "), TVarType::I4, S_OK, TVariant::FromI4(42)},
      {"text that is no number",
       TVariant::FromString("4x2"),
       TVarType::I4,
       DISP_E_TYPEMISMATCH,
       {}},
      {"empty text", TVariant::FromString(""), TVarType::I4, DISP_E_TYPEMISMATCH, {}},
      {"half rounds to even", TVariant::FromR8(2.5), TVarType::I4, S_OK, TVariant::FromI4(2)},
      {"half rounds to even upward", TVariant::FromR8(3.5), TVarType::I4, S_OK,
       TVariant::FromI4(4)},
      {"too large for 32 bits", TVariant::FromR8(3e9), TVarType::I4, DISP_E_OVERFLOW, {}},
      {"true is -1", TVariant::FromBool(true), TVarType::I4, S_OK, TVariant::FromI4(-1)},
      {"non-zero is true", TVariant::FromI4(7), TVarType::Bool, S_OK, TVariant::FromBool(true)},
      {"text true", TVariant::FromString("TRUE"), TVarType::Bool, S_OK, TVariant::FromBool(true)},
      {"empty is zero", TVariant(), TVarType::I4, S_OK, TVariant::FromI4(0)},
      {"integer to text", TVariant::FromI4(-5), TVarType::String, S_OK, TVariant::FromString("-5")},
      {"boolean to text", TVariant::FromBool(false), TVarType::String, S_OK,
       TVariant::FromString("False")},
      {"negative integer keeps colour bits", TVariant::FromI4(-2147483643), TVarType::Color, S_OK,
       TVariant::FromColor(0x80000005u)},
      {"colour above 32 bits", TVariant::FromR8(5e9), TVarType::Color, DISP_E_OVERFLOW, {}},
      {"font is no number", TVariant::FromFont({}), TVarType::I4, DISP_E_TYPEMISMATCH, {}},
      {"bytes are no text",
       TVariant::FromBytes({0, {1, 2}}),
       TVarType::String,
       DISP_E_TYPEMISMATCH,
       {}},
      {"text is no byte array",
       TVariant::FromString("ab"),
       TVarType::ByteArray,
       DISP_E_TYPEMISMATCH,
       {}},
      {"infinite text", TVariant::FromString("inf"), TVarType::R8, DISP_E_TYPEMISMATCH, {}},
      {"double to single out of range", TVariant::FromR8(1e300), TVarType::R4, DISP_E_OVERFLOW, {}},
      {"date from double", TVariant::FromR8(45000.5), TVarType::Date, S_OK,
       TVariant::FromDate(45000.5)},
  };
  for (const Conversion& c : cases) {
    TVariant out = TVariant::FromString("untouched");
    EXPECT_EQ(ChangeType(c.in, c.to, &out), c.hr) << c.what;
    if (c.hr == S_OK) {
      EXPECT_EQ(out, c.expected) << c.what;
    }
  }
}

TEST(VariantTest, BooleansHoldMinusOne) {
  EXPECT_EQ(TVariant::FromBool(true).BoolValue(), VARIANT_TRUE);
  EXPECT_EQ(TVariant::FromBool(false).BoolValue(), VARIANT_FALSE);
}

}  // namespace
}  // namespace plat
