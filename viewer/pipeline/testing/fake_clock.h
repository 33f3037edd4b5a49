// Test support: a pipeline clock moved by hand. Its tick count starts wherever the test sets
// it; every sleep advances it by the time asked for at once, yielding the processor only a
// moment, so a timing rule shows to the millisecond and a test never sits out a real pause.
// Any thread may sleep on it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "viewer/pipeline/pipeline_clock.h"

namespace viewer::testing {

inline std::atomic<uint32_t> g_fake_tick{1000};

inline uint32_t FakeTickCount() {
  return g_fake_tick.load();
}

inline void FakeSleep(uint32_t ms) {
  g_fake_tick += ms;
  std::this_thread::sleep_for(std::chrono::microseconds(200));
}

inline TPipelineClock FakeClock() {
  TPipelineClock clock;
  clock.TickCount = &FakeTickCount;
  clock.Sleep = &FakeSleep;
  return clock;
}

}  // namespace viewer::testing
