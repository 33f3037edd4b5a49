#include "player/config/ini_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/ini_profile.h"

namespace zrplay {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool TryStrToInt(const std::string& text, int& out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  // Decimal must fit int32 with its sign; hexadecimal may fill all 32 bits.
  const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int d = HexDigit(text[i]);
    if (d < 0 || d >= base) return false;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (value > limit) return false;
  }
  uint32_t bits = static_cast<uint32_t>(value);
  if (negative) bits = 0u - bits;
  out = static_cast<int32_t>(bits);
  return true;
}

TKVIniFile::TKVIniFile(std::string file_name) : file_name_(std::move(file_name)) {}

bool TKVIniFile::KeyExists(const std::string& section, const std::string& key) const {
  return plat::ProfileKeyExists(file_name_, section, key);
}

void TKVIniFile::NoteWriteBack(bool written) {
  if (!written) ++failed_write_backs_;
}

bool TKVIniFile::ReadBool(const std::string& section, const std::string& key, bool def) {
  if (KeyExists(section, key)) return ReadInteger(section, key, def ? 1 : 0) != 0;
  NoteWriteBack(WriteBool(section, key, def));
  return def;
}

int TKVIniFile::ReadInteger(const std::string& section, const std::string& key, int def) {
  if (KeyExists(section, key)) {
    int value = def;
    TryStrToInt(plat::ReadProfileString(file_name_, section, key, ""), value);
    return value;
  }
  NoteWriteBack(WriteInteger(section, key, def));
  return def;
}

double TKVIniFile::ReadFloat(const std::string& section, const std::string& key, double def) {
  if (KeyExists(section, key)) {
    const std::string text = plat::ReadProfileString(file_name_, section, key, "");
    if (text.empty()) return def;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() ? value : def;
  }
  NoteWriteBack(WriteFloat(section, key, def));
  return def;
}

std::string TKVIniFile::ReadString(const std::string& section, const std::string& key,
                                   const std::string& def) {
  if (KeyExists(section, key)) return plat::ReadProfileString(file_name_, section, key, def);
  NoteWriteBack(WriteString(section, key, def));
  return def;
}

bool TKVIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

bool TKVIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool TKVIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return WriteString(section, key, text);
}

bool TKVIniFile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value) {
  return plat::WriteProfileString(file_name_, section, key, value);
}

}  // namespace zrplay
