#include "tests/soak/hosted_view.h"

#include "platform/gdi.h"

namespace soak {

namespace {

constexpr int32_t kOnDisConnected = 0xCA;
constexpr int32_t kOnStatusChanged = 0xCE;
constexpr int32_t kConnectionThroughRelay = 1;
constexpr const char* kClassId = "{0E1B418E-FC82-4B9A-B8E8-A17CDA2F03BA}";

// FNV-1a over the pixels: any change of the picture changes it.
uint64_t PictureHash(const std::vector<uint32_t>& pixels) {
  uint64_t h = 1469598103934665603ull;
  for (uint32_t p : pixels) {
    h ^= p;
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

THostedView::THostedView(const TViewSettings& settings) : settings_(settings) {
  const QuviClassFactory* factory = nullptr;
  if (DllGetClassObject(kClassId, &factory) != QUVI_S_OK ||
      factory->CreateInstance(0, settings.Width, settings.Height, &control_) != QUVI_S_OK) {
    error_ = std::string("cannot create the control: ") + QuviGetErrorText();
    control_ = nullptr;
    return;
  }
  window_ = QuviGetControlWindow(control_);
  connected_events_ = QuviConnectEvents(control_, &THostedView::Sink, this, &cookie_) == QUVI_S_OK;
  if (!connected_events_) {
    error_ = std::string("cannot connect the events: ") + QuviGetErrorText();
    return;
  }
  bool ok = PutText("HostIP", "127.0.0.1") && PutInt("HostPort", settings.Port) &&
            PutInt("ChannelNo", settings.Channel) && PutInt("PortNo", settings.PlayerPort) &&
            PutText("DVRID", "1") && PutText("LoginUser", "admin") &&
            PutText("Password", "admin") && PutInt("ConnectTimeout", settings.ConnectTimeoutMs) &&
            PutInt("ReadTimeout", settings.ReadTimeoutMs) && PutInt("TryTimes", settings.TryTimes);
  if (ok && settings.ThroughRelay) {
    ok = PutInt("ConnectionType", kConnectionThroughRelay) &&
         PutText("StreamMediaIP", "127.0.0.1") && PutInt("StreamMediaPort", settings.Port) &&
         PutText("StreamMediaID", "1");
  }
  if (ok) Call("StartPlay");
}

THostedView::~THostedView() {
  if (control_ == nullptr) return;
  Call("StopPlay");
  // The events of the stop come while the host pumps.
  QuviPumpMessages(50);
  if (connected_events_) QuviDisconnectEvents(control_, cookie_);
  QuviReleaseControl(control_);
}

void THostedView::Sink(void* user, int32_t dispid, const QuviVariant* args, uint32_t count) {
  auto* view = static_cast<THostedView*>(user);
  if (dispid == kOnStatusChanged && count == 1 && args[0].vt == QUVI_VT_I4) {
    view->history_.push_back({args[0].u.i4, TClock::now()});
  } else if (dispid == kOnDisConnected) {
    view->history_.push_back({TMark::kDisconnected, TClock::now()});
  }
}

void THostedView::Sample() {
  std::vector<uint32_t> pixels;
  int32_t w = 0;
  int32_t h = 0;
  // Only a surface written since the last look is copied; a write of the same picture (a
  // repaint) is no new picture.
  if (!plat::GetWindowPixelsIfChanged(window_, &surface_, &pixels, &w, &h) || pixels.empty()) {
    return;
  }
  const uint64_t hash = PictureHash(pixels);
  if (hash == last_picture_) return;
  last_picture_ = hash;
  history_.push_back({TMark::kPicture, TClock::now()});
}

bool THostedView::Put(const char* name, QuviVariant& value) {
  int32_t id = 0;
  QUVI_HRESULT hr = QuviFindMember(control_, name, &id);
  if (hr == QUVI_S_OK) hr = QuviInvoke(control_, id, QUVI_INVOKE_PUT, &value, 1, nullptr);
  if (hr < 0 && error_.empty()) error_ = std::string(name) + ": " + QuviGetErrorText();
  return hr >= 0;
}

bool THostedView::PutText(const char* name, const std::string& value) {
  QuviVariant v;
  QuviVariantInit(&v);
  QuviVariantSetString(&v, value.c_str());
  const bool ok = Put(name, v);
  QuviVariantClear(&v);
  return ok;
}

bool THostedView::PutInt(const char* name, int32_t value) {
  QuviVariant v;
  QuviVariantInit(&v);
  v.vt = QUVI_VT_I4;
  v.u.i4 = value;
  return Put(name, v);
}

bool THostedView::Call(const char* name) {
  int32_t id = 0;
  QuviVariant result;
  QuviVariantInit(&result);
  QUVI_HRESULT hr = QuviFindMember(control_, name, &id);
  if (hr == QUVI_S_OK) hr = QuviInvoke(control_, id, QUVI_INVOKE_METHOD, nullptr, 0, &result);
  QuviVariantClear(&result);
  if (hr < 0 && error_.empty()) error_ = std::string(name) + ": " + QuviGetErrorText();
  return hr >= 0;
}

}  // namespace soak
