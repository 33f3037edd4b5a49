#include "viewer/pipeline/protected_section.h"

#include <cstdint>
#include <cstdio>

#include "viewer/viewer_log.h"

namespace viewer {

TProtectedSection::TProtectedSection() {
  char line[64];
  std::snprintf(line, sizeof line, "Create protected section %jX",
                static_cast<uintmax_t>(reinterpret_cast<uintptr_t>(this)));
  WriteLog(line);
}

}  // namespace viewer
