#include "player/channel/speed_ladder.h"

#include <cmath>

namespace zrplay {

namespace {

bool OnLadder(int32_t level) {
  return level >= kSlowestSpeedLevel && level <= kFastestSpeedLevel;
}

// 2 to the power of -level: each level halves (or doubles) the time between frames.
float LadderFactor(int32_t level) {
  return std::ldexp(1.0f, -level);
}

}  // namespace

float LiveDelayFactor(int32_t level) {
  if (!OnLadder(level) || level == kFastestSpeedLevel) return 0.0f;
  return LadderFactor(level);
}

float RecordFileDelayFactor(int32_t level) {
  return OnLadder(level) ? LadderFactor(level) : 1.0f;
}

}  // namespace zrplay
