#include "tools/streamsim/stream_session.h"

#include "tools/streamsim/pacer.h"
#include "tools/streamsim/play_packages.h"

namespace streamsim {

namespace {

constexpr auto kStallWait = std::chrono::hours(1);

}  // namespace

void TStreamSession::Run(TOpenedStream stream, int32_t channel) {
  log_.Write(TLogLine("stream_start")
                 .Add("conn", peer_.Conn)
                 .Add("channel", channel)
                 .Add("source", stream.Description)
                 .Add("real_time", settings_.RealTime));
  const auto keep_alive = std::chrono::milliseconds(settings_.KeepAliveMs);
  next_keep_alive_ = TClock::now() + keep_alive;
  TPacer pacer(settings_.RealTime);
  const TFaultSettings& faults = settings_.Faults;
  bool going = InjectFaults();
  if (going && !faults.NoStreamHead) going = SendPackage(StreamHeadPackage(stream.Head));
  try {
    recmake::TRecordFrame frame;
    while (going) {
      if (!stream.Frames->Next(frame)) {
        reason_ = "end of file";
        break;
      }
      if (faults.AudioOnly && !frame.IsAudio()) continue;
      going = WaitUntil(pacer.Due(frame.TimeUs())) && SendPackage(FramePackage(frame));
    }
  } catch (const std::exception& e) {
    reason_ = std::string("source failed: ") + e.what();
  }
  log_.Write(TLogLine("stream_end")
                 .Add("conn", peer_.Conn)
                 .Add("channel", channel)
                 .Add("packages", packages_)
                 .Add("keepalives", keep_alives_)
                 .Add("reason", reason_));
}

bool TStreamSession::SendPackage(const std::vector<uint8_t>& package) {
  if (settings_.Faults.CutAfter == packages_) {
    // The reader is left inside a package it can never finish.
    LogFault("cut");
    reason_ = "cut";
    const std::vector<uint8_t> half(package.begin(), package.begin() + package.size() / 2);
    if (Send(half)) Stall(false);
    return false;
  }
  if (!Send(package)) return false;
  ++packages_;
  return InjectFaults();
}

bool TStreamSession::InjectFaults() {
  const TFaultSettings& f = settings_.Faults;
  if (f.GarbageAfter == packages_ && !garbage_sent_) {
    garbage_sent_ = true;
    LogFault("garbage");
    if (!Send(GarbageBytes())) return false;
  }
  if (f.OversizeAfter == packages_ && !oversize_sent_) {
    oversize_sent_ = true;
    LogFault("oversize");
    if (!Send(OversizePackage())) return false;
  }
  if (f.CloseAfter == packages_) {
    LogFault("close");
    reason_ = "closed by fault";
    return false;
  }
  if (f.StallAfter == packages_ || f.MediaStallAfter == packages_) {
    const bool keep_alives = f.StallAfter != packages_;
    LogFault(keep_alives ? "media_stall" : "stall");
    Stall(keep_alives);
    return false;
  }
  return true;
}

bool TStreamSession::WaitUntil(TClock::time_point deadline) {
  const auto interval = std::chrono::milliseconds(settings_.KeepAliveMs);
  while (settings_.KeepAliveMs > 0 && next_keep_alive_ <= deadline) {
    if (Ended(conn_.WaitUntil(next_keep_alive_))) return false;
    if (!Send(KeepAlivePackage())) return false;
    ++keep_alives_;
    next_keep_alive_ += interval;
    // After a late wake-up the next one is a whole interval away, never a burst.
    const TClock::time_point now = TClock::now();
    if (next_keep_alive_ <= now) next_keep_alive_ = now + interval;
  }
  return !Ended(conn_.WaitUntil(deadline));
}

void TStreamSession::Stall(bool keep_alives) {
  if (keep_alives && settings_.KeepAliveMs > 0) {
    while (WaitUntil(TClock::now() + kStallWait)) {
    }
    return;
  }
  while (!Ended(conn_.WaitUntil(TClock::now() + kStallWait))) {
  }
}

bool TStreamSession::Send(const std::vector<uint8_t>& bytes) {
  return !Ended(conn_.Send(bytes.data(), bytes.size()));
}

bool TStreamSession::Ended(TConnection::EIo io) {
  switch (io) {
    case TConnection::EIo::Ok:
      return false;
    case TConnection::EIo::Closed:
      reason_ = "client closed";
      return true;
    case TConnection::EIo::Stopped:
      reason_ = "server stopped";
      return true;
  }
  return true;
}

void TStreamSession::LogFault(const char* fault) {
  log_.Write(
      TLogLine("fault").Add("conn", peer_.Conn).Add("fault", fault).Add("packages", packages_));
}

}  // namespace streamsim
