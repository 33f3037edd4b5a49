#include "player/channel/channel_log.h"

#include <cstdarg>
#include <cstdio>

#include "player/player_log.h"

namespace zrplay {

TChannelLog::TChannelLog(int32_t port, int32_t vendor_port)
    : prefix_("ch" + std::to_string(port) + "(" + std::to_string(vendor_port) + ")-->") {}

void TChannelLog::Write(const std::string& text) const {
  WriteLog(prefix_ + text);
}

void TChannelLog::WriteF(const char* format, ...) const {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Write(text);
}

}  // namespace zrplay
