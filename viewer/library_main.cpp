// Load and unload of the viewer control library.
#include "viewer/viewer_log.h"

namespace {
__attribute__((destructor)) void UnloadViewer() {
  viewer::ShutdownViewerLog();
}
}  // namespace
