#include "tests/soak/process_figures.h"

#include <dirent.h>
#include <malloc.h>

#include <cstdio>
#include <fstream>

namespace soak {

namespace {

// Entries of a /proc folder other than "." and ".."; -1 when it cannot be opened. The
// folder's own descriptor is left out of the count.
int CountEntries(const char* folder) {
  DIR* dir = ::opendir(folder);
  if (dir == nullptr) return -1;
  int count = 0;
  const int own = ::dirfd(dir);
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || name == std::to_string(own)) continue;
    ++count;
  }
  ::closedir(dir);
  return count;
}

double ReadRssMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    long kib = 0;
    if (std::sscanf(line.c_str(), "VmRSS: %ld kB", &kib) == 1) return kib / 1024.0;
  }
  return 0;
}

}  // namespace

TProcessFigures ReadProcessFigures() {
  TProcessFigures f;
  f.Threads = CountEntries("/proc/self/task");
  f.Descriptors = CountEntries("/proc/self/fd");
  f.RssMiB = ReadRssMiB();
  const struct mallinfo2 heap = ::mallinfo2();
  f.HeapMiB = static_cast<double>(heap.uordblks + heap.hblkhd) / (1024.0 * 1024.0);
  return f;
}

std::string CompareFigures(const TProcessFigures& first, const TProcessFigures& last) {
  char text[160];
  std::snprintf(text, sizeof text, "threads %d->%d fds %d->%d rss %.1f->%.1f MiB", first.Threads,
                last.Threads, first.Descriptors, last.Descriptors, first.RssMiB, last.RssMiB);
  return text;
}

}  // namespace soak
