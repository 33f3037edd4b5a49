#include "tools/recmake/adts.h"

#include <string>

#include "tools/recmake/record_frame.h"

namespace recmake {

namespace {

const int kAdtsRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                            22050, 16000, 12000, 11025, 8000,  7350};

}  // namespace

int AdtsRateIndex(int sample_rate) {
  for (int i = 0; i < 13; ++i) {
    if (kAdtsRates[i] == sample_rate) return i;
  }
  return -1;
}

int AdtsRateFromIndex(int index) {
  return index >= 0 && index < 13 ? kAdtsRates[index] : 0;
}

std::optional<TAacConfig> ParseAudioSpecificConfig(const uint8_t* data, size_t size) {
  if (data == nullptr || size < 2) return std::nullopt;
  TAacConfig c;
  c.ObjectType = data[0] >> 3;
  int index = ((data[0] & 0x07) << 1) | (data[1] >> 7);
  int channels = (data[1] >> 3) & 0x0F;
  if (c.ObjectType == 31 || index == 15) return std::nullopt;  // escapes ADTS lacks
  c.SampleRate = AdtsRateFromIndex(index);
  c.Channels = channels;
  if (c.SampleRate == 0) return std::nullopt;
  return c;
}

bool IsAdtsFrame(const uint8_t* data, size_t size) {
  if (size < 7 || data[0] != 0xFF || (data[1] & 0xF6) != 0xF0) return false;
  size_t length = ((data[3] & 0x03) << 11) | (data[4] << 3) | (data[5] >> 5);
  return length == size;
}

std::vector<uint8_t> WrapAdts(const TAacConfig& config, const uint8_t* raw, size_t size) {
  int index = AdtsRateIndex(config.SampleRate);
  if (index < 0) {
    throw TRecmakeError("AAC sample rate " + std::to_string(config.SampleRate) +
                        " Hz has no ADTS index");
  }
  if (config.ObjectType < 1 || config.ObjectType > 4) {
    throw TRecmakeError("AAC object type " + std::to_string(config.ObjectType) +
                        " cannot be written as ADTS");
  }
  if (config.Channels < 1 || config.Channels > 7) {
    throw TRecmakeError("AAC with " + std::to_string(config.Channels) +
                        " channels cannot be written as ADTS");
  }
  size_t length = size + 7;
  if (length > 0x1FFF) throw TRecmakeError("AAC frame too long for an ADTS header");
  std::vector<uint8_t> out(length);
  int profile = config.ObjectType - 1;
  out[0] = 0xFF;
  out[1] = 0xF1;  // MPEG-4, layer 0, no CRC
  out[2] = static_cast<uint8_t>((profile << 6) | (index << 2) | (config.Channels >> 2));
  out[3] = static_cast<uint8_t>(((config.Channels & 3) << 6) | (length >> 11));
  out[4] = static_cast<uint8_t>((length >> 3) & 0xFF);
  out[5] = static_cast<uint8_t>(((length & 7) << 5) | 0x1F);  // buffer fullness 0x7FF
  out[6] = 0xFC;
  std::copy(raw, raw + size, out.begin() + 7);
  return out;
}

}  // namespace recmake
