#include "tools/zrplay/display.h"

#include <SDL.h>

#include <cstdlib>

#include "platform/gdi.h"

namespace zrplay_tool {

namespace {

class THeadlessDisplay final : public TDisplay {
 public:
  std::vector<TCommand> Poll() override { return {}; }
  void Present(plat::HWND) override {}
  void SetTitle(const std::string&) override {}
  bool Visible() const override { return false; }
};

class TSdlDisplay final : public TDisplay {
 public:
  TSdlDisplay(SDL_Window* window, SDL_Renderer* renderer) : window_(window), renderer_(renderer) {}
  ~TSdlDisplay() override {
    if (texture_) SDL_DestroyTexture(texture_);
    SDL_DestroyRenderer(renderer_);
    SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  std::vector<TCommand> Poll() override {
    std::vector<TCommand> commands;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
      using K = TCommand::EKind;
      if (e.type == SDL_QUIT) commands.push_back({K::Quit});
      if (e.type == SDL_MOUSEBUTTONDOWN && e.button.button == SDL_BUTTON_LEFT) {
        int w = 0, h = 0;
        SDL_GetWindowSize(window_, &w, &h);
        if (w > 0) commands.push_back({K::SeekPosition, static_cast<double>(e.button.x) / w});
      }
      if (e.type != SDL_KEYDOWN) continue;
      const SDL_Keycode key = e.key.keysym.sym;
      switch (key) {
        case SDLK_q:
        case SDLK_ESCAPE:
          commands.push_back({K::Quit});
          break;
        case SDLK_SPACE:
          commands.push_back({K::Pause});
          break;
        case SDLK_PLUS:
        case SDLK_EQUALS:
        case SDLK_KP_PLUS:
          commands.push_back({K::Faster});
          break;
        case SDLK_MINUS:
        case SDLK_KP_MINUS:
          commands.push_back({K::Slower});
          break;
        case SDLK_RIGHT:
        case SDLK_PERIOD:
          commands.push_back({K::StepForward});
          break;
        case SDLK_LEFT:
        case SDLK_COMMA:
          commands.push_back({K::StepBack});
          break;
        case SDLK_s:
          commands.push_back({K::Snapshot});
          break;
        case SDLK_HOME:
          commands.push_back({K::SeekPosition, 0});
          break;
        default:
          if (key >= SDLK_0 && key <= SDLK_9)
            commands.push_back({K::SeekPosition, (key - SDLK_0) / 10.0});
      }
    }
    return commands;
  }

  void Present(plat::HWND window) override {
    int32_t w = 0, h = 0;
    if (!plat::GetWindowPixels(window, &pixels_, &w, &h) || w < 1 || h < 1) return;
    if (texture_ == nullptr || w != tex_w_ || h != tex_h_) {
      if (texture_) SDL_DestroyTexture(texture_);
      texture_ =
          SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
      tex_w_ = w;
      tex_h_ = h;
      if (texture_ == nullptr) return;
    }
    SDL_UpdateTexture(texture_, nullptr, pixels_.data(), w * 4);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
  }

  void SetTitle(const std::string& title) override { SDL_SetWindowTitle(window_, title.c_str()); }
  bool Visible() const override { return true; }

 private:
  SDL_Window* window_;
  SDL_Renderer* renderer_;
  SDL_Texture* texture_ = nullptr;
  int tex_w_ = 0, tex_h_ = 0;
  std::vector<uint32_t> pixels_;
};

}  // namespace

std::unique_ptr<TDisplay> OpenDisplay(bool allow_window, int width, int height,
                                      const std::string& title) {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool has_display = (display && *display) || (wayland && *wayland);
  if (allow_window && has_display && SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
    SDL_Window* window =
        SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                         height, SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    if (window != nullptr) {
      // Software rendering works on every display, virtual ones included.
      SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
      if (renderer != nullptr) return std::make_unique<TSdlDisplay>(window, renderer);
      SDL_DestroyWindow(window);
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  return std::make_unique<THeadlessDisplay>();
}

}  // namespace zrplay_tool
