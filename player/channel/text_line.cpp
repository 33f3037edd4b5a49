#include "player/channel/text_line.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "player/config/player_settings.h"

namespace zrplay {

namespace {

// A whole decimal integer (blanks around it allowed) that fits 32 bits, else 0.
int32_t ZoneValue(const std::string& part) {
  const size_t first = part.find_first_not_of(' ');
  if (first == std::string::npos) return 0;
  const size_t last = part.find_last_not_of(' ');
  const std::string digits = part.substr(first, last - first + 1);
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(digits.c_str(), &end, 10);
  if (end == digits.c_str() || *end != '\0' || errno == ERANGE ||
      value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return 0;
  }
  return static_cast<int32_t>(value);
}

}  // namespace

std::array<int32_t, 4> ParseZoneText(const std::string& text) {
  std::array<int32_t, 4> corners{};
  std::array<std::string, 4> parts;
  size_t start = 0;
  for (size_t k = 0; k < parts.size(); ++k) {
    const size_t comma = text.find(',', start);
    if (comma == std::string::npos) {
      if (k < parts.size() - 1) return {};  // three parts or fewer
      parts[k] = text.substr(start);
    } else {
      parts[k] = text.substr(start, comma - start);
      start = comma + 1;
    }
  }
  for (size_t k = 0; k < parts.size(); ++k) corners[k] = ZoneValue(parts[k]);
  return corners;
}

TTextLine::TTextLine(int32_t x, int32_t y) : x_(x), y_(y) {}

TTextLine::~TTextLine() = default;

TTextLine::EKind TTextLine::KindOf(int32_t x) {
  switch (x) {
    case kWatermarkX:
      return EKind::Watermark;
    case kSetupZoneX:
      return EKind::SetupZone;
    case kAlarmZoneX:
      return EKind::AlarmZone;
    default:
      return EKind::Text;
  }
}

void TTextLine::SetPosition(int32_t x, int32_t y) {
  if (KindOf(x) != KindOf(x_)) font_.reset();
  x_ = x;
  y_ = y;
}

void TTextLine::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  PrepareFont();
  font_->SetText(text_);
}

void TTextLine::PrepareFont() {
  if (!font_) font_ = std::make_unique<TYV12Font>();
  const TPlayerSettings& settings = PlayerSettings;
  if (KindOf(x_) == EKind::Watermark) {
    font_->WatermarkMode = true;
    font_->SetColor(kWatermarkColour);
    font_->SingleColor = true;
  } else if (settings.EnableOSDColor) {
    font_->SetColor(settings.OSDColor);
    font_->SingleColor = true;
  }
}

void TTextLine::Draw(uint8_t* picture, int32_t width, int32_t height) {
  PrepareFont();
  const TPlayerSettings& settings = PlayerSettings;
  switch (KindOf(x_)) {
    case EKind::SetupZone:
    case EKind::AlarmZone: {
      if (!settings.ShowAlarmZone) return;
      font_->SetColor(x_ == kSetupZoneX ? settings.SetupColor : settings.AlarmColor);
      font_->SingleColor = true;
      const std::array<int32_t, 4> zone = ParseZoneText(text_);
      font_->DrawZone(zone[0], zone[1], zone[2], zone[3], picture, width, height);
      return;
    }
    case EKind::Watermark:
      font_->DrawText(kWatermarkDrawX, kWatermarkDrawY, picture, text_, width, height, width);
      return;
    case EKind::Text:
      font_->DrawText(x_, y_, picture, text_, width, height, width);
      return;
  }
}

}  // namespace zrplay
