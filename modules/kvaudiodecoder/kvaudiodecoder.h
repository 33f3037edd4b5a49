/* The AAC decoder module, loaded by the player at run time: decoder handles that turn AAC
 * frames (each with its ADTS header) into interleaved signed 16-bit little-endian PCM.
 *
 * A caller makes a handle with KV_AudioDecoder_CreateHandle(KV_AUDIO_DECODER_AAC), decodes
 * one ADTS frame per KV_AudioDecoder_Decode call, may ask the stream's sample rate and channel
 * count with KV_AudioDecoder_GetInfo once a frame has been decoded, and frees the handle with
 * KV_AudioDecoder_CloseHandel (the name is as the player calls it).
 *
 * Threads: any thread may call; each handle serialises its calls. Handle values are never
 * reused, so a freed or made-up handle fails every call instead of touching memory.
 */
#ifndef QUVI_MODULES_KVAUDIODECODER_KVAUDIODECODER_H
#define QUVI_MODULES_KVAUDIODECODER_KVAUDIODECODER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KVAUDIO_API __attribute__((visibility("default")))

/* Decoder handle: pointer-sized; 0 and -1 are none. */
typedef intptr_t KV_AUDIO_HANDLE;

/* The one decoder type: AAC in ADTS frames. */
#define KV_AUDIO_DECODER_AAC 1

/* A handle for the decoder type; 0 for an unknown type or when the decoder cannot open. */
KVAUDIO_API KV_AUDIO_HANDLE KV_AudioDecoder_CreateHandle(int32_t type);

/* Frees the handle. 0, or -1 for an unknown handle. */
KVAUDIO_API int32_t KV_AudioDecoder_CloseHandel(KV_AUDIO_HANDLE handle);

/* Decodes one ADTS frame (in_length bytes at in) into out, whose capacity in bytes
 * *out_length gives on entry; on success returns 0 with the bytes produced in *out_length
 * (0 when the decoder needs more frames before it gives samples). Fails with -1 for an
 * unknown handle or bad arguments, -2 when the decoded samples do not fit (the frame's
 * samples are lost; *out_length holds the bytes needed), -3 when the bytes are not AAC it can
 * decode (*out_length is 0). A frame of AAC LC gives 1024 samples per channel. */
KVAUDIO_API int32_t KV_AudioDecoder_Decode(KV_AUDIO_HANDLE handle, const uint8_t* in,
                                           int32_t in_length, uint8_t* out, int32_t* out_length);

/* The sample rate and channel count of the last decoded frame: 0 with both written, or -1
 * (nothing written) for an unknown handle, null pointers or before any frame was decoded. */
KVAUDIO_API int32_t KV_AudioDecoder_GetInfo(KV_AUDIO_HANDLE handle, int32_t* sample_rate,
                                            int32_t* channels);

#ifdef __cplusplus
}
#endif

#endif /* QUVI_MODULES_KVAUDIODECODER_KVAUDIODECODER_H */
