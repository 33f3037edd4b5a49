// The audio parameters of a frame (channels, bits per sample, sample rate): the format-code
// defaults, their derivation from a frame head, and the ADTS header fields the AAC framing
// reads and writes. Plain functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "player/channel/frame_head.h"

namespace zrplay {

struct TAudioParams {
  int32_t Channels = 0;
  int32_t Bits = 0;
  int32_t SampleRate = 0;

  bool operator==(const TAudioParams&) const = default;
};

// Defaults of the audio format code (head byte 25): 1 = 1 ch, 8 bits, 8000 Hz; 2 = 2, 16,
// 8000; 3 = 1, 8, 16000; 4 = 2, 16, 16000; anything else all 0.
TAudioParams AudioFormatDefaults(uint8_t format_code);
// The format code's defaults, each replaced by the head's own channel count, bits or rate
// when nonzero. With a channel count (from either), G.711 at 8 bits becomes 16 bits: its
// decoder gives 16-bit samples.
TAudioParams DeriveAudioParams(const TFrameHead& head);

// ADTS: the 7-byte header (without CRC) in front of each AAC frame.
constexpr size_t kAdtsHeaderSize = 7;
// Largest frame length the header's 13-bit field holds.
constexpr uint32_t kAdtsMaxFrameLength = 0x1FFF;

// The sampling-frequency table: an index outside 0 to 12 reads as 44100.
int32_t AdtsSampleRate(int index);
// Index of a rate in the table; a rate not in it maps to 4 (44100).
int AdtsRateIndex(int32_t sample_rate);
// First byte 0xFF and the high nibble of the second 0xF (needs 2 bytes).
bool StartsWithAdtsSync(const uint8_t* data, size_t size);
// The header's 13-bit frame length; 0 when fewer than 6 bytes are there to read it from.
uint32_t AdtsFrameLength(const uint8_t* data, size_t size);
// The header's sampling-frequency index (byte 2, bits 2 to 5); needs 3 bytes.
int AdtsRateIndexOf(const uint8_t* data);
// Writes a header for an AAC LC frame of frame_length bytes (header included, at most
// kAdtsMaxFrameLength): no CRC, the rate index, the channel count as configuration, buffer
// fullness 0x7FF, one raw data block.
void WriteAdtsHeader(uint8_t* out, int rate_index, int32_t channels, uint32_t frame_length);

}  // namespace zrplay
