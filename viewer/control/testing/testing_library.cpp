// The control library as hosts see it, with the fake window in place of the preview window:
// host-interface tests load this copy to drive a control without a stream server.
#include "viewer/control/control_window_factory.h"
#include "viewer/control/testing/fake_control_window.h"

namespace {
struct TInstallFakeWindow {
  TInstallFakeWindow() {
    viewer::SetControlWindowFactory([](plat::HWND parent, int32_t width, int32_t height) {
      return std::make_unique<viewer::TFakeControlWindow>(parent, width, height);
    });
  }
} g_install_fake_window;
}  // namespace
