#include "tools/recmake/audio_codecs.h"

#include <strings.h>

#include <sstream>

namespace recmake {

const std::vector<TAudioCodecInfo>& AudioCodecTable() {
  static const std::vector<TAudioCodecInfo> table = {
      {EAudioCodec::PCM, "pcm", "s16le", zrplay::kCodecPCM, "pcm_s16le", 8000, 16, true, 16,
       "16-bit signed little-endian PCM"},
      {EAudioCodec::G711U, "g711u", "ulaw mulaw pcmu", zrplay::kCodecG711U, "pcm_mulaw", 8000, 8,
       true, 8, "G.711 mu-law, a byte per sample"},
      {EAudioCodec::G711A, "g711a", "alaw pcma", zrplay::kCodecG711A, "pcm_alaw", 8000, 8, true, 8,
       "G.711 A-law, a byte per sample"},
      {EAudioCodec::G722, "g722", "", zrplay::kCodecG722, "g722", 16000, 16, true, 4,
       "G.722 at 64 kbit/s, 16000 Hz"},
      {EAudioCodec::G721, "g721", "g726", zrplay::kCodecG721, "g726le", 8000, 16, true, 4,
       "G.726 at 32 kbit/s (G.721), 4-bit codes packed low nibble first"},
      {EAudioCodec::ADPCM, "adpcm", "ima", zrplay::kCodecADPCM, "adpcm_ima_wav", 8000, 16, false, 4,
       "IMA ADPCM, one WAV-style block per frame (4-byte header: 16-bit predictor, step "
       "index, 0; then 4-bit codes low nibble first)"},
      {EAudioCodec::AAC, "aac", "", zrplay::kCodecAAC, "aac", 16000, 16, false, 0,
       "AAC LC, each frame one ADTS frame (7-byte header, no CRC)"},
  };
  return table;
}

const TAudioCodecInfo& AudioCodecInfo(EAudioCodec codec) {
  for (const TAudioCodecInfo& info : AudioCodecTable()) {
    if (info.Codec == codec) return info;
  }
  return AudioCodecTable().front();
}

std::optional<EAudioCodec> FindAudioCodec(const std::string& name) {
  for (const TAudioCodecInfo& info : AudioCodecTable()) {
    if (strcasecmp(info.Name, name.c_str()) == 0) return info.Codec;
    std::istringstream aliases(info.Aliases);
    std::string alias;
    while (aliases >> alias) {
      if (strcasecmp(alias.c_str(), name.c_str()) == 0) return info.Codec;
    }
  }
  return std::nullopt;
}

uint8_t AudioFormatCode(int sample_rate, int channels) {
  if (sample_rate == 8000 && channels == 1) return 1;
  if (sample_rate == 8000 && channels == 2) return 2;
  if (sample_rate == 16000 && channels == 1) return 3;
  if (sample_rate == 16000 && channels == 2) return 4;
  return 0;
}

zrplay::TFrameHead MakeAudioHead(uint8_t codec_byte, int sample_rate, int channels, int bits) {
  zrplay::TFrameHead h = zrplay::MakeFrameHead();
  h.Codec = codec_byte;
  h.AudioFormat = AudioFormatCode(sample_rate, channels);
  h.FrameType = zrplay::kFrameTypeAudio;
  h.AudioChannels = static_cast<uint8_t>(channels);
  h.AudioBits = static_cast<uint8_t>(bits);
  h.SampleRate = static_cast<uint32_t>(sample_rate);
  return h;
}

}  // namespace recmake
