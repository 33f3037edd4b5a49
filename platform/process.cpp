#include "platform/process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace plat {

std::string HostExePath() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return std::string();
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::string ExtractFileDir(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string HostExeDir() {
  return ExtractFileDir(HostExePath());
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const std::string parent = ExtractFileDir(p);
  if (!parent.empty() && parent != p && !ForceDirectories(parent)) return false;
  return ::mkdir(p.c_str(), 0777) == 0 || errno == EEXIST;
}

std::string DataRoot() {
  if (const char* r = std::getenv("QUVI_DATA_ROOT"); r && *r) return r;
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  return "/tmp";
}

}  // namespace plat
