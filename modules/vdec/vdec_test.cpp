// The library through its C calls, with real encoded streams.
#include "modules/vdec/vdec.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "modules/vdec/test_stream_encoder.h"
#include "tests/support/wait_until.h"

namespace {

using vdec::testing::EncodeTestStream;
using vdec::testing::HasEncoder;
using vdec::testing::TEncodedStream;
using vdec::testing::TEncodeOptions;
using Bytes = std::vector<uint8_t>;

// Only a guard against a hang; every wait normally ends long before.
constexpr auto kGuard = std::chrono::seconds(60);

// What the hook saw of one picture: the record, the information and a sum of each plane.
struct TSeenPicture {
  VDEC_DECODED_FRAME frame;
  VDEC_FRAME_INFO info;
  uint64_t sums[3];
};

uint64_t PlaneSum(const uint8_t* plane, int stride, int width, int height) {
  uint64_t sum = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) sum = sum * 31 + plane[static_cast<ptrdiff_t>(y) * stride + x];
  }
  return sum;
}

// Collects the pictures the decode hook delivers; optionally lingers in each call.
class TPictureLog {
 public:
  static void Hook(int32_t port, const VDEC_DECODED_FRAME* frame, const VDEC_FRAME_INFO* info,
                   void* user) {
    static_cast<TPictureLog*>(user)->OnPicture(port, *frame, *info);
  }

  void OnPicture(int32_t port, const VDEC_DECODED_FRAME& frame, const VDEC_FRAME_INFO& info) {
    {
      std::unique_lock lock(mutex_);
      inside_ = true;
      cv_.notify_all();
      cv_.wait(lock, [&] { return gate_open_; });
    }
    TSeenPicture seen{frame,
                      info,
                      {PlaneSum(frame.pY, frame.nYStride, frame.nYWidth, frame.nYHeight),
                       PlaneSum(frame.pU, frame.nUStride, frame.nUWidth, frame.nUHeight),
                       PlaneSum(frame.pV, frame.nVStride, frame.nVWidth, frame.nVHeight)}};
    if (linger_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(linger_ms));
    {
      std::lock_guard lock(mutex_);
      port_ = port;
      pictures_.push_back(seen);
    }
    cv_.notify_all();
    inside_ = false;
  }

  // While closed, every hook call waits inside.
  void SetGate(bool open) {
    {
      std::lock_guard lock(mutex_);
      gate_open_ = open;
    }
    cv_.notify_all();
  }
  bool WaitUntilInside() {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kGuard, [&] { return inside_.load(); });
  }

  bool WaitFor(size_t count) {
    return WaitUntil([&](const std::vector<TSeenPicture>& p) { return p.size() >= count; });
  }
  bool WaitUntil(const std::function<bool(const std::vector<TSeenPicture>&)>& done) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kGuard, [&] { return done(pictures_); });
  }
  std::vector<TSeenPicture> Pictures() {
    std::lock_guard lock(mutex_);
    return pictures_;
  }
  size_t Count() {
    std::lock_guard lock(mutex_);
    return pictures_.size();
  }
  int32_t Port() {
    std::lock_guard lock(mutex_);
    return port_;
  }
  bool Inside() const { return inside_; }

  int linger_ms = 0;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<TSeenPicture> pictures_;
  int32_t port_ = -1;
  bool gate_open_ = true;
  std::atomic<bool> inside_{false};
};

// Runs a call on another thread and tells whether it has returned.
class TCallInThread {
 public:
  explicit TCallInThread(std::function<VDEC_BOOL()> call)
      : thread_([this, call] {
          result_ = call();
          done_ = true;
        }) {}
  ~TCallInThread() {
    if (thread_.joinable()) thread_.join();
  }
  bool Done() const { return done_; }
  VDEC_BOOL Join() {
    thread_.join();
    return result_;
  }

 private:
  std::atomic<bool> done_{false};
  VDEC_BOOL result_ = -1;
  std::thread thread_;
};

// Plane sums of every picture of the stream decoded by libavcodec directly: what the port
// must deliver.
std::vector<std::array<uint64_t, 3>> ReferenceSums(AVCodecID codec_id,
                                                   const TEncodedStream& stream) {
  std::vector<std::array<uint64_t, 3>> sums;
  const int pictures = vdec::testing::DecodeDirectly(codec_id, stream, [&](const AVFrame& frame) {
    const int cw = (frame.width + 1) / 2;
    const int ch = (frame.height + 1) / 2;
    sums.push_back({PlaneSum(frame.data[0], frame.linesize[0], frame.width, frame.height),
                    PlaneSum(frame.data[1], frame.linesize[1], cw, ch),
                    PlaneSum(frame.data[2], frame.linesize[2], cw, ch)});
  });
  EXPECT_GE(pictures, 0) << "the reference decoder did not open";
  return sums;
}

// One taken port, released at the end.
class VdecPortTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { av_log_set_level(AV_LOG_QUIET); }

  void SetUp() override { ASSERT_TRUE(VDEC_GetFreePort(&port_)); }
  void TearDown() override { EXPECT_TRUE(VDEC_ReleasePort(port_)); }

  // Opens, hooks the log in and plays without a window.
  void StartPlaying(uint32_t pool = 8 << 20) {
    ASSERT_TRUE(VDEC_OpenStream(port_, nullptr, 0, pool));
    ASSERT_TRUE(VDEC_SetDecodeCallBack(port_, &TPictureLog::Hook, &log_));
    ASSERT_TRUE(VDEC_Play(port_, 0));
  }

  // Feeds a block, waiting while the port's buffer is full.
  void Feed(const Bytes& block) {
    const auto end = std::chrono::steady_clock::now() + kGuard;
    while (!VDEC_InputData(port_, block.data(), static_cast<uint32_t>(block.size()))) {
      ASSERT_LT(std::chrono::steady_clock::now(), end) << "input never taken";
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  void FeedAll(const TEncodedStream& stream) {
    for (const Bytes& frame : stream.frames) Feed(frame);
  }

  int32_t port_ = -1;
  TPictureLog log_;
};

struct TStreamCase {
  const char* encoder;
  AVCodecID codec;
  int width;
  int height;
  int slices;
};

TEST_F(VdecPortTest, DeliversEveryPictureOfRealStreamsToTheHook) {
  const TStreamCase cases[] = {
      {"libx264", AV_CODEC_ID_H264, 352, 288, 1},
      {"libx264", AV_CODEC_ID_H264, 178, 102, 3},  // odd chroma sizes, several slices
      {"libx265", AV_CODEC_ID_HEVC, 320, 240, 1},
      {"mpeg4", AV_CODEC_ID_MPEG4, 320, 240, 1},
      {"mjpeg", AV_CODEC_ID_MJPEG, 160, 120, 1},
  };
  for (const TStreamCase& c : cases) {
    SCOPED_TRACE(std::string(c.encoder) + " " + std::to_string(c.width) + "x" +
                 std::to_string(c.height));
    if (!HasEncoder(c.encoder)) {
      std::printf("encoder %s not available, not decoded\n", c.encoder);
      continue;
    }
    TEncodeOptions options;
    options.slices = c.slices;
    options.key_interval = 10;
    const auto stream = EncodeTestStream(c.encoder, c.width, c.height, 24, options);
    ASSERT_TRUE(stream.has_value());
    const auto reference = ReferenceSums(c.codec, *stream);
    ASSERT_EQ(reference.size(), stream->frames.size());

    TPictureLog log;
    ASSERT_TRUE(VDEC_OpenStream(port_, nullptr, 0, 1 << 20));
    ASSERT_TRUE(VDEC_SetDecodeCallBack(port_, &TPictureLog::Hook, &log));
    ASSERT_TRUE(VDEC_Play(port_, 0));
    FeedAll(*stream);
    ASSERT_TRUE(log.WaitFor(stream->frames.size()));
    ASSERT_TRUE(VDEC_Stop(port_));
    ASSERT_TRUE(VDEC_CloseStream(port_));

    const auto pictures = log.Pictures();
    ASSERT_EQ(pictures.size(), stream->frames.size());
    EXPECT_EQ(log.Port(), port_);
    const int cw = (c.width + 1) / 2;
    const int ch = (c.height + 1) / 2;
    for (size_t i = 0; i < pictures.size(); ++i) {
      const TSeenPicture& p = pictures[i];
      SCOPED_TRACE("picture " + std::to_string(i));
      EXPECT_EQ(p.frame.nYWidth, c.width);
      EXPECT_EQ(p.frame.nYHeight, c.height);
      EXPECT_EQ(p.frame.nUWidth, cw);
      EXPECT_EQ(p.frame.nVWidth, cw);
      EXPECT_EQ(p.frame.nUHeight, ch);
      EXPECT_EQ(p.frame.nVHeight, ch);
      EXPECT_GE(p.frame.nYStride, c.width);
      EXPECT_GE(p.frame.nUStride, cw);
      EXPECT_EQ(p.info.nWidth, c.width);
      EXPECT_EQ(p.info.nHeight, c.height);
      EXPECT_EQ(p.info.nType, VDEC_FRAME_TYPE_YV12);
      EXPECT_EQ(p.info.nFrameRate, 25);
      EXPECT_EQ(p.info.nStamp, static_cast<int32_t>(i) * 40);
      // The same pixels as a direct decode, each plane in its own place.
      EXPECT_EQ(p.sums[0], reference[i][0]);
      EXPECT_EQ(p.sums[1], reference[i][1]);
      EXPECT_EQ(p.sums[2], reference[i][2]);
    }
    int32_t width = 0;
    int32_t height = 0;
    EXPECT_TRUE(VDEC_GetPictureSize(port_, &width, &height));
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
  }
}

// A stream whose pictures are not 4:2:0 (here 4:2:2 JPEG) still reaches the hook as 8-bit
// 4:2:0: luma as decoded, chroma at half height.
TEST_F(VdecPortTest, OtherPictureLayoutsArriveAs420) {
  TEncodeOptions options;
  options.pixel_format = AV_PIX_FMT_YUVJ422P;
  const auto stream = EncodeTestStream("mjpeg", 160, 120, 3, options);
  ASSERT_TRUE(stream.has_value());
  const auto reference = ReferenceSums(AV_CODEC_ID_MJPEG, *stream);
  StartPlaying();
  FeedAll(*stream);
  ASSERT_TRUE(log_.WaitFor(3));
  ASSERT_TRUE(VDEC_Stop(port_));
  const auto pictures = log_.Pictures();
  ASSERT_EQ(pictures.size(), 3u);
  for (size_t i = 0; i < pictures.size(); ++i) {
    EXPECT_EQ(pictures[i].frame.nYWidth, 160);
    EXPECT_EQ(pictures[i].frame.nUWidth, 80);
    EXPECT_EQ(pictures[i].frame.nUHeight, 60);
    EXPECT_EQ(pictures[i].frame.nVHeight, 60);
    EXPECT_EQ(pictures[i].sums[0], reference[i][0]) << "luma untouched, picture " << i;
  }
}

// Blocks are whole units but need not be whole pictures: several pictures in one block, or
// one picture's slices in separate blocks, give the same pictures.
TEST_F(VdecPortTest, PicturesComeOutWhateverTheBlocking) {
  TEncodeOptions options;
  options.slices = 4;
  const auto stream = EncodeTestStream("libx264", 160, 128, 12, options);
  ASSERT_TRUE(stream.has_value());
  StartPlaying();

  Bytes all;
  for (const Bytes& frame : stream->frames) all.insert(all.end(), frame.begin(), frame.end());
  Feed(all);
  ASSERT_TRUE(log_.WaitFor(12));

  // The same stream again, now one block per slice (cut before each 4-byte start code).
  for (const Bytes& frame : stream->frames) {
    size_t begin = 0;
    for (size_t i = 4; i + 4 <= frame.size(); ++i) {
      if (frame[i] == 0 && frame[i + 1] == 0 && frame[i + 2] == 0 && frame[i + 3] == 1) {
        Feed(Bytes(frame.begin() + static_cast<ptrdiff_t>(begin),
                   frame.begin() + static_cast<ptrdiff_t>(i)));
        begin = i;
      }
    }
    Feed(Bytes(frame.begin() + static_cast<ptrdiff_t>(begin), frame.end()));
  }
  ASSERT_TRUE(log_.WaitFor(24));
  ASSERT_TRUE(VDEC_Stop(port_));
  const auto pictures = log_.Pictures();
  ASSERT_EQ(pictures.size(), 24u);
  for (size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(pictures[i].sums[0], pictures[i + 12].sums[0]) << "picture " << i;
    EXPECT_EQ(pictures[i].sums[1], pictures[i + 12].sums[1]) << "picture " << i;
  }
}

TEST_F(VdecPortTest, RefusesInputWhenTheBufferIsFull) {
  const Bytes six_hundred(600, 0xAB);
  const Bytes four_hundred(400, 0xCD);
  EXPECT_FALSE(VDEC_InputData(port_, six_hundred.data(), 600)) << "stream not open";
  ASSERT_TRUE(VDEC_OpenStream(port_, nullptr, 0, 1000));
  // Not playing yet: input is buffered, nothing takes it out.
  EXPECT_TRUE(VDEC_InputData(port_, six_hundred.data(), 600));
  EXPECT_FALSE(VDEC_InputData(port_, six_hundred.data(), 600));
  EXPECT_TRUE(VDEC_InputData(port_, four_hundred.data(), 400));
  EXPECT_FALSE(VDEC_InputData(port_, four_hundred.data(), 1));
  EXPECT_FALSE(VDEC_InputData(port_, nullptr, 10));
  EXPECT_FALSE(VDEC_InputData(port_, four_hundred.data(), 0));

  // Playing drains the buffer (the bytes show no codec and are dropped).
  ASSERT_TRUE(VDEC_Play(port_, 0));
  Feed(six_hundred);
  Feed(four_hundred);
  ASSERT_TRUE(VDEC_Stop(port_));

  // Closing drops what is buffered; a closed stream takes nothing.
  ASSERT_TRUE(VDEC_CloseStream(port_));
  EXPECT_FALSE(VDEC_InputData(port_, four_hundred.data(), 400));
  ASSERT_TRUE(VDEC_OpenStream(port_, nullptr, 0, 1000));
  EXPECT_TRUE(VDEC_InputData(port_, six_hundred.data(), 600));
  EXPECT_TRUE(VDEC_InputData(port_, four_hundred.data(), 400));

  // Reopening sets a new bound and keeps what is buffered.
  ASSERT_TRUE(VDEC_OpenStream(port_, nullptr, 0, 1100));
  EXPECT_FALSE(VDEC_InputData(port_, four_hundred.data(), 101));
  EXPECT_TRUE(VDEC_InputData(port_, four_hundred.data(), 100));
}

TEST_F(VdecPortTest, OversizedFrameIsTakenIntoAnEmptyBuffer) {
  const auto stream = EncodeTestStream("libx264", 320, 240, 2);
  ASSERT_TRUE(stream.has_value());
  const uint32_t pool = 64;
  ASSERT_GT(stream->frames[0].size(), pool);
  StartPlaying(pool);
  FeedAll(*stream);
  ASSERT_TRUE(log_.WaitFor(2));
}

// Reads a JPEG back with libjpeg: size and the luma samples.
bool DecodeJpeg(const uint8_t* data, size_t size, int& width, int& height, Bytes& luma) {
  jpeg_decompress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
  info.out_color_space = JCS_YCbCr;
  jpeg_start_decompress(&info);
  width = static_cast<int>(info.output_width);
  height = static_cast<int>(info.output_height);
  Bytes row(static_cast<size_t>(width) * 3);
  luma.clear();
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&info, rows, 1);
    for (int x = 0; x < width; ++x) luma.push_back(row[static_cast<size_t>(3 * x)]);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

// Keeps a copy of the last picture's luma, to compare the snapshot with.
struct TLastLuma {
  static void Hook(int32_t, const VDEC_DECODED_FRAME* frame, const VDEC_FRAME_INFO*, void* user) {
    auto* self = static_cast<TLastLuma*>(user);
    std::lock_guard lock(self->mutex);
    self->width = frame->nYWidth;
    self->height = frame->nYHeight;
    self->luma.clear();
    for (int y = 0; y < frame->nYHeight; ++y) {
      const uint8_t* row = frame->pY + static_cast<ptrdiff_t>(y) * frame->nYStride;
      self->luma.insert(self->luma.end(), row, row + frame->nYWidth);
    }
    ++self->count;
    self->cv.notify_all();
  }
  std::mutex mutex;
  std::condition_variable cv;
  int width = 0;
  int height = 0;
  int count = 0;
  Bytes luma;
};

TEST_F(VdecPortTest, JpegSnapshotDecodesBackToTheCurrentPicture) {
  uint32_t produced = 123;
  Bytes buffer(1 << 20);
  ASSERT_TRUE(VDEC_OpenStream(port_, nullptr, 0, 1 << 20));
  EXPECT_FALSE(VDEC_GetPicJPEG(port_, buffer.data(), 1 << 20, &produced, 100)) << "no picture yet";
  EXPECT_EQ(produced, 0u);
  int32_t width = -1;
  int32_t height = -1;
  EXPECT_FALSE(VDEC_GetPictureSize(port_, &width, &height));
  EXPECT_EQ(width, 0);
  EXPECT_EQ(height, 0);

  const auto stream = EncodeTestStream("libx264", 250, 142, 5);
  ASSERT_TRUE(stream.has_value());
  TLastLuma last;
  ASSERT_TRUE(VDEC_SetDecodeCallBack(port_, &TLastLuma::Hook, &last));
  ASSERT_TRUE(VDEC_Play(port_, 0));
  FeedAll(*stream);
  {
    std::unique_lock lock(last.mutex);
    ASSERT_TRUE(last.cv.wait_for(lock, kGuard, [&] { return last.count == 5; }));
  }

  ASSERT_TRUE(VDEC_GetPicJPEG(port_, buffer.data(), 1 << 20, &produced, 100));
  int jpeg_width = 0;
  int jpeg_height = 0;
  Bytes luma;
  ASSERT_TRUE(DecodeJpeg(buffer.data(), produced, jpeg_width, jpeg_height, luma));
  EXPECT_EQ(jpeg_width, 250);
  EXPECT_EQ(jpeg_height, 142);
  ASSERT_EQ(luma.size(), last.luma.size());
  int worst = 0;
  for (size_t i = 0; i < luma.size(); ++i)
    worst = std::max(worst, std::abs(luma[i] - last.luma[i]));
  EXPECT_LE(worst, 16) << "quality 100 keeps every luma sample close";

  // Too small a buffer: refused, with the size it would need.
  uint32_t needed = 0;
  EXPECT_FALSE(VDEC_GetPicJPEG(port_, buffer.data(), produced - 1, &needed, 100));
  EXPECT_EQ(needed, produced);
  EXPECT_FALSE(VDEC_GetPicJPEG(port_, buffer.data(), 1 << 20, &needed, 0));
  EXPECT_FALSE(VDEC_GetPicJPEG(port_, buffer.data(), 1 << 20, &needed, 101));
  EXPECT_FALSE(VDEC_GetPicJPEG(port_, nullptr, 1 << 20, &needed, 90));
  EXPECT_FALSE(VDEC_GetPicJPEG(port_, buffer.data(), 1 << 20, nullptr, 90));
  // A lower quality gives a smaller file.
  uint32_t smaller = 0;
  ASSERT_TRUE(VDEC_GetPicJPEG(port_, buffer.data(), 1 << 20, &smaller, 30));
  EXPECT_LT(smaller, produced);
}

TEST_F(VdecPortTest, StopWhileDecodingJoinsAndNoHookRunsAfterwards) {
  const auto stream = EncodeTestStream("libx264", 160, 128, 60);
  ASSERT_TRUE(stream.has_value());
  // Each picture after the first takes a while, so that one stop asked for while the first
  // is inside leaves most of them undelivered even when the stopping thread starts late.
  log_.linger_ms = 20;
  log_.SetGate(false);
  StartPlaying();
  FeedAll(*stream);
  ASSERT_TRUE(log_.WaitUntilInside());

  std::atomic<bool> stopping{false};
  TCallInThread stop([&] {
    stopping = true;
    return VDEC_Stop(port_);
  });
  ASSERT_TRUE(quvi_test::WaitUntil([&] { return stopping.load(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(stop.Done()) << "stop waits for the running hook";
  log_.SetGate(true);
  EXPECT_EQ(stop.Join(), 1);
  EXPECT_FALSE(log_.Inside());
  const size_t at_stop = log_.Count();
  EXPECT_LT(at_stop, stream->frames.size()) << "stopped before the end";
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(log_.Count(), at_stop);

  // What was left stays buffered: playing again decodes it with a new decoder, which waits
  // for parameter sets (the next key frame) before it gives pictures.
  EXPECT_TRUE(VDEC_Stop(port_)) << "stopping an idle port";
  log_.linger_ms = 0;
  ASSERT_TRUE(VDEC_Play(port_, 0));
  FeedAll(*stream);
  ASSERT_TRUE(log_.WaitFor(at_stop + stream->frames.size()));
}

// The hook clears itself and tries to stop its own port: clearing works, stopping is refused
// instead of waiting for itself.
struct TSelfStopper {
  static void Hook(int32_t port, const VDEC_DECODED_FRAME*, const VDEC_FRAME_INFO*, void* user) {
    auto* self = static_cast<TSelfStopper*>(user);
    self->stop_result = VDEC_Stop(port);
    self->close_result = VDEC_CloseStream(port);
    self->release_result = VDEC_ReleasePort(port);
    self->play_result = VDEC_Play(port, 0);
    self->open_result = VDEC_OpenStream(port, nullptr, 0, 1000);
    self->pause_result = VDEC_Pause(port, 1);
    int32_t w = 0;
    int32_t h = 0;
    self->size_result = VDEC_GetPictureSize(port, &w, &h);
    self->clear_result = VDEC_SetDecodeCallBack(port, nullptr, nullptr);
    self->calls++;
  }
  std::atomic<int> calls{0};
  VDEC_BOOL stop_result = -1, close_result = -1, release_result = -1, play_result = -1,
            open_result = -1, pause_result = -1, size_result = -1, clear_result = -1;
};

TEST_F(VdecPortTest, HookMayCallTheLibraryButNotStopItsOwnPort) {
  const auto stream = EncodeTestStream("libx264", 96, 64, 5);
  ASSERT_TRUE(stream.has_value());
  TSelfStopper stopper;
  ASSERT_TRUE(VDEC_OpenStream(port_, nullptr, 0, 1 << 20));
  ASSERT_TRUE(VDEC_SetDecodeCallBack(port_, &TSelfStopper::Hook, &stopper));
  ASSERT_TRUE(VDEC_Play(port_, 0));
  FeedAll(*stream);
  const auto end = std::chrono::steady_clock::now() + kGuard;
  while (stopper.calls == 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(VDEC_Stop(port_));
  EXPECT_EQ(stopper.calls, 1) << "the hook cleared itself";
  EXPECT_EQ(stopper.stop_result, 0);
  EXPECT_EQ(stopper.close_result, 0);
  EXPECT_EQ(stopper.release_result, 0);
  EXPECT_EQ(stopper.play_result, 0);
  EXPECT_EQ(stopper.open_result, 0);
  EXPECT_EQ(stopper.pause_result, 1);
  EXPECT_EQ(stopper.size_result, 1);
  EXPECT_EQ(stopper.clear_result, 1);
}

TEST_F(VdecPortTest, ClearingTheHookWaitsForARunningCall) {
  const auto stream = EncodeTestStream("libx264", 96, 64, 30);
  ASSERT_TRUE(stream.has_value());
  log_.SetGate(false);
  StartPlaying();
  FeedAll(*stream);
  ASSERT_TRUE(log_.WaitUntilInside());

  TCallInThread clear([&] { return VDEC_SetDecodeCallBack(port_, nullptr, nullptr); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(clear.Done()) << "clearing waits for the running hook";
  log_.SetGate(true);
  EXPECT_EQ(clear.Join(), 1);
  EXPECT_FALSE(log_.Inside());
  const size_t at_clear = log_.Count();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(log_.Count(), at_clear);
  ASSERT_TRUE(VDEC_Stop(port_));
}

TEST_F(VdecPortTest, DecodingSurvivesGarbageAndResumesAtTheNextKeyFrame) {
  const auto stream = EncodeTestStream("libx264", 128, 96, 10, TEncodeOptions{5, 1});
  ASSERT_TRUE(stream.has_value());
  StartPlaying();
  FeedAll(*stream);
  ASSERT_TRUE(log_.WaitFor(10));

  std::mt19937 random(7);
  for (int i = 0; i < 200; ++i) {
    Bytes junk(random() % 3000 + 1);
    for (uint8_t& b : junk) b = static_cast<uint8_t>(random());
    if (i % 3 == 0 && junk.size() > 8) {  // start codes with plausible unit headers
      junk[0] = 0, junk[1] = 0, junk[2] = 1, junk[3] = static_cast<uint8_t>(0x61 + i % 5);
    }
    Feed(junk);
  }
  // Cut-off pictures too.
  for (const Bytes& frame : stream->frames)
    Feed(Bytes(frame.begin(), frame.begin() + frame.size() / 2));

  // The stream again from its key frame: its pictures come out again, whatever the garbage
  // may have given before them.
  FeedAll(*stream);
  const bool recovered = log_.WaitUntil([](const std::vector<TSeenPicture>& p) {
    if (p.size() < 20) return false;
    for (size_t i = 0; i < 10; ++i) {
      if (p[p.size() - 10 + i].sums[0] != p[i].sums[0]) return false;
    }
    return true;
  });
  EXPECT_TRUE(recovered);
  ASSERT_TRUE(VDEC_Stop(port_));
}

TEST_F(VdecPortTest, StreamSelectorKeepsPicturesFromTheHookButNotFromTheDecoder) {
  const auto first = EncodeTestStream("libx264", 96, 64, 1);
  const auto second = EncodeTestStream("libx264", 64, 48, 3);
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(second.has_value());
  EXPECT_FALSE(VDEC_SetDecCBStream(port_, 0));
  EXPECT_FALSE(VDEC_SetDecCBStream(port_, 4));
  ASSERT_TRUE(VDEC_SetDecCBStream(port_, VDEC_DECCB_AUDIO));
  StartPlaying();
  FeedAll(*first);
  int32_t width = 0;
  int32_t height = 0;
  const auto end = std::chrono::steady_clock::now() + kGuard;
  while (!VDEC_GetPictureSize(port_, &width, &height) && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(width, 96) << "decoded all the same";
  // The size is known before the picture reaches the hook's selector: stopping waits for that
  // delivery, so the switch below cannot let the first stream's picture through.
  ASSERT_TRUE(VDEC_Stop(port_));

  ASSERT_TRUE(VDEC_SetDecCBStream(port_, VDEC_DECCB_VIDEO));
  ASSERT_TRUE(VDEC_Play(port_, 0));
  FeedAll(*second);
  ASSERT_TRUE(log_.WaitFor(3));
  ASSERT_TRUE(VDEC_Stop(port_));
  for (const TSeenPicture& p : log_.Pictures()) EXPECT_EQ(p.frame.nYWidth, 64);
  EXPECT_EQ(log_.Count(), 3u);
}

TEST_F(VdecPortTest, PlayControlCallsNeedTheRightState) {
  EXPECT_FALSE(VDEC_Play(port_, 0)) << "no stream";
  EXPECT_FALSE(VDEC_Pause(port_, 1)) << "not playing";
  EXPECT_FALSE(VDEC_OpenStream(port_, nullptr, 0, 0)) << "no buffer";
  EXPECT_TRUE(VDEC_SetStreamOpenMode(port_, VDEC_STREAM_FILE));
  EXPECT_TRUE(VDEC_SetStreamOpenMode(port_, VDEC_STREAM_REALTIME));
  EXPECT_FALSE(VDEC_SetStreamOpenMode(port_, 2));
  ASSERT_TRUE(VDEC_OpenStream(port_, nullptr, 0, 4096));
  ASSERT_TRUE(VDEC_Play(port_, static_cast<VDEC_HWND>(0x1234)));
  EXPECT_TRUE(VDEC_Play(port_, 0)) << "playing again only changes the window";
  EXPECT_TRUE(VDEC_Pause(port_, 1));
  EXPECT_TRUE(VDEC_Pause(port_, 0));
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(VDEC_Fast(port_)) << i;
  EXPECT_FALSE(VDEC_Fast(port_)) << "fastest";
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(VDEC_Slow(port_)) << i;
  EXPECT_FALSE(VDEC_Slow(port_)) << "slowest";
  EXPECT_TRUE(VDEC_SetEngine(port_, 5, 5));
  EXPECT_TRUE(VDEC_AntiAliasEnable(port_, 1));
  ASSERT_TRUE(VDEC_Stop(port_));
  EXPECT_FALSE(VDEC_Pause(port_, 1)) << "stopped";
  ASSERT_TRUE(VDEC_CloseStream(port_));
  EXPECT_TRUE(VDEC_CloseStream(port_)) << "closing a closed stream";
  EXPECT_FALSE(VDEC_Play(port_, 0)) << "closed";
}

struct TRegionCase {
  const char* name;
  uint32_t region;
  bool with_rect;
  VDEC_RECT rect;
  int32_t enable;
  VDEC_BOOL expected;
};

TEST_F(VdecPortTest, DisplayRegionChecksItsRectangle) {
  const TRegionCase cases[] = {
      {"part of the picture", 0, true, {10, 20, 110, 220}, 1, 1},
      {"whole picture (all zero)", 0, true, {0, 0, 0, 0}, 1, 1},
      {"last region", VDEC_MAX_DISPLAY_REGIONS - 1, true, {0, 0, 8, 8}, 1, 1},
      {"region out of range", VDEC_MAX_DISPLAY_REGIONS, true, {0, 0, 8, 8}, 1, 0},
      {"empty width", 0, true, {10, 10, 10, 20}, 1, 0},
      {"inverted", 0, true, {20, 20, 10, 10}, 1, 0},
      {"negative", 0, true, {-1, 0, 8, 8}, 1, 0},
      {"no rectangle", 0, false, {}, 1, 0},
      {"disabled without rectangle", 1, false, {}, 0, 1},
  };
  for (const TRegionCase& c : cases) {
    EXPECT_EQ(
        VDEC_SetDisplayRegion(port_, c.region, c.with_rect ? &c.rect : nullptr, 0x42, c.enable),
        c.expected)
        << c.name;
  }
}

TEST(VdecPorts, PoolHandsOutEachPortOnceAndRefusesUnknownPorts) {
  std::vector<int32_t> taken;
  int32_t port = -1;
  while (VDEC_GetFreePort(&port)) taken.push_back(port);
  EXPECT_EQ(taken.size(), static_cast<size_t>(VDEC_MAX_PORTS));
  std::sort(taken.begin(), taken.end());
  EXPECT_EQ(std::adjacent_find(taken.begin(), taken.end()), taken.end()) << "duplicates";
  EXPECT_EQ(taken.front(), 0);
  EXPECT_EQ(taken.back(), VDEC_MAX_PORTS - 1);

  ASSERT_TRUE(VDEC_ReleasePort(17));
  EXPECT_FALSE(VDEC_ReleasePort(17)) << "already free";
  EXPECT_FALSE(VDEC_OpenStream(17, nullptr, 0, 100)) << "a free port does nothing";
  ASSERT_TRUE(VDEC_GetFreePort(&port));
  EXPECT_EQ(port, 17);
  for (int32_t p : taken) EXPECT_TRUE(VDEC_ReleasePort(p));

  EXPECT_FALSE(VDEC_GetFreePort(nullptr));
  const uint8_t byte = 0;
  int32_t w = 0;
  for (int32_t bad : {-1, VDEC_MAX_PORTS, INT32_MIN}) {
    EXPECT_FALSE(VDEC_ReleasePort(bad));
    EXPECT_FALSE(VDEC_OpenStream(bad, nullptr, 0, 100));
    EXPECT_FALSE(VDEC_InputData(bad, &byte, 1));
    EXPECT_FALSE(VDEC_Play(bad, 0));
    EXPECT_FALSE(VDEC_Stop(bad));
    EXPECT_FALSE(VDEC_GetPictureSize(bad, &w, &w));
    EXPECT_FALSE(VDEC_SetDecodeCallBack(bad, nullptr, nullptr));
  }
}

TEST(VdecPorts, ReleasingAPlayingPortStopsItAndForgetsItsSettings) {
  const auto stream = EncodeTestStream("libx264", 96, 64, 20);
  ASSERT_TRUE(stream.has_value());
  int32_t port = -1;
  ASSERT_TRUE(VDEC_GetFreePort(&port));
  TPictureLog log;
  log.linger_ms = 2;
  ASSERT_TRUE(VDEC_OpenStream(port, nullptr, 0, 1 << 20));
  ASSERT_TRUE(VDEC_SetDecodeCallBack(port, &TPictureLog::Hook, &log));
  ASSERT_TRUE(VDEC_Play(port, 0));
  for (const Bytes& frame : stream->frames) {
    ASSERT_TRUE(VDEC_InputData(port, frame.data(), static_cast<uint32_t>(frame.size())));
  }
  ASSERT_TRUE(log.WaitFor(1));
  ASSERT_TRUE(VDEC_ReleasePort(port));
  EXPECT_FALSE(log.Inside());
  const size_t at_release = log.Count();

  // Taken again: no stream, no hook, no picture.
  int32_t again = -1;
  ASSERT_TRUE(VDEC_GetFreePort(&again));
  ASSERT_EQ(again, port);
  int32_t w = 0;
  int32_t h = 0;
  EXPECT_FALSE(VDEC_GetPictureSize(port, &w, &h));
  EXPECT_FALSE(VDEC_Play(port, 0));
  ASSERT_TRUE(VDEC_OpenStream(port, nullptr, 0, 1 << 20));
  ASSERT_TRUE(VDEC_Play(port, 0));
  for (const Bytes& frame : stream->frames) {
    ASSERT_TRUE(VDEC_InputData(port, frame.data(), static_cast<uint32_t>(frame.size())));
  }
  const auto end = std::chrono::steady_clock::now() + kGuard;
  while (!VDEC_GetPictureSize(port, &w, &h) && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(w, 96);
  ASSERT_TRUE(VDEC_ReleasePort(port));
  EXPECT_EQ(log.Count(), at_release) << "the old hook was forgotten";
}

}  // namespace
