// The viewer control's diagnostic log entry point: "VideoCtrl.Log" beside the host program,
// created by the first line. Any thread; never fails its caller.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace viewer {

void WriteLog(const std::string& text);
// printf-style convenience over WriteLog.
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Also hands every later line's text to the listener (nullptr removes it), so a test sees
// its own lines whatever other programs append to the shared file. Called under the log's
// lock on the writing thread.
using TLogListener = std::function<void(const std::string&)>;
void SetLogListener(TLogListener listener);
// An object's identifier in log lines: the low 32 bits of its address, so every line carries
// the same eight-digit width whatever the pointer size.
uint32_t LogId(const void* object);
// Eight upper-case hexadecimal digits.
std::string Hex8(uint32_t value);
// Path of the log file the first WriteLog creates.
std::string ViewerLogPath();
// Stops and frees the log (when the control is unloaded).
void ShutdownViewerLog();

}  // namespace viewer
