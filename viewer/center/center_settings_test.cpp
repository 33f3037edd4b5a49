// Endpoints built from the four settings, and the deployment file's namespaces.
#include "viewer/center/center_settings.h"

#include <gtest/gtest.h>

#include "platform/ini_profile.h"
#include "tests/support/test_files.h"

namespace viewer {
namespace {

TEST(CenterSettings, EndpointJoinsAddressPortPathAndService) {
  TCenterSettings s;
  s.Addr = " center.local ";
  s.Port = 8080;
  s.ServicePath = "/sc/";
  EXPECT_TRUE(HasEndpoint(s));
  EXPECT_EQ(EndpointUrl(s, kPermServiceName), "http://center.local:8080/sc/services/permService");
  EXPECT_EQ(EndpointUrl(s, kTokenServiceName), "http://center.local:8080/sc/services/tokenService");
  EXPECT_EQ(EndpointUrl(s, kActionLogServiceName),
            "http://center.local:8080/sc/services/actionLogService");

  const struct {
    const char* Addr;
    int32_t Port;
    bool Has;
  } cases[] = {{"  ", 8080, false},    {"", 8080, false},      {"\t", 1, false},
               {"10.0.0.1", 0, false}, {"10.0.0.1", -1, true}, {"h", 1, true}};
  for (const auto& c : cases) {
    s.Addr = c.Addr;
    s.Port = c.Port;
    EXPECT_EQ(HasEndpoint(s), c.Has) << "'" << c.Addr << "' " << c.Port;
  }
}

TEST(CenterSettings, NamespacesComeFromTheDeploymentFileOrTheEndpoint) {
  quvi_test::TTempDir dir;
  const std::string ini = dir.Path("CenterService.ini");
  TCenterNamespaces none = LoadCenterNamespaces(ini);
  EXPECT_EQ(NamespaceFor(none.Service, "http://h:1/services/permService"),
            "http://h:1/services/permService");
  EXPECT_EQ(NamespaceFor(none.Array, "http://h:1/services/permService"),
            "http://h:1/services/permService");

  ASSERT_TRUE(plat::WriteProfileString(ini, "CenterService", "ServiceNamespace", " urn:sc "));
  ASSERT_TRUE(plat::WriteProfileString(ini, "centerservice", "arraynamespace", "urn:arrays"));
  TCenterNamespaces ns = LoadCenterNamespaces(ini);
  EXPECT_EQ(NamespaceFor(ns.Service, "http://h:1/x"), "urn:sc");
  EXPECT_EQ(NamespaceFor(ns.Array, "http://h:1/x"), "urn:arrays");
  EXPECT_EQ(CenterConfigPath().substr(CenterConfigPath().rfind('/')), "/CenterService.ini");
}

TEST(CenterSettings, ReportTimeoutFallsBackToTheDefaultWhenNotPositive) {
  EXPECT_EQ(EffectiveTimeout(500), 500);
  EXPECT_EQ(EffectiveTimeout(0), kCenterCallTimeoutMs);
  EXPECT_EQ(EffectiveTimeout(-5), kCenterCallTimeoutMs);
}

}  // namespace
}  // namespace viewer
