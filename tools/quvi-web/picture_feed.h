// The picture thread: sleeps until a hosted control's window is drawn into, then converts the
// window's pixels in place (under the surface's lock, no copy) and encodes them (at most 30
// times a second per control) into its page's outbox. While a page has not taken a control's
// previous picture, nothing new is encoded for it unless that picture has waited long, and
// then the new one replaces it (latest wins), so a slow page costs neither memory nor
// encoding time. Each picture carries the arrival time of the newest package the control fed
// to its player before the surface was last drawn (TArrivalLog).
// Add and Remove come from the user-interface thread; owns the thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/gdi.h"
#include "tools/quvi-web/page_outbox.h"

namespace quvi_web {

// The times (ms since the Unix epoch) at which a control's video packages reached its
// player, as its OnReceiveData events tell; bounded. Thread-safe.
class TArrivalLog {
 public:
  void Add(double ms);
  // The newest time not after `ms`; 0 when none is known.
  double NewestAtOrBefore(double ms) const;

 private:
  static constexpr size_t kKept = 256;
  mutable std::mutex mutex_;
  std::deque<double> times_;
};

class TPictureFeed {
 public:
  static constexpr double kMinIntervalMs = 1000.0 / 30;
  // How long a waiting picture may get old before a newer one replaces it.
  static constexpr double kReplaceWaitingAfterMs = 200;
  // How often a changed window whose previous picture still waits is looked at again.
  static constexpr double kWaitingRecheckMs = 5;

  TPictureFeed();
  ~TPictureFeed();
  TPictureFeed(const TPictureFeed&) = delete;
  TPictureFeed& operator=(const TPictureFeed&) = delete;

  void Add(uint32_t control, plat::HWND window, std::shared_ptr<TPageOutbox> outbox,
           std::shared_ptr<TArrivalLog> arrivals);
  // After this returns the control gets no more pictures.
  void Remove(uint32_t control);

 private:
  struct TSource;
  struct TWake;
  void Run();

  // Shared with the windows' change listeners, which may outlive a window's source.
  std::shared_ptr<TWake> wake_;
  std::mutex mutex_;  // sources_
  std::map<uint32_t, std::shared_ptr<TSource>> sources_;
  std::mutex pass_mutex_;  // held while a pass over the sources runs
  std::thread thread_;
};

}  // namespace quvi_web
