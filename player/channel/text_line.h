// TTextLine: one overlay line of a channel: a position in the 704 x 576 reference picture, a
// text and the font that draws it into YV12 pictures. Special x values make the line a
// watermark (-300: tiled over the whole picture), a setup zone (-100) or an alarm zone (-200;
// the text holds the rectangle as "x1,y1,x2,y2"). Colours and switches come from the player
// settings. Used under its channel's overlay lock (texts change on caller threads, drawing runs
// on the decoder's thread). Owns its TYV12Font, made on first use.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "player/imaging/yv12_font.h"

namespace zrplay {

class TTextLine {
 public:
  static constexpr int32_t kWatermarkX = -300;
  static constexpr int32_t kSetupZoneX = -100;
  static constexpr int32_t kAlarmZoneX = -200;
  // Where the watermark line is drawn; the tiling ignores it.
  static constexpr int32_t kWatermarkDrawX = 16;
  static constexpr int32_t kWatermarkDrawY = 100;
  static constexpr uint32_t kWatermarkColour = 0x626262;

  explicit TTextLine(int32_t x = 0, int32_t y = 0);
  ~TTextLine();
  TTextLine(const TTextLine&) = delete;
  TTextLine& operator=(const TTextLine&) = delete;

  int32_t X() const { return x_; }
  int32_t Y() const { return y_; }
  const std::string& Text() const { return text_; }
  // A line that turns into another kind (text, watermark, zone) gets a fresh font, so nothing
  // of the old kind's look stays with it.
  void SetPosition(int32_t x, int32_t y);
  // UTF-8. A new text is rasterised at once.
  void SetText(const std::string& text);
  // Draws the line into a YV12 picture of width x height (stride = width). Zones are drawn
  // only with ShowAlarmZone.
  void Draw(uint8_t* picture, int32_t width, int32_t height);

  // The line's font; nullptr before first use.
  const TYV12Font* Font() const { return font_.get(); }

 private:
  enum class EKind { Text, Watermark, SetupZone, AlarmZone };
  static EKind KindOf(int32_t x);
  void PrepareFont();

  int32_t x_;
  int32_t y_;
  std::string text_;
  std::unique_ptr<TYV12Font> font_;
};

// The rectangle of a zone line's text: four integers separated by commas (x1, y1, x2, y2; a
// fifth part and beyond are ignored). Three parts or fewer give (0, 0, 0, 0); a part that is
// no integer reads as 0.
std::array<int32_t, 4> ParseZoneText(const std::string& text);

}  // namespace zrplay
