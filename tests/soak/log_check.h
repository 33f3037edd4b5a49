// Checks a diagnostic log the way the log code writes it: every line
// "yyyy-MM-dd h:nn:ss zzz" + "@local:" or "@HWD(<n>):" + text + CR LF, with no CR or LF
// inside the text and nothing after the last line. Plain functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace soak {

bool IsLogLine(const std::string& line);  // one line without its CR LF

struct TLogCheck {
  int64_t Lines = 0;
  int64_t BadLines = 0;
  std::string FirstBad;  // the first bad line (or the unfinished tail), for the report
  bool Ok() const { return BadLines == 0; }
};

// A missing file counts as an empty one.
TLogCheck CheckLogFile(const std::string& path);
TLogCheck CheckLogText(const std::string& text);

}  // namespace soak
