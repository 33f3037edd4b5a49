#include "tests/soak/log_check.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace soak {

namespace {

// Reads the characters of a pattern where 'd' is a digit and anything else itself.
bool Take(const std::string& line, size_t& at, const char* pattern) {
  for (; *pattern != '\0'; ++pattern, ++at) {
    if (at >= line.size()) return false;
    const unsigned char c = static_cast<unsigned char>(line[at]);
    if (*pattern == 'd' ? !std::isdigit(c) : c != static_cast<unsigned char>(*pattern)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsLogLine(const std::string& line) {
  size_t at = 0;
  if (!Take(line, at, "dddd-dd-dd d")) return false;
  if (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) ++at;  // hour
  if (!Take(line, at, ":dd:dd ddd@")) return false;
  if (line.compare(at, 6, "local:") == 0) {
    at += 6;
  } else {
    if (!Take(line, at, "HWD(")) return false;
    if (at < line.size() && line[at] == '-') ++at;
    const size_t digits = at;
    while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) ++at;
    if (at == digits || !Take(line, at, "):")) return false;
  }
  return line.find_first_of("\r\n", at) == std::string::npos;
}

TLogCheck CheckLogText(const std::string& text) {
  TLogCheck check;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    const bool finished = end != std::string::npos;
    const std::string line = text.substr(at, finished ? end - at : std::string::npos);
    ++check.Lines;
    if (!finished || !IsLogLine(line)) {
      if (check.BadLines++ == 0) check.FirstBad = line.substr(0, 200);
    }
    if (!finished) break;
    at = end + 2;
  }
  return check;
}

TLogCheck CheckLogFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return CheckLogText(text.str());
}

}  // namespace soak
