// One text line's writer into YV12 pictures: rasterises the line's text at eight times the
// picture resolution into a two-colour bitmap, reduces each 8 x 8 block to a coverage of
// 0..64 and blends the colour into luma and chroma with it (anti-aliased text without a colour
// bitmap). Also tiles a watermark and paints zone rectangles. The raster is cached until the
// text, colour or size changes.
//
// Pictures: one contiguous YV12 buffer, the Y plane (stride x H), then V, then U, each
// (stride / 2) x (H / 2); callers pass stride = W. Positions and zones are given in a 704 x 576
// reference picture. Used by the thread that draws its channel's frames; owns its font, bitmap
// and coverage buffers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "player/imaging/font_raster.h"

namespace zrplay {

class TYV12Font {
 public:
  static constexpr int32_t kReferenceWidth = 704;
  static constexpr int32_t kReferenceHeight = 576;

  TYV12Font();
  TYV12Font(const TYV12Font&) = delete;
  TYV12Font& operator=(const TYV12Font&) = delete;

  // 24-bit colour, red in the low byte.
  void SetColor(uint32_t colour);
  // Cell height in eighths of a picture pixel; `size_key` is the picture height it is for.
  void SetFontSize(int32_t size, int32_t size_key);
  void SetText(const std::string& text);

  // Draws `text` (UTF-8) at (x, y) of the reference picture. With a clip rectangle, a pair of
  // columns starting at picture column c is drawn only when c >= left and c + 2 <= right.
  // Draws nothing for a picture below 1 x 1 or a stride below W.
  void DrawText(int32_t x, int32_t y, uint8_t* picture, const std::string& text, int32_t width,
                int32_t height, int32_t stride, std::optional<TClipRect> clip = std::nullopt);
  // Paints a rectangle outline of `PenWidth` in the colour, corners in the reference picture.
  void DrawZone(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t* picture, int32_t width,
                int32_t height);

  // Characters over bright areas stay in the colour instead of turning dark.
  bool SingleColor = false;
  int32_t PenWidth;
  // Rasterised large and turned, and tiled over the whole picture.
  bool WatermarkMode = false;

  int32_t Y() const { return y_; }
  int32_t U() const { return u_; }
  int32_t V() const { return v_; }
  int32_t FontSize() const { return font_size_; }
  int32_t SizeKey() const { return size_key_; }
  int32_t RasterWidth() const { return raster_width_; }
  int32_t RasterHeight() const { return raster_height_; }
  // Coverage of picture pixel (column, row) of the text block, 0..64.
  uint8_t Coverage(int32_t column, int32_t row) const {
    return coverage_[size_t(row) * size_t(raster_width_) + size_t(column)];
  }
  // How many times the text has been rasterised; lets the cache be observed.
  uint64_t Rasterisations() const { return rasterisations_; }

  // Picture position of a reference coordinate (round half to even).
  static int32_t ScaleToPicture(int32_t value, int32_t reference, int32_t extent);

 private:
  struct TPlanes;

  void Rasterise();
  void RasteriseWatermark();
  void ReleaseBuffers();
  void DrawBlock(const TPlanes& planes, int32_t x, int32_t y, const std::optional<TClipRect>& clip);
  void MarkBrightColumns(const TPlanes& planes, int32_t x, int32_t y,
                         const std::optional<TClipRect>& clip);
  int32_t PairSum(int32_t column, int32_t row) const;
  size_t PairBegin(int32_t pair) const { return pair == 0 ? 0 : ink_pair_ends_[size_t(pair) - 1]; }
  int32_t DrawnRowPairs(int32_t y, int32_t height) const;

  TRasterFont font_;
  std::string text_;
  int32_t y_ = 235, u_ = 128, v_ = 128;
  uint32_t colour_ = 0xFFFFFF;
  int32_t raster_width_ = 0;
  int32_t raster_height_ = 0;
  TMonoBitmap bitmap_;
  std::vector<uint8_t> coverage_;
  uint8_t bit_counts_[256] = {};
  bool dirty_ = false;
  std::vector<uint8_t> ink_columns_;
  // The 2 x 2 blocks with ink (left column, coverage sum / 2), row pair after row pair, and
  // where each row pair's blocks end; made by rasterisation.
  struct TInkBlock {
    int32_t column;
    int32_t sum;
  };
  std::vector<TInkBlock> ink_blocks_;
  std::vector<size_t> ink_pair_ends_;
  std::vector<uint8_t> bright_;  // the bright-area mask of the current DrawText call
  int32_t font_size_ = 0;
  int32_t size_key_ = 0;
  uint64_t rasterisations_ = 0;
};

}  // namespace zrplay
