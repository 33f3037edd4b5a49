// Test support: the names a shared library exports (its defined dynamic symbols, read with
// `nm -D`), so a module's test can check that only its documented calls leave it. Header
// only; any thread.
#pragma once

#include <dlfcn.h>
#include <stdio.h>

#include <set>
#include <string>

namespace quvi_test {

// File of the loaded module that holds the address; "" when unknown.
inline std::string ModuleFileOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return "";
  return info.dli_fname;
}

// Defined dynamic symbols of the shared library at path (empty when nm cannot read it).
inline std::set<std::string> ExportedSymbols(const std::string& path) {
  std::set<std::string> names;
  const std::string command = "nm -D --defined-only --format=posix '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[1024];
  while (fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    const size_t blank = text.find(' ');
    if (blank != std::string::npos) names.insert(text.substr(0, blank));
  }
  pclose(pipe);
  return names;
}

}  // namespace quvi_test
