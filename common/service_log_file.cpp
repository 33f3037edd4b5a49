#include "common/service_log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "common/date_time.h"
#include "platform/process.h"

namespace {

std::string Format(const char* fmt, int a, int b, int c, int d, int e, int f, int g = 0) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, a, b, c, d, e, f, g);
  return buf;
}

// Date and time for the start and stop lines.
std::string StartStopStamp() {
  const TDateTimeParts p = DecodeDateTime(Now());
  return Format("%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
}

bool WriteAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string LogTimeStamp() {
  return FormatLogTimeStamp(DecodeDateTime(Now()));
}

std::string FormatLogTimeStamp(const TDateTimeParts& p) {
  return Format("%04d-%02d-%02d %d:%02d:%02d %03d", p.year, p.month, p.day, p.hour, p.minute,
                p.second, p.millisecond);
}

TServiceLogFile::TServiceLogFile(std::string path) : path_(std::move(path)) {}

TServiceLogFile::~TServiceLogFile() {
  Stop();
}

bool TServiceLogFile::Started() {
  plat::TLock lock(lock_);
  return started_;
}

std::string TServiceLogFile::FileName() {
  plat::TLock lock(lock_);
  return path_;
}

bool TServiceLogFile::CreateEmptyFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool TServiceLogFile::OpenForAppend() {
  fd_ = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
  if (fd_ < 0) return false;
  return ::lseek(fd_, 0, SEEK_END) >= 0;
}

void TServiceLogFile::CloseFile() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TServiceLogFile::Start() {
  plat::TLock lock(lock_);
  if (started_) return;
  if (!plat::FileExists(path_) && !CreateEmptyFile(path_)) {
    Stop();
    return;
  }
  if (!OpenForAppend()) {
    CloseFile();
    Stop();
    return;
  }
  started_ = true;
  CheckSize();
  if (!started_) return;
  Write(kLogSource, "Log Start-->" + StartStopStamp());
}

void TServiceLogFile::Stop() {
  plat::TLock lock(lock_);
  if (started_ && fd_ >= 0) Write(kLogSource, "Log Stop-->" + StartStopStamp());
  started_ = false;
  CloseFile();
}

void TServiceLogFile::CheckSize() {
  plat::TLock lock(lock_);
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || st.st_size <= MaxSize) return;
  CloseFile();
  const std::string backup = plat::ChangeFileExt(path_, ".Bak");
  ::unlink(backup.c_str());
  ::rename(path_.c_str(), backup.c_str());
  if (!CreateEmptyFile(path_)) {
    const TDateTimeParts p = DecodeDateTime(Now());
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "_%02d%02d%02d%03d.log", p.hour, p.minute, p.second,
                  p.millisecond);
    path_ = plat::ChangeFileExt(path_, stamp);
    if (!CreateEmptyFile(path_)) {
      Stop();
      return;
    }
  }
  if (!OpenForAppend()) {
    CloseFile();
    Stop();
  }
}

void TServiceLogFile::Write(int32_t source, const std::string& text) {
  plat::TLock lock(lock_);
  if (!started_ || fd_ < 0) return;
  CheckSize();
  if (!started_ || fd_ < 0) return;
  std::string line = LogTimeStamp();
  line += source == 0 ? std::string("@local:") : "@HWD(" + std::to_string(source) + "):";
  line += text;
  line += "\r\n";
  // A failed write (a full disk) loses this line only; logging never fails its caller.
  WriteAll(fd_, line);
}
