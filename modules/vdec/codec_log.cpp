#include "modules/vdec/codec_log.h"

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <mutex>

namespace vdec {

namespace {

std::atomic<VDEC_LogCallBack> g_callback{nullptr};
std::atomic<bool> g_installed{false};

void OnCodecMessage(void* object, int level, const char* format, va_list args) {
  if (level > AV_LOG_WARNING) return;
  const VDEC_LogCallBack callback = g_callback.load();
  if (callback == nullptr) return;
  char line[1024];
  int print_prefix = 1;
  av_log_format_line2(object, level, format, args, line, sizeof line, &print_prefix);
  size_t length = std::strlen(line);
  while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = 0;
  if (length > 0) callback(level, line);
}

}  // namespace

void InstallCodecLog() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    av_log_set_callback(&OnCodecMessage);
    g_installed = true;
  });
}

namespace {
// The codec library is the process's and outlives this module: once unloaded, its hook must
// not lead here any more.
__attribute__((destructor)) void RemoveCodecLog() {
  if (g_installed) av_log_set_callback(&av_log_default_callback);
}
}  // namespace

void SetCodecLogCallBack(VDEC_LogCallBack callback) {
  InstallCodecLog();
  g_callback = callback;
}

}  // namespace vdec
