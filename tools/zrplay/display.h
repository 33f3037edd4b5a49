// Where zrplay shows the play window: a desktop window through SDL2 when a display exists,
// or nothing (headless). Presents what the player drew into the platform window and turns
// keys and clicks into commands. Main thread only; owns its SDL window.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/messages.h"

namespace zrplay_tool {

struct TCommand {
  enum class EKind { Quit, Pause, Faster, Slower, StepForward, StepBack, SeekPosition, Snapshot };
  EKind Kind;
  double Position = 0;  // SeekPosition: 0..1
};

class TDisplay {
 public:
  virtual ~TDisplay() = default;
  // Commands given since the last call.
  virtual std::vector<TCommand> Poll() = 0;
  // Shows what the window holds now.
  virtual void Present(plat::HWND window) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual bool Visible() const = 0;
};

// A desktop window of the given size when allowed and a display answers, else headless.
std::unique_ptr<TDisplay> OpenDisplay(bool allow_window, int width, int height,
                                      const std::string& title);

}  // namespace zrplay_tool
