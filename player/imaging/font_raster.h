// The font engine under the YV12 text: a process-wide face chosen once through fontconfig, a
// FreeType font of a given cell height, and the two-colour bitmap it draws into. A font object
// belongs to the one thread that draws with it; the face choice is shared and made once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zrplay {

// Charset number the face is reported with: UTF-8 text reaches every script the face has.
constexpr int32_t kDefaultCharset = 1;

// The process-wide face: its family name, the file and face index fontconfig resolved it to,
// and a CJK-capable fallback face for characters the chosen face lacks.
struct TFontFace {
  std::string name;
  int32_t charset = kDefaultCharset;
  std::string file;
  int32_t index = 0;
  bool bold_in_file = false;  // the file's own weight is bold, no emboldening needed
  std::string fallback_file;
  int32_t fallback_index = 0;
};

// Chooses the face the first time it is called (any thread) and returns it ever after: the
// configured FontName, else the system's default CJK-capable sans; logs the choice. An empty
// file means fontconfig found nothing and every font stays empty.
const TFontFace& ChooseFontFace();
// Chooses the face afresh (ChooseFontFace keeps the first choice) and logs it.
TFontFace FindFontFace();

// A 1-bit bitmap, top row first, each row padded to a multiple of 4 bytes, the leftmost pixel
// in the high bit; 0 is black, 1 white. Owns its bits.
class TMonoBitmap {
 public:
  // Largest bitmap allocated; a larger request fails and leaves the bitmap empty.
  static constexpr size_t kMaxBytes = size_t(64) << 20;

  bool Create(int32_t width, int32_t height);
  void Release();

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  size_t RowBytes() const { return row_bytes_; }
  bool Empty() const { return bits_.empty(); }
  const uint8_t* Row(int32_t y) const { return bits_.data() + row_bytes_ * size_t(y); }
  uint8_t* Row(int32_t y) { return bits_.data() + row_bytes_ * size_t(y); }
  bool Pixel(int32_t x, int32_t y) const { return (Row(y)[x >> 3] >> (7 - (x & 7))) & 1; }
  void SetPixel(int32_t x, int32_t y, bool white);

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  size_t row_bytes_ = 0;
  std::vector<uint8_t> bits_;
};

struct TTextExtent {
  int32_t cx = 0;
  int32_t cy = 0;
};

struct TClipRect {
  int32_t left, top, right, bottom;  // right and bottom exclusive
};

// How a font is made; zeros mean the defaults (the cell height's own width, upright).
struct TFontDescription {
  int32_t height = 0;      // cell height in pixels (ascent plus descent)
  int32_t width = 0;       // average character width in pixels; 0 keeps the face's proportions
  int32_t escapement = 0;  // text direction, tenths of a degree counter-clockwise
  bool bold = false;
};

// A font of the process-wide face at one size, rendering single lines of UTF-8 text without
// anti-aliasing. Invalid UTF-8 bytes show as U+FFFD; control characters take no room.
class TRasterFont {
 public:
  // Text laid out no further than this many pixels: wider than any picture at raster scale.
  static constexpr int32_t kMaxLineWidth = 1 << 16;

  TRasterFont();
  ~TRasterFont();
  TRasterFont(const TRasterFont&) = delete;
  TRasterFont& operator=(const TRasterFont&) = delete;

  // False (and an empty font that measures and draws nothing) when the face cannot be loaded.
  bool Create(const TFontDescription& description);
  void Release();
  bool Valid() const;

  TTextExtent Measure(std::string_view text);
  // Draws the text with the top-left of its cell at (x, y), along its escapement, inside
  // `clip`; each glyph pixel becomes `white`. Opaque fills the line's cell with the opposite
  // colour first (upright fonts only).
  void Draw(TMonoBitmap& bitmap, std::string_view text, int32_t x, int32_t y, TClipRect clip,
            bool white, bool opaque);

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

// The nearest of the bitmap's two colours to a 24-bit colour (red in the low byte).
bool MapsToWhite(uint32_t colour);

}  // namespace zrplay
