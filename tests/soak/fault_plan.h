// The faults the soak cycles through, each as the streamsim options that cause it, and the
// verdicts on a view's history: whether the view met the fault, and whether it recovered
// from it (reconnected, and pictures drawn again). Plain data and functions; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tests/soak/hosted_view.h"

namespace soak {

// What the view shows when a fault has struck. Every fault but the kill starts with the
// switch from the healthy server to a faulty one, which the view sees as a lost connection.
enum class EStrike {
  ConnectionLost,    // the connection breaks (-7)
  HandshakeRefused,  // a connection stands (-1) and its open is refused (-7)
  ReadFails,         // a new connection opens (-5) and then breaks (-7)
  PicturesStop,      // a new connection opens (-5) and stays, but no picture comes
  VideoThrough,      // a new connection opens (-5) and pictures come through it
};

struct TFault {
  std::string Name;
  std::vector<std::string> StreamSimArgs;  // options of the faulty server
  bool Kill = false;                       // kill the server instead of starting a faulty one
  EStrike Strike = EStrike::ReadFails;
};

// Every fault in the order a cycle runs them.
std::vector<TFault> AllFaults();

// Pictures after a new connection that show video flows again.
constexpr size_t kPicturesForVideo = 5;
// How long a connection must stand without a picture to count as stalled.
constexpr auto kPicturesStopWait = std::chrono::milliseconds(600);

// Whether the history from index `from` (where the fault began) shows the fault.
bool Struck(EStrike strike, const std::vector<TMark>& history, size_t from, TClock::time_point now);
// Whether the history from index `from` (where the fault was lifted) shows a connection
// (-5) that still stands, with kPicturesForVideo pictures drawn after it.
bool Recovered(const std::vector<TMark>& history, size_t from);

}  // namespace soak
