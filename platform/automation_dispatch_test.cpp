#include "platform/automation_dispatch.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace plat {
namespace {

// A small interface: a read/write integer, a method with an in/out text and a result, a
// method that fails.
TInterfaceDesc TestInterface() {
  TInterfaceDesc d;
  d.Name = "ITest";
  d.Funcs = {
      {1, "Value", DISPATCH_PROPERTYGET, {}, TVarType::I4, ""},
      {1,
       "Value",
       DISPATCH_PROPERTYPUT,
       {{"Value", TVarType::I4, "", PARAMFLAG_IN}},
       TVarType::Empty,
       ""},
      {2,
       "Rename",
       DISPATCH_METHOD,
       {{"sName", TVarType::String, "", PARAMFLAG_IN | PARAMFLAG_OUT}},
       TVarType::Bool,
       ""},
      {3, "Broken", DISPATCH_METHOD, {}, TVarType::Empty, ""},
      {4, "Unbound", DISPATCH_METHOD, {}, TVarType::Empty, ""},
  };
  return d;
}

class DispatcherTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dispatcher_.Bind(1, DISPATCH_PROPERTYGET,
                                 [this](auto&, TVariant& r) { r = TVariant::FromI4(value_); }));
    ASSERT_TRUE(dispatcher_.Bind(1, DISPATCH_PROPERTYPUT,
                                 [this](auto& a, TVariant&) { value_ = a[0].I4(); }));
    ASSERT_TRUE(dispatcher_.Bind(2, DISPATCH_METHOD, [](auto& a, TVariant& r) {
      a[0] = TVariant::FromString(a[0].String() + ".bmp");
      r = TVariant::FromBool(true);
    }));
    ASSERT_TRUE(dispatcher_.Bind(3, DISPATCH_METHOD, [](auto&, TVariant&) {
      throw std::runtime_error("the device said no");
    }));
  }

  TInterfaceDesc iface_ = TestInterface();
  TDispatcher dispatcher_{iface_};
  int32_t value_ = 0;
};

TEST_F(DispatcherTest, NamesAreFoundWhateverTheirCase) {
  int32_t id = 0;
  EXPECT_EQ(dispatcher_.GetIDOfName("vALUE", &id), S_OK);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(dispatcher_.GetIDOfName("Valu", &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(dispatcher_.GetIDOfName("", &id), DISP_E_UNKNOWNNAME);
}

TEST_F(DispatcherTest, PutConvertsAndGetReads) {
  std::vector<TVariant> args{TVariant::FromString("12")};
  std::string error;
  ASSERT_EQ(dispatcher_.Invoke(1, DISPATCH_PROPERTYPUT, args, nullptr, &error), S_OK) << error;
  std::vector<TVariant> none;
  TVariant result;
  ASSERT_EQ(dispatcher_.Invoke(1, DISPATCH_PROPERTYGET, none, &result, &error), S_OK);
  EXPECT_EQ(result, TVariant::FromI4(12));
  // A host reading a property as a method call gets the same.
  ASSERT_EQ(dispatcher_.Invoke(1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, none, &result, &error),
            S_OK);
  EXPECT_EQ(result, TVariant::FromI4(12));
}

TEST_F(DispatcherTest, OutArgumentsAreHandedBack) {
  std::vector<TVariant> args{TVariant::FromString("snap")};
  TVariant result;
  ASSERT_EQ(dispatcher_.Invoke(2, DISPATCH_METHOD, args, &result, nullptr), S_OK);
  EXPECT_EQ(args[0], TVariant::FromString("snap.bmp"));
  EXPECT_EQ(result, TVariant::FromBool(true));
}

TEST_F(DispatcherTest, BadCallsAreRefusedWithTheirReason) {
  struct Case {
    const char* what;
    int32_t dispid;
    uint16_t kind;
    std::vector<TVariant> args;
    HRESULT hr;
    const char* text;
  };
  const Case cases[] = {
      {"unknown DISPID", 99, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, "no member 99"},
      {"put on a method", 2, DISPATCH_PROPERTYPUT, {}, DISP_E_MEMBERNOTFOUND, "no member 2"},
      {"too many arguments",
       1,
       DISPATCH_PROPERTYGET,
       {TVariant::FromI4(1)},
       DISP_E_BADPARAMCOUNT,
       "Value takes 0 argument(s), got 1"},
      {"missing argument", 1, DISPATCH_PROPERTYPUT, {}, DISP_E_BADPARAMCOUNT, "got 0"},
      {"wrong type",
       1,
       DISPATCH_PROPERTYPUT,
       {TVariant::FromFont({})},
       DISP_E_TYPEMISMATCH,
       "argument 1 (Value) must be long"},
      {"out of range",
       1,
       DISPATCH_PROPERTYPUT,
       {TVariant::FromR8(1e12)},
       DISP_E_OVERFLOW,
       "out of range"},
      {"exception", 3, DISPATCH_METHOD, {}, DISP_E_EXCEPTION, "the device said no"},
      {"no handler", 4, DISPATCH_METHOD, {}, E_NOTIMPL, "Unbound is not implemented"},
  };
  for (const Case& c : cases) {
    std::vector<TVariant> args = c.args;
    std::string error;
    TVariant result;
    EXPECT_EQ(dispatcher_.Invoke(c.dispid, c.kind, args, &result, &error), c.hr) << c.what;
    EXPECT_NE(error.find(c.text), std::string::npos) << c.what << ": " << error;
  }
  EXPECT_EQ(value_, 0);  // nothing reached the property
}

TEST_F(DispatcherTest, ReportsWhatIsUnbound) {
  EXPECT_FALSE(dispatcher_.FullyBound());
  ASSERT_EQ(dispatcher_.UnboundFuncs().size(), 1u);
  EXPECT_EQ(dispatcher_.UnboundFuncs()[0]->Name, "Unbound");
  EXPECT_FALSE(dispatcher_.Bind(4, DISPATCH_PROPERTYGET, [](auto&, auto&) {}));
}

}  // namespace
}  // namespace plat
