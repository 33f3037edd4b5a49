// The overlay pass a channel runs on every decoded D1 picture (a watermark, four overlay
// records and two scene lines, raster cache warm) against decoding the same pictures with
// libavcodec: the baseline decodes and packs each picture into the channel's YV12 layout, the
// other case does the same and runs the overlay pass on it. Target: baseline time / overlay
// time at least 0.85. Also the time of one 1080p JPEG snapshot (conversion to 24 bits, JPEG at
// quality 90, file written). On a shared machine run it with
// --benchmark_enable_random_interleaving=true and repetitions.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "modules/vdec/test_stream_encoder.h"
#include "player/channel/channel_overlays.h"
#include "player/imaging/bitmap_file.h"
#include "player/imaging/yv12_picture.h"

namespace {

using vdec::testing::TEncodedStream;

const TEncodedStream& Stream(int width, int height, int count) {
  static std::vector<std::pair<int, TEncodedStream>> streams;
  for (auto& [w, s] : streams) {
    if (w == width) return s;
  }
  av_log_set_level(AV_LOG_ERROR);
  vdec::testing::TEncodeOptions options;
  options.key_interval = 50;
  auto stream = vdec::testing::EncodeTestStream("libx264", width, height, count, options);
  if (!stream) {
    std::fprintf(stderr, "cannot encode the %dx%d stream with libx264\n", width, height);
    std::abort();
  }
  streams.emplace_back(width, std::move(*stream));
  return streams.back().second;
}

const TEncodedStream& D1() {
  return Stream(704, 576, 50);
}

zrplay::TOverlayRecord Record(int16_t x, int16_t y, const char* text) {
  zrplay::TOverlayRecord r{};
  r.X = x;
  r.Y = y;
  std::snprintf(r.Text, sizeof r.Text, "%s", text);
  return r;
}

// Decodes the D1 stream, packing every picture into `picture` and handing it to `after`.
template <typename TAfter>
void DecodeAndPack(benchmark::State& state, TAfter after) {
  const TEncodedStream& stream = D1();
  std::vector<uint8_t> picture(zrplay::YV12Size(stream.width, stream.height));
  int64_t total = 0;
  for (auto _ : state) {
    total += vdec::testing::DecodeDirectly(AV_CODEC_ID_H264, stream, [&](const AVFrame& f) {
      zrplay::PackPlanes(picture.data(), f.data[0], f.data[1], f.data[2], f.width, f.height,
                         f.linesize[0]);
      after(picture.data(), f.width, f.height);
      benchmark::DoNotOptimize(picture.data());
    });
  }
  state.SetItemsProcessed(total);
}

void BM_OverlayPass_D1_Baseline(benchmark::State& state) {
  DecodeAndPack(state, [](uint8_t*, int32_t, int32_t) {});
}

void BM_OverlayPass_D1(benchmark::State& state) {
  zrplay::TChannelOverlays overlays;
  overlays.SetWatermark("QUVI 2024-12-10");
  overlays.SetSceneText("Entrance hall\\Camera 4");
  const zrplay::TOverlayRecord records[] = {
      Record(16, 16, "Camera 01"), Record(450, 16, "2024-12-10 08:30:00"),
      Record(16, 60, "通道一 大门"), Record(-200, 0, "100,100,300,250")};
  DecodeAndPack(state, [&](uint8_t* picture, int32_t width, int32_t height) {
    overlays.Draw(picture, width, height, records, std::size(records), 1);
  });
}

void BM_Snapshot_1080p_Jpeg(benchmark::State& state) {
  const TEncodedStream& stream = Stream(1920, 1080, 1);
  std::vector<uint8_t> picture(zrplay::YV12Size(stream.width, stream.height));
  vdec::testing::DecodeDirectly(AV_CODEC_ID_H264, stream, [&](const AVFrame& f) {
    zrplay::PackPlanes(picture.data(), f.data[0], f.data[1], f.data[2], f.width, f.height,
                       f.linesize[0]);
  });
  const std::string path = "/tmp/bench_overlay_" + std::to_string(getpid()) + ".jpg";
  for (auto _ : state) {
    const auto bitmap = zrplay::YV12ToBitmap24(picture.data(), stream.width, stream.height);
    std::vector<uint8_t> jpeg;
    if (!zrplay::EncodeJpeg(*bitmap, zrplay::kSnapshotJpegQuality, jpeg) ||
        !zrplay::WriteWholeFile(path, jpeg)) {
      state.SkipWithError("snapshot not written");
      break;
    }
  }
  std::remove(path.c_str());
}

}  // namespace

BENCHMARK(BM_OverlayPass_D1_Baseline)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OverlayPass_D1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Snapshot_1080p_Jpeg)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
