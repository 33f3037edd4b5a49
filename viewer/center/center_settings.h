// Where the center service is: the four settings the play window copies from its properties,
// the deployment's namespaces, and the endpoint URLs built from them. Value types and plain
// functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace viewer {

// Time-out of token and permission calls, and the default of reports.
constexpr int32_t kCenterCallTimeoutMs = 2000;

constexpr char kTokenServiceName[] = "services/tokenService";
constexpr char kPermServiceName[] = "services/permService";
constexpr char kActionLogServiceName[] = "services/actionLogService";

struct TCenterSettings {
  std::string Addr;         // CenterAddr: host name or dotted quad
  int32_t Port = 0;         // CenterPort
  std::string ServicePath;  // CenterServicePath: inserted unchanged, so "/sc/" or "/"
  int32_t ConnectTimeout = kCenterCallTimeoutMs;  // CenterConnectTimeout: reports only
};

// Namespaces the center's deployment registered its services under. Empty means the one a
// service publishes by default: its own endpoint URL.
struct TCenterNamespaces {
  std::string Service;  // namespace of the operations (the RPC wrapper element)
  std::string Array;    // namespace of the "ArrayOf_xsd_anyType" type
};

// The deployment file: "CenterService.ini" beside the host program, e.g.
//   [CenterService]
//   ServiceNamespace=http://center.example/sc/services
//   ArrayNamespace=http://center.example/sc/services
// Keys that are missing or blank keep the default.
std::string CenterConfigPath();
TCenterNamespaces LoadCenterNamespaces(const std::string& ini_path);

// False when the trimmed address is empty or the port is 0: then nothing may be sent.
bool HasEndpoint(const TCenterSettings& settings);
// "http://" + trimmed address + ":" + port + service path + service.
std::string EndpointUrl(const TCenterSettings& settings, const std::string& service);
// The namespace to use with the service at url (the configured one or url itself).
std::string NamespaceFor(const std::string& configured, const std::string& url);
// The report time-out: the setting, or the default when it is not positive.
int32_t EffectiveTimeout(int32_t timeout_ms);

std::string TrimBlanks(const std::string& text);

}  // namespace viewer
