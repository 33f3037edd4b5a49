// Sleeps and the 32-bit millisecond tick counter (monotonic, wraps after about 49.7 days).
#pragma once

#include <cstdint>

#include "platform/platform_api.h"

namespace plat {

QUVI_PLATFORM_API void Sleep(uint32_t ms);
QUVI_PLATFORM_API uint32_t GetTickCount();
// Test hook: shifts the tick counter so wrap-around can be exercised; 0 restores it.
QUVI_PLATFORM_API void SetTickCountOffsetForTesting(uint32_t offset);

}  // namespace plat
