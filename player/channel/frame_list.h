// TFrameList: a channel's time-ordered list of buffered frames, with its own lock and the
// rule that keeps a live list short. Input threads append, the background play thread takes
// from the front, stop frees it; each of these holds the lock for its whole step. The list
// "exists" from its first frame until it is freed. Owns its frames.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>

#include "player/channel/buffer_frame.h"
#include "player/channel/channel_log.h"

namespace zrplay {

class TFrameList {
 public:
  // A list spanning this many milliseconds or more is cut back to its last key frame.
  static constexpr int64_t kCleanSpanMs = 8000;

  bool Exists() const;
  size_t Count() const;
  // Appends the frame, creating the list when it does not exist.
  void Append(std::unique_ptr<TBufferFrame> frame);
  // Takes the first frame out (nothing when the list is empty). With clean set, a list whose
  // first and last frames lie kCleanSpanMs or more apart is first cut to start at its last
  // key frame, or emptied (setting wait_for_key) when it holds none; both are logged.
  std::unique_ptr<TBufferFrame> TakeFirst(bool clean, std::atomic<bool>& wait_for_key,
                                          const TChannelLog& log);
  // Frees every frame; the list no longer exists.
  void Free();

 private:
  void CleanLocked(std::atomic<bool>& wait_for_key, const TChannelLog& log);

  mutable std::mutex lock_;
  bool exists_ = false;
  std::deque<std::unique_ptr<TBufferFrame>> frames_;
};

}  // namespace zrplay
