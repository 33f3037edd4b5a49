// TKVIniFile: typed access to one INI profile file for the player's configuration. A read of a
// key that is missing writes the default back, so a first run leaves a complete file behind.
// Used on the loading thread only; holds the path and a count of failed write-backs (every
// call goes to the file).
#pragma once

#include <string>

namespace zrplay {

class TKVIniFile {
 public:
  explicit TKVIniFile(std::string file_name);

  // Present key: its value, or `def` when it does not convert. Missing key: `def`, which is
  // also written under the key (creating section and file as needed).
  bool ReadBool(const std::string& section, const std::string& key, bool def);
  int ReadInteger(const std::string& section, const std::string& key, int def);
  double ReadFloat(const std::string& section, const std::string& key, double def);
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def);

  // Profile writes: "1"/"0", decimal, up to 15 significant digits, text unchanged.
  // False when the file cannot be written.
  bool WriteBool(const std::string& section, const std::string& key, bool value);
  bool WriteInteger(const std::string& section, const std::string& key, int value);
  bool WriteFloat(const std::string& section, const std::string& key, double value);
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);

  const std::string& FileName() const { return file_name_; }
  // How many write-backs of missing keys failed so far (read-only file or folder).
  int FailedWriteBacks() const { return failed_write_backs_; }

 private:
  bool KeyExists(const std::string& section, const std::string& key) const;
  void NoteWriteBack(bool written);

  std::string file_name_;
  int failed_write_backs_ = 0;
};

// Integer text as the profile reads convert it: optional sign, then decimal digits, or
// hexadecimal digits after "$" or "0x". False (and `out` untouched) when the text is not a
// whole number or does not fit 32 bits (hexadecimal may use all 32 bits).
bool TryStrToInt(const std::string& text, int& out);

}  // namespace zrplay
