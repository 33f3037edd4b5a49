// Cost of drawing one decoded picture through the renderer: scaling and conversion into a
// window's surface, the work the decoder's thread does for every shown picture.
#include <benchmark/benchmark.h>

#include <vector>

#include "modules/kvdraw/kvdraw.h"
#include "platform/gdi.h"
#include "platform/messages.h"

namespace {

// Args: picture width, height, window width, height; range(4) nonzero zooms to a quarter.
void BM_DrawOneFrame(benchmark::State& state) {
  const int32_t pw = int32_t(state.range(0)), ph = int32_t(state.range(1));
  const plat::HWND window = plat::CreateWindowHandle();
  plat::MoveWindow(window, 0, 0, int32_t(state.range(2)), int32_t(state.range(3)));
  const ZRDRAW_HANDLE handle = ZrDraw_CreatePlayer(window);
  if (state.range(4)) {
    const ZRDRAW_RECT quarter{0, 0, pw / 2, ph / 2};
    ZrDraw_DoZoom(handle, &quarter, 0, ZRDRAW_ZOOM_ENABLE);
  }
  std::vector<uint8_t> picture(size_t(pw) * ph * 3 / 2);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint8_t(i * 7);
  for (auto _ : state) {
    if (!ZrDraw_DrawOneFrame(handle, picture.data(), int32_t(picture.size()), pw, ph, 0)) {
      state.SkipWithError("draw refused");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  ZrDraw_FreePlayer(handle);
  plat::DestroyWindowHandle(window);
}

BENCHMARK(BM_DrawOneFrame)
    ->ArgNames({"pw", "ph", "ww", "wh", "zoom"})
    ->Args({352, 288, 352, 288, 0})
    ->Args({1280, 720, 640, 360, 0})
    ->Args({1920, 1080, 1280, 720, 0})
    ->Args({1920, 1080, 1920, 1080, 0})
    ->Args({1920, 1080, 1280, 720, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
