#include "player/player_log.h"

#include <cstdarg>
#include <cstdio>
#include <memory>

#include "common/service_log_file.h"
#include "platform/process.h"

namespace zrplay {

namespace {
// Created at load, before any other thread of ours exists; read-only afterwards.
std::unique_ptr<TServiceLogFile> g_log;
}  // namespace

std::string PlayerLogPath() {
  return plat::ChangeFileExt(plat::HostExePath(), "_ZrPlay_Standard.log");
}

void StartPlayerLog() {
  if (g_log || plat::FileExists("nodebug.ini")) return;
  g_log = std::make_unique<TServiceLogFile>(PlayerLogPath());
  g_log->Start();
}

void StopPlayerLog() {
  g_log.reset();
}

void WriteLog(const std::string& text) {
  if (g_log) g_log->Write(0, text);
}

void WriteLogF(const char* format, ...) {
  if (!g_log) return;
  char buf[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  g_log->Write(0, buf);
}

void HexDumpToLog(const void* bytes, int count) {
  if (!g_log || bytes == nullptr || count <= 0) return;
  const auto* p = static_cast<const unsigned char*>(bytes);
  std::string line;
  char piece[4];
  for (int i = 0; i < count; ++i) {
    std::snprintf(piece, sizeof piece, "%2.2X ", p[i]);
    line += piece;
    if (i % 16 == 15) {
      g_log->Write(0, line);
      line.clear();
    }
  }
  if (!line.empty()) g_log->Write(0, line);
}

}  // namespace zrplay
