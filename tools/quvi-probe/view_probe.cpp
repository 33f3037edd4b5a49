#include "tools/quvi-probe/view_probe.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "viewer/control/quvi_host.h"

namespace probe {

namespace {

constexpr int32_t kOnConnected = 0xC9;
constexpr int32_t kOnDisConnected = 0xCA;
constexpr int32_t kOnReceiveData = 0xCD;
constexpr int32_t kOnStatusChanged = 0xCE;
constexpr int32_t kOnVideoInfoRead = 0xCF;
constexpr int32_t kCtByStreamMedia = 1;
constexpr const char* kClassId = "{0E1B418E-FC82-4B9A-B8E8-A17CDA2F03BA}";

using TClock = std::chrono::steady_clock;

// What the sink saw; lives on the probe's thread, where the events arrive.
struct TProbeState {
  std::ostream* Out = nullptr;
  TClock::time_point Start;
  bool VideoArrived = false;
  int64_t DataEvents = 0;
  int32_t LastStatus = 0;  // 0 before any
  bool VideoSent = false;  // status -6: video packages reached the player
};

// Status codes of an attempt under way: none yet (the view is starting), connecting,
// connected, video arriving.
constexpr int32_t kNoStatusYet = 0;
constexpr int32_t kStatusConnecting = -1;
constexpr int32_t kStatusConnected = -5;
constexpr int32_t kStatusVideoArriving = -6;

// Past the viewing time, a view whose video is on its way (its attempt still under way, or
// video packages already handed to the player) is kept until the video information comes:
// on a slow machine decoding lags, and that is no reason to report "no video". This bound
// only ends a view that never gets there.
constexpr auto kVideoGrace = std::chrono::seconds(30);

bool VideoOnItsWay(const TProbeState& s) {
  if (s.VideoArrived) return false;
  return s.VideoSent || s.LastStatus == kNoStatusYet || s.LastStatus == kStatusConnecting ||
         s.LastStatus == kStatusConnected || s.LastStatus == kStatusVideoArriving;
}

std::string Stamp(const TProbeState& s) {
  const double t = std::chrono::duration<double>(TClock::now() - s.Start).count();
  char text[32];
  std::snprintf(text, sizeof text, "[%8.3f] ", t);
  return text;
}

void Sink(void* user, int32_t dispid, const QuviVariant* args, uint32_t count) {
  TProbeState& s = *static_cast<TProbeState*>(user);
  std::ostream& out = *s.Out;
  switch (dispid) {
    case kOnConnected:
      out << Stamp(s) << "connected\n";
      break;
    case kOnDisConnected:
      out << Stamp(s) << "disconnected\n";
      break;
    case kOnStatusChanged:
      if (count == 1) {
        s.LastStatus = args[0].u.i4;
        if (s.LastStatus == kStatusVideoArriving) s.VideoSent = true;
        out << Stamp(s) << "status " << args[0].u.i4 << "\n";
      }
      break;
    case kOnVideoInfoRead:
      if (count == 3) {
        s.VideoArrived = true;
        out << Stamp(s) << "video codec " << args[0].u.i4 << " " << args[1].u.i4 << "x"
            << args[2].u.i4 << "\n";
      }
      break;
    case kOnReceiveData:
      // Far too many to print each: the first, then the count once a second.
      if (s.DataEvents++ == 0 && count == 3) {
        out << Stamp(s) << "data " << args[1].u.i4 << " bytes, frame type " << args[2].u.i4 << "\n";
      }
      break;
    default:
      out << Stamp(s) << "event 0x" << std::hex << dispid << std::dec << "\n";
      break;
  }
  out.flush();
}

// The control's members by name through the host API; failures are printed, not fatal.
class TControlCalls {
 public:
  TControlCalls(QuviControl* control, std::ostream& out) : control_(control), out_(out) {}

  bool Call(const char* name, uint16_t kind, QuviVariant* args, uint32_t count,
            QuviVariant* result) {
    int32_t id = 0;
    QUVI_HRESULT hr = QuviFindMember(control_, name, &id);
    if (hr == QUVI_S_OK) hr = QuviInvoke(control_, id, kind, args, count, result);
    if (hr < 0) out_ << name << ": " << QuviGetErrorText() << "\n";
    return hr >= 0;
  }
  void PutText(const char* name, const std::string& value) {
    QuviVariant v;
    QuviVariantInit(&v);
    QuviVariantSetString(&v, value.c_str());
    Call(name, QUVI_INVOKE_PUT, &v, 1, nullptr);
    QuviVariantClear(&v);
  }
  void PutInt(const char* name, int32_t value) {
    QuviVariant v;
    QuviVariantInit(&v);
    v.vt = QUVI_VT_I4;
    v.u.i4 = value;
    Call(name, QUVI_INVOKE_PUT, &v, 1, nullptr);
  }
  void Method(const char* name) {
    QuviVariant r;
    QuviVariantInit(&r);
    Call(name, QUVI_INVOKE_METHOD, nullptr, 0, &r);
    QuviVariantClear(&r);
  }
  double GetNumber(const char* name) {
    QuviVariant r;
    QuviVariantInit(&r);
    double value = 0;
    if (Call(name, QUVI_INVOKE_GET, nullptr, 0, &r)) {
      value = r.vt == QUVI_VT_R4 ? r.u.r4 : r.vt == QUVI_VT_R8 ? r.u.r8 : r.u.i4;
    }
    QuviVariantClear(&r);
    return value;
  }

 private:
  QuviControl* control_;
  std::ostream& out_;
};

void Configure(const TViewProbe& view, TControlCalls& calls) {
  calls.PutText("HostIP", view.Host);
  if (view.Port) calls.PutInt("HostPort", *view.Port);
  calls.PutInt("ChannelNo", view.Channel);
  calls.PutText("LoginUser", view.User);
  calls.PutText("Password", view.Password);
  if (view.DvrId) calls.PutText("DVRID", *view.DvrId);
  if (view.LinkMode) calls.PutInt("LinkMode", *view.LinkMode);
  if (view.Relay) {
    calls.PutInt("ConnectionType", kCtByStreamMedia);
    calls.PutText("StreamMediaIP", view.Relay->first);
    calls.PutInt("StreamMediaPort", view.Relay->second);
    calls.PutText("StreamMediaID", view.RelayId);
  }
}

// Saves a snapshot where the control puts them, then moves it to `file`.
void Capture(TControlCalls& calls, const std::string& file, TProbeState& s) {
  const std::filesystem::path target = std::filesystem::absolute(file);
  calls.PutText("CaptureBMPPath", target.parent_path().string());
  QuviVariant name, ok;
  QuviVariantInit(&name);
  QuviVariantInit(&ok);
  QuviVariantSetString(&name, "");
  const bool called = calls.Call("CaptureBMPResultFilename", QUVI_INVOKE_METHOD, &name, 1, &ok);
  std::error_code error;
  if (called && ok.vt == QUVI_VT_BOOL && ok.u.boolean != 0 && name.vt == QUVI_VT_STRING) {
    std::filesystem::rename(name.u.str.data, target, error);
  } else {
    error = std::make_error_code(std::errc::no_message_available);
  }
  *s.Out << Stamp(s) << "capture " << file << (error ? ": not saved" : ": saved") << "\n";
  QuviVariantClear(&name);
  QuviVariantClear(&ok);
}

}  // namespace

int RunViewProbe(const TViewProbe& view, std::ostream& out) {
  const QuviClassFactory* factory = nullptr;
  QuviControl* control = nullptr;
  if (DllGetClassObject(kClassId, &factory) != QUVI_S_OK ||
      factory->CreateInstance(0, 704, 576, &control) != QUVI_S_OK) {
    out << "cannot create the control: " << QuviGetErrorText() << "\n";
    return 1;
  }
  TProbeState state;
  state.Out = &out;
  state.Start = TClock::now();
  uint32_t cookie = 0;
  QuviConnectEvents(control, Sink, &state, &cookie);
  TControlCalls calls(control, out);
  Configure(view, calls);
  calls.Method("StartPlay");
  if (!view.RecordFile.empty()) {
    calls.PutText("RecordFile", view.RecordFile);
    calls.Method("StartRecord");
  }
  const auto end = state.Start + std::chrono::seconds(view.Seconds);
  auto next_report = state.Start + std::chrono::seconds(1);
  while (TClock::now() < end || (VideoOnItsWay(state) && TClock::now() < end + kVideoGrace)) {
    QuviPumpMessages(50);
    if (TClock::now() >= next_report) {
      next_report += std::chrono::seconds(1);
      char line[160];
      std::snprintf(
          line, sizeof line, "bitrate %.1f, frame rate %.1f, frames %.0f, data events %lld",
          calls.GetNumber("Bitrate"), calls.GetNumber("FrameRateReceived"),
          calls.GetNumber("CurFrameNumReceived"), static_cast<long long>(state.DataEvents));
      out << Stamp(state) << line << "\n" << std::flush;
    }
  }
  if (!view.CaptureFile.empty()) Capture(calls, view.CaptureFile, state);
  if (!view.RecordFile.empty()) calls.Method("StopRecord");
  calls.Method("StopPlay");
  QuviPumpMessages(100);  // the events of the stop
  uint64_t dropped = 0;
  QuviGetDroppedDataEvents(control, &dropped);
  if (dropped != 0) out << Stamp(state) << "data events dropped " << dropped << "\n";
  QuviDisconnectEvents(control, cookie);
  QuviReleaseControl(control);
  out << Stamp(state) << (state.VideoArrived ? "video arrived" : "no video") << "\n";
  return state.VideoArrived ? 0 : 1;
}

}  // namespace probe
