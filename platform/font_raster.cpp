#include "platform/font_raster.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>
#include <utility>

namespace plat {

namespace {

// Largest cell height a font is made at; larger sizes could never fit a raster bitmap.
constexpr int32_t kMaxCellHeight = 1 << 14;
// Cell height used when a description asks for none (as a zero height asks the platform for
// its default size).
constexpr int32_t kDefaultCellHeight = 16;
constexpr FT_Int32 kLoadFlags = FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP;

struct TMatch {
  std::string family;
  std::string file;
  int32_t index = 0;
  int32_t weight = 0;
};

// fontconfig's best match for the pattern at the weight asked for; false when it has no font at
// all.
bool MatchFont(FcPattern* pattern, bool bold, TMatch& match) {
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (found == nullptr) return false;
  FcChar8* text = nullptr;
  bool ok = FcPatternGetString(found, FC_FILE, 0, &text) == FcResultMatch;
  if (ok) match.file = reinterpret_cast<const char*>(text);
  if (FcPatternGetString(found, FC_FAMILY, 0, &text) == FcResultMatch)
    match.family = reinterpret_cast<const char*>(text);
  int value = 0;
  if (FcPatternGetInteger(found, FC_INDEX, 0, &value) == FcResultMatch) match.index = value;
  if (FcPatternGetInteger(found, FC_WEIGHT, 0, &value) == FcResultMatch) match.weight = value;
  FcPatternDestroy(found);
  return ok && !match.file.empty();
}

bool MatchDefaultCjkSans(bool bold, TMatch& match) {
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=zh-cn"));
  return pattern != nullptr && MatchFont(pattern, bold, match);
}

TFontFace LookUpFontFace(const std::string& family, bool bold) {
  TFontFace face;
  TMatch fallback;
  const bool have_fallback = FcInit() && MatchDefaultCjkSans(bold, fallback);
  TMatch chosen;
  if (!family.empty()) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    face.found = MatchFont(pattern, bold, chosen);
    face.name = family;
  } else if (have_fallback) {
    chosen = fallback;
    face.found = true;
    face.default_cjk = true;
    face.name = chosen.family;
  }
  if (face.found) {
    face.file = chosen.file;
    face.index = chosen.index;
    face.bold_in_file = chosen.weight >= FC_WEIGHT_BOLD;
  }
  if (have_fallback && (fallback.file != face.file || fallback.index != face.index)) {
    face.fallback_file = fallback.file;
    face.fallback_index = fallback.index;
  }
  return face;
}

// Next code point of UTF-8 text; a byte that starts no valid sequence gives U+FFFD and is
// skipped alone.
char32_t NextCodePoint(std::string_view text, size_t& at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) {
    ++at;
    return lead;
  }
  int32_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  }
  if (length == 0 || at + length > text.size()) {
    ++at;
    return 0xFFFD;
  }
  for (int32_t i = 1; i < length; ++i) {
    const uint8_t next = byte(at + i);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return 0xFFFD;
    }
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++at;
    return 0xFFFD;
  }
  at += length;
  return value;
}

bool IsControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

}  // namespace

TFontFace FindFontFace(const std::string& family, bool bold) {
  // fontconfig's matching takes milliseconds; captions ask again at every font change.
  // Never destroyed: the decoding threads of views a host never closed still draw text while
  // the process runs its exit handlers.
  static auto* const lock = new std::mutex;
  static auto* const known = new std::map<std::pair<std::string, bool>, TFontFace>;
  std::lock_guard<std::mutex> hold(*lock);
  auto [it, added] = known->try_emplace({family, bold});
  if (added) it->second = LookUpFontFace(family, bold);
  return it->second;
}

bool TMonoBitmap::Create(int32_t width, int32_t height) {
  Release();
  if (width <= 0 || height <= 0) return false;
  const size_t row_bytes = ((size_t(width) + 31) / 32) * 4;
  if (row_bytes > kMaxBytes / size_t(height)) return false;
  bits_.assign(row_bytes * size_t(height), 0);
  width_ = width;
  height_ = height;
  row_bytes_ = row_bytes;
  return true;
}

void TMonoBitmap::Release() {
  bits_ = {};
  width_ = height_ = 0;
  row_bytes_ = 0;
}

void TMonoBitmap::SetPixel(int32_t x, int32_t y, bool white) {
  uint8_t& b = Row(y)[x >> 3];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = white ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

struct TRasterFont::TState {
  FT_Library library = nullptr;
  FT_Face faces[2] = {nullptr, nullptr};  // the chosen face, then the fallback
  FT_Matrix scale{0x10000, 0, 0, 0x10000};
  FT_Matrix transform{0x10000, 0, 0, 0x10000};
  double angle = 0;  // radians, counter-clockwise
  bool embolden = false;
  int32_t ascent = 0;
  int32_t cell_height = 0;

  ~TState() {
    for (FT_Face face : faces)
      if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
  }

  FT_Face Open(const std::string& file, int32_t index, int32_t height) {
    FT_Face face = nullptr;
    if (file.empty() || FT_New_Face(library, file.c_str(), index, &face) != 0) return nullptr;
    FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_REAL_DIM, 0, FT_Long(height) * 64, 0, 0};
    if (!FT_IS_SCALABLE(face) || FT_Request_Size(face, &request) != 0) {
      FT_Done_Face(face);
      return nullptr;
    }
    return face;
  }

  // The face that has the character (the chosen one when neither has it) and its glyph.
  FT_Face Pick(char32_t c, FT_UInt& glyph) const {
    glyph = FT_Get_Char_Index(faces[0], c);
    if (glyph == 0 && faces[1] != nullptr) {
      const FT_UInt other = FT_Get_Char_Index(faces[1], c);
      if (other != 0) {
        glyph = other;
        return faces[1];
      }
    }
    return faces[0];
  }

  // Loads and, when asked, renders one glyph with the given transform and pen offset.
  FT_GlyphSlot Load(FT_Face face, FT_UInt glyph, FT_Matrix* matrix, FT_Vector* delta, bool render) {
    FT_Set_Transform(face, matrix, delta);
    if (FT_Load_Glyph(face, glyph, kLoadFlags) != 0) return nullptr;
    if (embolden) FT_GlyphSlot_Embolden(face->glyph);
    if (render && FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) != 0) return nullptr;
    return face->glyph;
  }
};

TRasterFont::TRasterFont() = default;
TRasterFont::~TRasterFont() = default;

void TRasterFont::Release() {
  state_.reset();
}

bool TRasterFont::Valid() const {
  return state_ != nullptr;
}

bool TRasterFont::Create(const TFontDescription& description, const TFontFace& face) {
  Release();
  const int32_t height = description.height > 0 ? description.height : kDefaultCellHeight;
  if (height > kMaxCellHeight || description.width < 0 || description.width > kMaxCellHeight)
    return false;
  auto state = std::make_unique<TState>();
  if (FT_Init_FreeType(&state->library) != 0) {
    state->library = nullptr;
    return false;
  }
  state->faces[0] = state->Open(face.file, face.index, height);
  if (state->faces[0] == nullptr) return false;
  state->faces[1] = state->Open(face.fallback_file, face.fallback_index, height);
  const FT_Size_Metrics& metrics = state->faces[0]->size->metrics;
  state->ascent = int32_t((metrics.ascender + 63) / 64);
  state->cell_height = int32_t((metrics.ascender - metrics.descender + 63) / 64);
  state->embolden = description.bold && !face.bold_in_file;

  if (description.width > 0) {
    // Stretch so that the face's average character is `width` pixels wide.
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(state->faces[0], FT_SFNT_OS2));
    const double units = (os2 != nullptr && os2->xAvgCharWidth > 0)
                             ? double(os2->xAvgCharWidth)
                             : double(state->faces[0]->units_per_EM) / 2;
    const double average = units * double(metrics.x_scale) / 65536.0 / 64.0;
    if (average > 0) state->scale.xx = FT_Fixed(description.width / average * 65536.0);
  }
  state->angle = description.escapement / 10.0 * std::numbers::pi / 180.0;
  const double c = std::cos(state->angle), s = std::sin(state->angle);
  const double sx = state->scale.xx / 65536.0;
  state->transform = {FT_Fixed(c * sx * 65536.0), FT_Fixed(-s * 65536.0),
                      FT_Fixed(s * sx * 65536.0), FT_Fixed(c * 65536.0)};
  state_ = std::move(state);
  return true;
}

TTextExtent TRasterFont::Measure(std::string_view text) {
  if (!state_) return {};
  FT_Pos width = 0;
  for (size_t at = 0; at < text.size() && width < FT_Pos(kMaxLineWidth) * 64;) {
    const char32_t c = NextCodePoint(text, at);
    if (IsControl(c)) continue;
    FT_UInt glyph = 0;
    FT_Face face = state_->Pick(c, glyph);
    if (FT_GlyphSlot slot = state_->Load(face, glyph, &state_->scale, nullptr, false))
      width += std::max<FT_Pos>(slot->advance.x, 0);
  }
  width = std::min<FT_Pos>(width, FT_Pos(kMaxLineWidth) * 64);
  return {int32_t((width + 63) / 64), state_->cell_height};
}

void TRasterFont::Draw(TMonoBitmap& bitmap, std::string_view text, int32_t x, int32_t y,
                       TClipRect clip, bool white, bool opaque) {
  if (!state_ || bitmap.Empty()) return;
  clip.left = std::max(clip.left, 0);
  clip.top = std::max(clip.top, 0);
  clip.right = std::min(clip.right, bitmap.Width());
  clip.bottom = std::min(clip.bottom, bitmap.Height());
  if (clip.left >= clip.right || clip.top >= clip.bottom) return;
  if (opaque && state_->angle == 0) {
    const TTextExtent extent = Measure(text);
    const int64_t right = std::min<int64_t>(int64_t(x) + extent.cx, clip.right);
    const int64_t bottom = std::min<int64_t>(int64_t(y) + extent.cy, clip.bottom);
    for (int64_t row = std::max(y, clip.top); row < bottom; ++row)
      for (int64_t column = std::max(x, clip.left); column < right; ++column)
        bitmap.SetPixel(int32_t(column), int32_t(row), !white);
  }
  // The baseline starts one ascent below the cell's top-left, turned with the text.
  const int64_t origin_x = x + std::lround(state_->ascent * std::sin(state_->angle));
  const int64_t origin_y = y + std::lround(state_->ascent * std::cos(state_->angle));
  FT_Vector pen{0, 0};  // 26.6, y up
  const FT_Pos limit = FT_Pos(kMaxLineWidth) * 64;
  for (size_t at = 0; at < text.size() && std::abs(pen.x) < limit && std::abs(pen.y) < limit;) {
    const char32_t c = NextCodePoint(text, at);
    if (IsControl(c)) continue;
    FT_UInt glyph = 0;
    FT_Face face = state_->Pick(c, glyph);
    FT_Vector delta = pen;
    FT_GlyphSlot slot = state_->Load(face, glyph, &state_->transform, &delta, true);
    if (slot == nullptr) continue;
    const FT_Bitmap& g = slot->bitmap;
    const int64_t left = origin_x + slot->bitmap_left;
    const int64_t top = origin_y - slot->bitmap_top;
    for (unsigned row = 0; row < g.rows; ++row) {
      const int64_t py = top + row;
      if (py < clip.top || py >= clip.bottom) continue;
      const uint8_t* bits = g.buffer + int64_t(row) * g.pitch;
      for (unsigned column = 0; column < g.width; ++column) {
        const int64_t px = left + column;
        if (px < clip.left || px >= clip.right) continue;
        if ((bits[column >> 3] >> (7 - (column & 7))) & 1)
          bitmap.SetPixel(int32_t(px), int32_t(py), white);
      }
    }
    pen.x += slot->advance.x;
    pen.y += slot->advance.y;
  }
}

}  // namespace plat
