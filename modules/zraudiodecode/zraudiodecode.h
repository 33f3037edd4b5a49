/* The audio decoder module: one call per codec, each decoding one frame of coded bytes into
 * signed 16-bit little-endian PCM.
 *
 * Every call takes (in, in_length, out, out_length): in_length coded bytes at in (at least
 * one), and an output buffer whose capacity in bytes *out_length gives on entry. On success
 * the call returns 0 and *out_length holds the bytes produced. On failure it returns one of
 * the ZRAUDIO_E_* codes below and writes nothing to out; *out_length then holds the bytes the
 * frame needs for ZRAUDIO_E_SPACE, else 0.
 *
 * Byte layouts:
 *   G711U, G711A  a byte per sample; 2 output bytes per input byte (several channels stay
 *                 interleaved as they come).
 *   G722          64 kbit/s, 16000 Hz mono: 2 samples per input byte.
 *   G721          G.726 at 32 kbit/s, 8000 Hz mono: 4-bit codes, the first in the low nibble,
 *                 2 samples per input byte.
 *   ADPCM         one IMA ADPCM block as in WAV files, mono: 16-bit predictor, step index, a
 *                 zero byte, then 4-bit codes low nibble first; 1 + (in_length - 4) / 4 * 8
 *                 samples, so a block needs at least 4 bytes.
 *
 * Threads: any thread may call. G.722 and G.721 carry their predictor state from one frame
 * to the next, so each calling thread has its own decoder per codec: a thread should decode
 * one stream per codec (a stream's frames on one thread, in order).
 */
#ifndef QUVI_MODULES_ZRAUDIODECODE_ZRAUDIODECODE_H
#define QUVI_MODULES_ZRAUDIODECODE_ZRAUDIODECODE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZRAUDIO_API __attribute__((visibility("default")))

/* Null pointer, in_length below 1 or a negative capacity. */
#define ZRAUDIO_E_ARG (-1)
/* The output buffer cannot hold the decoded frame. */
#define ZRAUDIO_E_SPACE (-2)
/* The decoder refused the bytes (too short an ADPCM block, a decoder that cannot open). */
#define ZRAUDIO_E_DECODE (-3)

ZRAUDIO_API int32_t ZrAudio_Decode_OneFrame_G711U(const uint8_t* in, int32_t in_length,
                                                  uint8_t* out, int32_t* out_length);
ZRAUDIO_API int32_t ZrAudio_Decode_OneFrame_G711A(const uint8_t* in, int32_t in_length,
                                                  uint8_t* out, int32_t* out_length);
ZRAUDIO_API int32_t ZrAudio_Decode_OneFrame_G722(const uint8_t* in, int32_t in_length, uint8_t* out,
                                                 int32_t* out_length);
ZRAUDIO_API int32_t ZrAudio_Decode_OneFrame_ADPCM(const uint8_t* in, int32_t in_length,
                                                  uint8_t* out, int32_t* out_length);
ZRAUDIO_API int32_t ZrAudio_Decode_OneFrame_G721(const uint8_t* in, int32_t in_length, uint8_t* out,
                                                 int32_t* out_length);

#ifdef __cplusplus
}
#endif

#endif /* QUVI_MODULES_ZRAUDIODECODE_ZRAUDIODECODE_H */
