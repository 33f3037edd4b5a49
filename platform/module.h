// Run-time module loading by name and export lookup by name. A module name "X" (or "X.dll")
// is the file "libX.so", looked for first beside the module that asks, then in the folders
// the loader searches for that module's own libraries (its run path, LD_LIBRARY_PATH, the
// system folders), then by the loader itself. Any thread may call these.
#pragma once

#include <string>

#include "platform/platform_api.h"

namespace plat {

using HMODULE = void*;

// File name a module name maps to: "ZrPlayProxy" and "ZrPlayProxy.dll" give
// "libZrPlayProxy.so"; a name that already ends in ".so" or holds a "/" is kept.
QUVI_PLATFORM_API std::string ModuleFileName(const std::string& name);
// Folder of the loaded module that contains the given address ("" when unknown).
QUVI_PLATFORM_API std::string ModuleDirOf(const void* address_in_module);
// Loads the module; `caller` is any address inside the asking module. nullptr on failure.
QUVI_PLATFORM_API HMODULE LoadModule(const std::string& name, const void* caller);
QUVI_PLATFORM_API void* GetProcAddress(HMODULE module, const char* export_name);
QUVI_PLATFORM_API void FreeModule(HMODULE module);

}  // namespace plat
