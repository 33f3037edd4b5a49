/* The sound output module: players that take 16-bit or 8-bit PCM a frame at a time and play
 * it through the PulseAudio server when one answers, or into a null sink that takes every
 * sample at once when none does (or when QELDSOUND_SINK=null is set).
 *
 * A caller makes a player (QelSound_CreatePlayer), sets its format (QelSound_SetParam: channel
 * count, bits per sample, sample rate; again whenever it changes), plays frames
 * (QelSound_PlayOneFrame) and frees it (QelSound_FreePlayer). Samples are little-endian,
 * interleaved, signed for 16 bits and unsigned for 8 bits.
 *
 * Playing never holds the caller up: a player that plays to a server queues the frame for its
 * own output thread, and when the queue already holds QELSOUND_QUEUE_MS of sound the frame is
 * dropped and counted instead (a live stream must not stall behind the sound device). The
 * count of dropped frames is written to standard error when the player is freed.
 *
 * QELDSOUND_WAV=path: every played sample is also written to a WAV file at path (created
 * when the first sample is played, its header kept up to date as it grows), in the format of
 * that first frame; frames played later in another format are left out of the file. One
 * player at a time writes it: a player made while another holds the file writes none.
 *
 * Threads: any thread may call; each player serialises its calls. Handle values are never
 * reused, so a freed or made-up handle fails every call.
 */
#ifndef QUVI_MODULES_QELDSOUND_QELDSOUND_H
#define QUVI_MODULES_QELDSOUND_QELDSOUND_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QELSOUND_API __attribute__((visibility("default")))

/* Player handle: pointer-sized; 0 is none. */
typedef intptr_t QELSOUND_HANDLE;
/* Window handle of the platform layer (kept with the player; sound does not depend on it). */
typedef intptr_t QELSOUND_HWND;

/* Sound queued for a server at most; a frame beyond it is dropped. */
#define QELSOUND_QUEUE_MS 200

/* QelSound_PlayOneFrame results besides 0 (played, or queued to be played). */
#define QELSOUND_DROPPED 1
#define QELSOUND_REFUSED (-1)

/* A player for the window (any value, 0 included); 0 when none can be made. */
QELSOUND_API QELSOUND_HANDLE QelSound_CreatePlayer(QELSOUND_HWND window);

/* Sets the format of the frames played from now on: 1 to 8 channels, 8 or 16 bits, 1000 to
 * 192000 Hz. 0, or -1 (format unchanged) for an unknown handle or a format outside these. */
QELSOUND_API int32_t QelSound_SetParam(QELSOUND_HANDLE player, int32_t channels, int32_t bits,
                                       int32_t sample_rate);

/* Plays length bytes of samples in the current format (a trailing part of a sample frame is
 * left out). 0 when played or queued, QELSOUND_DROPPED when the queue was full, or
 * QELSOUND_REFUSED for an unknown handle, no data, a length below one sample frame or a player
 * whose format was never set. */
QELSOUND_API int32_t QelSound_PlayOneFrame(QELSOUND_HANDLE player, const uint8_t* data,
                                           int32_t length);

/* Stops playing (what is still queued is not played), finishes the WAV file and frees the
 * player. 0, or -1 for an unknown handle. */
QELSOUND_API int32_t QelSound_FreePlayer(QELSOUND_HANDLE player);

#ifdef __cplusplus
}
#endif

#endif /* QUVI_MODULES_QELDSOUND_QELDSOUND_H */
