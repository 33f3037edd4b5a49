// INI profile files: "[Section]" headers and "Key=Value" lines. Sections and keys match
// case-insensitively. Every call reads (and a write rewrites) the file, as profile calls do,
// so several objects and processes see each other's changes. Any thread may call these.
#pragma once

#include <string>
#include <vector>

#include "platform/platform_api.h"

namespace plat {

// Value of the key, or `def` when the file, section or key is missing. Surrounding blanks
// of the value are dropped.
QUVI_PLATFORM_API std::string ReadProfileString(const std::string& file, const std::string& section,
                                                const std::string& key, const std::string& def);
// True when the key exists in the section.
QUVI_PLATFORM_API bool ProfileKeyExists(const std::string& file, const std::string& section,
                                        const std::string& key);
// Keys of a section in file order.
QUVI_PLATFORM_API std::vector<std::string> ReadProfileKeys(const std::string& file,
                                                           const std::string& section);
// Updates the key in place, or appends it at the end of its section, creating the section
// and the file as needed. False when the file cannot be written.
QUVI_PLATFORM_API bool WriteProfileString(const std::string& file, const std::string& section,
                                          const std::string& key, const std::string& value);
// Removes the section with all its keys; true when it is gone afterwards.
QUVI_PLATFORM_API bool DeleteProfileSection(const std::string& file, const std::string& section);

}  // namespace plat
