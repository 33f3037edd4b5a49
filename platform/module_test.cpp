#include "platform/module.h"

#include <gtest/gtest.h>

namespace plat {
namespace {

TEST(ModuleTest, NamesMapToSharedObjectFiles) {
  struct Case {
    const char* name;
    const char* file;
  } cases[] = {
      {"ZrPlayProxy", "libZrPlayProxy.so"}, {"ZrPlayProxy.dll", "libZrPlayProxy.so"},
      {"KVDraw.DLL", "libKVDraw.so"},       {"libm.so.6", "libm.so.6"},
      {"/opt/x/liby.so", "/opt/x/liby.so"},
  };
  for (const auto& c : cases) EXPECT_EQ(ModuleFileName(c.name), c.file) << c.name;
}

TEST(ModuleTest, LoadsFromTheLoaderPathAndLooksUpExports) {
  HMODULE m = LoadModule("libm.so.6", nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_NE(GetProcAddress(m, "cos"), nullptr);
  EXPECT_EQ(GetProcAddress(m, "no_such_export_here"), nullptr);
  FreeModule(m);
  EXPECT_EQ(LoadModule("NoSuchModuleAnywhere", nullptr), nullptr);
}

TEST(ModuleTest, ModuleDirOfFindsThePlatformLibraryFolder) {
  EXPECT_FALSE(ModuleDirOf(reinterpret_cast<const void*>(&ModuleFileName)).empty());
}

}  // namespace
}  // namespace plat
