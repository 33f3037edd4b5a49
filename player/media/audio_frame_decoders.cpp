#include "player/media/audio_frame_decoders.h"

#include "modules/zraudiodecode/zraudiodecode.h"

namespace zrplay {

TAudioFrameDecoder ZrAudioFrameDecoder(uint8_t codec) {
  switch (codec) {
    case 0x81:
      return ZrAudio_Decode_OneFrame_G711U;
    case 0x82:
      return ZrAudio_Decode_OneFrame_G711A;
    case 0x84:
      return ZrAudio_Decode_OneFrame_G722;
    case 0x85:
      return ZrAudio_Decode_OneFrame_ADPCM;
    case 0x88:
      return ZrAudio_Decode_OneFrame_G721;
    default:
      return nullptr;
  }
}

}  // namespace zrplay
