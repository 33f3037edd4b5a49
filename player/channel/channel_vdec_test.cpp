// The channel over the vendor decoding library: real H.264 from the record fixtures decoded
// to the decode hook, a full input buffer, and opening the stream.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>

#include "player/channel/channel.h"
#include "player/channel/test_channel_support.h"

namespace zrplay {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// What the decode hook saw of one picture.
struct TSeenPicture {
  int32_t y_width, y_height, u_width, u_height, v_width, v_height;
  int32_t y_stride;
  int32_t info_width, info_height, info_type;
  bool planes;
};

class TPictureSink {
 public:
  static void Hook(int32_t, const VDEC_DECODED_FRAME* f, const VDEC_FRAME_INFO* info, void* user) {
    auto* self = static_cast<TPictureSink*>(user);
    std::lock_guard lock(self->lock_);
    self->seen_.push_back({f->nYWidth, f->nYHeight, f->nUWidth, f->nUHeight, f->nVWidth,
                           f->nVHeight, f->nYStride, info->nWidth, info->nHeight, info->nType,
                           f->pY != nullptr && f->pU != nullptr && f->pV != nullptr});
    self->cv_.notify_all();
  }
  // Waits (generously, for slow sanitizer builds) until count pictures have arrived.
  bool WaitFor(size_t count) {
    std::unique_lock lock(lock_);
    return cv_.wait_for(lock, std::chrono::seconds(120), [&] { return seen_.size() >= count; });
  }
  std::vector<TSeenPicture> Seen() {
    std::lock_guard lock(lock_);
    return seen_;
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  std::vector<TSeenPicture> seen_;
};

class ChannelVdecTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(VendorVideoDecoder().GetFreePort(vendor_port_)); }
  void TearDown() override {
    channel_.reset();
    VendorVideoDecoder().ReleasePort(vendor_port_);
  }
  TChannel& MakeChannel(bool buffered) {
    PlayerSettings.EnableBufferOnLive = buffered;
    channel_ = std::make_unique<TChannel>(9, vendor_port_);
    prefix_ = "ch9(" + std::to_string(vendor_port_) + ")-->";
    return *channel_;
  }
  // Plays the channel without a window, its pictures going to the sink instead.
  void PlayInto(TPictureSink& sink) {
    ASSERT_EQ(channel_->Play(0), 1);
    ASSERT_NE(VDEC_SetDecodeCallBack(vendor_port_, &TPictureSink::Hook, &sink), 0);
  }
  std::vector<std::string> ChannelLines() const { return log_.LinesAfter(prefix_); }

  TSettingsScope settings_;
  TLogLines log_;
  int32_t vendor_port_ = -1;
  std::string prefix_;
  std::unique_ptr<TChannel> channel_;
};

TEST_F(ChannelVdecTest, FixtureFramesReachTheDecodeHookAsPicturesOfTheirSize) {
  struct TCase {
    const char* file;
    int32_t width, height;
    bool through_input_data;  // all frames through InputData, else video through InputVideoData
  };
  for (const TCase c : {TCase{"h264_704x576_g711u.rec", 704, 576, true},
                        TCase{"h264_1920x1080_aac.rec", 1920, 1080, false}}) {
    SCOPED_TRACE(c.file);
    const std::vector<TFixtureFrame> frames = ReadFixture(c.file);
    TChannel& channel = MakeChannel(false);
    ASSERT_EQ(channel.OpenStream(kDefaultStreamHead, kFrameHeadSize, 1 << 20), 1);
    TPictureSink sink;
    PlayInto(sink);

    size_t video = 0;
    for (const TFixtureFrame& f : frames) {
      const auto size = static_cast<int32_t>(f.block.size());
      if (c.through_input_data) {
        ASSERT_EQ(channel.InputData(f.block.data(), size), 1);
      } else if (f.IsVideo()) {
        ASSERT_EQ(channel.InputVideoData(f.block.data(), size), 1);
      }
      video += f.IsVideo() ? 1 : 0;
    }
    ASSERT_GT(video, 40u);
    ASSERT_TRUE(sink.WaitFor(video)) << sink.Seen().size() << " of " << video;
    for (const TSeenPicture& p : sink.Seen()) {
      ASSERT_EQ(p.y_width, c.width);
      ASSERT_EQ(p.y_height, c.height);
      ASSERT_EQ(p.u_width, c.width / 2);
      ASSERT_EQ(p.u_height, c.height / 2);
      ASSERT_EQ(p.v_width, c.width / 2);
      ASSERT_EQ(p.v_height, c.height / 2);
      ASSERT_GE(p.y_stride, c.width);
      ASSERT_EQ(p.info_width, c.width);
      ASSERT_EQ(p.info_height, c.height);
      ASSERT_EQ(p.info_type, VDEC_FRAME_TYPE_YV12);
      ASSERT_TRUE(p.planes);
    }
    // The pictures went to the sink, not the channel: the parameter-set probe alone leaves
    // the channel without a picture size.
    EXPECT_EQ(channel.PictureWidth(), 0);
    EXPECT_EQ(channel.PictureHeight(), 0);
    EXPECT_EQ(channel.InputFailureCount(), 0);
    EXPECT_EQ(channel.Timing().FrameRate(), 25);
    EXPECT_EQ(channel.Timing().EncodeType(), kCodecH264);
    channel_.reset();  // stops before the sink goes
  }
}

TEST_F(ChannelVdecTest, AFullInputBufferFailsTheFeedThenOnlyAKeyFrameIsTriedAgain) {
  TChannel& channel = MakeChannel(false);
  // One byte of buffer and no decoding thread: the first frame fills it for good.
  ASSERT_EQ(channel.Play(0), 1);
  ASSERT_NE(VDEC_Stop(vendor_port_), 0);
  ASSERT_EQ(channel.OpenStream(kDefaultStreamHead, kFrameHeadSize, 1), 1);
  ASSERT_EQ(channel.InputVideoData(MakeBlock({.type = 2}).data(), 64 + 100), 1);

  log_.Clear();
  const std::vector<uint8_t> big = MakeBlock({.type = 3, .payload = 600});
  EXPECT_EQ(channel.InputVideoData(big.data(), static_cast<int32_t>(big.size())), 0);
  const std::vector<std::string> lines = log_.Lines();
  ASSERT_EQ(lines.size(), 4u + 1 + 1 + 13 + 1 + 13);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(lines[i], prefix_ + "input data failed, size=600");
  EXPECT_TRUE(IsDecodeFailedLine(lines[4], prefix_, 1, 0x03, 600)) << lines[4];
  EXPECT_EQ(lines[5], prefix_ + "first 200 bytes, size = 600");
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.begin() + 19),
            HexLines(big.data() + 64, 200));
  EXPECT_EQ(lines[19], prefix_ + "last 200 bytes");
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 20, lines.end()),
            HexLines(big.data() + 64 + 400, 200));
  EXPECT_TRUE(channel.WaitingForKeyFrame());

  // Frames of type 3 are skipped without touching the decoder.
  log_.Clear();
  for (uint32_t size : {10u, 333u}) {
    const std::vector<uint8_t> next = MakeBlock({.type = 3, .payload = size});
    EXPECT_EQ(channel.InputVideoData(next.data(), static_cast<int32_t>(next.size())), 0);
  }
  EXPECT_THAT(ChannelLines(),
              ElementsAre("skip frame, type=0x03, size=10", "skip frame, type=0x03, size=333"));

  // A key frame is tried again (and fails again: nothing drains the buffer).
  log_.Clear();
  const std::vector<uint8_t> key = MakeBlock({.type = 21, .payload = 50});
  EXPECT_EQ(channel.InputVideoData(key.data(), static_cast<int32_t>(key.size())), 0);
  const std::vector<std::string> again = ChannelLines();
  ASSERT_GE(again.size(), 5u);
  EXPECT_EQ(again[0], "input data failed, size=50");
  EXPECT_NE(again[4].find("decode failed, error count=2, type=0x15, size=50"), std::string::npos);
  EXPECT_EQ(channel.InputFailureCount(), 2);
}

TEST_F(ChannelVdecTest, OpenStreamChecksTheStreamHeadAndPassesThePoolSize) {
  TChannel& channel = MakeChannel(true);
  std::vector<uint8_t> wrong(kDefaultStreamHead, kDefaultStreamHead + kFrameHeadSize);
  wrong[7] ^= 0x01;
  std::vector<uint8_t> longer(kDefaultStreamHead, kDefaultStreamHead + kFrameHeadSize);
  longer.resize(100, 0x55);
  struct TCase {
    const char* name;
    const uint8_t* head;
    uint32_t size;
    uint32_t pool;
    int32_t result;
    std::vector<std::string> lines;
  };
  const std::string length_line = "get file head length=64";
  const TCase cases[] = {
      {"empty", kDefaultStreamHead, 0, 1 << 20, 0, {}},
      {"10 bytes", kDefaultStreamHead, 10, 1 << 20, 0, {length_line}},
      {"no head", nullptr, 64, 1 << 20, 0, {length_line}},
      {"wrong magic", wrong.data(), 64, 1 << 20, 0, {length_line}},
      {"default head",
       kDefaultStreamHead,
       64,
       1 << 20,
       1,
       {length_line, "open stream(size=64, buf pool size=1048576)=1"}},
      {"12 bytes",
       kDefaultStreamHead,
       12,
       4096,
       1,
       {length_line, "open stream(size=12, buf pool size=4096)=1"}},
      {"100 bytes",
       longer.data(),
       100,
       65536,
       1,
       {length_line, "open stream(size=64, buf pool size=65536)=1"}},
      {"no pool",
       kDefaultStreamHead,
       64,
       0,
       0,
       {length_line, "open stream(size=64, buf pool size=0)=0"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    log_.Clear();
    EXPECT_EQ(channel.OpenStream(c.head, c.size, c.pool), c.result);
    EXPECT_EQ(ChannelLines(), c.lines);
  }

  log_.Clear();
  EXPECT_EQ(channel.SetStreamOpenMode(1), 1);
  EXPECT_EQ(channel.SetStreamOpenMode(2), 0);  // the library knows two modes
  EXPECT_EQ(channel.StreamState(), TChannel::ssRealTime);
  EXPECT_EQ(channel.CloseStream(), 1);
  EXPECT_EQ(channel.StreamState(), TChannel::ssClosed);
  EXPECT_THAT(ChannelLines(),
              ElementsAre("set stream mode(1)=1", "set stream mode(2)=0", "close stream=1"));
}

}  // namespace
}  // namespace zrplay
