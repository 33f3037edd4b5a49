#include "tools/streamsim/event_log.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "tools/streamsim/sim_error.h"

namespace streamsim {

TLogLine::TLogLine(const std::string& event) : text_("{") {
  Add("event", event);
}

void TLogLine::Key(const char* key) {
  if (text_.size() > 1) text_ += ',';
  text_ += '"';
  text_ += key;
  text_ += "\":";
}

TLogLine& TLogLine::Add(const char* key, const std::string& text) {
  Key(key);
  text_ += '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      text_ += '\\';
      text_ += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      text_ += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      text_ += escape;
    }
  }
  text_ += '"';
  return *this;
}

TLogLine& TLogLine::Add(const char* key, int64_t number) {
  return AddRaw(key, std::to_string(number));
}

TLogLine& TLogLine::Add(const char* key, uint64_t number) {
  return AddRaw(key, std::to_string(number));
}

TLogLine& TLogLine::Add(const char* key, bool flag) {
  return AddRaw(key, flag ? "true" : "false");
}

TLogLine& TLogLine::AddCode(const char* key, uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIX32, code);
  return Add(key, std::string(text));
}

TLogLine& TLogLine::AddRaw(const char* key, const std::string& json) {
  Key(key);
  text_ += json;
  return *this;
}

TFileEventLog::TFileEventLog(const std::string& path) : out_(std::fopen(path.c_str(), "a")) {
  if (out_ == nullptr) {
    throw TSimError("cannot open the log file \"" + path + "\": " + std::strerror(errno));
  }
  owned_ = true;
}

TFileEventLog::~TFileEventLog() {
  if (owned_) std::fclose(out_);
}

void TFileEventLog::Write(const TLogLine& line) {
  const std::string text = line.Text();
  std::lock_guard<std::mutex> hold(lock_);
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

}  // namespace streamsim
