#include "player/player_log.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

#include "common/service_log_file.h"
#include "platform/process.h"

namespace zrplay {

namespace {
// Made at load, before any other thread of ours exists, and ended by the unload after the
// channels (which log while they stop). Plain pointers: an object with a destructor would be
// ended by the exit handlers of a program that ends with the library loaded, before the
// library's unload stops its channels.
TServiceLogFile* g_log = nullptr;
std::mutex g_listener_lock;
TLogListener* g_listener = nullptr;

void Emit(const std::string& text) {
  {
    std::lock_guard lock(g_listener_lock);
    if (g_listener != nullptr) (*g_listener)(text);
  }
  if (g_log != nullptr) g_log->Write(0, text);
}
}  // namespace

void SetLogListener(TLogListener listener) {
  TLogListener* replaced = nullptr;
  {
    std::lock_guard lock(g_listener_lock);
    replaced = g_listener;
    g_listener = listener ? new TLogListener(std::move(listener)) : nullptr;
  }
  delete replaced;
}

std::string PlayerLogPath() {
  return plat::ChangeFileExt(plat::HostExePath(), "_ZrPlay_Standard.log");
}

void StartPlayerLog() {
  if (g_log != nullptr || plat::FileExists("nodebug.ini")) return;
  auto log = std::make_unique<TServiceLogFile>(PlayerLogPath());
  log->Start();
  g_log = log.release();
}

void StopPlayerLog() {
  delete std::exchange(g_log, nullptr);
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
