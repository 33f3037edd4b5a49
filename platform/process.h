// Facts about the host process: the program that loaded us, its folder, the current folder.
#pragma once

#include <string>

#include "platform/platform_api.h"

namespace plat {

// Full path of the host executable ("/usr/bin/host"), from /proc/self/exe.
QUVI_PLATFORM_API std::string HostExePath();
// Folder of the host executable, without a trailing "/".
QUVI_PLATFORM_API std::string HostExeDir();
// Replaces the extension of the last path element (or appends when there is none):
// ChangeFileExt("/a/host", "_x.log") gives "/a/host_x.log".
QUVI_PLATFORM_API std::string ChangeFileExt(const std::string& path, const std::string& ext);
// Folder part of a path without the trailing "/" ("" when there is none).
QUVI_PLATFORM_API std::string ExtractFileDir(const std::string& path);
QUVI_PLATFORM_API bool FileExists(const std::string& path);
QUVI_PLATFORM_API bool DirectoryExists(const std::string& path);
// Creates a folder and its missing parents; true when it exists afterwards.
QUVI_PLATFORM_API bool ForceDirectories(const std::string& path);
// Root under which default data folders live: $QUVI_DATA_ROOT, else $HOME, else "/tmp".
QUVI_PLATFORM_API std::string DataRoot();

}  // namespace plat
