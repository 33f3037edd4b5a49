#include "tools/common/player_library.h"

#include <dlfcn.h>
#include <elf.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/process.h"

namespace quvi_tools {

bool TPlayerApi::Load(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) return false;
#define QUVI_PLAYER_API_LOOKUP(ret, name, params, args, fail) \
  name = reinterpret_cast<decltype(name)>(dlsym(handle_, #name));
  ZRPLAY_EXPORTS(QUVI_PLAYER_API_LOOKUP)
#undef QUVI_PLAYER_API_LOOKUP
  return true;
}

bool TPlayerApi::LoadInstalled() {
  const std::string beside = plat::HostExeDir() + "/../lib/libZrPlay_Standard.so";
  return Load(plat::FileExists(beside) ? beside : "libZrPlay_Standard.so");
}

void TPlayerApi::Unload() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

bool TPlayerApi::AllFound() const {
  bool all = true;
#define QUVI_PLAYER_API_CHECK(ret, name, params, args, fail) all = all && name != nullptr;
  ZRPLAY_EXPORTS(QUVI_PLAYER_API_CHECK)
#undef QUVI_PLAYER_API_CHECK
  return all;
}

std::vector<std::string> ExportedSymbols(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> names;
  if (bytes.size() < sizeof(Elf64_Ehdr)) return names;
  Elf64_Ehdr eh;
  std::memcpy(&eh, bytes.data(), sizeof eh);
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64)
    return names;
  const auto section = [&](size_t i) {
    Elf64_Shdr sh{};
    const size_t at = eh.e_shoff + i * eh.e_shentsize;
    if (at + sizeof sh <= bytes.size()) std::memcpy(&sh, bytes.data() + at, sizeof sh);
    return sh;
  };
  for (size_t i = 0; i < eh.e_shnum; ++i) {
    const Elf64_Shdr sym = section(i);
    if (sym.sh_type != SHT_DYNSYM) continue;
    const Elf64_Shdr str = section(sym.sh_link);
    for (size_t off = 0; off + sizeof(Elf64_Sym) <= sym.sh_size; off += sizeof(Elf64_Sym)) {
      Elf64_Sym s;
      if (sym.sh_offset + off + sizeof s > bytes.size()) break;
      std::memcpy(&s, bytes.data() + sym.sh_offset + off, sizeof s);
      const int bind = ELF64_ST_BIND(s.st_info);
      if (s.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
      if (str.sh_offset + s.st_name >= bytes.size()) continue;
      names.emplace_back(bytes.c_str() + str.sh_offset + s.st_name);
    }
  }
  return names;
}

namespace {
std::string LogPath() {
  return plat::HostExePath() + "_ZrPlay_Standard.log";
}
}  // namespace

size_t PlayerLogSize() {
  std::ifstream in(LogPath(), std::ios::binary | std::ios::ate);
  return in ? static_cast<size_t>(in.tellg()) : 0;
}

std::vector<std::string> PlayerLogLines(size_t from) {
  std::ifstream in(LogPath(), std::ios::binary);
  std::vector<std::string> lines;
  if (!in) return lines;
  in.seekg(static_cast<std::streamoff>(from));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t tag = line.find("@local:");
    if (tag != std::string::npos) lines.push_back(line.substr(tag + 7));
  }
  return lines;
}

}  // namespace quvi_tools
