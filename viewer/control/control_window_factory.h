// Where the control object gets its window: the device-family preview window
// (TPreviewControlWindow) as a child of the host's parent window, unless a factory is in
// place. A factory is set once at load time (before any host creates a control); read on the
// host's user-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/messages.h"
#include "viewer/control/control_window.h"

namespace viewer {

using TControlWindowFactory = std::function<std::unique_ptr<TControlWindow>(
    plat::HWND parent, int32_t width, int32_t height)>;

void SetControlWindowFactory(TControlWindowFactory factory);
// The new window: the factory's, else the preview window.
std::unique_ptr<TControlWindow> CreateControlWindow(plat::HWND parent, int32_t width,
                                                    int32_t height);

}  // namespace viewer
