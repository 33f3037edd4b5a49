// TPipelineClock: the tick count and the sleeps the pipeline's timing rules run on (pauses
// between connect attempts and cycles, the data-stall threshold). The platform's by default;
// tests put in a clock they move by hand so each rule can be checked to the millisecond.
// Set before the threads start; the functions must be callable from any thread.
#pragma once

#include <cstdint>

#include "platform/time.h"

namespace viewer {

struct TPipelineClock {
  uint32_t (*TickCount)() = &plat::GetTickCount;
  void (*Sleep)(uint32_t ms) = &plat::Sleep;
};

}  // namespace viewer
