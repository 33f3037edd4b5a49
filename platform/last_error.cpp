#include "platform/last_error.h"

namespace plat {

namespace {
// Lives in the one platform library, so every module of the process shares each thread's slot.
thread_local uint32_t last_error = 0;
}  // namespace

void SetLastError(uint32_t code) {
  last_error = code;
}

uint32_t GetLastError() {
  return last_error;
}

}  // namespace plat
