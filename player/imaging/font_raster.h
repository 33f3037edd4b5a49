// The player's side of the shared font engine (platform/font_raster.h): the one process-wide
// face its text is drawn with, chosen once from the configuration, and fonts of that face.
// A font object belongs to the one thread that draws with it; the face choice is made once.
#pragma once

#include <cstdint>

#include "platform/font_raster.h"

namespace zrplay {

using plat::TClipRect;
using plat::TFontDescription;
using plat::TMonoBitmap;
using plat::TTextExtent;

// Charset number the face is reported with: UTF-8 text reaches every script the face has.
constexpr int32_t kDefaultCharset = 1;

// The process-wide face of the player's text.
struct TFontFace : plat::TFontFace {
  int32_t charset = kDefaultCharset;
};

// Chooses the face the first time it is called (any thread) and returns it ever after: the
// configured FontName, else the system's default CJK-capable sans; logs the choice. An empty
// file means fontconfig found nothing and every font stays empty.
const TFontFace& ChooseFontFace();
// Chooses the face afresh (ChooseFontFace keeps the first choice) and logs it.
TFontFace FindFontFace();

// A font of the process-wide face.
class TRasterFont : public plat::TRasterFont {
 public:
  bool Create(const TFontDescription& description) {
    return plat::TRasterFont::Create(description, ChooseFontFace());
  }
};

// The nearest of the bitmap's two colours to a 24-bit colour (red in the low byte).
bool MapsToWhite(uint32_t colour);

}  // namespace zrplay
