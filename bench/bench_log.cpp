// Lines per second through the diagnostic log, with one and with four writer threads.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "common/service_log_file.h"
#include "tests/support/test_files.h"

namespace {

std::unique_ptr<TServiceLogFile> g_log;
std::unique_ptr<quvi_test::TTempDir> g_dir;

void OpenLog(const benchmark::State&) {
  g_dir = std::make_unique<quvi_test::TTempDir>("quvi_bench_log");
  g_log = std::make_unique<TServiceLogFile>(g_dir->Path("bench.log"));
  g_log->MaxSize = 64ll << 20;
  g_log->Start();
}

void CloseLog(const benchmark::State&) {
  g_log.reset();
  g_dir.reset();
}

void BM_LogWrite(benchmark::State& state) {
  const std::string text = "ch0(1)-->input data, type=0x03, size=4096, stamp=123456789";
  for (auto _ : state) g_log->Write(0, text);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogWrite)->Setup(OpenLog)->Teardown(CloseLog)->Threads(1)->Threads(4)->UseRealTime();

}  // namespace
