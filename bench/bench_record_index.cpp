// Frames per second through the record file index build: an hour of 25 fps video with small
// payloads (90,000 frames) in a temporary file, against a baseline that walks the same heads
// with plain pread calls and does nothing else.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "player/channel/frame_head.h"
#include "player/record/file_reader.h"
#include "player/record/test_record_file.h"

namespace {

constexpr int kFrames = 90000;

std::unique_ptr<zrplay::TTempDir> g_dir;
std::string g_path;

void WriteFile(const benchmark::State&) {
  g_dir = std::make_unique<zrplay::TTempDir>();
  g_path = g_dir->Path("hour.rec");
  zrplay::TTestRecordFile file;
  file.FileHead();
  for (int i = 0; i < kFrames; ++i) {
    const int64_t ms = int64_t{i} * 40;
    file.Frame({.type = static_cast<uint8_t>(i % 25 == 0 ? 21 : 3),
                .seconds = 1700000000 + static_cast<int32_t>(ms / 1000),
                .microseconds = static_cast<int32_t>(ms % 1000) * 1000,
                .payload = static_cast<uint32_t>(120 + i % 200)});
  }
  file.Save(g_path);
}

void RemoveFile(const benchmark::State&) {
  g_dir.reset();
}

void BM_RecordIndex(benchmark::State& state) {
  zrplay::TFileReader reader;
  reader.SetLogSink([](const std::string&) {});
  for (auto _ : state) {
    if (!reader.Open(g_path) || !reader.BuildIndex() || reader.FrameCount() != kFrames) {
      state.SkipWithError("index incomplete");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_RecordIndex)->Setup(WriteFile)->Teardown(RemoveFile)->Unit(benchmark::kMillisecond);

void BM_RecordIndex_Baseline(benchmark::State& state) {
  for (auto _ : state) {
    const int fd = ::open(g_path.c_str(), O_RDONLY | O_CLOEXEC);
    const int64_t size = ::lseek(fd, 0, SEEK_END);
    int64_t pos = 64;
    int frames = 0;
    zrplay::TFrameHead h;
    while (pos < size - 64 && ::pread(fd, &h, sizeof h, pos) == sizeof h &&
           zrplay::HasFrameMagic(&h, sizeof h)) {
      ++frames;
      pos += 64 + h.PayloadLength + h.OverlayCount * h.OverlaySize;
    }
    ::close(fd);
    benchmark::DoNotOptimize(frames);
    if (frames != kFrames) {
      state.SkipWithError("walk incomplete");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_RecordIndex_Baseline)
    ->Setup(WriteFile)
    ->Teardown(RemoveFile)
    ->Unit(benchmark::kMillisecond);

}  // namespace
