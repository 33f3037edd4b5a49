#include "tools/quvi-web/picture_feed.h"

#include <pthread.h>

#include <algorithm>
#include <vector>

#include "platform/window_pixels.h"
#include "tools/quvi-web/picture_encoder.h"

namespace quvi_web {

namespace {
// Milliseconds on the steady clock: what the rate limits are measured with.
double SteadyMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

void TArrivalLog::Add(double ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  times_.push_back(ms);
  if (times_.size() > kKept) times_.pop_front();
}

double TArrivalLog::NewestAtOrBefore(double ms) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::upper_bound(times_.begin(), times_.end(), ms);
  return it == times_.begin() ? 0 : *std::prev(it);
}

struct TPictureFeed::TSource {
  uint32_t Control = 0;
  plat::HWND Window = 0;
  std::shared_ptr<TPageOutbox> Outbox;
  std::shared_ptr<TArrivalLog> Arrivals;
  plat::TSurfaceChange Seen;
  uint32_t Sequence = 0;
  double LastEncodedMs = -1e9;  // steady clock
};

// Whether a window was drawn into since the thread last looked; the listeners set it from the
// drawing threads (while they hold a surface), so it is a flag and a wake-up, nothing more.
struct TPictureFeed::TWake {
  std::mutex mutex;
  std::condition_variable changed_or_stop;
  bool changed = false;
  bool stop = false;

  void Changed() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (changed) return;  // already told
      changed = true;
    }
    changed_or_stop.notify_one();
  }
};

TPictureFeed::TPictureFeed() : wake_(std::make_shared<TWake>()), thread_([this] { Run(); }) {}

TPictureFeed::~TPictureFeed() {
  {
    std::lock_guard<std::mutex> lock(wake_->mutex);
    wake_->stop = true;
  }
  wake_->changed_or_stop.notify_all();
  thread_.join();
  for (auto& [control, source] : sources_) plat::SetWindowChangeListener(source->Window, nullptr);
}

void TPictureFeed::Add(uint32_t control, plat::HWND window, std::shared_ptr<TPageOutbox> outbox,
                       std::shared_ptr<TArrivalLog> arrivals) {
  auto source = std::make_shared<TSource>();
  source->Control = control;
  source->Window = window;
  source->Outbox = std::move(outbox);
  source->Arrivals = std::move(arrivals);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sources_[control] = std::move(source);
  }
  plat::SetWindowChangeListener(window, [wake = wake_] { wake->Changed(); });
  wake_->Changed();  // what the window shows already
}

void TPictureFeed::Remove(uint32_t control) {
  std::shared_ptr<TSource> source;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sources_.find(control);
    if (it == sources_.end()) return;
    source = std::move(it->second);
    sources_.erase(it);
  }
  plat::SetWindowChangeListener(source->Window, nullptr);
  // A pass that took the source before it went finishes before we return.
  std::lock_guard<std::mutex> pass(pass_mutex_);
}

void TPictureFeed::Run() {
  pthread_setname_np(pthread_self(), "quvi-web-pics");  // for profilers and the benchmark
  TPictureEncoder encoder;
  std::vector<std::shared_ptr<TSource>> sources;
  double next_look_ms = 0;  // steady clock; 0: only a change wakes the thread
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(wake_->mutex);
      const auto woken = [this] { return wake_->changed || wake_->stop; };
      if (next_look_ms > 0) {
        const double wait_ms = std::max(0.0, next_look_ms - SteadyMs());
        wake_->changed_or_stop.wait_for(lock, std::chrono::duration<double, std::milli>(wait_ms),
                                        woken);
      } else {
        wake_->changed_or_stop.wait(lock, woken);
      }
      if (wake_->stop) return;
      wake_->changed = false;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      sources.clear();
      for (auto& [control, source] : sources_) sources.push_back(source);
    }
    next_look_ms = 0;
    const auto look_again_at = [&next_look_ms](double ms) {
      ms += 0.1;  // not a hair early, which would only find it too soon again
      if (next_look_ms == 0 || ms < next_look_ms) next_look_ms = ms;
    };
    std::lock_guard<std::mutex> pass(pass_mutex_);
    for (auto& source : sources) {
      {
        // Removed meanwhile: skip.
        std::lock_guard<std::mutex> lock(mutex_);
        if (sources_.count(source->Control) == 0) continue;
      }
      // A change that comes too soon, or while the previous picture waits, is looked at again
      // later; whether this window is the one that changed is known only when it is looked at.
      const double now = SteadyMs();
      if (now - source->LastEncodedMs < kMinIntervalMs) {
        look_again_at(source->LastEncodedMs + kMinIntervalMs);
        continue;
      }
      if (source->Outbox->PictureWaiting(source->Control) &&
          now - source->LastEncodedMs < kReplaceWaitingAfterMs) {
        look_again_at(
            std::min(now + kWaitingRecheckMs, source->LastEncodedMs + kReplaceWaitingAfterMs));
        continue;
      }
      bool converted = false;
      // Converted while the window is held: quicker than copying it, and no copy to keep.
      if (!plat::ReadWindowPixelsIfChanged(
              source->Window, &source->Seen,
              [&](const uint32_t* pixels, int32_t width, int32_t height) {
                converted = encoder.Convert(pixels, width, height);
              }) ||
          !converted) {
        continue;
      }
      TPictureHeader header;
      header.Control = source->Control;
      header.Sequence = source->Sequence + 1;
      header.ArrivalMs = source->Arrivals->NewestAtOrBefore(source->Seen.changed_at_ms);
      std::string picture = encoder.EncodeConverted(header);
      if (picture.empty()) continue;
      source->Sequence = header.Sequence;
      source->LastEncodedMs = now;
      source->Outbox->PutPicture(source->Control, std::move(picture));
    }
  }
}

}  // namespace quvi_web
