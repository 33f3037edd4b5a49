#include "player/imaging/yv12_font.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "player/config/player_settings.h"

namespace zrplay {

namespace {

// Text block geometry in the raster: the text cell starts this many raster pixels in, and
// each output row sums the raster rows from 4 above its cell row.
constexpr int32_t kRasterMargin = 16;
constexpr int32_t kRasterBorder = 32;
constexpr int32_t kFirstCoverageRow = 12;
constexpr int32_t kFirstCoverageByte = 2;
// Luma above which a character is drawn dark, and the dark luma.
constexpr int32_t kBrightLuma = 200;
constexpr int32_t kDarkLuma = 16;
// Last reference coordinates that place text where they say; beyond them it goes to the far
// edge.
constexpr int32_t kLastPlacedX = 663;
constexpr int32_t kLastPlacedY = 535;

int32_t AutomaticFontSize(int32_t width) {
  int32_t size = PlayerSettings.OSDFontSize;
  if (size < 1) size = width <= 800 ? (width / 100) * 50 : (width / 300) * 80;
  return std::max(size, 100);
}

// Picture position of a text coordinate: scaled inside [0, last], else at the far edge.
int32_t PlaceText(int32_t value, int32_t last, int32_t reference, int32_t extent, int32_t raster) {
  const int32_t far = extent - raster;
  int32_t placed = far;
  if (value >= 0 && value <= last)
    placed = std::min(TYV12Font::ScaleToPicture(value, reference, extent), far);
  if (placed < 0) placed = far;
  return std::max(placed, 0);
}

}  // namespace

// The picture's planes and their sizes; rows of Y are `stride` apart, of V and U stride / 2.
struct TYV12Font::TPlanes {
  uint8_t* y;
  uint8_t* v;
  uint8_t* u;
  int32_t width, height, stride, chroma_stride;

  TPlanes(uint8_t* picture, int32_t w, int32_t h, int32_t s)
      : y(picture), width(w), height(h), stride(s), chroma_stride(s / 2) {
    v = picture + size_t(s) * size_t(h);
    u = v + size_t(s / 2) * size_t(h / 2);
  }
  uint8_t& Luma(int32_t column, int32_t row) const {
    return y[size_t(row) * size_t(stride) + size_t(column)];
  }
};

TYV12Font::TYV12Font() : PenWidth(PlayerSettings.PenWidth) {
  for (int32_t i = 0; i < 256; ++i) bit_counts_[i] = uint8_t(std::popcount(unsigned(i)));
  SetFontSize(200, 140);
  dirty_ = false;
}

int32_t TYV12Font::ScaleToPicture(int32_t value, int32_t reference, int32_t extent) {
  const double scaled = std::nearbyint(double(value) / reference * extent);
  return int32_t(std::clamp(scaled, double(std::numeric_limits<int32_t>::min()),
                            double(std::numeric_limits<int32_t>::max())));
}

void TYV12Font::SetColor(uint32_t colour) {
  if (colour == colour_) return;
  const double r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
  y_ = int32_t(0.257 * r + 0.504 * g + 0.098 * b + 16);
  u_ = int32_t(-0.148 * r - 0.291 * g + 0.439 * b + 128);
  v_ = int32_t(0.439 * r - 0.368 * g - 0.071 * b + 128);
  colour_ = colour;
  dirty_ = true;
}

void TYV12Font::SetFontSize(int32_t size, int32_t size_key) {
  font_.Release();
  bitmap_.Release();
  ReleaseBuffers();
  font_size_ = size;
  size_key_ = size_key;
  font_.Create({.height = size, .bold = true});
  dirty_ = true;
}

void TYV12Font::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  Rasterise();
}

void TYV12Font::ReleaseBuffers() {
  coverage_ = {};
  ink_columns_ = {};
  ink_blocks_ = {};
  ink_pair_ends_ = {};
  raster_width_ = raster_height_ = 0;
}

void TYV12Font::Rasterise() {
  ++rasterisations_;
  dirty_ = false;
  const TTextExtent extent = font_.Measure(text_);
  int32_t width = ((extent.cx / 64) + 1) * 8;
  int32_t height = extent.cy / 8 + (WatermarkMode ? 200 : 0);
  // A bitmap the platform cannot make leaves nothing to draw.
  if (!bitmap_.Create(width * 8 + kRasterBorder, height * 8 + kRasterBorder)) width = height = 0;
  raster_width_ = width;
  raster_height_ = height;
  ink_blocks_.clear();
  ink_pair_ends_.clear();
  const size_t cells = size_t(width) * size_t(height);
  if (coverage_.size() < cells) coverage_.assign(2 * cells, 0);
  // The ink columns follow the width on their own: a wide, low raster after a narrow, high one
  // fits the old coverage but not the old columns.
  if (ink_columns_.size() < size_t(width)) ink_columns_.assign(size_t(width), 0);
  if (cells == 0) return;

  if (WatermarkMode) {
    RasteriseWatermark();
  } else {
    font_.Draw(
        bitmap_, text_, kRasterMargin, kRasterMargin,
        {kRasterMargin, kRasterMargin, width * 8 + kRasterMargin, height * 8 + kRasterMargin}, true,
        true);
  }
  std::fill_n(ink_columns_.begin(), width, 0);
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      int32_t sum = 0;
      for (int32_t k = 0; k < 8; ++k)
        sum += bit_counts_[bitmap_.Row(8 * r + kFirstCoverageRow + k)[kFirstCoverageByte + c]];
      coverage_[size_t(r) * size_t(width) + size_t(c)] = uint8_t(sum);
      if (sum != 0) ink_columns_[c] = 1;
    }
  }
  // The 2 x 2 blocks that carry ink, row pair by row pair: drawing visits only these.
  for (int32_t p = 0; p < height / 2; ++p) {
    for (int32_t i = 0; i + 1 < width; i += 2) {
      const int32_t sum = PairSum(i, p);
      if (sum > 0) ink_blocks_.push_back({i, sum});
    }
    ink_pair_ends_.push_back(ink_blocks_.size());
  }
}

void TYV12Font::RasteriseWatermark() {
  const int32_t h = size_key_ * 11 / 50;
  TRasterFont turned;
  if (!turned.Create({.height = h, .width = (h / 3) * 2, .escapement = 100})) return;
  const TClipRect all{0, 0, bitmap_.Width(), bitmap_.Height()};
  turned.Draw(bitmap_, text_, 0, 3 * h, all, true, false);
  turned.Draw(bitmap_, text_, -2, 3 * h - 2, all, MapsToWhite(PlayerSettings.WatermarkColor),
              false);
}

int32_t TYV12Font::PairSum(int32_t column, int32_t pair) const {
  return (Coverage(column, 2 * pair) + Coverage(column + 1, 2 * pair) +
          Coverage(column, 2 * pair + 1) + Coverage(column + 1, 2 * pair + 1)) /
         2;
}

// Row pairs of the raster drawn at picture row y: both rows must lie inside the picture.
int32_t TYV12Font::DrawnRowPairs(int32_t y, int32_t height) const {
  return std::clamp((height - y) / 2, 0, raster_height_ / 2);
}

namespace {
bool InsideClip(const std::optional<TClipRect>& clip, int32_t column) {
  return !clip || (column >= clip->left && column + 2 <= clip->right);
}
}  // namespace

void TYV12Font::MarkBrightColumns(const TPlanes& planes, int32_t x, int32_t y,
                                  const std::optional<TClipRect>& clip) {
  const int32_t pairs = DrawnRowPairs(y, planes.height);
  for (int32_t p = 0; p < pairs; ++p) {
    const int32_t row = y + 2 * p;
    for (size_t b = PairBegin(p); b < ink_pair_ends_[size_t(p)]; ++b) {
      const int32_t i = ink_blocks_[b].column;
      const int32_t c = x + i;
      if (!InsideClip(clip, c) || bright_[i]) continue;
      if (c + 2 >= planes.width) continue;
      for (int32_t k = 0; k < 2; ++k) {
        if (planes.Luma(c + k, row) > kBrightLuma || planes.Luma(c + k, row + 1) > kBrightLuma)
          bright_[i + k] = 1;
      }
    }
  }
  // A run of ink columns is usually one character: it turns dark as a whole.
  for (int32_t start = 0; start < raster_width_;) {
    if (!ink_columns_[start]) {
      ++start;
      continue;
    }
    int32_t end = start;
    while (end < raster_width_ && ink_columns_[end]) ++end;
    if (end < raster_width_ &&
        std::any_of(bright_.begin() + start, bright_.begin() + end, [](uint8_t b) { return b; }))
      std::fill(bright_.begin() + start, bright_.begin() + end, 1);
    start = end;
  }
}

void TYV12Font::DrawBlock(const TPlanes& planes, int32_t x, int32_t y,
                          const std::optional<TClipRect>& clip) {
  if (!SingleColor) MarkBrightColumns(planes, x, y, clip);
  const int32_t pairs = DrawnRowPairs(y, planes.height);
  for (int32_t p = 0; p < pairs; ++p) {
    const int32_t row = y + 2 * p;
    uint8_t* v_row = planes.v + size_t(y / 2 + p) * size_t(planes.chroma_stride) + size_t(x / 2);
    uint8_t* u_row = planes.u + size_t(y / 2 + p) * size_t(planes.chroma_stride) + size_t(x / 2);
    for (size_t b = PairBegin(p); b < ink_pair_ends_[size_t(p)]; ++b) {
      const int32_t i = ink_blocks_[b].column;
      const int32_t c = x + i;
      const int32_t s = ink_blocks_[b].sum;
      if (c + 2 >= planes.width || !InsideClip(clip, c)) continue;
      for (int32_t dy = 0; dy < 2; ++dy) {
        for (int32_t dx = 0; dx < 2; ++dx) {
          const int32_t cover = Coverage(i + dx, 2 * p + dy);
          const int32_t target = !SingleColor && bright_[i + dx] ? kDarkLuma : y_;
          uint8_t& luma = planes.Luma(c + dx, row + dy);
          luma = uint8_t(((64 - cover) * luma + cover * target) / 64);
        }
      }
      uint8_t& v = v_row[i / 2];
      uint8_t& u = u_row[i / 2];
      v = uint8_t(((128 - s) * v + s * v_) / 128);
      u = uint8_t(((128 - s) * u + s * u_) / 128);
    }
  }
}

void TYV12Font::DrawText(int32_t x, int32_t y, uint8_t* picture, const std::string& text,
                         int32_t width, int32_t height, int32_t stride,
                         std::optional<TClipRect> clip) {
  if (picture == nullptr || width < 1 || height < 1 || stride < width) return;
  if (height != size_key_) SetFontSize(AutomaticFontSize(width), height);
  if (text != text_ || dirty_) {
    text_ = text;
    Rasterise();
  }
  bright_.assign(size_t(raster_width_), 0);
  if (raster_width_ == 0 || raster_height_ == 0) return;
  const TPlanes planes(picture, width, height, stride);
  if (!WatermarkMode) {
    DrawBlock(planes, PlaceText(x, kLastPlacedX, kReferenceWidth, width, raster_width_),
              PlaceText(y, kLastPlacedY, kReferenceHeight, height, raster_height_), clip);
    return;
  }
  if (width < 3 || height < 3) return;
  for (int32_t ty = raster_height_ / 4; ty < height; ty += height / 3)
    for (int32_t tx = 0; tx < width; tx += width / 3) DrawBlock(planes, tx, ty, clip);
}

void TYV12Font::DrawZone(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t* picture,
                         int32_t width, int32_t height) {
  if (picture == nullptr || width < 1 || height < 1 || PenWidth <= 0) return;
  const int32_t p = std::max(2, PenWidth);
  const auto map = [&](int32_t v, int32_t reference, int32_t extent) {
    return std::max(0, std::min(ScaleToPicture(v, reference, extent), extent - p - 1));
  };
  const int32_t left = map(x1, kReferenceWidth, width), right = map(x2, kReferenceWidth, width);
  const int32_t top = map(y1, kReferenceHeight, height);
  const int32_t bottom = map(y2, kReferenceHeight, height);

  uint8_t* luma = picture;
  const size_t luma_size = size_t(width) * size_t(height);
  uint8_t* v_plane = picture + luma_size;
  const size_t chroma_size = size_t(width / 2) * size_t(height / 2);
  uint8_t* u_plane = v_plane + chroma_size;
  // Where a run starting at (x, y) writes its first chroma sample.
  const auto chroma_start = [&](int32_t x, int32_t y) -> size_t {
    const int64_t at = ((int64_t((y + 1) / 2) * width) / 2) + (x + 1) / 2 - 1;
    return size_t(std::max<int64_t>(at, 0));
  };
  const auto paint_row = [&](int32_t row, int32_t from, int32_t to) {
    if (row >= height) return;
    size_t sample = chroma_start(from, row);
    for (int32_t x = from; x < to; ++x) {
      luma[size_t(row) * size_t(width) + size_t(x)] = uint8_t(y_);
      if (x % 2 == 0) {
        if (sample >= chroma_size) return;
        v_plane[sample] = uint8_t(v_);
        u_plane[sample] = uint8_t(u_);
        ++sample;
      }
    }
  };
  const auto paint_column = [&](int32_t column, int32_t from, int32_t to) {
    if (column >= width) return;
    size_t sample = chroma_start(column, from);
    for (int32_t y = from; y < to; ++y) {
      luma[size_t(y) * size_t(width) + size_t(column)] = uint8_t(y_);
      if (y % 2 == 0) {
        if (sample >= chroma_size) return;
        v_plane[sample] = uint8_t(v_);
        u_plane[sample] = uint8_t(u_);
        sample += size_t(width / 2);
      }
    }
  };

  // Rows and columns past the picture are skipped, so a huge pen stops at the picture's size.
  const int32_t row_end = std::min(right, width);
  for (int32_t k = 0; k < std::min(PenWidth, height); ++k) {
    paint_row(top + k, left, row_end);
    paint_row(bottom + k, left, row_end);
  }
  const int32_t column_end = int32_t(std::min<int64_t>(int64_t(bottom) + PenWidth, height));
  for (int32_t k = 0; k < std::min(PenWidth, width); ++k) {
    paint_column(left + k, top, column_end);
    paint_column(right + k, top, column_end);
  }
}

}  // namespace zrplay
