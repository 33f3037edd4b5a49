// Test helpers for what a playing channel hands on: the pictures its decode callback gets,
// fixture frames rewritten with other overlay records or head bytes, a channel played the way
// callers play it, and PNG copies of pictures to look at. Test code only.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "player/channel/channel.h"
#include "player/channel/test_channel_support.h"
#include "player/imaging/yv12_picture.h"

namespace zrplay {

// One picture as the decode callback got it (YV12, width x height).
struct TPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> yv12;

  uint8_t Luma(int32_t x, int32_t y) const { return yv12[size_t(y) * size_t(width) + size_t(x)]; }
};

// Keeps every picture the decode callback gets, in order. Any thread.
class TPictureCollector {
 public:
  static void Dec(int32_t, const char* data, int32_t size, const ZR_FRAME_INFO* info, ZR_USER user,
                  int32_t) {
    auto* self = reinterpret_cast<TPictureCollector*>(user);
    TPicture p{info->nWidth, info->nHeight,
               std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(data),
                                    reinterpret_cast<const uint8_t*>(data) + size)};
    std::lock_guard lock(self->lock_);
    self->pictures_.push_back(std::move(p));
    self->cv_.notify_all();
  }
  // Waits (generously, for sanitizer builds) until count pictures have arrived.
  bool WaitFor(size_t count) {
    std::unique_lock lock(lock_);
    return cv_.wait_for(lock, std::chrono::seconds(120), [&] { return pictures_.size() >= count; });
  }
  std::vector<TPicture> Pictures() {
    std::lock_guard lock(lock_);
    return pictures_;
  }
  size_t Count() {
    std::lock_guard lock(lock_);
    return pictures_.size();
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  std::vector<TPicture> pictures_;
};

// The first key frame of a fixture and the video frames after it, count in all.
inline std::vector<TFixtureFrame> FixtureVideo(const std::string& file, size_t count) {
  std::vector<TFixtureFrame> out;
  for (TFixtureFrame& f : ReadFixture(file)) {
    if (!f.IsVideo()) continue;
    if (out.empty() && !IsKeyFrameType(f.head.FrameType)) continue;
    out.push_back(std::move(f));
    if (out.size() == count) break;
  }
  return out;
}

// What to write into a frame's head and behind its payload.
struct TOverlaySpec {
  std::vector<TOverlayRecord> records;
  uint8_t encoding = 1;
  uint8_t rotation = 0;
};

// The block with its overlay records, encoding and rotation bytes replaced.
inline std::vector<uint8_t> Rewrite(const TFixtureFrame& frame, const TOverlaySpec& spec) {
  TFrameHead head = frame.head;
  head.OverlayCount = static_cast<uint8_t>(spec.records.size());
  head.OverlaySize = kOverlayRecordSize;
  head.OverlayEncoding = spec.encoding;
  head.Rotation = spec.rotation;
  std::vector<uint8_t> block(kFrameHeadSize + head.PayloadLength);
  std::memcpy(block.data(), &head, sizeof head);
  std::memcpy(block.data() + kFrameHeadSize, frame.block.data() + kFrameHeadSize,
              head.PayloadLength);
  for (const TOverlayRecord& r : spec.records) {
    const auto* p = reinterpret_cast<const uint8_t*>(&r);
    block.insert(block.end(), p, p + sizeof r);
  }
  return block;
}

inline TOverlayRecord Record(int16_t x, int16_t y, const std::string& text) {
  TOverlayRecord r{};
  r.X = x;
  r.Y = y;
  std::memcpy(r.Text, text.data(), std::min<size_t>(text.size(), kOverlayTextSize));
  return r;
}

// A channel on a vendor port of its own, played the way callers play it (into no window
// unless given one), with the decode callback collecting its pictures.
class TPlayedChannel {
 public:
  explicit TPlayedChannel(std::function<void(TChannel&)> before_play = {}, plat::HWND window = 0) {
    EXPECT_TRUE(VendorVideoDecoder().GetFreePort(vendor_port_));
    channel_ = std::make_unique<TChannel>(5, vendor_port_);
    if (before_play) before_play(*channel_);
    channel_->SetDecCallBackEx(&TPictureCollector::Dec, reinterpret_cast<ZR_USER>(&collector_));
    EXPECT_EQ(channel_->Play(window), 1);
  }
  ~TPlayedChannel() {
    channel_.reset();  // stops before the collector goes
    VendorVideoDecoder().ReleasePort(vendor_port_);
  }
  TPlayedChannel(const TPlayedChannel&) = delete;
  TPlayedChannel& operator=(const TPlayedChannel&) = delete;

  TChannel& Channel() { return *channel_; }
  TPictureCollector& Collector() { return collector_; }
  int32_t VendorPort() const { return vendor_port_; }

  void Feed(const std::vector<uint8_t>& block) {
    EXPECT_EQ(channel_->InputData(block.data(), static_cast<int32_t>(block.size())), 1);
  }
  // Feeds the blocks and returns the pictures decoded from them.
  std::vector<TPicture> FeedAll(const std::vector<std::vector<uint8_t>>& blocks) {
    const size_t before = collector_.Count();
    for (const auto& b : blocks) Feed(b);
    EXPECT_TRUE(collector_.WaitFor(before + blocks.size()));
    std::vector<TPicture> all = collector_.Pictures();
    return std::vector<TPicture>(all.begin() + static_cast<ptrdiff_t>(before), all.end());
  }

 private:
  int32_t vendor_port_ = -1;
  TPictureCollector collector_;
  std::unique_ptr<TChannel> channel_;
};

// Writes the picture as a PNG into $QUVI_TEST_PICTURES, when set, to look at.
inline void SavePicture(const TPicture& picture, const std::string& name) {
  const char* folder = std::getenv("QUVI_TEST_PICTURES");
  if (folder == nullptr || *folder == '\0') return;
  const std::unique_ptr<TBitmap24> bgr =
      YV12ToBitmap24(picture.yv12.data(), picture.width, picture.height);
  if (!bgr) return;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_BGR;
  const std::string path = std::string(folder) + "/" + name + ".png";
  EXPECT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, bgr->pixels.data(), 0, nullptr))
      << path;
}

}  // namespace zrplay
