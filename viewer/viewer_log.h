// The viewer control's diagnostic log entry point: "VideoCtrl.Log" beside the host program,
// created by the first line. Any thread; never fails its caller.
#pragma once

#include <string>

namespace viewer {

void WriteLog(const std::string& text);
// Path of the log file the first WriteLog creates.
std::string ViewerLogPath();
// Stops and frees the log (when the control is unloaded).
void ShutdownViewerLog();

}  // namespace viewer
