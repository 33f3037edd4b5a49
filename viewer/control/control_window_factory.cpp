#include "viewer/control/control_window_factory.h"

#include "viewer/control/preview_control_window.h"

#include <mutex>

namespace viewer {

namespace {
struct TFactoryHolder {
  std::mutex mutex;
  TControlWindowFactory factory;
};
TFactoryHolder& Holder() {
  static TFactoryHolder holder;
  return holder;
}
}  // namespace

void SetControlWindowFactory(TControlWindowFactory factory) {
  std::lock_guard<std::mutex> lock(Holder().mutex);
  Holder().factory = std::move(factory);
}

std::unique_ptr<TControlWindow> CreateControlWindow(plat::HWND parent, int32_t width,
                                                    int32_t height) {
  TControlWindowFactory factory;
  {
    std::lock_guard<std::mutex> lock(Holder().mutex);
    factory = Holder().factory;
  }
  if (factory) return factory(parent, width, height);
  return std::make_unique<TPreviewControlWindow>(parent, width, height);
}

}  // namespace viewer
