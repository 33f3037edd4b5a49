// One frame of a record stream as the tools build it: the 64-byte frame head, the payload
// and the text overlay records behind it, plus the capture-time and overlay helpers the
// writer, the sources and streamsim share. Plain data; any thread.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "player/channel/frame_head.h"

namespace recmake {

// Every failure of the tools' library: a message meant for the person running the tool.
class TRecmakeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Frame types the tools write (the head's byte 26).
constexpr uint8_t kFrameTypeVideoKey = 2;
constexpr uint8_t kFrameTypeVideo = 3;

struct TRecordFrame {
  zrplay::TFrameHead Head = zrplay::MakeFrameHead();
  std::vector<uint8_t> Payload;
  std::vector<zrplay::TOverlayRecord> Overlays;

  // Capture time in microseconds since 1970-01-01 (wall-clock time taken as UTC).
  int64_t TimeUs() const;
  bool IsVideo() const { return !IsAudio() && Head.Codec != 0; }
  bool IsAudio() const {
    return zrplay::IsAudioCodec(Head.Codec) || Head.FrameType == zrplay::kFrameTypeAudio;
  }
  bool IsKey() const { return zrplay::IsKeyFrameType(Head.FrameType); }
  // Sets the payload length, overlay count and size fields from the vectors.
  void SyncLengths();
  // Head (lengths taken from the vectors), payload and overlay records as they go to disk
  // or the wire.
  std::vector<uint8_t> Serialize() const;
  // Bytes Serialize() gives.
  size_t WireSize() const;
};

// Sets the head's capture seconds and microseconds; the seconds must fit 32 signed bits.
void SetCaptureTime(zrplay::TFrameHead& head, int64_t time_us);

// A head for a video frame of the given codec byte.
zrplay::TFrameHead MakeVideoHead(uint8_t codec, bool key, int64_t time_us);

// An overlay record; the text must fit its 40 bytes (a nul ends it when shorter).
zrplay::TOverlayRecord MakeOverlayRecord(int x, int y, const std::string& text);

// Wall-clock "now" in microseconds, local time written as if it were UTC, which is how
// capture times are stamped (the player shows them without a time-zone shift).
int64_t LocalNowUs();
// Parses "YYYY-MM-DD hh:mm:ss[.fff]" (or with 'T') as wall-clock time taken as UTC, or
// "@SECONDS[.fraction]" as raw head seconds. Throws TRecmakeError on bad text.
int64_t ParseStartTime(const std::string& text);
// "YYYY-MM-DD hh:mm:ss.mmm" of a capture time.
std::string FormatCaptureTime(int64_t time_us);

}  // namespace recmake
