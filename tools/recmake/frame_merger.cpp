#include "tools/recmake/frame_merger.h"

namespace recmake {

TFrameMerger::TFrameMerger(int streams, int64_t hold_limit_us)
    : streams_(static_cast<size_t>(streams)), hold_limit_us_(hold_limit_us) {}

void TFrameMerger::Push(int stream, TRecordFrame frame) {
  streams_.at(static_cast<size_t>(stream)).Frames.push_back(std::move(frame));
}

void TFrameMerger::End(int stream) {
  streams_.at(static_cast<size_t>(stream)).Ended = true;
}

int TFrameMerger::Earliest() const {
  int best = -1;
  for (size_t i = 0; i < streams_.size(); ++i) {
    if (streams_[i].Frames.empty()) continue;
    if (best < 0 || streams_[i].Frames.front().TimeUs() <
                        streams_[static_cast<size_t>(best)].Frames.front().TimeUs()) {
      best = static_cast<int>(i);
    }
  }
  return best;
}

int TFrameMerger::Starved() const {
  int waiting = -1;
  for (size_t i = 0; i < streams_.size(); ++i) {
    if (streams_[i].Frames.empty() && !streams_[i].Ended) {
      waiting = static_cast<int>(i);
      break;
    }
  }
  if (waiting < 0 || hold_limit_us_ <= 0) return waiting;
  int64_t lo = INT64_MAX, hi = INT64_MIN;
  for (const TStream& s : streams_) {
    if (s.Frames.empty()) continue;
    lo = std::min(lo, s.Frames.front().TimeUs());
    hi = std::max(hi, s.Frames.back().TimeUs());
  }
  return (lo <= hi && hi - lo > hold_limit_us_) ? -1 : waiting;
}

bool TFrameMerger::Pop(TRecordFrame& out) {
  if (Starved() >= 0) return false;
  int best = Earliest();
  if (best < 0) return false;
  TStream& s = streams_[static_cast<size_t>(best)];
  out = std::move(s.Frames.front());
  s.Frames.pop_front();
  return true;
}

bool TFrameMerger::Done() const {
  for (const TStream& s : streams_) {
    if (!s.Ended || !s.Frames.empty()) return false;
  }
  return true;
}

}  // namespace recmake
