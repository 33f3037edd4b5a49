#include "platform/module.h"

#include <dlfcn.h>

#include "platform/process.h"

namespace plat {

std::string ModuleFileName(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  // Already a shared-object file name ("libm.so.6", "libx.so").
  if (name.rfind("lib", 0) == 0 && name.find(".so") != std::string::npos) return name;
  std::string base = name;
  if (base.size() > 4) {
    std::string tail = base.substr(base.size() - 4);
    for (char& c : tail) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    if (tail == ".dll") base.resize(base.size() - 4);
  }
  return "lib" + base + ".so";
}

std::string ModuleDirOf(const void* address_in_module) {
  Dl_info info{};
  if (address_in_module == nullptr || ::dladdr(address_in_module, &info) == 0 ||
      info.dli_fname == nullptr)
    return std::string();
  return ExtractFileDir(info.dli_fname);
}

HMODULE LoadModule(const std::string& name, const void* caller) {
  const std::string file = ModuleFileName(name);
  if (file.find('/') == std::string::npos) {
    const std::string dir = ModuleDirOf(caller);
    if (!dir.empty()) {
      const std::string beside = dir + "/" + file;
      if (FileExists(beside)) {
        if (void* h = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
      }
    }
  }
  return ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* GetProcAddress(HMODULE module, const char* export_name) {
  if (module == nullptr || export_name == nullptr) return nullptr;
  return ::dlsym(module, export_name);
}

void FreeModule(HMODULE module) {
  if (module != nullptr) ::dlclose(module);
}

}  // namespace plat
