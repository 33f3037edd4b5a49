#include "tools/recmake/test_pattern.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "tools/recmake/record_frame.h"

namespace recmake {

namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kAdvance = 6;

// Rows of 5 dots, most significant of the low five bits leftmost.
struct TGlyph {
  char Ch;
  uint8_t Rows[kGlyphHeight];
};

const TGlyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
};

const uint8_t* GlyphRows(char ch) {
  for (const TGlyph& g : kGlyphs) {
    if (g.Ch == ch) return g.Rows;
  }
  return nullptr;
}

// Fills a rectangle of the picture (clipped) with a colour; chroma follows at half size.
void FillRect(const TYuvPicture& p, int x, int y, int w, int h, uint8_t luma, uint8_t u,
              uint8_t v) {
  int x0 = std::max(x, 0), y0 = std::max(y, 0);
  int x1 = std::min(x + w, p.Width), y1 = std::min(y + h, p.Height);
  if (x0 >= x1 || y0 >= y1) return;
  for (int row = y0; row < y1; ++row) std::memset(p.Y + row * p.StrideY + x0, luma, x1 - x0);
  for (int row = y0 / 2; row < (y1 + 1) / 2; ++row) {
    std::memset(p.U + row * p.StrideU + x0 / 2, u, (x1 + 1) / 2 - x0 / 2);
    std::memset(p.V + row * p.StrideV + x0 / 2, v, (x1 + 1) / 2 - x0 / 2);
  }
}

// 75% colour bars in BT.601 studio range: white, yellow, cyan, green, magenta, red, blue,
// black.
const uint8_t kBars[8][3] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                             {84, 184, 198},  {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};

// A small, fast generator of noise bytes; seeded per frame and plane so files repeat.
class TNoise {
 public:
  explicit TNoise(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL) {}
  uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }

 private:
  uint64_t state_;
};

// Texture value of a texel: a fixed pseudo-random field (hash of the coordinates).
int Texel(uint32_t x, uint32_t y) {
  uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return static_cast<int>(h & 0xFF);
}

uint8_t Clip(int v) {
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// Adds uniform noise in [-amplitude, amplitude] (and the texture, when given) to one plane.
void AddNoise(uint8_t* plane, int stride, int width, int height, int amplitude, TNoise& noise,
              int texture_amplitude, int texture_shift) {
  const int span = 2 * amplitude + 1;
  for (int row = 0; row < height; ++row) {
    uint8_t* line = plane + static_cast<ptrdiff_t>(row) * stride;
    uint64_t bits = 0;
    int left = 0;
    for (int col = 0; col < width; ++col) {
      if (left == 0) {
        bits = noise.Next();
        left = 8;
      }
      int v = line[col] + static_cast<int>((bits & 0xFF) * span >> 8) - amplitude;
      bits >>= 8;
      --left;
      if (texture_amplitude > 0) {
        // Texels of 2x2 pixels, so the texture is detail an encoder sees, not noise.
        const int t =
            Texel(static_cast<uint32_t>(col + texture_shift) / 2, static_cast<uint32_t>(row) / 2);
        v += (t * (2 * texture_amplitude + 1) >> 8) - texture_amplitude;
      }
      line[col] = Clip(v);
    }
  }
}

}  // namespace

void AddPatternDetail(const TYuvPicture& p, int64_t frame_number, int level) {
  level = std::min(level, kMaxPatternDetail);
  if (level <= 0) return;
  const int shift = static_cast<int>((frame_number * 2) % 1000000);
  TNoise noise(static_cast<uint64_t>(frame_number));
  AddNoise(p.Y, p.StrideY, p.Width, p.Height, 2 * level, noise, 3 * level, shift);
  const int chroma_width = (p.Width + 1) / 2;
  const int chroma_height = (p.Height + 1) / 2;
  AddNoise(p.U, p.StrideU, chroma_width, chroma_height, level, noise, 0, 0);
  AddNoise(p.V, p.StrideV, chroma_width, chroma_height, level, noise, 0, 0);
}

int DrawGlyphText(const TYuvPicture& p, int x, int y, int scale, const std::string& text,
                  uint8_t luma) {
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t* rows = GlyphRows(text[i]);
    if (rows == nullptr) continue;
    int gx = x + static_cast<int>(i) * kAdvance * scale;
    for (int r = 0; r < kGlyphHeight; ++r) {
      for (int c = 0; c < kGlyphWidth; ++c) {
        if (!(rows[r] & (0x10 >> c))) continue;
        for (int dy = 0; dy < scale; ++dy) {
          int py = y + r * scale + dy;
          if (py < 0 || py >= p.Height) continue;
          int px0 = std::max(gx + c * scale, 0);
          int px1 = std::min(gx + (c + 1) * scale, p.Width);
          if (px0 < px1) std::memset(p.Y + py * p.StrideY + px0, luma, px1 - px0);
        }
      }
    }
  }
  return static_cast<int>(text.size()) * kAdvance * scale;
}

std::string PatternClockText(int64_t time_us) {
  return FormatCaptureTime(time_us);
}

std::string PatternCounterText(int64_t frame_number) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "#%07" PRId64, frame_number);
  return buf;
}

void DrawTestPattern(const TYuvPicture& p, int64_t frame_number, int64_t time_us) {
  int bars_height = p.Height * 3 / 4;
  for (int i = 0; i < 8; ++i) {
    int x0 = p.Width * i / 8, x1 = p.Width * (i + 1) / 8;
    FillRect(p, x0, 0, x1 - x0, bars_height, kBars[i][0], kBars[i][1], kBars[i][2]);
  }
  // Grey ramp below the bars (neutral chroma first, then the luma ramp).
  FillRect(p, 0, bars_height, p.Width, p.Height - bars_height, 16, 128, 128);
  for (int row = bars_height; row < p.Height; ++row) {
    uint8_t* line = p.Y + row * p.StrideY;
    for (int col = 0; col < p.Width; ++col) {
      line[col] = static_cast<uint8_t>(16 + (219 * col) / std::max(p.Width - 1, 1));
    }
  }
  // A block crossing the ramp band, one step per frame, so motion shows frame by frame.
  int band = p.Height - bars_height;
  int block = std::max(band / 2, 2);
  int step = std::max(p.Width / 100, 2);
  int travel = std::max(p.Width - block, 1);
  int pos = static_cast<int>((frame_number * step) % (2 * travel));
  int bx = pos < travel ? pos : 2 * travel - pos;
  FillRect(p, bx, bars_height + (band - block) / 2, block, block, 235, 90, 240);

  // Clock and counter on a black box.
  const std::string clock = PatternClockText(time_us);
  const std::string counter = PatternCounterText(frame_number);
  int margin = std::max(p.Width / 64, 2);
  int columns = static_cast<int>(clock.size()) * kAdvance;
  int scale = std::max(1, std::min(p.Height / 90, (p.Width - 2 * margin) / (columns + 2)));
  int line_height = (kGlyphHeight + 3) * scale;
  FillRect(p, margin, margin, (columns + 2) * scale, 2 * line_height + scale, 16, 128, 128);
  DrawGlyphText(p, margin + scale, margin + 2 * scale, scale, clock, 235);
  DrawGlyphText(p, margin + scale, margin + 2 * scale + line_height, scale, counter, 235);
}

}  // namespace recmake
