// A record stream file read whole for zrplay: its head and its frames as the blocks the
// stream input takes, with the facts --info prints. Read once on the main thread; plain data
// afterwards.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zrplay_tool {

// A file that cannot be played (exit code 1); the message says why.
class TPlayError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TStreamFrame {
  std::vector<uint8_t> Block;  // frame head, payload and overlay records
  int64_t TimeMs = 0;          // capture time from the first frame's
  uint8_t Type = 0;
  uint8_t Codec = 0;
  bool Video = false;
  bool Key = false;
};

struct TStreamFile {
  std::vector<uint8_t> Head;  // the 64-byte stream head (the file head, or the default one)
  std::vector<TStreamFrame> Frames;
  int VideoFrames = 0;
  int KeyFrames = 0;
  int AudioFrames = 0;
  uint8_t VideoCodec = 0;  // codec byte of the first video frame; 0 none
  uint8_t AudioCodec = 0;
  int64_t DurationMs() const { return Frames.empty() ? 0 : Frames.back().TimeMs; }
  // The first frame at or after the time; Frames.size() past the end.
  size_t FrameAtTime(int64_t ms) const;
  // The last key frame at or before frame i (i itself when no key frame lies before it).
  size_t KeyFrameBefore(size_t i) const;
  // How many video frames lie at frame i or after it.
  int64_t VideoFramesFrom(size_t i) const;
};

// Throws TPlayError for a missing, unreadable or damaged file, or one without video.
TStreamFile ReadStreamFile(const std::string& path);

// "H.264", "G.711 mu-law", ... for a codec byte; "0x.." for others.
std::string CodecName(uint8_t codec);

}  // namespace zrplay_tool
