// The generator's test picture: colour bars, a grey ramp, a block that moves with the frame
// number, the capture clock and a frame counter in large digits drawn straight into the
// luma plane (a built-in 5x7 font, no font library). Plain functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace recmake {

// Planes of a YUV 4:2:0 picture (chroma at half width and height).
struct TYuvPicture {
  uint8_t* Y = nullptr;
  uint8_t* U = nullptr;
  uint8_t* V = nullptr;
  int StrideY = 0, StrideU = 0, StrideV = 0;
  int Width = 0, Height = 0;
};

// Draws text made of digits, '-', ':', '.', '#' and blanks (other characters show as
// blanks) at (x, y), each font dot scale x scale pixels, clipped to the picture. Returns
// the width drawn in pixels.
int DrawGlyphText(const TYuvPicture& picture, int x, int y, int scale, const std::string& text,
                  uint8_t luma);

// The text lines the pattern shows: the clock ("YYYY-MM-DD hh:mm:ss.mmm") and "#" with the
// frame number in at least seven digits.
std::string PatternClockText(int64_t time_us);
std::string PatternCounterText(int64_t frame_number);

void DrawTestPattern(const TYuvPicture& picture, int64_t frame_number, int64_t time_us);

// Strongest detail level AddPatternDetail takes.
constexpr int kMaxPatternDetail = 10;

// Makes the picture as costly to compress as a camera's: a fine texture that pans two pixels
// a frame, plus fresh sensor-like noise on every sample (luma +-2*level, chroma half that),
// so an encoder really spends the bit rate it is given. Repeatable: the same frame number
// gives the same picture. Level 0 leaves the picture as it is; above kMaxPatternDetail counts
// as kMaxPatternDetail.
void AddPatternDetail(const TYuvPicture& picture, int64_t frame_number, int level);

}  // namespace recmake
