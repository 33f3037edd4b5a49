// Test helper: restarts the player log on an empty file and hands back the texts of the
// lines written since, without their time stamps. One per test, on the test's thread.
#pragma once

#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "player/player_log.h"
#include "tests/support/test_files.h"

namespace zrplay {

class TLogCapture {
 public:
  TLogCapture() {
    StopPlayerLog();
    ::unlink(PlayerLogPath().c_str());
    StartPlayerLog();
  }
  ~TLogCapture() {
    StopPlayerLog();
    ::unlink(PlayerLogPath().c_str());
  }
  TLogCapture(const TLogCapture&) = delete;
  TLogCapture& operator=(const TLogCapture&) = delete;

  // Texts of the "@local:" lines, in order.
  std::vector<std::string> Lines() const {
    std::istringstream all(quvi_test::ReadFile(PlayerLogPath()));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(all, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto at = line.find("@local:");
      if (at != std::string::npos) lines.push_back(line.substr(at + 7));
    }
    return lines;
  }
};

}  // namespace zrplay
