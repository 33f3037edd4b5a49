// Test support shared by the vdec tests, benchmark and fuzz target: encodes a moving test
// pattern with one of libavcodec's encoders into an elementary stream, one block per
// picture. Any thread; owns nothing beyond the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct AVFrame;

namespace vdec::testing {

struct TEncodedStream {
  int width = 0;
  int height = 0;
  // One encoded picture each (Annex-B with in-band parameter sets for H.264/H.265).
  std::vector<std::vector<uint8_t>> frames;
  size_t Bytes() const;
};

struct TEncodeOptions {
  int key_interval = 25;
  int slices = 1;         // slices per picture (H.264, H.265)
  int pixel_format = -1;  // an AVPixelFormat; -1 for the encoder's 8-bit 4:2:0
};

// True when libavcodec has an encoder of this name ("libx264", "libx265", "mpeg4", "mjpeg").
bool HasEncoder(const char* name);

// Encodes `count` pictures, each coming out as soon as it is encoded (no reordering, no
// look-ahead); nothing when the encoder is missing or fails.
std::optional<TEncodedStream> EncodeTestStream(const char* encoder, int width, int height,
                                               int count, const TEncodeOptions& options = {});

// Decodes the stream with libavcodec directly (single-threaded, every picture drained as soon
// as it is out), handing each picture to on_picture. `codec_id` is an AVCodecID. Returns the
// number of pictures, or -1 when the decoder cannot be opened.
int DecodeDirectly(int codec_id, const TEncodedStream& stream,
                   const std::function<void(const AVFrame&)>& on_picture);

}  // namespace vdec::testing
