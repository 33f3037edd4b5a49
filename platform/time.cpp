#include "platform/time.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace plat {

namespace {
std::atomic<uint32_t> g_tick_offset{0};
}

void Sleep(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t GetTickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  return static_cast<uint32_t>(ms) + g_tick_offset.load();
}

void SetTickCountOffsetForTesting(uint32_t offset) {
  g_tick_offset = offset;
}

}  // namespace plat
