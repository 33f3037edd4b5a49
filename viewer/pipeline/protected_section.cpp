#include "viewer/pipeline/protected_section.h"

#include <cstdint>
#include <cstdio>

#include "viewer/viewer_log.h"

namespace viewer {

TProtectedSection::TProtectedSection() {
  WriteLogF("Create protected section %X", LogId(this));
}

}  // namespace viewer
