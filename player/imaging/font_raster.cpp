#include "player/imaging/font_raster.h"

#include "player/config/player_settings.h"
#include "player/player_log.h"

#include <string>

namespace zrplay {

TFontFace FindFontFace() {
  TFontFace face;
  static_cast<plat::TFontFace&>(face) = plat::FindFontFace(PlayerSettings.FontName, true);
  if (face.default_cjk) WriteLog("auto get font name = " + face.name);
  // No match at all: fontconfig has no fonts, so every font stays empty.
  WriteLog(face.found ? "get font info by system" : "get font info by stock");
  WriteLog("font charset = " + std::to_string(face.charset) + ", name = " + face.name);
  return face;
}

const TFontFace& ChooseFontFace() {
  static const TFontFace face = FindFontFace();
  return face;
}

bool MapsToWhite(uint32_t colour) {
  const uint32_t sum = (colour & 0xFF) + ((colour >> 8) & 0xFF) + ((colour >> 16) & 0xFF);
  return sum * 2 > 3 * 255;  // nearer to white than to black
}

}  // namespace zrplay
