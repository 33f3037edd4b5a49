// The audio codecs a record stream carries: their codec bytes, the libavcodec encoder and
// packing used for each, and how their frames are cut; plus the audio frame head fields.
// Plain data; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "player/channel/frame_head.h"

namespace recmake {

enum class EAudioCodec { PCM, G711U, G711A, G722, G721, ADPCM, AAC };

struct TAudioCodecInfo {
  EAudioCodec Codec;
  const char* Name;     // as given on the command line
  const char* Aliases;  // other accepted names, blank separated
  uint8_t CodecByte;    // frame head byte 24
  const char* Encoder;  // libavcodec encoder name
  int DefaultRate;      // Hz
  int HeadBits;         // frame head byte 31
  // Byte-stream codecs carry no framing of their own: their bytes are cut into frames of a
  // fixed duration. The others give one frame per coded packet.
  bool ByteStream;
  int CodedBits;            // bits per sample and channel of a byte-stream codec
  const char* Description;  // for the help text
};

const std::vector<TAudioCodecInfo>& AudioCodecTable();
const TAudioCodecInfo& AudioCodecInfo(EAudioCodec codec);
// By name or alias, case-insensitive; nullopt for an unknown name.
std::optional<EAudioCodec> FindAudioCodec(const std::string& name);

// Frame head byte 25: 1 for 8000 Hz mono, 2 for 8000 Hz stereo, 3 for 16000 Hz mono, 4 for
// 16000 Hz stereo, 0 otherwise. The head's channel, bit and rate bytes are always written
// too, so the code only states the common cases again.
uint8_t AudioFormatCode(int sample_rate, int channels);

// A head for an audio frame (type 5) without its time.
zrplay::TFrameHead MakeAudioHead(uint8_t codec_byte, int sample_rate, int channels, int bits);

}  // namespace recmake
