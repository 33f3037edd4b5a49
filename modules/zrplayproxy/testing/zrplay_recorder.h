// Control of libZrPlayRecorder.so, a stand-in for the player library used by tests: it
// exports the whole player API, answers factory id 29, records every call as one text line
// ("Zr_Play_InputData(3,len=120)") and can be told to refuse input or change results.
// Any thread; one recorder per process.
#pragma once

#include <stdint.h>

extern "C" {
// All calls so far, one per line.
typedef const char* (*ZrRecorder_CallsFn)(void);
// Forgets the calls and every setting.
typedef void (*ZrRecorder_ResetFn)(void);
// Result of the named export from now on (InitPlayer defaults to 0, the factory id to 29,
// everything else to 1).
typedef void (*ZrRecorder_SetResultFn)(const char* name, int32_t result);
// Picture facts Qel_Play_ReadChannelEncodeInfo reports (all 0: it returns 0); width and
// height are also what Zr_Play_GetPictureSize gives.
typedef void (*ZrRecorder_SetEncodeInfoFn)(int32_t codec, int32_t width, int32_t height);
}
