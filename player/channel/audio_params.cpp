#include "player/channel/audio_params.h"

#include <array>

namespace zrplay {

namespace {

constexpr std::array<int32_t, 13> kAdtsRates = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                                22050, 16000, 12000, 11025, 8000,  7350};
constexpr int kAdtsDefaultIndex = 4;

}  // namespace

TAudioParams AudioFormatDefaults(uint8_t format_code) {
  switch (format_code) {
    case 1:
      return {1, 8, 8000};
    case 2:
      return {2, 16, 8000};
    case 3:
      return {1, 8, 16000};
    case 4:
      return {2, 16, 16000};
    default:
      return {};
  }
}

TAudioParams DeriveAudioParams(const TFrameHead& head) {
  TAudioParams p = AudioFormatDefaults(head.AudioFormat);
  if (head.AudioChannels != 0) p.Channels = head.AudioChannels;
  if (head.AudioBits != 0) p.Bits = head.AudioBits;
  if (head.SampleRate != 0) p.SampleRate = static_cast<int32_t>(head.SampleRate);
  if (p.Channels != 0 && (head.Codec == kCodecG711U || head.Codec == kCodecG711A) && p.Bits == 8) {
    p.Bits = 16;
  }
  return p;
}

int32_t AdtsSampleRate(int index) {
  if (index < 0 || index >= static_cast<int>(kAdtsRates.size())) return 44100;
  return kAdtsRates[static_cast<size_t>(index)];
}

int AdtsRateIndex(int32_t sample_rate) {
  for (size_t i = 0; i < kAdtsRates.size(); ++i) {
    if (kAdtsRates[i] == sample_rate) return static_cast<int>(i);
  }
  return kAdtsDefaultIndex;
}

bool StartsWithAdtsSync(const uint8_t* data, size_t size) {
  return size >= 2 && data[0] == 0xFF && (data[1] & 0xF0) == 0xF0;
}

uint32_t AdtsFrameLength(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  return (uint32_t{data[3] & 0x03u} << 11) | (uint32_t{data[4]} << 3) | (data[5] >> 5);
}

int AdtsRateIndexOf(const uint8_t* data) {
  return (data[2] >> 2) & 0x0F;
}

void WriteAdtsHeader(uint8_t* out, int rate_index, int32_t channels, uint32_t frame_length) {
  constexpr uint32_t kProfileLc = 1;
  constexpr uint32_t kBufferFullness = 0x7FF;
  const auto config = static_cast<uint32_t>(channels) & 0x07;
  const auto index = static_cast<uint32_t>(rate_index) & 0x0F;
  out[0] = 0xFF;
  out[1] = 0xF1;  // sync, MPEG-4, layer 0, no CRC
  out[2] = static_cast<uint8_t>((kProfileLc << 6) | (index << 2) | (config >> 2));
  out[3] = static_cast<uint8_t>(((config & 0x03) << 6) | ((frame_length >> 11) & 0x03));
  out[4] = static_cast<uint8_t>((frame_length >> 3) & 0xFF);
  out[5] = static_cast<uint8_t>(((frame_length & 0x07) << 5) | (kBufferFullness >> 6));
  out[6] = static_cast<uint8_t>((kBufferFullness & 0x3F) << 2);  // one raw data block
}

}  // namespace zrplay
