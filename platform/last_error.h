// The calling thread's last-error value: operations that report failure through a result of
// false (or an empty text) leave the reason here. Each thread has its own slot, 0 at start.
#pragma once

#include <cstdint>

#include "platform/platform_api.h"

namespace plat {

QUVI_PLATFORM_API void SetLastError(uint32_t code);
QUVI_PLATFORM_API uint32_t GetLastError();

}  // namespace plat
