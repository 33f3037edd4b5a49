// TSoundFormat: the PCM format of played frames (channels, bits per sample, sample rate) and
// what follows from it. Plain data; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelsound {

struct TSoundFormat {
  int Channels = 0;
  int Bits = 0;
  int SampleRate = 0;

  bool operator==(const TSoundFormat&) const = default;

  // 1 to 8 channels, 8 or 16 bits, 1000 to 192000 Hz.
  bool Valid() const {
    return Channels >= 1 && Channels <= 8 && (Bits == 8 || Bits == 16) && SampleRate >= 1000 &&
           SampleRate <= 192000;
  }
  // Bytes of one sample per channel.
  size_t FrameBytes() const {
    return static_cast<size_t>(Channels) * static_cast<size_t>(Bits / 8);
  }
  size_t BytesPerSecond() const { return FrameBytes() * static_cast<size_t>(SampleRate); }
};

}  // namespace qelsound
