#include "tests/soak/fault_plan.h"

namespace soak {

namespace {

constexpr int32_t kConnecting = -1;
constexpr int32_t kConnected = -5;
constexpr int32_t kBroken = -7;
constexpr size_t kNone = static_cast<size_t>(-1);

// The first mark with the code at or after index from; kNone when there is none.
size_t Find(const std::vector<TMark>& h, size_t from, int32_t code) {
  for (size_t i = from; i < h.size(); ++i) {
    if (h[i].Code == code) return i;
  }
  return kNone;
}

// The first end of a connection at or after from: a failed read (-7), or the disconnect a
// dropped connection shows alone (a stream without video is dropped without a status).
size_t FindBreak(const std::vector<TMark>& h, size_t from) {
  for (size_t i = from; i < h.size(); ++i) {
    if (h[i].Code == kBroken || h[i].Code == TMark::kDisconnected) return i;
  }
  return kNone;
}

size_t FindLast(const std::vector<TMark>& h, size_t from, int32_t code) {
  size_t found = kNone;
  for (size_t i = from; i < h.size(); ++i) {
    if (h[i].Code == code) found = i;
  }
  return found;
}

size_t CountPictures(const std::vector<TMark>& h, size_t from) {
  size_t n = 0;
  for (size_t i = from; i < h.size(); ++i) n += h[i].Code == TMark::kPicture ? 1 : 0;
  return n;
}

// The last connection opened at or after from and not broken since; kNone when none stands.
size_t StandingConnection(const std::vector<TMark>& h, size_t from) {
  const size_t opened = FindLast(h, from, kConnected);
  if (opened == kNone || FindBreak(h, opened) != kNone) return kNone;
  return opened;
}

}  // namespace

std::vector<TFault> AllFaults() {
  constexpr const char* kAfter = "12";  // packages: the head and a few pictures
  std::vector<TFault> faults;
  faults.push_back({"kill", {}, true, EStrike::ConnectionLost});
  // One of each kind the open answer can refuse with: no right, invalid token, no such
  // file, and a status the viewer does not know.
  for (const char* status : {"-1", "-2", "-5", "-7"}) {
    faults.push_back({std::string("refuse") + status,
                      {"--open-status", status},
                      false,
                      EStrike::HandshakeRefused});
  }
  faults.push_back({"close", {"--close-after", kAfter}, false, EStrike::ReadFails});
  faults.push_back({"stall", {"--stall-after", kAfter}, false, EStrike::ReadFails});
  faults.push_back({"media-stall", {"--media-stall-after", kAfter}, false, EStrike::PicturesStop});
  faults.push_back({"garbage", {"--garbage-after", kAfter}, false, EStrike::ReadFails});
  faults.push_back({"oversize", {"--oversize-after", kAfter}, false, EStrike::ReadFails});
  faults.push_back({"cut", {"--cut-after", kAfter}, false, EStrike::ReadFails});
  faults.push_back({"audio-only", {"--audio-only"}, false, EStrike::ReadFails});
  faults.push_back({"no-head", {"--no-stream-head"}, false, EStrike::VideoThrough});
  // About twice the fixture stream's rate, one byte at a time.
  faults.push_back({"slow-relay", {"--trickle", "60000"}, false, EStrike::VideoThrough});
  return faults;
}

bool Struck(EStrike strike, const std::vector<TMark>& h, size_t from, TClock::time_point now) {
  if (strike == EStrike::ConnectionLost) return FindBreak(h, from) != kNone;
  if (strike == EStrike::HandshakeRefused) {
    int32_t previous = 0;
    for (size_t i = from; i < h.size(); ++i) {
      if (h[i].Code == TMark::kPicture || h[i].Code == TMark::kDisconnected) continue;
      if (h[i].Code == kBroken && previous == kConnecting) return true;
      previous = h[i].Code;
    }
    return false;
  }
  // The switch to the faulty server breaks the healthy connection first.
  const size_t switched = FindBreak(h, from);
  if (switched == kNone) return false;
  switch (strike) {
    case EStrike::ReadFails: {
      const size_t opened = Find(h, switched, kConnected);
      return opened != kNone && FindBreak(h, opened) != kNone;
    }
    case EStrike::PicturesStop: {
      const size_t opened = StandingConnection(h, switched);
      return opened != kNone && now - h.back().Time >= kPicturesStopWait;
    }
    case EStrike::VideoThrough: {
      const size_t opened = StandingConnection(h, switched);
      return opened != kNone && CountPictures(h, opened) >= kPicturesForVideo;
    }
    default:
      return false;
  }
}

bool Recovered(const std::vector<TMark>& h, size_t from) {
  const size_t opened = StandingConnection(h, from);
  return opened != kNone && CountPictures(h, opened) >= kPicturesForVideo;
}

}  // namespace soak
