// Arbitrary text (overlay records carry it from the network), positions, sizes, colours,
// clip rectangles and zones drawn into a small YV12 picture with guard bytes after it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "player/imaging/yv12_font.h"
#include "player/imaging/yv12_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int32_t width = input.ConsumeIntegralInRange<int32_t>(1, 96);
  const int32_t height = input.ConsumeIntegralInRange<int32_t>(1, 96);
  const int32_t x = input.ConsumeIntegralInRange<int32_t>(-800, 800);
  const int32_t y = input.ConsumeIntegralInRange<int32_t>(-800, 800);
  const uint32_t colour = input.ConsumeIntegral<uint32_t>() & 0xFFFFFF;
  const bool watermark = input.ConsumeBool();
  const bool single = input.ConsumeBool();
  const bool resize = input.ConsumeBool();
  const int32_t size_value = input.ConsumeIntegralInRange<int32_t>(-10, 1200);
  std::optional<zrplay::TClipRect> clip;
  if (input.ConsumeBool()) {
    clip = zrplay::TClipRect{input.ConsumeIntegralInRange<int32_t>(-8, 104), 0,
                             input.ConsumeIntegralInRange<int32_t>(-8, 104), 0};
  }
  const int32_t pen = input.ConsumeIntegralInRange<int32_t>(-2, 200);
  int32_t zone[4];
  for (int32_t& v : zone) v = input.ConsumeIntegral<int32_t>();
  const std::string second = input.ConsumeRandomLengthString(64);
  const std::string text = input.ConsumeRemainingBytesAsString();

  constexpr size_t kGuard = 32;
  std::vector<uint8_t> picture(zrplay::YV12Size(width, height) + kGuard, 0x5A);
  zrplay::TYV12Font font;
  font.WatermarkMode = watermark;
  font.SingleColor = single;
  font.PenWidth = pen;
  font.SetColor(colour);
  font.DrawText(x, y, picture.data(), text, width, height, width, clip);
  if (resize) font.SetFontSize(size_value, height);
  font.SetText(second);
  font.DrawText(y, x, picture.data(), second, width, height, width, clip);
  font.DrawZone(zone[0], zone[1], zone[2], zone[3], picture.data(), width, height);
  for (size_t i = picture.size() - kGuard; i < picture.size(); ++i)
    if (picture[i] != 0x5A) std::abort();
  return 0;
}
