// CPU time read from a /proc stat file (a process's or a thread's), for the benchmarks that
// share out a run's CPU among threads or processes. Any thread; owns nothing.
#pragma once

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace bench_support {

// User plus system seconds of the stat file at `path`; `name` (may be null) receives the
// name between the parentheses. False when the file cannot be read or parsed.
inline bool ReadStatCpu(const std::string& path, double* seconds, std::string* name) {
  std::ifstream stat(path);
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t open = text.find('(');
  const size_t close = text.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 2 > text.size())
    return false;
  if (name != nullptr) *name = text.substr(open + 1, close - open - 1);
  // Fields after the name: state is the 3rd field, utime the 14th, stime the 15th.
  std::istringstream rest(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  *seconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
  return true;
}

// Seconds a thread has run, from its schedstat file (/proc/self/task/TID/schedstat): the
// scheduler's own count in nanoseconds, the clock CLOCK_THREAD_CPUTIME_ID reads, where the
// stat file's figures are sampled at clock ticks. False when the file cannot be read.
inline bool ReadSchedstatRuntime(const std::string& path, double* seconds) {
  std::ifstream schedstat(path);
  unsigned long long ns = 0;
  if (!(schedstat >> ns)) return false;
  *seconds = static_cast<double>(ns) / 1e9;
  return true;
}

}  // namespace bench_support
