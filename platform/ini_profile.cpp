#include "platform/ini_profile.h"

#include <strings.h>

#include <fstream>
#include <mutex>
#include <sstream>

namespace plat {

namespace {

// Serialises read-modify-write cycles of this process.
std::mutex g_profile_mutex;

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
    --e;
  return s.substr(b, e - b);
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::vector<std::string> ReadLines(const std::string& file, bool* exists) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  *exists = static_cast<bool>(in);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool WriteLines(const std::string& file, const std::vector<std::string>& lines) {
  std::ostringstream out;
  for (const auto& l : lines) out << l << "\r\n";
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  if (!f) return false;
  f << out.str();
  f.flush();
  return static_cast<bool>(f);
}

// Section name when the line is a header.
bool IsSection(const std::string& line, std::string* name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const auto close = t.find(']');
  if (close == std::string::npos) return false;
  *name = Trim(t.substr(1, close - 1));
  return true;
}

// Key and value when the line is an assignment.
bool IsKey(const std::string& line, std::string* key, std::string* value) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '#') return false;
  const auto eq = t.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(t.substr(0, eq));
  *value = Trim(t.substr(eq + 1));
  return !key->empty();
}

// Walks the section's key lines; `fn` returns true to stop.
template <typename Fn>
void ForEachKey(const std::vector<std::string>& lines, const std::string& section, Fn fn) {
  bool inside = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string name, key, value;
    if (IsSection(lines[i], &name)) {
      inside = SameText(name, section);
      continue;
    }
    if (inside && IsKey(lines[i], &key, &value) && fn(i, key, value)) return;
  }
}

}  // namespace

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& def) {
  std::lock_guard<std::mutex> lock(g_profile_mutex);
  bool exists = false;
  const auto lines = ReadLines(file, &exists);
  std::string result = def;
  ForEachKey(lines, section, [&](size_t, const std::string& k, const std::string& v) {
    if (!SameText(k, key)) return false;
    result = v;
    return true;
  });
  return result;
}

bool ProfileKeyExists(const std::string& file, const std::string& section, const std::string& key) {
  std::lock_guard<std::mutex> lock(g_profile_mutex);
  bool exists = false;
  const auto lines = ReadLines(file, &exists);
  bool found = false;
  ForEachKey(lines, section, [&](size_t, const std::string& k, const std::string&) {
    found = SameText(k, key);
    return found;
  });
  return found;
}

std::vector<std::string> ReadProfileKeys(const std::string& file, const std::string& section) {
  std::lock_guard<std::mutex> lock(g_profile_mutex);
  bool exists = false;
  const auto lines = ReadLines(file, &exists);
  std::vector<std::string> keys;
  ForEachKey(lines, section, [&](size_t, const std::string& k, const std::string&) {
    keys.push_back(k);
    return false;
  });
  return keys;
}

bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) {
  std::lock_guard<std::mutex> lock(g_profile_mutex);
  bool exists = false;
  auto lines = ReadLines(file, &exists);
  const std::string assignment = key + "=" + value;
  bool done = false;
  ForEachKey(lines, section, [&](size_t i, const std::string& k, const std::string&) {
    if (!SameText(k, key)) return false;
    lines[i] = k + "=" + value;  // the key keeps the spelling it has in the file
    done = true;
    return true;
  });
  if (!done) {
    // Append after the last non-blank line of the section, or add the section at the end.
    bool inside = false;
    size_t insert_at = lines.size();
    bool section_found = false;
    for (size_t i = 0; i < lines.size(); ++i) {
      std::string name;
      if (IsSection(lines[i], &name)) {
        if (inside) break;
        inside = SameText(name, section);
        if (inside) {
          section_found = true;
          insert_at = i + 1;
        }
        continue;
      }
      if (inside && !Trim(lines[i]).empty()) insert_at = i + 1;
    }
    if (section_found) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert_at), assignment);
    } else {
      lines.push_back("[" + section + "]");
      lines.push_back(assignment);
    }
  }
  return WriteLines(file, lines);
}

bool DeleteProfileSection(const std::string& file, const std::string& section) {
  std::lock_guard<std::mutex> lock(g_profile_mutex);
  bool exists = false;
  const auto lines = ReadLines(file, &exists);
  if (!exists) return true;
  std::vector<std::string> kept;
  bool inside = false, removed = false;
  for (const auto& line : lines) {
    std::string name;
    if (IsSection(line, &name)) inside = SameText(name, section);
    if (inside) {
      removed = true;
      continue;
    }
    kept.push_back(line);
  }
  return !removed || WriteLines(file, kept);
}

}  // namespace plat
