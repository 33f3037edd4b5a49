// The audio decoder module's calls by codec byte: each decodes one frame of coded bytes into
// 16-bit PCM with (input, length, output, out length: capacity in, produced out), 0 being
// success. Plain lookups; any thread (the module keeps a decoder per calling thread).
#pragma once

#include <cstdint>

namespace zrplay {

using TAudioFrameDecoder = int32_t (*)(const uint8_t* in, int32_t in_length, uint8_t* out,
                                       int32_t* out_length);

// The ZrAudio_Decode_OneFrame_* call for G.711 mu-law (0x81), A-law (0x82), G.722 (0x84),
// ADPCM (0x85) and G.721 (0x88); nullptr for every other codec byte.
TAudioFrameDecoder ZrAudioFrameDecoder(uint8_t codec);

}  // namespace zrplay
