// The per-user registry: a profile file in which self-registering modules record their
// classes (one section per key path, "CLSID\{...}\InprocServer32"), so a host finds a class's
// module by class identifier or name without knowing where it lies. The file is
// $QUVI_REGISTRY_FILE, else $XDG_CONFIG_HOME/quvi/registry.ini, else
// $HOME/.config/quvi/registry.ini. Any thread may call these; each call reads or rewrites the
// file, so processes see each other's changes.
#pragma once

#include <string>

#include "platform/platform_api.h"

namespace plat {

QUVI_PLATFORM_API std::string RegistryFileName();
// A key's default value is the value named "@".
// Sets a value of the key, creating key, folder and file as needed; false when unwritable.
QUVI_PLATFORM_API bool RegSetValue(const std::string& key, const std::string& name,
                                   const std::string& value);
// The value, or "" when the key or value is missing.
QUVI_PLATFORM_API std::string RegQueryValue(const std::string& key, const std::string& name);
QUVI_PLATFORM_API bool RegKeyExists(const std::string& key);
// Removes the key and its values (not its sub-keys); true when it is gone afterwards.
QUVI_PLATFORM_API bool RegDeleteKey(const std::string& key);

}  // namespace plat
