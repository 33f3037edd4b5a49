// TServiceLogFile: the diagnostic log of one deliverable. Appends time-stamped lines,
// rolls over to one ".Bak" generation past its maximum size, and stops (silently dropping
// lines) when its file cannot be written. Any thread may write; a re-entrant lock keeps each
// line whole. Owns its file descriptor.
#pragma once

#include <cstdint>
#include <string>

#include "common/date_time.h"
#include "platform/sync.h"

class TServiceLogFile {
 public:
  static constexpr int32_t kLogSource = 800;

  explicit TServiceLogFile(std::string path);
  virtual ~TServiceLogFile();
  TServiceLogFile(const TServiceLogFile&) = delete;
  TServiceLogFile& operator=(const TServiceLogFile&) = delete;

  void Start();
  void Stop();
  // Appends one line when started; source 0 is tagged "@local:", others "@HWD(<n>):".
  void Write(int32_t source, const std::string& text);
  // Rolls the file over when it is larger than MaxSize. Runs under the lock.
  void CheckSize();

  bool Started();
  // Current file name (changes when a roll-over had to fall back to a time-stamped name).
  std::string FileName();

  int64_t MaxSize = 1048576;

 protected:
  // Creates the file empty (truncating an existing one). A seam for roll-over tests.
  virtual bool CreateEmptyFile(const std::string& path);

 private:
  bool OpenForAppend();
  void CloseFile();

  plat::TCriticalSection lock_;
  std::string path_;
  int fd_ = -1;
  bool started_ = false;
};

// "yyyy-MM-dd h:nn:ss zzz" of the current local time, the stamp in front of every line.
std::string LogTimeStamp();
std::string FormatLogTimeStamp(const TDateTimeParts& parts);
