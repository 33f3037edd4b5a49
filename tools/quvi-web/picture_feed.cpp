#include "tools/quvi-web/picture_feed.h"

#include <pthread.h>

#include <algorithm>
#include <vector>

#include "tools/quvi-web/picture_encoder.h"

namespace quvi_web {

namespace {
// How often the thread looks at the surfaces: well under a frame at 30/s, and cheap (a
// counter compared under the surface's lock).
constexpr auto kPollInterval = std::chrono::milliseconds(4);
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
  double LastEncodedMs = 0;
  std::vector<uint32_t> Pixels;  // reused from picture to picture
};

TPictureFeed::TPictureFeed() : thread_([this] { Run(); }) {}

TPictureFeed::~TPictureFeed() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TPictureFeed::Add(uint32_t control, plat::HWND window, std::shared_ptr<TPageOutbox> outbox,
                       std::shared_ptr<TArrivalLog> arrivals) {
  auto source = std::make_shared<TSource>();
  source->Control = control;
  source->Window = window;
  source->Outbox = std::move(outbox);
  source->Arrivals = std::move(arrivals);
  std::lock_guard<std::mutex> lock(mutex_);
  sources_[control] = std::move(source);
}

void TPictureFeed::Remove(uint32_t control) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sources_.erase(control);
  }
  // A pass that took the source before it went finishes before we return.
  std::lock_guard<std::mutex> pass(pass_mutex_);
}

void TPictureFeed::Run() {
  pthread_setname_np(pthread_self(), "quvi-web-pics");  // for profilers and the benchmark
  TPictureEncoder encoder;
  std::vector<std::shared_ptr<TSource>> sources;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait_for(lock, kPollInterval, [this] { return stop_; });
      if (stop_) return;
      sources.clear();
      for (auto& [control, source] : sources_) sources.push_back(source);
    }
    std::lock_guard<std::mutex> pass(pass_mutex_);
    for (auto& source : sources) {
      {
        // Removed meanwhile: skip.
        std::lock_guard<std::mutex> lock(mutex_);
        if (sources_.count(source->Control) == 0) continue;
      }
      const double now = NowMs();
      if (now - source->LastEncodedMs < kMinIntervalMs) continue;
      if (source->Outbox->PictureWaiting(source->Control) &&
          now - source->LastEncodedMs < kReplaceWaitingAfterMs) {
        continue;
      }
      int32_t width = 0;
      int32_t height = 0;
      if (!plat::GetWindowPixelsIfChanged(source->Window, &source->Seen, &source->Pixels, &width,
                                          &height)) {
        continue;
      }
      TPictureHeader header;
      header.Control = source->Control;
      header.Sequence = source->Sequence + 1;
      header.ArrivalMs = source->Arrivals->NewestAtOrBefore(source->Seen.changed_at_ms);
      std::string picture = encoder.Encode(header, source->Pixels.data(), width, height);
      if (picture.empty()) continue;
      source->Sequence = header.Sequence;
      source->LastEncodedMs = now;
      source->Outbox->PutPicture(source->Control, std::move(picture));
    }
  }
}

}  // namespace quvi_web
