// THostedView: one live view as a host program holds it: a control made through the host
// interface on the host's user-interface thread, its properties set by name, its events
// received there, and what its window shows sampled to count the pictures drawn. The view's
// history (status codes and pictures, in the order the host saw them) is what the soak's
// driver judges each fault by. Used only on the thread that made it, which pumps the
// messages; owns its control.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "viewer/control/quvi_host.h"

namespace soak {

using TClock = std::chrono::steady_clock;

struct TViewSettings {
  int32_t Port = 0;        // streamsim's
  int32_t PlayerPort = 0;  // PortNo: each view of a host plays on a port of its own
  int32_t Channel = 1;
  bool ThroughRelay = false;  // connection type 1: streamsim as the stream-media relay
  int32_t ConnectTimeoutMs = 1000;
  int32_t ReadTimeoutMs = 1000;
  int32_t TryTimes = 3;
  int32_t Width = 352;
  int32_t Height = 288;
};

// One entry of a view's history: a status code of OnStatusChanged, or a picture.
struct TMark {
  static constexpr int32_t kPicture = 1;       // no status code has these values
  static constexpr int32_t kDisconnected = 2;  // OnDisConnected
  int32_t Code;
  TClock::time_point Time;
};

class THostedView {
 public:
  // Creates the control and starts it playing; Error() tells when that failed.
  THostedView(const TViewSettings& settings);
  // Stops the play, disconnects the events and releases the control.
  ~THostedView();
  THostedView(const THostedView&) = delete;
  THostedView& operator=(const THostedView&) = delete;

  const std::string& Error() const { return error_; }
  int32_t Channel() const { return settings_.Channel; }
  // Looks at the window once; a changed picture is added to the history.
  void Sample();
  const std::vector<TMark>& History() const { return history_; }
  // Empties the history (keeping its room, so that it stops growing once a fault's worth of
  // marks fits).
  void ForgetHistory() { history_.clear(); }

 private:
  static void Sink(void* user, int32_t dispid, const QuviVariant* args, uint32_t count);
  bool Put(const char* name, QuviVariant& value);
  bool PutText(const char* name, const std::string& value);
  bool PutInt(const char* name, int32_t value);
  bool Call(const char* name);

  TViewSettings settings_;
  QuviControl* control_ = nullptr;
  uint32_t cookie_ = 0;
  bool connected_events_ = false;
  intptr_t window_ = 0;
  plat::TSurfaceChange surface_;
  uint64_t last_picture_ = 0;
  std::vector<TMark> history_;
  std::string error_;
};

}  // namespace soak
