// The font engine shared by the player's YV12 text and the window captions: faces found through
// fontconfig (a CJK-capable sans when no family is named or the named one lacks a character), a
// FreeType font of a given cell height, and the two-colour bitmap it draws into. A font object
// belongs to the one thread that draws with it; face lookups may come from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform_api.h"

namespace plat {

// A face: its family name, the file and face index fontconfig resolved it to, and a CJK-capable
// fallback face for characters the chosen face lacks.
struct TFontFace {
  std::string name;
  bool found = false;        // fontconfig matched a file (an empty file: every font stays empty)
  bool default_cjk = false;  // no family was asked for: the system's default CJK-capable sans
  std::string file;
  int32_t index = 0;
  bool bold_in_file = false;  // the file's own weight is bold, no emboldening needed
  std::string fallback_file;
  int32_t fallback_index = 0;
};

// The face of a family (weight bold or regular asked for), else, for an empty family, the
// system's default CJK-capable sans. Looked up once per family and weight, then remembered.
QUVI_PLATFORM_API TFontFace FindFontFace(const std::string& family, bool bold);

// A 1-bit bitmap, top row first, each row padded to a multiple of 4 bytes, the leftmost pixel
// in the high bit; 0 is black, 1 white. Owns its bits.
class QUVI_PLATFORM_API TMonoBitmap {
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

// A font of one face at one size, rendering single lines of UTF-8 text without
// anti-aliasing. Invalid UTF-8 bytes show as U+FFFD; control characters take no room.
class QUVI_PLATFORM_API TRasterFont {
 public:
  // Text laid out no further than this many pixels: wider than any picture at raster scale.
  static constexpr int32_t kMaxLineWidth = 1 << 16;

  TRasterFont();
  ~TRasterFont();
  TRasterFont(const TRasterFont&) = delete;
  TRasterFont& operator=(const TRasterFont&) = delete;

  // False (and an empty font that measures and draws nothing) when the face cannot be loaded.
  bool Create(const TFontDescription& description, const TFontFace& face);
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

}  // namespace plat
