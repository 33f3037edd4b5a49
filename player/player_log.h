// The player library's diagnostic log: "<host>_ZrPlay_Standard.log", opened when the library
// loads unless "nodebug.ini" is in the current folder, closed when it unloads. Any thread.
#pragma once

#include <string>

namespace zrplay {

void WriteLog(const std::string& text);
// printf-style convenience over WriteLog.
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
// count bytes as "%2.2X " groups, 16 to a line.
void HexDumpToLog(const void* bytes, int count);

// Start-up and shutdown; the library's load and unload hooks call these.
void StartPlayerLog();
void StopPlayerLog();
// Path of the log for the current host program.
std::string PlayerLogPath();

}  // namespace zrplay
