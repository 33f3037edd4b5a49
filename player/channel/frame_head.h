// The 64-byte little-endian frame head in front of every frame of a player stream and of a
// record file, the stream head, and the per-frame helpers the channel, the record reader,
// the exports and the tools share. Plain data; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/date_time.h"

namespace zrplay {

constexpr uint32_t kFrameHeadSize = 64;
constexpr uint32_t kFrameMagic1 = 0x11AFCAA9;
constexpr uint32_t kFrameMagic2 = 0xEE102FBD;
constexpr uint32_t kOverlayRecordSize = 44;
constexpr uint32_t kOverlayTextSize = 40;

// Codec byte values.
constexpr uint8_t kCodecH264 = 4;
constexpr uint8_t kCodecH265 = 5;  // our choice for H.265 streams
constexpr uint8_t kCodecPCM = 0x80;
constexpr uint8_t kCodecG711U = 0x81;
constexpr uint8_t kCodecG711A = 0x82;
constexpr uint8_t kCodecG722 = 0x84;
constexpr uint8_t kCodecADPCM = 0x85;
constexpr uint8_t kCodecG721 = 0x88;
constexpr uint8_t kCodecAAC = 0x89;

// Frame type byte values.
constexpr uint8_t kFrameTypeAudio = 5;
constexpr uint8_t kFrameTypeData = 6;

#pragma pack(push, 1)
struct TFrameHead {
  uint32_t HeadLength;      // 0: always 64
  uint32_t Magic1;          // 4
  uint32_t Magic2;          // 8
  uint32_t PayloadLength;   // 12
  uint8_t Reserved16[8];    // 16
  uint8_t Codec;            // 24
  uint8_t AudioFormat;      // 25
  uint8_t FrameType;        // 26
  uint8_t Reserved27[3];    // 27
  uint8_t AudioChannels;    // 30
  uint8_t AudioBits;        // 31
  int32_t Seconds;          // 32: capture time, seconds since 1970-01-01
  int32_t Microseconds;     // 36
  uint32_t SampleRate;      // 40
  uint8_t Reserved44[4];    // 44
  uint8_t OverlayCount;     // 48
  uint8_t OverlaySize;      // 49: 44
  uint8_t OverlayEncoding;  // 50: 1 UTF-8
  uint8_t Rotation;         // 51: 1 turned 90 degrees clockwise
  uint8_t Reserved52[12];   // 52
};

// One text overlay record after a frame's payload.
struct TOverlayRecord {
  int16_t X;
  int16_t Y;
  char Text[kOverlayTextSize];
};
#pragma pack(pop)

static_assert(sizeof(TFrameHead) == kFrameHeadSize);
static_assert(sizeof(TOverlayRecord) == kOverlayRecordSize);
static_assert(offsetof(TFrameHead, Codec) == 24 && offsetof(TFrameHead, Seconds) == 32 &&
              offsetof(TFrameHead, OverlayCount) == 48);

// The default stream head: the first 12 bytes of a frame head, the rest zero.
extern const uint8_t kDefaultStreamHead[kFrameHeadSize];

// True when length >= 12 and the first 12 bytes are those of the default stream head.
bool IsStandardFrameHead(const void* buffer, size_t length);
// True when the block is at least 64 bytes and its first three words are 64 and the magics.
bool HasFrameMagic(const void* block, size_t length);
// Copies the head out of a block (which must hold at least 64 bytes).
inline TFrameHead ReadFrameHead(const void* block) {
  TFrameHead h;
  std::memcpy(&h, block, sizeof h);
  return h;
}
// A fresh frame head with length and magics set, everything else zero.
TFrameHead MakeFrameHead();

inline bool IsKeyFrameType(uint8_t type) {
  return type == 1 || type == 2 || (type >= 21 && type <= 24);
}
inline bool IsAudioCodec(uint8_t codec) {
  return codec >= 0x80 && codec <= 0x89;
}

// Capture time as a calendar date-time; only whole milliseconds survive, no time zone.
TDateTime UnixToDateTime(int32_t seconds, int32_t microseconds);
inline TDateTime FrameTime(const TFrameHead& h) {
  return UnixToDateTime(h.Seconds, h.Microseconds);
}
// Whole milliseconds between two frame times as a distance (never negative), frames 40 ms
// apart being exactly 40 ms apart. Frame rate, cleaning span and pacing all compare
// frame times through it.
inline int64_t FrameTimeDistanceMs(TDateTime a, TDateTime b) {
  return std::llabs(MillisecondsBetween(a, b));
}

}  // namespace zrplay
