// Pictures the decoding library converts (4:2:2 sources at widths whose chroma rows are
// padded on their own) reach the channel's callbacks as the same YV12 picture a direct
// decode and conversion give, chroma included.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "modules/vdec/test_stream_encoder.h"
#include "platform/gdi.h"
#include "player/channel/channel.h"
#include "player/channel/test_channel_support.h"
#include "player/channel/test_play_clock.h"
#include "tests/support/test_files.h"

namespace zrplay {
namespace {

using vdec::testing::TEncodedStream;

// A decoded picture converted to 8-bit 4:2:0 (full range stays full range) and packed as
// YV12: Y, then V, then U, rows without padding.
std::vector<uint8_t> PackedYV12(const AVFrame& frame) {
  const bool full = frame.format == AV_PIX_FMT_YUVJ422P || frame.color_range == AVCOL_RANGE_JPEG;
  const AVPixelFormat target = full ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
  const int w = frame.width;
  const int h = frame.height;
  SwsContext* sws = sws_getContext(w, h, static_cast<AVPixelFormat>(frame.format), w, h, target,
                                   SWS_BILINEAR, nullptr, nullptr, nullptr);
  EXPECT_NE(sws, nullptr);
  const int stride = (w + 63) / 64 * 64;
  std::vector<uint8_t> y(static_cast<size_t>(stride) * h);
  std::vector<uint8_t> u(static_cast<size_t>(stride / 2) * (h / 2));
  std::vector<uint8_t> v(u.size());
  uint8_t* planes[4] = {y.data(), u.data(), v.data(), nullptr};
  const int strides[4] = {stride, stride / 2, stride / 2, 0};
  sws_scale(sws, frame.data, frame.linesize, 0, h, planes, strides);
  sws_freeContext(sws);
  std::vector<uint8_t> out;
  for (int r = 0; r < h; ++r) out.insert(out.end(), &y[r * stride], &y[r * stride] + w);
  for (const std::vector<uint8_t>* plane : {&v, &u}) {
    for (int r = 0; r < h / 2; ++r) {
      const uint8_t* row = plane->data() + static_cast<size_t>(r) * (stride / 2);
      out.insert(out.end(), row, row + w / 2);
    }
  }
  return out;
}

class TPictureCopies {
 public:
  static void Dec(int32_t, const char* data, int32_t size, const ZR_FRAME_INFO*, ZR_USER user,
                  int32_t) {
    auto* self = reinterpret_cast<TPictureCopies*>(user);
    std::lock_guard lock(self->lock_);
    self->pictures_.emplace_back(data, data + size);
    self->cv_.notify_all();
  }
  bool WaitFor(size_t count) {
    std::unique_lock lock(lock_);
    return cv_.wait_for(lock, std::chrono::seconds(120), [&] { return pictures_.size() >= count; });
  }
  std::vector<std::vector<uint8_t>> Pictures() {
    std::lock_guard lock(lock_);
    return pictures_;
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  std::vector<std::vector<uint8_t>> pictures_;
};

// One frame block of the channel's stream format around an encoded picture.
std::vector<uint8_t> Block(const std::vector<uint8_t>& payload, uint8_t codec, int index) {
  TFrameHead h = MakeFrameHead();
  h.Codec = codec;
  h.FrameType = index == 0 ? 2 : 3;
  h.Seconds = 1733819400;
  h.Microseconds = index * 40000;
  h.PayloadLength = static_cast<uint32_t>(payload.size());
  std::vector<uint8_t> block(sizeof h);
  std::memcpy(block.data(), &h, sizeof h);
  block.insert(block.end(), payload.begin(), payload.end());
  return block;
}

TEST(ChannelPictureTest, Converted422PicturesKeepTheirColours) {
  struct TCase {
    const char* encoder;
    AVCodecID codec;
    int pixel_format;
    uint8_t frame_codec;  // the frame head's codec byte
    int width, height;
  };
  for (const TCase c :
       {TCase{"mjpeg", AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ422P, 1, 720, 576},
        TCase{"libx264", AV_CODEC_ID_H264, AV_PIX_FMT_YUV422P, kCodecH264, 720, 576},
        TCase{"mjpeg", AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ422P, 1, 1440, 288}}) {
    SCOPED_TRACE(std::string(c.encoder) + " " + std::to_string(c.width));
    vdec::testing::TEncodeOptions options;
    options.pixel_format = c.pixel_format;
    const std::optional<TEncodedStream> stream =
        vdec::testing::EncodeTestStream(c.encoder, c.width, c.height, 3, options);
    ASSERT_TRUE(stream.has_value());
    std::vector<std::vector<uint8_t>> expected;
    vdec::testing::DecodeDirectly(c.codec, *stream, [&](const AVFrame& frame) {
      ASSERT_NE(frame.format, AV_PIX_FMT_YUV420P);  // really converted
      expected.push_back(PackedYV12(frame));
    });
    ASSERT_EQ(expected.size(), 3u);

    TSettingsScope settings;
    PlayerSettings.EnableBufferOnLive = false;
    int32_t vendor_port = -1;
    ASSERT_TRUE(VendorVideoDecoder().GetFreePort(vendor_port));
    auto channel = std::make_unique<TChannel>(5, vendor_port);
    TPictureCopies copies;
    channel->SetDecCallBackEx(&TPictureCopies::Dec, reinterpret_cast<ZR_USER>(&copies));
    ASSERT_EQ(channel->Play(0), 1);
    for (size_t i = 0; i < stream->frames.size(); ++i) {
      const std::vector<uint8_t> block =
          Block(stream->frames[i], c.frame_codec, static_cast<int>(i));
      ASSERT_EQ(channel->InputVideoData(block.data(), static_cast<int32_t>(block.size())), 1);
    }
    ASSERT_TRUE(copies.WaitFor(3));
    channel.reset();
    VendorVideoDecoder().ReleasePort(vendor_port);
    const auto pictures = copies.Pictures();
    for (size_t i = 0; i < 3; ++i) {
      ASSERT_EQ(pictures[i].size(), expected[i].size());
      const size_t luma = static_cast<size_t>(c.width) * c.height;
      EXPECT_TRUE(std::equal(pictures[i].begin(), pictures[i].begin() + luma, expected[i].begin()))
          << "luma of picture " << i;
      EXPECT_TRUE(
          std::equal(pictures[i].begin() + luma, pictures[i].end(), expected[i].begin() + luma))
          << "chroma of picture " << i;
    }
  }
}

// A slice that refers to a picture parameter set the stream never had makes the codec
// library complain: the line goes to the player's log, nothing to standard error.
TEST(ChannelPictureTest, DecoderComplaintsGoToThePlayerLogNotToStandardError) {
  TSettingsScope settings;
  PlayerSettings.EnableBufferOnLive = false;
  const TFixtureFrame key = FirstVideoFrame(ReadFixture("h264_704x576_g711u.rec"));
  // first_mb 0, slice type 0 (P), parameter set 5, then filler bits.
  const std::vector<uint8_t> slice = {0, 0, 0, 1, 0x41, 0xCC, 0x80, 0x55, 0xAA, 0x55, 0xAA, 0x55};
  std::vector<uint8_t> block = MakeBlock({.type = 3, .payload = 0});
  block.insert(block.end(), slice.begin(), slice.end());
  TFrameHead head = ReadFrameHead(block.data());
  head.PayloadLength = static_cast<uint32_t>(slice.size());
  std::memcpy(block.data(), &head, sizeof head);

  TLogLines log;
  quvi_test::TTempDir dir;
  const std::string err_path = dir.Path("stderr.txt");
  std::fflush(stderr);
  const int saved = ::dup(2);
  const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(err, 0);
  ::dup2(err, 2);
  int32_t vendor_port = -1;
  ASSERT_TRUE(VendorVideoDecoder().GetFreePort(vendor_port));
  {
    TChannel channel(5, vendor_port);
    EXPECT_EQ(channel.Play(0), 1);
    EXPECT_EQ(channel.InputVideoData(key.block.data(), static_cast<int32_t>(key.block.size())), 1);
    EXPECT_EQ(channel.InputVideoData(block.data(), static_cast<int32_t>(block.size())), 1);
    EXPECT_TRUE(TPlayClock::WaitUntil([&] {
      for (const std::string& line : log.Lines()) {
        if (line.rfind("vdec: ", 0) == 0 && line.find("PPS") != std::string::npos) return true;
      }
      return false;
    }));
  }
  VendorVideoDecoder().ReleasePort(vendor_port);
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  ::close(err);
  EXPECT_EQ(quvi_test::ReadFile(err_path), "");
}

// With DrawBySDK the decoding library draws into the window itself: the whole picture
// scaled to the window, or the display region's part of it.
TEST(ChannelPictureTest, WhenTheDecoderDrawsThePictureShowsInTheWindowThroughTheRegion) {
  TSettingsScope settings;
  PlayerSettings.EnableBufferOnLive = false;
  PlayerSettings.DrawBySDK = true;
  const TFixtureFrame key = FirstVideoFrame(ReadFixture("h264_704x576_g711u.rec"));
  const plat::HWND window = plat::CreateWindowHandle();
  ASSERT_TRUE(plat::MoveWindow(window, 0, 0, 352, 288));
  auto pixels = [&] {
    std::vector<uint32_t> p;
    int32_t w = 0;
    int32_t h = 0;
    plat::GetWindowPixels(window, &p, &w, &h);
    return p;
  };
  const std::vector<uint32_t> black = pixels();
  int32_t vendor_port = -1;
  ASSERT_TRUE(VendorVideoDecoder().GetFreePort(vendor_port));
  {
    TChannel channel(5, vendor_port);
    ASSERT_EQ(channel.Play(window), 1);
    const auto feed = [&] {
      return channel.InputVideoData(key.block.data(), static_cast<int32_t>(key.block.size()));
    };
    ASSERT_EQ(feed(), 1);
    ASSERT_TRUE(TPlayClock::WaitUntil([&] { return pixels() != black; }));
    const std::vector<uint32_t> whole = pixels();
    size_t lit = 0;
    for (uint32_t p : whole) lit += (p & 0xFFFFFF) != 0 ? 1 : 0;
    EXPECT_GT(lit, whole.size() * 9 / 10);
    plat::SaveWindowPng(window, ::testing::TempDir() + "vdec_draws_whole.png");

    // The top-left quarter at its own size: what was at (x/2, y/2) is now at (x, y).
    ASSERT_EQ(channel.SetDisplayRegion(0, plat::RECT{0, 0, 352, 288}, window, true), 1);
    ASSERT_EQ(feed(), 1);  // the same picture again
    ASSERT_TRUE(TPlayClock::WaitUntil([&] { return pixels() != whole; }));
    const std::vector<uint32_t> zoomed = pixels();
    plat::SaveWindowPng(window, ::testing::TempDir() + "vdec_draws_region.png");
    auto near = [](uint32_t a, uint32_t b) {
      for (int shift : {0, 8, 16}) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                     static_cast<int>((b >> shift) & 0xFF)) > 48) {
          return false;
        }
      }
      return true;
    };
    int matches = 0;
    int probes = 0;
    for (int y = 20; y < 288; y += 37) {
      for (int x = 20; x < 352; x += 41) {
        ++probes;
        matches += near(zoomed[static_cast<size_t>(y) * 352 + x],
                        whole[static_cast<size_t>(y / 2) * 352 + x / 2])
                       ? 1
                       : 0;
      }
    }
    EXPECT_GE(matches, probes * 8 / 10) << matches << " of " << probes;
    EXPECT_EQ(channel.Stop(), 1);
  }
  VendorVideoDecoder().ReleasePort(vendor_port);
  plat::DestroyWindowHandle(window);
}

}  // namespace
}  // namespace zrplay
