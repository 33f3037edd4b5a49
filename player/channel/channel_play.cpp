// The channel's play state: play into a window, the start of a play run, stop, and the
// background play thread's steps.
#include <algorithm>
#include <exception>
#include <stdexcept>

#include "platform/time.h"
#include "player/channel/channel.h"
#include "player/config/player_settings.h"

namespace zrplay {

namespace {

// The decoder's input buffer for a played stream.
constexpr uint32_t kPlayStreamBufferSize = 0x80000;

unsigned long long Hex8(intptr_t value) {
  return static_cast<unsigned long long>(static_cast<uint32_t>(value));
}

}  // namespace

bool TChannel::TRunChange::Enter(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  if (!cv_.wait_for(lock, limit, [this] { return !busy_; })) return false;
  busy_ = true;
  return true;
}

void TChannel::TRunChange::Enter() {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [this] { return !busy_; });
  busy_ = true;
}

void TChannel::TRunChange::Leave() {
  {
    const std::lock_guard lock(mutex_);
    busy_ = false;
  }
  cv_.notify_all();
}

int32_t TChannel::Play(plat::HWND window) {
  // Waits for a Stop in progress, which frees what this run would use. Bounded: a Play from a
  // thread that Stop waits for (a host's callback) fails instead of blocking both.
  if (!run_change_.Enter(kRunChangeWait)) return 0;
  const TRunChange::TLeaveOnExit leave{run_change_};
  decoder_.OpenStream(vendor_port_, kPlayStreamBufferSize);
  window_ = window;
  const bool valid = TPictureDrawer::IsValidWindow(window);
  const TPlayerSettings& settings = PlayerSettings;
  bool r = false;
  if (settings.DrawBySDK) {
    if (valid && settings.DecodeType != 0 && settings.RenderType != 0) {
      const bool set = decoder_.SetEngine(vendor_port_, settings.DecodeType, settings.RenderType);
      log_.WriteF("set engine, decode=%d, render=%d, ret=%d", settings.DecodeType,
                  settings.RenderType, set ? -1 : 0);
    }
    r = decoder_.Play(vendor_port_, window);
    if (r && settings.AntiAliasEnable) {
      const bool set = decoder_.AntiAliasEnable(vendor_port_, true);
      log_.WriteF("set anti alias enable=%d", set ? -1 : 0);
    }
  } else {
    decoder_.SetDecCBStream(vendor_port_, VDEC_DECCB_VIDEO);
    decoder_.SetDecodeCallBack(vendor_port_, &TChannel::DecodeHook, this);
    r = decoder_.Play(vendor_port_, 0);
  }
  log_.WriteF("play(wnd=0x%08llX)--->", Hex8(window));

  if (valid && !settings.DrawBySDK) {
    std::lock_guard lock(picture_lock_);
    drawer_.Open(window, settings.UseKV, log_);
  }

  // A new play run: frame times and both pacers start over; the live delay factor stays
  // as the last speed change left it.
  current_index_ = 0;
  timing_.Restart();
  show_gate_.Reset();
  file_pacer_.Reset();
  paused_ = false;
  single_step_ = false;
  {
    std::lock_guard lock(callback_lock_);
    speed_level_ = dec_callback_ != nullptr ? 4 : 0;
  }
  {
    std::lock_guard run(run_lock_);
    playing_ = true;
    if ((StreamState() == ssRecordFile || buffer_on_live_) && !bg_thread_) {
      try {
        StartBgPlayThread();
      } catch (const std::exception& e) {
        log_.WriteF("create bg play thread failed, e=%s", e.what());
        return 0;
      }
    }
  }
  log_.WriteF("play(wnd=0x%08llX)<---", Hex8(window));
  return r ? 1 : 0;
}

int32_t TChannel::Stop() {
  if (!playing_.exchange(false)) return 1;
  // A Play may start a new run before this one is taken down; the new run would lose its
  // buffered frames and thread to this Stop, so Play waits for the lock.
  run_change_.Enter();
  const TRunChange::TLeaveOnExit leave{run_change_};
  paused_ = false;
  log_.Write("stop-->");
  const bool r = decoder_.Stop(vendor_port_);
  log_.Write("stop<--");
  // Lets input calls still running on other threads return before the stream closes.
  plat::Sleep(10);
  decoder_.CloseStream(vendor_port_);
  log_.Write("close stream");
  single_step_ = false;
  StopBgPlayThread();
  audio_.FreeSoundManager();
  FreeOverlayLines();
  {
    std::lock_guard lock(picture_lock_);
    drawer_.Close(log_);
  }
  FreeBufferedFrames();
  log_.WriteF("stop=%d", r ? 1 : 0);
  return r ? 1 : 0;
}

void TChannel::FreeBufferedFrames() {
  frame_list_.Free();
  current_frame_.reset();
  log_.Write("free buffer frame list");
}

void TChannel::StartBgPlayThread() {
  log_.Write("create bg play thread-->");
  auto thread = std::make_unique<TBgPlayThread>(*this);
  if (!thread->Start()) throw std::runtime_error("thread not started");
  bg_thread_ = std::move(thread);
  log_.Write("create bg play thread<--");
}

void TChannel::StopBgPlayThread() {
  std::unique_ptr<TBgPlayThread> thread;
  {
    std::lock_guard run(run_lock_);
    thread = std::move(bg_thread_);
  }
  if (!thread) return;
  log_.Write("stop play thread-->");
  thread->Terminate();
  // Every waiter looks at its own stop: a successor started meanwhile may wait on the same
  // signal, and must neither take this stop nor leave this thread asleep.
  play_work_.WakeAll();
  thread->WaitFor();
  thread.reset();
  log_.Write("stop play thread<--");
}

bool TChannel::PlayStep() {
  // Counted also when the step throws.
  struct TCount {
    std::atomic<uint64_t>& steps;
    ~TCount() { ++steps; }
  } count{play_steps_};
  waiting_for_arrival_ = false;
  play_idle_ms_ = buffer_on_live_ ? kLiveIdleWaitMs : 1;
  return buffer_on_live_ ? LiveStep() : RecordFileStep(tick_source_.load()());
}

void TChannel::WaitForPlayWork(const std::function<bool()>& stopped) {
  const uint32_t ms = play_idle_ms_;
  if (ms > 0) play_work_.Wait(ms, stopped);
}

bool TChannel::WaitForArrival() {
  // Raised before the list is looked at again: a frame appended meanwhile is either seen here
  // or its arrival sees the flag and wakes the thread.
  waiting_for_arrival_ = true;
  if (frame_list_.Count() > 0) {
    waiting_for_arrival_ = false;
    play_idle_ms_ = 0;
  } else {
    play_idle_ms_ = TPlaySignal::kNoTimeLimit;
  }
  return false;
}

bool TChannel::LiveStep() {
  // Nothing buffered yet: the first frame that has to wait wakes the thread.
  if (!frame_list_.Exists()) return WaitForArrival();
  if (!playing_ || (paused_ && !single_step_)) return false;
  // A frame freed while waiting for a key frame: the next may be waiting already.
  if (!TakeFrame()) return WaitForArrival();
  bool feed = false;
  if (single_step_) {
    feed = step_pending_.exchange(false);
  } else {
    const TBufferFrame& frame = *current_frame_;
    uint32_t wait_left = kLiveIdleWaitMs;
    feed = show_gate_.CanPlay(frame.FrameTime(), timing_.LastFrameTime(), live_delay_factor_.load(),
                              frame.Head().FrameType, tick_source_.load()(), log_, &wait_left);
    if (!feed) play_idle_ms_ = std::min(std::max<uint32_t>(wait_left, 1), kLiveIdleWaitMs);
  }
  if (!feed) return false;
  FeedCurrentFrame();
  return true;
}

}  // namespace zrplay
