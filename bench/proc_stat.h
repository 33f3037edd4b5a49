// CPU time read from /proc (a process's or a thread's), for the benchmarks that share out a
// run's CPU among threads or processes. Any thread; owns nothing.
#pragma once

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

namespace bench_support {

// CPU seconds of this process (all threads), and of the calling thread.
inline double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

inline double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

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

// What a thread (or the threads of one name) has spent: CPU seconds, and the times it went to
// sleep of its own accord (waits, blocking reads), each of which costs a wake.
struct TThreadFigures {
  double CpuSeconds = 0;
  double Sleeps = 0;
};

// The figures of this process's threads summed by thread name, "main" for its first thread.
// CPU in nanoseconds from schedstat where the kernel keeps them (clock ticks are too coarse to
// share out a few hundred pictures), else the stat file's ticks.
inline std::map<std::string, TThreadFigures> ThreadFiguresByName() {
  std::map<std::string, TThreadFigures> names;
  const std::string main_tid = std::to_string(getpid());
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return names;
  while (dirent* e = readdir(dir)) {
    const std::string tid = e->d_name;
    if (tid[0] == '.') continue;
    const std::string task = "/proc/self/task/" + tid;
    TThreadFigures figures;
    std::string name;
    if (!ReadStatCpu(task + "/stat", &figures.CpuSeconds, &name)) continue;
    ReadSchedstatRuntime(task + "/schedstat", &figures.CpuSeconds);
    std::ifstream status(task + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
        figures.Sleeps = std::stod(line.substr(line.find(':') + 1));
      }
    }
    TThreadFigures& sum = names[tid == main_tid ? std::string("main") : name];
    sum.CpuSeconds += figures.CpuSeconds;
    sum.Sleeps += figures.Sleeps;
  }
  closedir(dir);
  return names;
}

}  // namespace bench_support
