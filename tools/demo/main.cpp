// quvi-demo: loads the player library, unloads it, and shows the log it left behind.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "platform/module.h"
#include "platform/process.h"

int main() {
  const std::string log_path = plat::ChangeFileExt(plat::HostExePath(), "_ZrPlay_Standard.log");
  const std::string lib = plat::HostExeDir() + "/../lib/libZrPlay_Standard.so";
  plat::HMODULE player = plat::LoadModule(plat::FileExists(lib) ? lib : "ZrPlay_Standard",
                                          reinterpret_cast<const void*>(&main));
  if (player == nullptr) {
    std::cerr << "quvi-demo: cannot load the player library\n";
    return 1;
  }
  plat::FreeModule(player);
  std::cout << "player log: " << log_path << "\n";
  std::ifstream in(log_path, std::ios::binary);
  if (!in) {
    std::cerr << "quvi-demo: no log at " << log_path << " (is nodebug.ini in this folder?)\n";
    return 1;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::cout << "  " << line << "\n";
  }
  return 0;
}
