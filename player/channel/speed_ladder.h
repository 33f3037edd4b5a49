// The speed ladder: speed level -4 (slowest) to 4 (fastest), 0 normal, and the factor by
// which each level stretches the time between two frames, for buffered live frames and for
// record file play. Pure functions; any thread.
#pragma once

#include <cstdint>

namespace zrplay {

constexpr int32_t kSlowestSpeedLevel = -4;
constexpr int32_t kFastestSpeedLevel = 4;

// 16, 8, 4, 2, 1, 1/2, 1/4, 1/8 for -4..3; 0 (no waiting) for 4 and for any other level.
float LiveDelayFactor(int32_t level);
// As the live factor from -4 to 3; 1/16 for 4, 1 for any other level.
float RecordFileDelayFactor(int32_t level);

}  // namespace zrplay
