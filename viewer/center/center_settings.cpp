#include "viewer/center/center_settings.h"

#include "platform/ini_profile.h"
#include "platform/process.h"

namespace viewer {

std::string CenterConfigPath() {
  return plat::HostExeDir() + "/CenterService.ini";
}

TCenterNamespaces LoadCenterNamespaces(const std::string& ini_path) {
  TCenterNamespaces ns;
  ns.Service = plat::ReadProfileString(ini_path, "CenterService", "ServiceNamespace", "");
  ns.Array = plat::ReadProfileString(ini_path, "CenterService", "ArrayNamespace", "");
  return ns;
}

std::string TrimBlanks(const std::string& text) {
  const char* blanks = " \t\r\n\f\v";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

bool HasEndpoint(const TCenterSettings& settings) {
  return !TrimBlanks(settings.Addr).empty() && settings.Port != 0;
}

std::string EndpointUrl(const TCenterSettings& settings, const std::string& service) {
  return "http://" + TrimBlanks(settings.Addr) + ":" + std::to_string(settings.Port) +
         settings.ServicePath + service;
}

std::string NamespaceFor(const std::string& configured, const std::string& url) {
  return configured.empty() ? url : configured;
}

int32_t EffectiveTimeout(int32_t timeout_ms) {
  return timeout_ms > 0 ? timeout_ms : kCenterCallTimeoutMs;
}

}  // namespace viewer
