// Data events per second from a play thread to the host's sink on its user-interface thread:
// the control's OnReceiveData path (a byte array of Framesize + 1, queued, posted and delivered
// through the message loop to a sink of the control object) against the least any hand-off
// must do, a copy of the frame into a vector under a lock. Frames of 1 000 and 100 000 bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/messages.h"
#include "viewer/control/preview_window_x.h"
#include "viewer/control/testing/fake_control_window.h"
#include "viewer/control/type_library.h"

namespace {

void BM_DataEvent_Baseline(benchmark::State& state) {
  const std::vector<uint8_t> frame(static_cast<size_t>(state.range(0)), 0x5A);
  std::mutex lock;
  std::vector<uint8_t> copy;
  for (auto _ : state) {
    std::lock_guard<std::mutex> guard(lock);
    copy.assign(frame.begin(), frame.end());
    copy.push_back(0);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DataEvent_Baseline)->Arg(1000)->Arg(100000);

// Fires through the window's data handler (as the play thread would) and delivers in batches
// of 32, below the bound, so nothing is dropped.
void BM_DataEvent_Control(benchmark::State& state) {
  auto owned = std::make_unique<viewer::TFakeControlWindow>(0, 352, 288);
  viewer::TFakeControlWindow* window = owned.get();
  viewer::TPmOstraNvPreviewWindowX control(std::move(owned));
  int64_t delivered = 0;
  control.Advise([&](int32_t, const std::vector<plat::TVariant>& args) {
    delivered += static_cast<int64_t>(args[0].Bytes().Data.size());
  });
  const std::vector<uint8_t> frame(static_cast<size_t>(state.range(0)), 0x5A);
  int pending = 0;
  for (auto _ : state) {
    window->RaiseData(frame.data(), static_cast<int32_t>(frame.size()), 1);
    if (++pending == 32) {
      while (plat::PumpMessages(0) == 0) {
      }
      pending = 0;
    }
  }
  while (pending > 0 && plat::PumpMessages(0) == 0) {
  }
  if (control.DroppedDataEvents() != 0) state.SkipWithError("events were dropped");
  state.SetBytesProcessed(state.iterations() * state.range(0));
  benchmark::DoNotOptimize(delivered);
}
BENCHMARK(BM_DataEvent_Control)->Arg(1000)->Arg(100000);

}  // namespace
