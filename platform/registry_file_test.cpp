#include "platform/registry_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

namespace plat {
namespace {

TEST(RegistryFileTest, KeysAreWrittenReadAndRemoved) {
  const std::string dir = testing::TempDir() + "regtest" + std::to_string(getpid());
  setenv("QUVI_REGISTRY_FILE", (dir + "/sub/registry.ini").c_str(), 1);
  EXPECT_EQ(RegistryFileName(), dir + "/sub/registry.ini");
  const std::string key = "CLSID\\{0E1B418E-FC82-4B9A-B8E8-A17CDA2F03BA}";
  EXPECT_FALSE(RegKeyExists(key));
  ASSERT_TRUE(RegSetValue(key, "@", "Name"));
  ASSERT_TRUE(RegSetValue(key + "\\InprocServer32", "@", "/lib/x.so"));
  ASSERT_TRUE(RegSetValue(key + "\\InprocServer32", "ThreadingModel", "Apartment"));
  EXPECT_EQ(RegQueryValue(key + "\\inprocserver32", "threadingmodel"), "Apartment");
  EXPECT_EQ(RegQueryValue(key, "@"), "Name");
  ASSERT_TRUE(RegDeleteKey(key));
  EXPECT_FALSE(RegKeyExists(key));
  EXPECT_TRUE(RegKeyExists(key + "\\InprocServer32"));  // sub-keys are removed one by one
  EXPECT_EQ(RegQueryValue(key + "\\InprocServer32", "@"), "/lib/x.so");
  unsetenv("QUVI_REGISTRY_FILE");
}

}  // namespace
}  // namespace plat
