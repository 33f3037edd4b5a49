// Face lookups from a thread that is still drawing while the process exits, as the decoding
// thread of a view a host never closed does: the remembered faces outlive the exit handlers.
#include "platform/font_raster.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

namespace plat {
namespace {

TEST(FontRaster, LookupsFromAThreadStillRunningAtExit) {
  EXPECT_EXIT(
      {
        constexpr int kFaces = 16;
        std::atomic<int> calls{0};
        std::thread([&calls] {
          for (int i = 0;; ++i) {
            FindFontFace(i % kFaces == 0 ? "" : "Family " + std::to_string(i % kFaces), false);
            calls.fetch_add(1);
          }
        }).detach();
        // Every face looked up once, so fontconfig is done; then only the cache is read.
        while (calls.load() < 4 * kFaces) std::this_thread::yield();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace plat
