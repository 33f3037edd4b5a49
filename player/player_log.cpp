#include "player/player_log.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>

#include "common/service_log_file.h"
#include "platform/process.h"

namespace zrplay {

namespace {
// Created at load, before any other thread of ours exists; read-only afterwards.
std::unique_ptr<TServiceLogFile> g_log;
std::mutex g_listener_lock;
TLogListener g_listener;

void Emit(const std::string& text) {
  {
    std::lock_guard lock(g_listener_lock);
    if (g_listener) g_listener(text);
  }
  if (g_log) g_log->Write(0, text);
}
}  // namespace

void SetLogListener(TLogListener listener) {
  std::lock_guard lock(g_listener_lock);
  g_listener = std::move(listener);
}

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
  Emit(text);
}

void WriteLogF(const char* format, ...) {
  char buf[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  Emit(buf);
}

void HexDumpToLog(const void* bytes, int count) {
  if (bytes == nullptr || count <= 0) return;
  const auto* p = static_cast<const unsigned char*>(bytes);
  std::string line;
  char piece[4];
  for (int i = 0; i < count; ++i) {
    std::snprintf(piece, sizeof piece, "%2.2X ", p[i]);
    line += piece;
    if (i % 16 == 15) {
      Emit(line);
      line.clear();
    }
  }
  if (!line.empty()) Emit(line);
}

}  // namespace zrplay
