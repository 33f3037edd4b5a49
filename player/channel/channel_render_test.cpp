// The channel playing real H.264 into platform windows: pictures drawn by the renderer
// module and by the memory bitmap, the decode and display callbacks, buffered live frames
// paced by the background play thread, stop; and the show gate's schedule.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <thread>

#include "platform/gdi.h"
#include "platform/time.h"
#include "player/channel/channel.h"
#include "player/channel/show_gate.h"
#include "player/channel/test_channel_support.h"
#include "player/imaging/kv_mem_bmp.h"

namespace zrplay {
namespace {

constexpr int32_t kWidth = 704;
constexpr int32_t kHeight = 576;

// What the callbacks saw, in order.
struct TCall {
  int32_t size, width, height, stamp, type, rate;
  bool from_display;
};

class TCallSink {
 public:
  static void Dec(int32_t, const char* data, int32_t size, const ZR_FRAME_INFO* info, ZR_USER user,
                  int32_t) {
    auto* self = reinterpret_cast<TCallSink*>(user);
    self->Add(
        {size, info->nWidth, info->nHeight, info->nStamp, info->nType, info->nFrameRate, false},
        data);
  }
  static void Display(int32_t, const char* data, int32_t size, int32_t width, int32_t height,
                      int32_t stamp, int32_t type, int32_t) {
    displayed_->Add({size, width, height, stamp, type, 0, true}, data);
  }
  // The sink display callbacks go to (they carry no user value).
  static void ShowDisplayTo(TCallSink* sink) { displayed_ = sink; }

  void Add(const TCall& call, const char* data) {
    std::lock_guard lock(lock_);
    calls_.push_back(call);
    if (data == nullptr) null_data_ = true;
    cv_.notify_all();
  }
  bool WaitFor(size_t count) {
    std::unique_lock lock(lock_);
    return cv_.wait_for(lock, std::chrono::seconds(120), [&] { return calls_.size() >= count; });
  }
  std::vector<TCall> Calls() {
    std::lock_guard lock(lock_);
    return calls_;
  }
  bool NullData() {
    std::lock_guard lock(lock_);
    return null_data_;
  }

 private:
  static inline TCallSink* displayed_ = nullptr;
  std::mutex lock_;
  std::condition_variable cv_;
  std::vector<TCall> calls_;
  bool null_data_ = false;
};

// The first key frame of the fixture and the count video frames after it.
std::vector<TFixtureFrame> VideoFrames(size_t count) {
  std::vector<TFixtureFrame> out;
  for (TFixtureFrame& f : ReadFixture("h264_704x576_g711u.rec")) {
    if (!f.IsVideo()) continue;
    if (out.empty() && !IsKeyFrameType(f.head.FrameType)) continue;
    out.push_back(std::move(f));
    if (out.size() == count) break;
  }
  return out;
}

bool SurfaceShowsAPicture(plat::HWND window) {
  std::vector<uint32_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  if (!plat::GetWindowPixels(window, &pixels, &width, &height)) return false;
  size_t lit = 0;
  for (uint32_t p : pixels) lit += (p & 0xFFFFFF) != 0 ? 1 : 0;
  return lit > pixels.size() / 2;
}

class ChannelRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(VendorVideoDecoder().GetFreePort(vendor_port_));
    window_ = plat::CreateWindowHandle();
    ASSERT_TRUE(plat::MoveWindow(window_, 0, 0, 320, 240));
  }
  void TearDown() override {
    channel_.reset();
    TCallSink::ShowDisplayTo(nullptr);
    VendorVideoDecoder().ReleasePort(vendor_port_);
    plat::DestroyWindowHandle(window_);
  }
  TChannel& MakeChannel(bool buffered) {
    PlayerSettings.EnableBufferOnLive = buffered;
    channel_ = std::make_unique<TChannel>(7, vendor_port_);
    return *channel_;
  }

  TSettingsScope settings_;
  int32_t vendor_port_ = -1;
  plat::HWND window_ = 0;
  std::unique_ptr<TChannel> channel_;
};

TEST_F(ChannelRenderTest, PicturesAreDrawnAndHandedToBothCallbacksUntilStop) {
  const std::vector<TFixtureFrame> frames = VideoFrames(12);
  ASSERT_EQ(frames.size(), 12u);
  for (const bool use_kv : {true, false}) {
    SCOPED_TRACE(use_kv ? "renderer" : "memory bitmap");
    PlayerSettings.UseKV = use_kv;
    ASSERT_TRUE(plat::MoveWindow(window_, 0, 0, 320, 240 + (use_kv ? 0 : 2)));  // black again
    ASSERT_FALSE(SurfaceShowsAPicture(window_));
    TChannel& channel = MakeChannel(false);
    TCallSink dec;
    TCallSink display;
    TCallSink::ShowDisplayTo(&display);
    ASSERT_EQ(channel.SetDecCallBackEx(&TCallSink::Dec, reinterpret_cast<ZR_USER>(&dec)), 1);
    ASSERT_EQ(channel.SetDisplayCallBack(&TCallSink::Display), 1);
    ASSERT_EQ(channel.Play(window_), 1);
    EXPECT_EQ(channel.RendererHandle() != 0, use_kv);
    EXPECT_EQ(channel.DeviceContext() != 0, !use_kv);
    EXPECT_FALSE(channel.HasBgPlayThread());

    for (const TFixtureFrame& f : frames) {
      ASSERT_EQ(channel.InputVideoData(f.block.data(), static_cast<int32_t>(f.block.size())), 1);
    }
    ASSERT_TRUE(dec.WaitFor(frames.size())) << dec.Calls().size();
    ASSERT_TRUE(display.WaitFor(frames.size())) << display.Calls().size();
    ASSERT_EQ(channel.Stop(), 1);
    EXPECT_EQ(channel.RendererHandle(), 0);
    EXPECT_EQ(channel.DeviceContext(), 0);

    EXPECT_TRUE(SurfaceShowsAPicture(window_));
    const int32_t size = kWidth * kHeight * 3 / 2;
    for (TCallSink* sink : {&dec, &display}) {
      const std::vector<TCall> calls = sink->Calls();
      EXPECT_EQ(calls.size(), frames.size());
      for (const TCall& c : calls) {
        EXPECT_EQ(c.size, size);
        EXPECT_EQ(c.width, kWidth);
        EXPECT_EQ(c.height, kHeight);
        EXPECT_EQ(c.type, 3);
        if (!c.from_display) {
          EXPECT_EQ(c.rate, 25);
        }
      }
      EXPECT_FALSE(sink->NullData());
    }
    int32_t width = 0;
    int32_t height = 0;
    EXPECT_EQ(channel.GetPictureSize(width, height), 1);
    EXPECT_EQ(width, kWidth);
    EXPECT_EQ(height, kHeight);

    // Nothing reaches the decoder or the callbacks once stopped.
    EXPECT_EQ(channel.InputVideoData(frames[0].block.data(),
                                     static_cast<int32_t>(frames[0].block.size())),
              0);
    EXPECT_EQ(dec.Calls().size(), frames.size());
    channel_.reset();
  }
}

TEST_F(ChannelRenderTest, RefreshPlayRedrawsTheLastPictureThroughTheDisplayRegion) {
  const std::vector<TFixtureFrame> frames = VideoFrames(1);
  TChannel& channel = MakeChannel(false);
  TCallSink display;
  TCallSink::ShowDisplayTo(&display);
  channel.SetDisplayCallBack(&TCallSink::Display);
  ASSERT_EQ(channel.Play(window_), 1);
  ASSERT_EQ(
      channel.InputVideoData(frames[0].block.data(), static_cast<int32_t>(frames[0].block.size())),
      1);
  ASSERT_TRUE(display.WaitFor(1));
  // A one-pixel region fills the whole window with that pixel's colour.
  EXPECT_EQ(channel.SetDisplayRegion(0, plat::RECT{10, 10, 11, 11}, window_, true), 1);
  ASSERT_EQ(channel.RefreshPlay(), 1);
  std::vector<uint32_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  ASSERT_TRUE(plat::GetWindowPixels(window_, &pixels, &width, &height));
  ASSERT_FALSE(pixels.empty());
  for (uint32_t p : pixels) ASSERT_EQ(p, pixels[0]);
  EXPECT_EQ(display.Calls().size(), 1u) << "a refresh calls no callback";
}

TEST_F(ChannelRenderTest, BufferedLiveFramesArriveInOrderPacedByTheBackgroundThread) {
  std::vector<TFixtureFrame> frames = VideoFrames(11);
  const TFixtureFrame late = frames.back();
  frames.pop_back();
  TChannel& channel = MakeChannel(true);
  TCallSink display;
  TCallSink::ShowDisplayTo(&display);
  channel.SetDisplayCallBack(&TCallSink::Display);
  TLogLines log;
  ASSERT_EQ(channel.Play(0), 1);
  EXPECT_TRUE(channel.HasBgPlayThread());
  EXPECT_EQ(channel.RendererHandle(), 0);
  EXPECT_EQ(channel.DeviceContext(), 0);
  for (const TFixtureFrame& f : frames) {
    ASSERT_EQ(channel.InputData(f.block.data(), static_cast<int32_t>(f.block.size())), 1);
  }
  ASSERT_TRUE(display.WaitFor(frames.size())) << display.Calls().size();
  const std::vector<TCall> calls = display.Calls();
  ASSERT_EQ(calls.size(), frames.size());
  // Every frame went through the list and left it.
  EXPECT_TRUE(channel.FrameListExists());
  EXPECT_EQ(channel.BufferedFrameCount(), 0u);
  // Stamps are those of the last frame fed when each picture arrives (a decoder slower than
  // the pace may already have been given later frames): they never go back and stay within
  // the span of the frames.
  const int64_t span =
      FrameTimeDistanceMs(FrameTime(frames.back().head), FrameTime(frames[0].head));
  EXPECT_LE(calls.back().stamp, span);
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_LE(calls[i - 1].stamp, calls[i].stamp) << i;
  const std::string prefix = channel.Log().Prefix();
  const std::vector<std::string> lines = log.LinesAfter(prefix);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "can play, first frame"), 1);

  // With nothing left to show the background thread sleeps until something arrives instead
  // of waking on a timer (the step that found the list empty may still be ending, and one
  // wake left over from the arrivals may give it one more).
  const uint64_t steps_before = channel.PlaySteps();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LE(channel.PlaySteps() - steps_before, 2u);
  // The arrival wakes it: the frame is shown (a missing wake would leave it in the list).
  ASSERT_EQ(channel.InputData(late.block.data(), static_cast<int32_t>(late.block.size())), 1);
  ASSERT_TRUE(display.WaitFor(frames.size() + 1));
  EXPECT_EQ(channel.BufferedFrameCount(), 0u);

  ASSERT_EQ(channel.Stop(), 1);
  EXPECT_FALSE(channel.HasBgPlayThread());
  const std::vector<std::string> after = log.LinesAfter(prefix);
  const auto stop_thread = std::find(after.begin(), after.end(), "stop play thread<--");
  const auto free_list = std::find(after.begin(), after.end(), "free buffer frame list");
  EXPECT_TRUE(stop_thread < free_list);
  EXPECT_EQ(channel.Stop(), 1);
}

TEST_F(ChannelRenderTest, AFrameMarkedTurnedReachesTheCallbackTurned) {
  std::vector<TFixtureFrame> frames = VideoFrames(3);
  for (TFixtureFrame& f : frames) f.block[offsetof(TFrameHead, Rotation)] = 1;
  TChannel& channel = MakeChannel(false);
  TCallSink dec;
  channel.SetDecCallBackEx(&TCallSink::Dec, reinterpret_cast<ZR_USER>(&dec));
  ASSERT_EQ(channel.Play(window_), 1);
  for (const TFixtureFrame& f : frames) {
    ASSERT_EQ(channel.InputVideoData(f.block.data(), static_cast<int32_t>(f.block.size())), 1);
  }
  ASSERT_TRUE(dec.WaitFor(frames.size()));
  channel.Stop();
  for (const TCall& c : dec.Calls()) {
    EXPECT_EQ(c.width, kHeight);
    EXPECT_EQ(c.height, kWidth);
    EXPECT_EQ(c.size, kWidth * kHeight * 3 / 2);
  }
  EXPECT_TRUE(SurfaceShowsAPicture(window_));
}

TEST_F(ChannelRenderTest, WhenTheDecoderDrawsTheCallbacksAreNeverCalled) {
  PlayerSettings.DrawBySDK = true;
  const std::vector<TFixtureFrame> frames = VideoFrames(3);
  TChannel& channel = MakeChannel(false);
  TCallSink dec;
  TCallSink display;
  TCallSink::ShowDisplayTo(&display);
  channel.SetDecCallBackEx(&TCallSink::Dec, reinterpret_cast<ZR_USER>(&dec));
  channel.SetDisplayCallBack(&TCallSink::Display);
  ASSERT_EQ(channel.Play(window_), 1);
  EXPECT_EQ(channel.RendererHandle(), 0);
  EXPECT_EQ(channel.DeviceContext(), 0);
  for (const TFixtureFrame& f : frames) {
    ASSERT_EQ(channel.InputVideoData(f.block.data(), static_cast<int32_t>(f.block.size())), 1);
  }
  // The decoder knows the picture size once it has decoded a picture.
  int32_t width = 0;
  int32_t height = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (channel.GetPictureSize(width, height) != 1 &&
         std::chrono::steady_clock::now() < deadline) {
    plat::Sleep(5);
  }
  EXPECT_EQ(width, kWidth);
  EXPECT_EQ(height, kHeight);
  ASSERT_EQ(channel.Stop(), 1);
  EXPECT_TRUE(dec.Calls().empty());
  EXPECT_TRUE(display.Calls().empty());
}

// Seen from inside the display callback, which runs just before its picture is drawn:
// whether the previous picture reached the window. Each call then blanks the window (a new
// size gives a new, black surface) for the next picture.
class TDrawProbe {
 public:
  static void Display(int32_t, const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    TDrawProbe& self = *probe_;
    if (self.calls_++ > 0) self.drawn_.push_back(SurfaceShowsAPicture(self.window_));
    plat::MoveWindow(self.window_, 0, 0, 160, 120 + 2 * (self.calls_ % 2));
  }
  TDrawProbe(plat::HWND window) : window_(window) { probe_ = this; }
  ~TDrawProbe() { probe_ = nullptr; }
  // Call after the decoder has stopped: adds whether the last picture was drawn.
  std::vector<bool> Drawn() {
    std::vector<bool> all = drawn_;
    all.push_back(SurfaceShowsAPicture(window_));
    return all;
  }
  int Calls() const { return calls_; }

 private:
  static inline TDrawProbe* probe_ = nullptr;
  plat::HWND window_;
  std::atomic<int> calls_{0};
  std::vector<bool> drawn_;
};

TEST_F(ChannelRenderTest, DropDrawSkipsEveryNthPictureOnTheRendererPath) {
  const std::vector<TFixtureFrame> frames = VideoFrames(7);
  PlayerSettings.UseKV = true;
  struct TCase {
    int32_t drop_draw;
    std::vector<bool> drawn;
  };
  for (const TCase& c :
       {TCase{3, {true, true, false, true, true, false, true}},
        TCase{1, std::vector<bool>(7, true)}, TCase{0, std::vector<bool>(7, true)}}) {
    SCOPED_TRACE(c.drop_draw);
    PlayerSettings.DropDraw = c.drop_draw;
    TChannel& channel = MakeChannel(false);
    TDrawProbe probe(window_);
    channel.SetDisplayCallBack(&TDrawProbe::Display);
    ASSERT_EQ(channel.Play(window_), 1);
    TCallSink dec;
    channel.SetDecCallBackEx(&TCallSink::Dec, reinterpret_cast<ZR_USER>(&dec));
    for (const TFixtureFrame& f : frames) {
      ASSERT_EQ(channel.InputVideoData(f.block.data(), static_cast<int32_t>(f.block.size())), 1);
    }
    ASSERT_TRUE(dec.WaitFor(frames.size()));
    ASSERT_EQ(channel.Stop(), 1);
    EXPECT_EQ(probe.Drawn(), c.drawn);
    channel_.reset();
  }
}

TEST_F(ChannelRenderTest, PlayingAgainIntoAnotherWindowDrawsThere) {
  const std::vector<TFixtureFrame> frames = VideoFrames(2);
  const plat::HWND other = plat::CreateWindowHandle();
  ASSERT_TRUE(plat::MoveWindow(other, 0, 0, 200, 100));
  for (const bool use_kv : {true, false}) {
    SCOPED_TRACE(use_kv ? "renderer" : "memory bitmap");
    PlayerSettings.UseKV = use_kv;
    ASSERT_TRUE(plat::MoveWindow(other, 0, 0, 200, 100 + (use_kv ? 0 : 2)));  // black again
    TChannel& channel = MakeChannel(false);
    TCallSink dec;
    channel.SetDecCallBackEx(&TCallSink::Dec, reinterpret_cast<ZR_USER>(&dec));
    ASSERT_EQ(channel.Play(window_), 1);
    ASSERT_EQ(channel.Play(other), 1);
    for (const TFixtureFrame& f : frames) {
      ASSERT_EQ(channel.InputVideoData(f.block.data(), static_cast<int32_t>(f.block.size())), 1);
    }
    ASSERT_TRUE(dec.WaitFor(frames.size()));
    ASSERT_EQ(channel.Stop(), 1);
    EXPECT_TRUE(SurfaceShowsAPicture(other));
    channel_.reset();
  }
  plat::DestroyWindowHandle(other);
}

// A picture of the window's own size goes straight into the window; any other size, or a
// display region, through the memory bitmap. Both show the same colours.
TEST(PictureDrawerTest, APictureOfTheWindowsSizeShowsAsTheBitmapWouldShowIt) {
  constexpr int32_t kW = 6, kH = 4;
  std::vector<uint8_t> picture(kW * kH * 3 / 2);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(40 + i * 7);
  std::vector<uint8_t> scratch, expected(kW * kH * 4);
  Yv12ToBgra(picture.data(), kW, kH, expected.data(), kW * 4, scratch);
  auto shown = [](plat::HWND window) {
    std::vector<uint32_t> pixels;
    int32_t w = 0, h = 0;
    plat::GetWindowPixels(window, &pixels, &w, &h);
    std::vector<uint8_t> bytes(pixels.size() * 4);
    std::memcpy(bytes.data(), pixels.data(), bytes.size());
    return bytes;
  };
  const TChannelLog log(1, 2);
  for (const bool region : {false, true}) {
    SCOPED_TRACE(region ? "through a whole-picture region" : "straight");
    const plat::HWND window = plat::CreateWindowHandle();
    ASSERT_TRUE(plat::MoveWindow(window, 0, 0, kW, kH));
    TPictureDrawer drawer;
    drawer.Open(window, false, log);
    if (region) drawer.SetRegion(plat::RECT{0, 0, kW, kH}, true);
    drawer.Draw(picture.data(), static_cast<int32_t>(picture.size()), kW, kH, 0);
    EXPECT_EQ(shown(window), expected);
    drawer.Close(log);
    plat::DestroyWindowHandle(window);
  }
}

TEST(ShowGateTest, FramesWaitForTheirDistanceAndTheScheduleRestartsWhenLate) {
  const TChannelLog log(1, 2);
  const TDateTime t0 = UnixToDateTime(1733819400, 0);
  const TDateTime t50 = UnixToDateTime(1733819400, 50000);
  struct TCase {
    const char* name;
    uint32_t elapsed;  // since the first frame was let through
    bool through;
    uint32_t next_base;  // where a following 50 ms frame's schedule is measured from
  };
  for (const TCase c :
       {TCase{"early", 49, false, 0}, TCase{"on time", 50, true, 50},
        TCase{"late, moved on", 120, true, 50}, TCase{"late, resynchronised", 160, true, 160}}) {
    SCOPED_TRACE(c.name);
    TShowGate gate;
    const uint32_t start = 0xFFFFFFF0u;  // the tick wraps during the case
    ASSERT_TRUE(gate.CanPlay(t0, 0, 1.0f, 3, start, log));
    uint32_t wait_left = 0;
    EXPECT_EQ(gate.CanPlay(t50, t0, 1.0f, 3, start + c.elapsed, log, &wait_left), c.through);
    if (!c.through) {
      EXPECT_EQ(wait_left, 50 - c.elapsed);  // how long the background thread may sleep
      continue;
    }
    // The next frame, 50 ms later, is due 50 ms after the new last show time.
    EXPECT_FALSE(gate.CanPlay(t50, t0, 1.0f, 3, start + c.next_base + 49, log));
    EXPECT_TRUE(gate.CanPlay(t50, t0, 1.0f, 3, start + c.next_base + 50, log));
  }
}

TEST(ShowGateTest, AFiveSecondGapGoesThroughAtOnceAndTheFactorScalesTheWait) {
  TLogLines lines;
  const TChannelLog log(1, 2);
  const TDateTime t0 = UnixToDateTime(1733819400, 0);
  TShowGate gate;
  ASSERT_TRUE(gate.CanPlay(t0, 0, 1.0f, 3, 1000, log));
  EXPECT_TRUE(gate.CanPlay(UnixToDateTime(1733819405, 0), t0, 1.0f, 3, 1001, log));
  EXPECT_EQ(lines.LinesAfter(log.Prefix()),
            (std::vector<std::string>{"can play, first frame", "can play, frame delay=5000"}));

  TShowGate slow;
  ASSERT_TRUE(slow.CanPlay(t0, 0, 2.0f, 3, 0, log));
  const TDateTime t40 = UnixToDateTime(1733819400, 40000);
  uint32_t wait_left = 0;
  EXPECT_FALSE(slow.CanPlay(t40, t0, 2.0f, 3, 60, log, &wait_left));
  EXPECT_EQ(wait_left, 20u);
  EXPECT_FALSE(slow.CanPlay(t40, t0, 2.0f, 3, 79, log));
  EXPECT_TRUE(slow.CanPlay(t40, t0, 2.0f, 3, 80, log));
}

TEST(ChannelCallbackTest, SettingTheSameDecodeCallbackTwiceLogsOnceAndEndsBuffering) {
  TSettingsScope settings;
  PlayerSettings.EnableBufferOnLive = true;
  TFakeVideoDecoder decoder;
  TLogLines lines;
  TChannel channel(3, 4, decoder);
  ASSERT_TRUE(channel.BufferOnLive());
  auto callback = +[](int32_t, const char*, int32_t, const ZR_FRAME_INFO*, ZR_USER, int32_t) {};
  EXPECT_EQ(channel.SetDecCallBack(callback), 1);
  EXPECT_EQ(channel.SetDecCallBackEx(callback, 5), 1);
  EXPECT_EQ(channel.SetDecCallBack(nullptr), 1);
  EXPECT_FALSE(channel.BufferOnLive());
  EXPECT_EQ(lines.LinesAfter(channel.Log().Prefix()),
            (std::vector<std::string>{"create", "set dec callback", "clear dec callback"}));

  // Stop without play makes no decoder call.
  EXPECT_EQ(channel.Stop(), 1);
  EXPECT_EQ(decoder.StopCalls(), 0);
}

TEST(ChannelPlayLogTest, PlayAndStopWriteTheirStepsInOrder) {
  const plat::HWND window = plat::CreateWindowHandle();
  ASSERT_TRUE(plat::MoveWindow(window, 0, 0, 64, 48));
  char wnd[16];
  std::snprintf(wnd, sizeof wnd, "0x%08X", static_cast<uint32_t>(window));
  const std::string w = wnd;
  // The window lies on the platform's one monitor, at its origin.
  const plat::HMONITOR monitor = plat::MonitorFromWindow(window, plat::MONITOR_DEFAULTTONULL);
  ASSERT_NE(monitor, 0);
  std::snprintf(wnd, sizeof wnd, "0x%08X", static_cast<uint32_t>(monitor));
  const std::string m = wnd;
  using TLines = std::vector<std::string>;
  struct TCase {
    const char* name;
    bool buffered, use_kv, by_sdk;
    plat::HWND window;
    TLines play;  // "<handle>" stands for the draw handle made
    TLines stop;
  };
  const TLines stop_head = {"stop-->", "stop<--", "close stream"};
  for (const TCase& c : {
           TCase{
               "buffered, no window",
               true,
               false,
               false,
               0,
               {"play(wnd=0x00000000)--->", "create bg play thread-->", "create bg play thread<--",
                "play(wnd=0x00000000)<---"},
               {"stop play thread-->", "stop play thread<--", "free buffer frame list", "stop=1"}},
           TCase{
               "renderer",
               false,
               true,
               false,
               window,
               {"play(wnd=" + w + ")--->", "create draw handle-->", "monitor=" + m,
                "monitor handle=" + m + ", x=0, y=0", "create draw handle<--<handle>",
                "play(wnd=" + w + ")<---"},
               {"free draw handle-->", "free draw handle<--", "free buffer frame list", "stop=1"}},
           TCase{"decoder draws",
                 false,
                 true,
                 true,
                 window,
                 {"set engine, decode=5, render=5, ret=-1", "set anti alias enable=-1",
                  "play(wnd=" + w + ")--->", "play(wnd=" + w + ")<---"},
                 {"free buffer frame list", "stop=1"}},
       }) {
    SCOPED_TRACE(c.name);
    TSettingsScope settings;
    PlayerSettings.EnableBufferOnLive = c.buffered;
    PlayerSettings.UseKV = c.use_kv;
    PlayerSettings.DrawBySDK = c.by_sdk;
    PlayerSettings.AntiAliasEnable = true;
    TFakeVideoDecoder decoder;
    TChannel channel(2, 3, decoder);
    TLogLines log;
    ASSERT_EQ(channel.Play(c.window), 1);
    TLines play = c.play;
    for (std::string& line : play) {
      const size_t at = line.find("<handle>");
      if (at == std::string::npos) continue;
      char handle[16];
      std::snprintf(handle, sizeof handle, "0x%08X",
                    static_cast<uint32_t>(channel.RendererHandle()));
      line.replace(at, 8, handle);
    }
    EXPECT_EQ(log.LinesAfter(channel.Log().Prefix()), play);
    log.Clear();
    ASSERT_EQ(channel.Stop(), 1);
    TLines stop = stop_head;
    stop.insert(stop.end(), c.stop.begin(), c.stop.end());
    EXPECT_EQ(log.LinesAfter(channel.Log().Prefix()), stop);
    EXPECT_EQ(decoder.StopCalls(), 1);
  }
  plat::DestroyWindowHandle(window);
}

}  // namespace
}  // namespace zrplay
