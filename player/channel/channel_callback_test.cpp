// Callbacks that call back into their own channel while it hands them a picture: one that
// clears itself, one that asks the picture size. Real H.264 through the decoding library.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "player/channel/channel.h"
#include "player/channel/test_channel_support.h"

namespace zrplay {
namespace {

// What a callback saw; the callback runs on the decoder's thread.
struct TReentry {
  TChannel* channel = nullptr;
  bool clear_itself = false;
  std::mutex lock;
  std::condition_variable cv;
  int calls = 0;
  int32_t width = -1, height = -1;

  static void Dec(int32_t, const char*, int32_t, const ZR_FRAME_INFO*, ZR_USER user, int32_t) {
    auto* self = reinterpret_cast<TReentry*>(user);
    int32_t w = 0;
    int32_t h = 0;
    if (self->clear_itself) {
      self->channel->SetDecCallBack(nullptr);
    } else {
      self->channel->GetPictureSize(w, h);
    }
    std::lock_guard guard(self->lock);
    ++self->calls;
    self->width = w;
    self->height = h;
    self->cv.notify_all();
  }
  bool WaitFor(int count) {
    std::unique_lock guard(lock);
    return cv.wait_for(guard, std::chrono::seconds(60), [&] { return calls >= count; });
  }
};

TEST(ChannelCallbackReentryTest, ACallbackMayClearItselfOrAskThePictureSize) {
  TSettingsScope settings;
  PlayerSettings.EnableBufferOnLive = false;
  std::vector<TFixtureFrame> frames;
  for (TFixtureFrame& f : ReadFixture("h264_704x576_g711u.rec")) {
    if (f.IsVideo()) frames.push_back(std::move(f));
    if (frames.size() == 6) break;
  }
  ASSERT_EQ(frames.size(), 6u);
  for (const bool clear : {true, false}) {
    SCOPED_TRACE(clear ? "clears itself" : "asks the picture size");
    int32_t vendor_port = -1;
    ASSERT_TRUE(VendorVideoDecoder().GetFreePort(vendor_port));
    auto channel = std::make_unique<TChannel>(4, vendor_port);
    TReentry reentry;
    reentry.channel = channel.get();
    reentry.clear_itself = clear;
    channel->SetDecCallBackEx(&TReentry::Dec, reinterpret_cast<ZR_USER>(&reentry));
    ASSERT_EQ(channel->Play(0), 1);
    for (const TFixtureFrame& f : frames) {
      ASSERT_EQ(channel->InputVideoData(f.block.data(), static_cast<int32_t>(f.block.size())), 1);
    }
    // A callback blocked on its own channel would never return, and stop would hang.
    if (clear) {
      ASSERT_TRUE(reentry.WaitFor(1));
    } else {
      ASSERT_TRUE(reentry.WaitFor(static_cast<int>(frames.size())));
      EXPECT_EQ(reentry.width, 704);
      EXPECT_EQ(reentry.height, 576);
    }
    EXPECT_EQ(channel->Stop(), 1);
    // Cleared after its first picture: never called again.
    EXPECT_EQ(reentry.calls, clear ? 1 : static_cast<int>(frames.size()));
    channel.reset();
    VendorVideoDecoder().ReleasePort(vendor_port);
  }
}

}  // namespace
}  // namespace zrplay
