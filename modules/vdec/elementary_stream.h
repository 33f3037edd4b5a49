// Reading the structure of video elementary streams: start codes, which codec a stream
// carries, and where its access units (one picture's units) begin. Pure functions over the
// bytes given; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vdec {

enum class TStreamCodec { None, H264, H265, Mpeg4, Mjpeg };

// Position of the next 00 00 01 start code at or after `from` (the index of its first zero
// byte), or `size` when there is none.
size_t FindStartCode(const uint8_t* data, size_t size, size_t from);

// The codec of the stream, judged from a parameter set (H.264, H.265), a stream header
// (MPEG-4) or an image start (MJPEG) in the block; None when the block shows none of them,
// since a decoder cannot start before such a unit.
TStreamCodec DetectStreamCodec(const uint8_t* data, size_t size);

// One access unit (start codes included) and what it holds.
struct TAccessUnit {
  const uint8_t* data = nullptr;
  size_t size = 0;
  bool has_slices = false;  // picture data, not only parameter sets or messages
  bool key = false;         // an H.264 IDR or H.265 random-access picture
};

// Receives one access unit; returns false to stop the split.
using TAccessUnitSink = std::function<bool(const TAccessUnit& unit)>;

// Cuts a block taken as whole units into access units and hands each to the sink in order.
// H.264 and H.265 are cut where a unit begins a new picture; bytes before the first start
// code are dropped. MPEG-4 and MJPEG blocks go whole (as slices, never key). Returns false when the
// sink stopped it.
bool SplitAccessUnits(TStreamCodec codec, const uint8_t* data, size_t size,
                      const TAccessUnitSink& sink);

}  // namespace vdec
