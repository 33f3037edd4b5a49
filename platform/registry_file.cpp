#include "platform/registry_file.h"

#include <cstdlib>

#include "platform/ini_profile.h"
#include "platform/process.h"

namespace plat {

std::string RegistryFileName() {
  if (const char* f = std::getenv("QUVI_REGISTRY_FILE"); f != nullptr && *f != '\0') return f;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x != nullptr && *x != '\0') {
    return std::string(x) + "/quvi/registry.ini";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != '\0' ? home : "/tmp") +
         "/.config/quvi/registry.ini";
}

bool RegSetValue(const std::string& key, const std::string& name, const std::string& value) {
  const std::string file = RegistryFileName();
  const std::string dir = ExtractFileDir(file);
  if (!dir.empty() && !ForceDirectories(dir)) return false;
  return WriteProfileString(file, key, name, value);
}

std::string RegQueryValue(const std::string& key, const std::string& name) {
  return ReadProfileString(RegistryFileName(), key, name, "");
}

bool RegKeyExists(const std::string& key) {
  return !ReadProfileKeys(RegistryFileName(), key).empty();
}

bool RegDeleteKey(const std::string& key) {
  return DeleteProfileSection(RegistryFileName(), key);
}

}  // namespace plat
