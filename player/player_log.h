// The player library's diagnostic log: "<host>_ZrPlay_Standard.log", opened when the library
// loads unless "nodebug.ini" is in the current folder, closed when it unloads. Any thread.
#pragma once

#include <functional>
#include <string>

namespace zrplay {

void WriteLog(const std::string& text);
// printf-style convenience over WriteLog.
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
// count bytes as "%2.2X " groups, 16 to a line.
void HexDumpToLog(const void* bytes, int count);

// Also hands every later line's text (hex dump lines included) to the listener, whether or
// not the log file is written; nullptr removes it. Lets a test see its own lines whatever
// other programs append to the shared file. Called on the writing thread under the
// listener's lock, so the listener must not log.
using TLogListener = std::function<void(const std::string&)>;
void SetLogListener(TLogListener listener);

// Start-up and shutdown; the library's load and unload hooks call these.
void StartPlayerLog();
void StopPlayerLog();
// Path of the log for the current host program.
std::string PlayerLogPath();

}  // namespace zrplay
