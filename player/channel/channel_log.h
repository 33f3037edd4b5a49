// TChannelLog: writes a channel's lines to the player log behind its prefix
// "ch<port>(<vendor port>)-->". Fixed at construction; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace zrplay {

class TChannelLog {
 public:
  TChannelLog(int32_t port, int32_t vendor_port);

  void Write(const std::string& text) const;
  void WriteF(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  const std::string& Prefix() const { return prefix_; }

 private:
  std::string prefix_;
};

}  // namespace zrplay
