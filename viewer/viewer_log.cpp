#include "viewer/viewer_log.h"

#include <cstdarg>
#include <cstdio>
#include <memory>

#include "common/service_log_file.h"
#include "platform/process.h"
#include "platform/sync.h"

namespace viewer {

namespace {
plat::TCriticalSection g_log_lock;
std::unique_ptr<TServiceLogFile> g_log;
TLogListener g_listener;
constexpr int64_t kViewerLogMaxSize = 4194304;
}  // namespace

std::string ViewerLogPath() {
  return plat::HostExeDir() + "/VideoCtrl.Log";
}

void WriteLog(const std::string& text) {
  try {
    plat::TLock lock(g_log_lock);
    if (g_listener) g_listener(text);
    if (!g_log) {
      g_log = std::make_unique<TServiceLogFile>(ViewerLogPath());
      g_log->MaxSize = kViewerLogMaxSize;
      g_log->Start();
    }
    g_log->Write(0, text);
  } catch (...) {
    // Logging never reports a failure to its caller.
  }
}

void WriteLogF(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  WriteLog(text);
}

uint32_t LogId(const void* object) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
}

std::string Hex8(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

void SetLogListener(TLogListener listener) {
  plat::TLock lock(g_log_lock);
  g_listener = std::move(listener);
}

void ShutdownViewerLog() {
  plat::TLock lock(g_log_lock);
  g_log.reset();
}

}  // namespace viewer
