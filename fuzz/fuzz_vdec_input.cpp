// Arbitrary bytes into a playing port of the decoding library: detection, access-unit
// splitting and decoding must survive any input. The first byte chooses how the rest is cut
// into blocks and whether a real H.264 or H.265 stream start goes first, so that mutated
// slices meet a decoder that has its parameter sets.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "modules/vdec/test_stream_encoder.h"
#include "modules/vdec/vdec.h"

namespace {

constexpr uint32_t kPool = 64 * 1024;

int32_t g_port = -1;
std::vector<std::vector<uint8_t>> g_h264_start;
std::vector<std::vector<uint8_t>> g_h265_start;

void Feed(const uint8_t* data, size_t size) {
  while (!VDEC_InputData(g_port, data, static_cast<uint32_t>(size))) std::this_thread::yield();
}

void Hook(int32_t, const VDEC_DECODED_FRAME* frame, const VDEC_FRAME_INFO* info, void*) {
  // Touch the corners of every plane: they must be inside the picture's memory.
  const uint8_t* planes[3] = {frame->pY, frame->pU, frame->pV};
  const int32_t strides[3] = {frame->nYStride, frame->nUStride, frame->nVStride};
  const int32_t widths[3] = {frame->nYWidth, frame->nUWidth, frame->nVWidth};
  const int32_t heights[3] = {frame->nYHeight, frame->nUHeight, frame->nVHeight};
  volatile uint8_t sink = 0;
  for (int i = 0; i < 3; ++i) {
    if (widths[i] <= 0 || heights[i] <= 0 || strides[i] < widths[i]) std::abort();
    sink = sink + planes[i][0] +
           planes[i][static_cast<ptrdiff_t>(heights[i] - 1) * strides[i] + widths[i] - 1];
  }
  if (info->nWidth != frame->nYWidth || info->nHeight != frame->nYHeight) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  av_log_set_level(AV_LOG_QUIET);
  if (!VDEC_GetFreePort(&g_port)) std::abort();
  VDEC_SetDecodeCallBack(g_port, &Hook, nullptr);
  if (auto s = vdec::testing::EncodeTestStream("libx264", 64, 48, 2)) g_h264_start = s->frames;
  if (auto s = vdec::testing::EncodeTestStream("libx265", 64, 48, 2)) g_h265_start = s->frames;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  ++data;
  --size;
  if (!VDEC_OpenStream(g_port, nullptr, 0, kPool) || !VDEC_Play(g_port, 0)) std::abort();
  if ((flags & 3) == 1 || (flags & 3) == 3) {
    for (const auto& frame : g_h264_start) Feed(frame.data(), frame.size());
  }
  if ((flags & 3) == 2 || (flags & 3) == 3) {
    for (const auto& frame : g_h265_start) Feed(frame.data(), frame.size());
  }
  const size_t block = (flags & 0x20) != 0 ? size : size_t{16} << ((flags >> 2) & 7);
  for (size_t at = 0; at < size; at += block) {
    Feed(data + at, std::min(block, size - at));
  }
  // A full-sized block goes in only when the buffer is empty, and the second one only when
  // the decoding thread is done with the first: so everything above has been decoded.
  const std::vector<uint8_t> filler(kPool, 0x55);
  Feed(filler.data(), filler.size());
  Feed(filler.data(), filler.size());
  if (!VDEC_Stop(g_port) || !VDEC_CloseStream(g_port)) std::abort();
  return 0;
}
