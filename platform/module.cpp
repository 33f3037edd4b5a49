#include "platform/module.h"

#include <dlfcn.h>
#include <link.h>

#include <cstddef>
#include <vector>

#include "platform/process.h"

namespace plat {

namespace {

// The folders the dynamic loader searches for the libraries of the module that holds
// `address`: its run path, LD_LIBRARY_PATH and the system folders, in the loader's order.
// A dlopen by bare name would search those of the module calling dlopen (this library, or a
// tool's interceptor standing in front of it), not those of the module asking for the load.
std::vector<std::string> SearchPathOf(const void* address) {
  std::vector<std::string> dirs;
  Dl_info info{};
  link_map* map = nullptr;
  if (address == nullptr ||
      ::dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
      map == nullptr)
    return dirs;
  // The program itself has an empty name in the loader's list.
  const bool program = map->l_name == nullptr || map->l_name[0] == '\0';
  void* handle = ::dlopen(program ? nullptr : map->l_name, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return dirs;
  Dl_serinfo sizes{};
  if (::dlinfo(handle, RTLD_DI_SERINFOSIZE, &sizes) == 0 && sizes.dls_size >= sizeof sizes) {
    std::vector<std::max_align_t> storage((sizes.dls_size + sizeof(std::max_align_t) - 1) /
                                          sizeof(std::max_align_t));
    auto* paths = reinterpret_cast<Dl_serinfo*>(storage.data());
    *paths = sizes;
    if (::dlinfo(handle, RTLD_DI_SERINFO, paths) == 0) {
      for (unsigned i = 0; i < paths->dls_cnt; ++i) {
        const char* dir = paths->dls_serpath[i].dls_name;
        if (dir != nullptr && dir[0] != '\0') dirs.emplace_back(dir);
      }
    }
  }
  ::dlclose(handle);
  return dirs;
}

void* OpenIfPresent(const std::string& path) {
  return FileExists(path) ? ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
}

}  // namespace

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
      if (void* h = OpenIfPresent(dir + "/" + file)) return h;
    }
    for (const std::string& path_dir : SearchPathOf(caller)) {
      if (void* h = OpenIfPresent(path_dir + "/" + file)) return h;
    }
  }
  // Last, the loader's own search (its cache of system libraries included).
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
