// AAC in ADTS: the 7-byte header the player's AAC path expects in front of each raw AAC
// frame, and the parts of an AudioSpecificConfig needed to write it. Plain functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace recmake {

struct TAacConfig {
  int ObjectType = 2;  // 2 = AAC LC
  int SampleRate = 0;
  int Channels = 0;
};

// Index of a sample rate in the ADTS sampling-frequency table, or -1.
int AdtsRateIndex(int sample_rate);
int AdtsRateFromIndex(int index);  // 0 for an index outside the table

// The fields of an AudioSpecificConfig (the extradata of an AAC stream); nullopt when it
// is too short or uses an escape the ADTS header cannot carry.
std::optional<TAacConfig> ParseAudioSpecificConfig(const uint8_t* data, size_t size);

// True when the buffer starts with an ADTS header whose frame length equals the size.
bool IsAdtsFrame(const uint8_t* data, size_t size);

// The raw frame with a 7-byte ADTS header (no CRC) in front; throws TRecmakeError when the
// configuration cannot be expressed in ADTS.
std::vector<uint8_t> WrapAdts(const TAacConfig& config, const uint8_t* raw, size_t size);

}  // namespace recmake
