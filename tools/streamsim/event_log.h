// The simulator's log: one JSON object per line for every request, connection and stream
// event, so scripts and tests can read what the server saw. TLogLine builds one line;
// TEventLog is where the lines go. Any thread writes; each sink serialises its own lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace streamsim {

// One log line: {"event":NAME, then the fields in the order they were added}. Texts are
// written byte for byte; quote, backslash and bytes outside printable ASCII become escapes
// (\u00XX for one byte), so a token's raw bytes come back unchanged.
class TLogLine {
 public:
  explicit TLogLine(const std::string& event);
  TLogLine& Add(const char* key, const std::string& text);
  TLogLine& Add(const char* key, const char* text) { return Add(key, std::string(text)); }
  TLogLine& Add(const char* key, int64_t number);
  TLogLine& Add(const char* key, int32_t number) { return Add(key, int64_t{number}); }
  TLogLine& Add(const char* key, uint32_t number) { return Add(key, int64_t{number}); }
  TLogLine& Add(const char* key, uint64_t number);
  TLogLine& Add(const char* key, bool flag);
  // A 32-bit message code as "0x0001ABCD".
  TLogLine& AddCode(const char* key, uint32_t code);
  // A number written as it is (already valid JSON, e.g. a decimal integer text).
  TLogLine& AddRaw(const char* key, const std::string& json);
  std::string Text() const { return text_ + "}"; }

 private:
  void Key(const char* key);
  std::string text_;
};

// Where log lines go.
class TEventLog {
 public:
  virtual ~TEventLog() = default;
  virtual void Write(const TLogLine& line) = 0;
};

// Writes each line to a stdio stream and flushes it, under its own lock. Does not own the
// stream unless it opened it itself.
class TFileEventLog : public TEventLog {
 public:
  explicit TFileEventLog(FILE* out) : out_(out) {}
  // Opens (appends to) a file; throws TSimError when it cannot.
  explicit TFileEventLog(const std::string& path);
  ~TFileEventLog() override;
  TFileEventLog(const TFileEventLog&) = delete;
  TFileEventLog& operator=(const TFileEventLog&) = delete;
  void Write(const TLogLine& line) override;

 private:
  std::mutex lock_;
  FILE* out_;
  bool owned_ = false;
};

}  // namespace streamsim
