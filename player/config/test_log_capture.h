// Test helper: collects the texts of the player log lines this process writes while it
// lives, through the log's listener, so parallel test processes sharing the log file cannot
// disturb each other. One per test, on the test's thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "player/player_log.h"

namespace zrplay {

class TLogCapture {
 public:
  TLogCapture() {
    SetLogListener([this](const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(text);
    });
  }
  ~TLogCapture() { SetLogListener(nullptr); }
  TLogCapture(const TLogCapture&) = delete;
  TLogCapture& operator=(const TLogCapture&) = delete;

  // Texts of the lines, in order.
  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace zrplay
