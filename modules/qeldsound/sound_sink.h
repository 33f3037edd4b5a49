// TSoundSink: where a player's samples go. The PulseAudio sink plays them at the device's
// pace (its Write waits while the server's buffer is full); the null sink takes them at
// once. MakeSoundSink picks the server when one answers. One thread at a time per sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "modules/qeldsound/sound_format.h"

namespace qelsound {

class TSoundSink {
 public:
  virtual ~TSoundSink() = default;
  // True when Write waits for the device, so the player writes from a thread of its own.
  virtual bool Paced() const = 0;
  // Prepares for samples in the format (again when the format changes); false when refused.
  virtual bool Open(const TSoundFormat& format) = 0;
  // Plays whole sample frames in the opened format; false when the device failed.
  virtual bool Write(const uint8_t* data, size_t size) = 0;
};

std::unique_ptr<TSoundSink> MakeNullSink();
// A sink on the PulseAudio server, or nullptr when no server answers.
std::unique_ptr<TSoundSink> MakePulseSink();
// The null sink when QELDSOUND_SINK is "null", else the server's sink when one answers, else
// the null sink.
std::unique_ptr<TSoundSink> MakeSoundSink();

}  // namespace qelsound
