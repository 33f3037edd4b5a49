// What the soak watches of its own process between fault cycles: live threads
// (/proc/self/task), open descriptors (/proc/self/fd), resident memory (VmRSS of
// /proc/self/status) and the heap in use, which tells a leak from a fragmented heap. Plain
// functions; any thread.
#pragma once

#include <string>

namespace soak {

struct TProcessFigures {
  int Threads = 0;
  int Descriptors = 0;
  double RssMiB = 0;
  double HeapMiB = 0;  // what the allocator has handed out and not got back
};

// -1 / 0 for what cannot be read.
TProcessFigures ReadProcessFigures();

// "threads A->B fds A->B rss A->B MiB", the figures of the first cycle against the last.
std::string CompareFigures(const TProcessFigures& first, const TProcessFigures& last);

}  // namespace soak
