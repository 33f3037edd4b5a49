#include "viewer/control/preview_window_x.h"

#include "viewer/control/type_library.h"
#include "viewer/player/ostra_nv_player.h"

namespace viewer {

using plat::TVariant;
using W = TControlWindow;
using TArgs = std::vector<TVariant>;

TPmOstraNvPreviewWindowX::TPmOstraNvPreviewWindowX(std::unique_ptr<TControlWindow> window)
    : dispatcher_(QuviLiveViewerTypeLibrary().Dispatch), window_(std::move(window)) {
  WireEvents();
  BindMembers();
}

TPmOstraNvPreviewWindowX::~TPmOstraNvPreviewWindowX() {
  window_.reset();
}

plat::HRESULT TPmOstraNvPreviewWindowX::GetIDOfName(const std::string& name,
                                                    int32_t* dispid) const {
  return dispatcher_.GetIDOfName(name, dispid);
}

plat::HRESULT TPmOstraNvPreviewWindowX::Invoke(int32_t dispid, uint16_t kind, TArgs& args,
                                               TVariant* result, std::string* error) {
  return dispatcher_.Invoke(dispid, kind, args, result, error);
}

void TPmOstraNvPreviewWindowX::WireEvents() {
  window_->SetOnClick([this] { events_.Fire(kOnClick, {}); });
  window_->SetOnDblClick([this] { events_.Fire(kOnDblClick, {}); });
  window_->SetOnConnected([this] { events_.Fire(kOnConnected, {}); });
  window_->SetOnDisConnected([this] { events_.Fire(kOnDisConnected, {}); });
  window_->SetDataHandler([this](const uint8_t* data, int32_t length, int32_t frame_type) {
    FireReceiveData(data, length, frame_type);
  });
  window_->SetPlayerCreatedHandler([this](TPlayer& player) {
    if (auto* p = dynamic_cast<TOstraNvPlayer*>(&player)) p->NoDecode = no_decode_.load();
  });
  window_->SetStatusHandler(
      [this](int32_t code) { events_.Fire(kOnStatusChanged, {TVariant::FromI4(code)}); });
  window_->SetOnVideoInfoChanged([this](int32_t codec, int32_t width, int32_t height) {
    events_.Fire(kOnVideoInfoRead,
                 {TVariant::FromI4(codec), TVariant::FromI4(width), TVariant::FromI4(height)});
  });
}

void TPmOstraNvPreviewWindowX::FireReceiveData(const uint8_t* data, int32_t length,
                                               int32_t frame_type) {
  if (!events_.Connected()) return;  // no copy for nobody
  if (length < 0 || (data == nullptr && length > 0)) length = 0;
  // Index range 0..length: the media bytes and a closing 0.
  plat::TByteArray bytes;
  bytes.Data.reserve(static_cast<size_t>(length) + 1);
  if (length > 0) bytes.Data.assign(data, data + length);
  bytes.Data.push_back(0);
  // Built in place: an initializer list would copy the frame once more.
  std::vector<TVariant> args;
  args.reserve(3);
  args.push_back(TVariant::FromBytes(std::move(bytes)));
  args.push_back(TVariant::FromI4(length));
  args.push_back(TVariant::FromI4(frame_type));
  events_.Fire(kOnReceiveData, std::move(args), true);
}

namespace {

// Binds the dispatch functions of one DISPID to window members.
class TBinder {
 public:
  TBinder(plat::TDispatcher& d, W& w) : d_(d), w_(w) {}

  void Method(int32_t id, std::function<void(TArgs&, TVariant&)> fn) {
    d_.Bind(id, plat::DISPATCH_METHOD, std::move(fn));
  }
  void Get(int32_t id, std::function<TVariant()> fn) {
    d_.Bind(id, plat::DISPATCH_PROPERTYGET, [fn](TArgs&, TVariant& r) { r = fn(); });
  }
  void Put(int32_t id, std::function<void(const TVariant&)> fn) {
    d_.Bind(id, plat::DISPATCH_PROPERTYPUT, [fn](TArgs& a, TVariant&) { fn(a[0]); });
  }
  void I4(int32_t id, int32_t (W::*get)(), void (W::*set)(int32_t) = nullptr) {
    W& w = w_;
    Get(id, [&w, get] { return TVariant::FromI4((w.*get)()); });
    if (set) Put(id, [&w, set](const TVariant& v) { (w.*set)(v.I4()); });
  }
  void Bool(int32_t id, bool (W::*get)(), void (W::*set)(bool) = nullptr) {
    W& w = w_;
    Get(id, [&w, get] { return TVariant::FromBool((w.*get)()); });
    if (set) Put(id, [&w, set](const TVariant& v) { (w.*set)(v.Bool()); });
  }
  void Color(int32_t id, uint32_t (W::*get)(), void (W::*set)(uint32_t)) {
    W& w = w_;
    Get(id, [&w, get] { return TVariant::FromColor((w.*get)()); });
    Put(id, [&w, set](const TVariant& v) { (w.*set)(v.Color()); });
  }
  void Text(int32_t id, std::string (W::*get)(), void (W::*set)(const std::string&)) {
    W& w = w_;
    Get(id, [&w, get] { return TVariant::FromString((w.*get)()); });
    Put(id, [&w, set](const TVariant& v) { (w.*set)(v.String()); });
  }
  // A method without arguments and result.
  void Call(int32_t id, void (W::*fn)()) {
    W& w = w_;
    Method(id, [&w, fn](TArgs&, TVariant&) { (w.*fn)(); });
  }
  void CallBool(int32_t id, bool (W::*fn)()) {
    W& w = w_;
    Method(id, [&w, fn](TArgs&, TVariant& r) { r = TVariant::FromBool((w.*fn)()); });
  }
  void CallI4(int32_t id, int32_t (W::*fn)()) {
    W& w = w_;
    Method(id, [&w, fn](TArgs&, TVariant& r) { r = TVariant::FromI4((w.*fn)()); });
  }

 private:
  plat::TDispatcher& d_;
  W& w_;
};

}  // namespace

void TPmOstraNvPreviewWindowX::BindMembers() {
  TBinder b(dispatcher_, *window_);
  W& w = *window_;
  b.CallI4(0xC9, &W::SendPTZControlCommand);
  b.I4(0xCA, &W::PTZCommandID, &W::SetPTZCommandID);
  b.I4(0xCB, &W::PTZControlEnabled, &W::SetPTZControlEnabled);
  b.I4(0xCC, &W::PTZPresetIndex, &W::SetPTZPresetIndex);
  b.I4(0xCD, &W::Brightness, &W::SetBrightness);
  b.I4(0xCE, &W::Contrast, &W::SetContrast);
  b.I4(0xCF, &W::Saturation, &W::SetSaturation);
  b.I4(0xD0, &W::Hue, &W::SetHue);
  b.Method(0xD1, [](TArgs&, TVariant&) {});  // Resize: nothing to do
  b.CallI4(0xD2, &W::GetLastError);
  b.Method(0xD3, [&w](TArgs&, TVariant& r) {
    std::string id;
    w.GetClientNetID(id);
    r = TVariant::FromString(id);
  });
  b.CallBool(0xD4, &W::Login);
  b.CallBool(0xD5, &W::Logout);
  b.CallBool(0xD6, &W::CaptureBMP);
  b.Method(0xD7, [&w](TArgs& a, TVariant& r) {
    std::string name = a[0].String();
    const bool ok = w.CaptureBMPResultFilename(name);
    a[0] = TVariant::FromString(name);
    r = TVariant::FromBool(ok);
  });
  b.Method(0xD8, [&w](TArgs&, TVariant&) {
    // Without a play window of the host's choosing the video goes into the control's own.
    if (w.PlayWnd() == 0) w.SetPlayWnd(w.Handle());
    w.StartPlay();
  });
  b.Call(0xD9, &W::StopPlay);
  b.Call(0xDA, &W::StartRecord);
  b.Call(0xDB, &W::StopRecord);
  b.Call(0xDC, &W::ShowFullScreen);
  b.Call(0xDD, &W::ExitFullScreen);
  b.CallBool(0xDE, &W::AudioOpen);
  b.CallBool(0xDF, &W::AudioClose);
  b.Call(0xE0, &W::SaveFileAs);
  b.I4(0xE1, &W::Alignment, &W::SetAlignment);
  b.I4(0xE2, &W::BorderStyle, &W::SetBorderStyle);
  b.Bool(0xE3, &W::Visible, &W::SetVisible);
  b.Color(-501, &W::Color, &W::SetColor);
  b.Color(0xE4, &W::BackgroundColor, &W::SetBackgroundColor);
  b.I4(0xE5, &W::PlayType);
  b.I4(0xE6, &W::ConnectionType, &W::SetConnectionType);
  b.Text(0xE7, &W::HostIP, &W::SetHostIP);
  b.I4(0xE8, &W::HostPort, &W::SetHostPort);
  b.Text(0xE9, &W::StreamMediaIP, &W::SetStreamMediaIP);
  b.I4(0xEA, &W::StreamMediaPort, &W::SetStreamMediaPort);
  b.Text(0xEB, &W::StreamMediaID, &W::SetStreamMediaID);
  b.Text(0xEC, &W::ClientNetID, &W::SetClientNetID);
  b.Text(0xED, &W::Token, &W::SetToken);
  b.Text(0xEE, &W::LoginUser, &W::SetLoginUser);
  b.Text(0xEF, &W::Password, &W::SetPassword);
  b.Text(0xF0, &W::UserName, &W::SetUserName);
  b.I4(0xF1, &W::ChannelNo, &W::SetChannelNo);
  b.I4(0xF2, &W::PortNo, &W::SetPortNo);
  b.Bool(0xF3, &W::IsPlaying);
  b.Get(0xF4, [&w] { return TVariant::FromDate(w.StartPlayTime()); });
  b.Get(0xF5, [&w] { return TVariant::FromR4(w.Bitrate()); });
  b.I4(0xF6, &W::CurFrameNumReceived);
  b.Get(0xF7, [&w] { return TVariant::FromR4(w.FrameRateReceived()); });
  b.I4(0xF8, &W::ReadTimeout, &W::SetReadTimeout);
  b.I4(0xF9, &W::ConnectTimeout, &W::SetConnectTimeout);
  b.Bool(0xFA, &W::FullScreen, &W::SetFullScreen);
  b.Bool(0xFB, &W::IsPALFormat, &W::SetIsPALFormat);
  b.I4(0xFC, &W::Fluency, &W::SetFluency);
  b.I4(0xFD, &W::TryTimes, &W::SetTryTimes);
  b.Text(0xFE, &W::CaptureBMPPath, &W::SetCaptureBMPPath);
  b.Bool(0xFF, &W::AudioPlaying);
  b.I4(0x100, &W::Volume, &W::SetVolume);
  b.Text(0x101, &W::DVRID, &W::SetDVRID);
  b.I4(0x102, &W::DeviceType, &W::SetDeviceType);
  b.Bool(0x103, &W::CheckRight, &W::SetCheckRight);
  b.Text(0x104, &W::CenterAddr, &W::SetCenterAddr);
  b.I4(0x105, &W::CenterPort, &W::SetCenterPort);
  b.Text(0x106, &W::CenterServicePath, &W::SetCenterServicePath);
  b.I4(0x107, &W::CenterConnectTimeout, &W::SetCenterConnectTimeout);
  b.Text(0x108, &W::RecordFile, &W::SetRecordFile);
  b.Bool(0x109, &W::ParentBackground, &W::SetParentBackground);
  b.Bool(0x10A, &W::DoubleBuffered, &W::SetDoubleBuffered);
  b.Bool(0x10B, &W::AlignDisabled);
  b.I4(0x10C, &W::VisibleDockClientCount);
  b.CallI4(0x10D, &W::DrawTextBiDiModeFlagsReadingOnly);
  b.Bool(-514, &W::Enabled, &W::SetEnabled);
  b.Call(0x10E, &W::InitiateAction);
  b.CallBool(0x10F, &W::IsRightToLeft);
  b.CallBool(0x110, &W::UseRightToLeftReading);
  b.CallBool(0x111, &W::UseRightToLeftScrollBar);
  b.Method(0x112, [&w](TArgs& a, TVariant&) { w.SetSubComponent(a[0].Bool()); });
  b.Get(0x113, [this] { return TVariant::FromBool(no_decode_); });
  b.Put(0x113, [this](const TVariant& v) { no_decode_ = v.Bool(); });
  b.I4(0x114, &W::LinkMode, &W::SetLinkMode);
  b.Method(0x115, [&w](TArgs& a, TVariant&) { w.ChangeLinkMode(a[0].I4(), a[1].I4()); });
  b.Bool(0x116, &W::QuviMode, &W::SetQuviMode);
  b.Get(0x11A, [] { return TVariant::FromBool(false); });  // RatioMode: always off
  b.Put(0x11A, [](const TVariant&) {});
  b.Bool(0x117, &W::CursorCtrl, &W::SetCursorCtrl);
  b.Bool(0x118, &W::NoRefresh, &W::SetNoRefresh);
  b.I4(0x119, &W::PTZSpeed, &W::SetPTZSpeed);
  b.Method(0x11B, [&w](TArgs& a, TVariant&) { w.SetWatermark(a[0].String()); });
  b.Text(0x11C, &W::TipConnectingMsg, &W::SetTipConnectingMsg);
  b.Text(0x11D, &W::TipConnectFailedMsg, &W::SetTipConnectFailedMsg);
  b.Text(0x11E, &W::TipPlayFailedMsg, &W::SetTipPlayFailedMsg);
  b.Bool(0x11F, &W::DigitalZoomMode, &W::SetDigitalZoomMode);
  b.Put(0x120, [&w](const TVariant& v) { w.SetPlayWnd(static_cast<plat::HWND>(v.I4())); });
  b.Get(0x121, [] { return TVariant::FromString(kControlVersion); });
  b.Get(0x122, [&w] { return TVariant::FromFont(w.Font()); });
  b.Put(0x122, [&w](const TVariant& v) { w.SetFont(v.Font()); });
  dispatcher_.Bind(0x122, plat::DISPATCH_PROPERTYPUTREF,
                   [&w](TArgs& a, TVariant&) { w.SetFont(a[0].Font()); });
  b.Text(0x123, &W::Caption, &W::SetCaption);
  b.Color(0x124, &W::FontColor, &W::SetFontColor);
  b.I4(0x125, &W::FontSize, &W::SetFontSize);
  b.Method(0x126,
           [&w](TArgs& a, TVariant&) { w.Zoom(a[0].I4(), a[1].I4(), a[2].I4(), a[3].I4()); });
  b.Call(0x127, &W::UnZoom);
  b.Method(0x128, [&w](TArgs& a, TVariant&) { w.ZoomByPoint(a[0].I4(), a[1].I4(), a[2].I4()); });
}

}  // namespace viewer
