#include "viewer/control/type_library.h"

namespace viewer {

namespace {

using plat::DISPATCH_METHOD;
using plat::DISPATCH_PROPERTYGET;
using plat::DISPATCH_PROPERTYPUT;
using plat::DISPATCH_PROPERTYPUTREF;
using plat::TFuncDesc;
using plat::TParamDesc;
using plat::TVarType;

constexpr TVarType kI4 = TVarType::I4;
constexpr TVarType kR4 = TVarType::R4;
constexpr TVarType kDate = TVarType::Date;
constexpr TVarType kBool = TVarType::Bool;
constexpr TVarType kText = TVarType::String;
constexpr TVarType kColor = TVarType::Color;
constexpr TVarType kFont = TVarType::Font;
constexpr TVarType kVoid = TVarType::Empty;

constexpr uint16_t kGet = DISPATCH_PROPERTYGET;
constexpr uint16_t kPut = DISPATCH_PROPERTYPUT;
constexpr uint16_t kGetPut = kGet | kPut;

TParamDesc In(const char* name, TVarType type) {
  return TParamDesc{name, type, "", plat::PARAMFLAG_IN};
}

class TFuncs {
 public:
  explicit TFuncs(std::vector<TFuncDesc>& out) : out_(out) {}

  void Method(int32_t id, const char* name, TVarType result = kVoid,
              std::vector<TParamDesc> params = {}) {
    out_.push_back(TFuncDesc{id, name, DISPATCH_METHOD, std::move(params), result, ""});
  }
  // The read function before the write functions, as in the function table.
  void Prop(int32_t id, const char* name, TVarType type, uint16_t kinds = kGetPut,
            const char* type_name = "") {
    if (kinds & kGet) out_.push_back(TFuncDesc{id, name, kGet, {}, type, type_name});
    if (kinds & kPut) {
      out_.push_back(TFuncDesc{
          id, name, kPut, {TParamDesc{"Value", type, type_name, plat::PARAMFLAG_IN}}, kVoid, ""});
    }
    if (kinds & DISPATCH_PROPERTYPUTREF) {
      out_.push_back(TFuncDesc{id,
                               name,
                               DISPATCH_PROPERTYPUTREF,
                               {TParamDesc{"Value", type, type_name, plat::PARAMFLAG_IN}},
                               kVoid,
                               ""});
    }
  }

 private:
  std::vector<TFuncDesc>& out_;
};

void AddDispatchMembers(std::vector<TFuncDesc>& funcs) {
  TFuncs f(funcs);
  f.Method(0xC9, "SendPTZControlCommand", kI4);
  f.Prop(0xCA, "PTZCommandID", kI4);
  f.Prop(0xCB, "PTZControlEnabled", kI4);
  f.Prop(0xCC, "PTZPresetIndex", kI4);
  f.Prop(0xCD, "Brightness", kI4);
  f.Prop(0xCE, "Contrast", kI4);
  f.Prop(0xCF, "Saturation", kI4);
  f.Prop(0xD0, "Hue", kI4);
  f.Method(0xD1, "Resize");
  f.Method(0xD2, "GetLastError", kI4);
  f.Method(0xD3, "GetClientNetID", kText);
  f.Method(0xD4, "Login", kBool);
  f.Method(0xD5, "Logout", kBool);
  f.Method(0xD6, "CaptureBMP", kBool);
  f.Method(0xD7, "CaptureBMPResultFilename", kBool,
           {TParamDesc{"sFilename", kText, "", plat::PARAMFLAG_IN | plat::PARAMFLAG_OUT}});
  f.Method(0xD8, "StartPlay");
  f.Method(0xD9, "StopPlay");
  f.Method(0xDA, "StartRecord");
  f.Method(0xDB, "StopRecord");
  f.Method(0xDC, "ShowFullScreen");
  f.Method(0xDD, "ExitFullScreen");
  f.Method(0xDE, "AudioOpen", kBool);
  f.Method(0xDF, "AudioClose", kBool);
  f.Method(0xE0, "SaveFileAs");
  f.Prop(0xE1, "Alignment", kI4, kGetPut, "TxAlignment");
  f.Prop(0xE2, "BorderStyle", kI4, kGetPut, "TxBorderStyle");
  f.Prop(0xE3, "Visible", kBool);
  f.Prop(-501, "Color", kColor);
  f.Prop(0xE4, "BackgroundColor", kColor);
  f.Prop(0xE5, "PlayType", kI4, kGet, "TxPlayType");
  f.Prop(0xE6, "ConnectionType", kI4, kGetPut, "TxConnectionType");
  f.Prop(0xE7, "HostIP", kText);
  f.Prop(0xE8, "HostPort", kI4);
  f.Prop(0xE9, "StreamMediaIP", kText);
  f.Prop(0xEA, "StreamMediaPort", kI4);
  f.Prop(0xEB, "StreamMediaID", kText);
  f.Prop(0xEC, "ClientNetID", kText);
  f.Prop(0xED, "Token", kText);
  f.Prop(0xEE, "LoginUser", kText);
  f.Prop(0xEF, "Password", kText);
  f.Prop(0xF0, "UserName", kText);
  f.Prop(0xF1, "ChannelNo", kI4);
  f.Prop(0xF2, "PortNo", kI4);
  f.Prop(0xF3, "IsPlaying", kBool, kGet);
  f.Prop(0xF4, "StartPlayTime", kDate, kGet);
  f.Prop(0xF5, "Bitrate", kR4, kGet);
  f.Prop(0xF6, "CurFrameNumReceived", kI4, kGet);
  f.Prop(0xF7, "FrameRateReceived", kR4, kGet);
  f.Prop(0xF8, "ReadTimeout", kI4);
  f.Prop(0xF9, "ConnectTimeout", kI4);
  f.Prop(0xFA, "FullScreen", kBool);
  f.Prop(0xFB, "IsPALFormat", kBool);
  f.Prop(0xFC, "Fluency", kI4);
  f.Prop(0xFD, "TryTimes", kI4);
  f.Prop(0xFE, "CaptureBMPPath", kText);
  f.Prop(0xFF, "AudioPlaying", kBool, kGet);
  f.Prop(0x100, "Volume", kI4);
  f.Prop(0x101, "DVRID", kText);
  f.Prop(0x102, "DeviceType", kI4);
  f.Prop(0x103, "CheckRight", kBool);
  f.Prop(0x104, "CenterAddr", kText);
  f.Prop(0x105, "CenterPort", kI4);
  f.Prop(0x106, "CenterServicePath", kText);
  f.Prop(0x107, "CenterConnectTimeout", kI4);
  f.Prop(0x108, "RecordFile", kText);
  f.Prop(0x109, "ParentBackground", kBool);
  f.Prop(0x10A, "DoubleBuffered", kBool);
  f.Prop(0x10B, "AlignDisabled", kBool, kGet);
  f.Prop(0x10C, "VisibleDockClientCount", kI4, kGet);
  f.Method(0x10D, "DrawTextBiDiModeFlagsReadingOnly", kI4);
  f.Prop(-514, "Enabled", kBool);
  f.Method(0x10E, "InitiateAction");
  f.Method(0x10F, "IsRightToLeft", kBool);
  f.Method(0x110, "UseRightToLeftReading", kBool);
  f.Method(0x111, "UseRightToLeftScrollBar", kBool);
  f.Method(0x112, "SetSubComponent", kVoid, {In("IsSubComponent", kBool)});
  f.Prop(0x113, "NoDecode", kBool);
  f.Prop(0x114, "LinkMode", kI4);
  f.Method(0x115, "changeLinkMode", kVoid, {In("aSrc", kI4), In("aDst", kI4)});
  f.Prop(0x116, "QuviMode", kBool);
  f.Prop(0x11A, "RatioMode", kBool);
  f.Prop(0x117, "CursorCtrl", kBool);
  f.Prop(0x118, "NoRefresh", kBool);
  f.Prop(0x119, "PTZSpeed", kI4);
  f.Method(0x11B, "SetWatermark", kVoid, {In("aData", kText)});
  f.Prop(0x11C, "TipConnectingMsg", kText);
  f.Prop(0x11D, "TipConnectFailedMsg", kText);
  f.Prop(0x11E, "TipPlayFailedMsg", kText);
  f.Prop(0x11F, "DigitalZoomMode", kBool);
  f.Prop(0x120, "PlayWnd", kI4, kPut);
  f.Prop(0x121, "Version", kText, kGet);
  f.Prop(0x122, "Font", kFont, kGetPut | DISPATCH_PROPERTYPUTREF);
  f.Prop(0x123, "Caption", kText);
  f.Prop(0x124, "FontColor", kColor);
  f.Prop(0x125, "FontSize", kI4);
  f.Method(0x126, "Zoom", kVoid,
           {In("aLeft", kI4), In("aTop", kI4), In("aRight", kI4), In("aBottom", kI4)});
  f.Method(0x127, "UnZoom");
  f.Method(0x128, "ZoomByPoint", kVoid, {In("aX", kI4), In("aY", kI4), In("aFlag", kI4)});
}

void AddEvents(std::vector<TFuncDesc>& funcs) {
  TFuncs f(funcs);
  f.Method(kOnConnected, "OnConnected");
  f.Method(kOnDisConnected, "OnDisConnected");
  f.Method(kOnClick, "OnClick");
  f.Method(kOnDblClick, "OnDblClick");
  // Declared as 8-bit text; the control passes a byte array 0..Framesize ending in 0.
  f.Method(kOnReceiveData, "OnReceiveData", kVoid,
           {In("databuf", TVarType::ByteArray), In("Framesize", kI4), In("FrameType", kI4)});
  f.Method(kOnStatusChanged, "OnStatusChanged", kVoid, {In("aCode", kI4)});
  f.Method(kOnVideoInfoRead, "OnVideoInfoRead", kVoid,
           {In("aCodec", kI4), In("aWidth", kI4), In("aHeight", kI4)});
}

plat::TLibraryDesc Build() {
  plat::TLibraryDesc lib;
  lib.Name = "QuviLiveViewer";
  lib.Guid = kLibraryGuid;
  lib.MajorVersion = 1;
  lib.MinorVersion = 0;
  lib.HelpString = "QuviLiveViewer Library";
  lib.Enums = {
      {"TxAlignment",
       "{30E5D0D3-36A5-43F6-9B9D-FC2C6607DD1F}",
       {{"taLeftJustify", 0}, {"taRightJustify", 1}, {"taCenter", 2}}},
      {"TxBorderStyle", "{7A5F1803-B513-44DE-8C4C-7B99AC12E00A}", {{"bsNone", 0}, {"bsSingle", 1}}},
      {"TxPlayType", "{A434AC99-1843-4A68-A4F2-41AE3F6D8C60}", {{"ptPreview", 0}, {"ptReplay", 1}}},
      {"TxConnectionType",
       "{5B282B6B-613F-4154-B86D-CFD50CEB64CA}",
       {{"ctDirect", 0}, {"ctByStreamMedia", 1}}},
      {"TxMouseButton",
       "{C2C337B2-97BB-482C-8DA8-AB49661893D1}",
       {{"mbLeft", 0}, {"mbRight", 1}, {"mbMiddle", 2}}},
  };
  lib.Dispatch.Name = "IPmOstraNvPreviewWindowX";
  lib.Dispatch.Guid = kDispatchInterfaceGuid;
  lib.Dispatch.HelpString = "Dispatch interface for PmOstraNvPreviewWindowX Control";
  lib.Dispatch.Flags = plat::TYPEFLAG_FDUAL | plat::TYPEFLAG_FDISPATCHABLE;
  AddDispatchMembers(lib.Dispatch.Funcs);
  lib.Events.Name = "IPmOstraNvPreviewWindowXEvents";
  lib.Events.Guid = kEventInterfaceGuid;
  lib.Events.HelpString = "Events interface for PmOstraNvPreviewWindowX Control";
  lib.Events.Flags = plat::TYPEFLAG_FDISPATCHABLE;
  AddEvents(lib.Events.Funcs);
  lib.Class.Name = "PmOstraNvPreviewWindowX";
  lib.Class.Guid = kControlClassGuid;
  lib.Class.HelpString = "PmOstraNvPreviewWindowX Control";
  lib.Class.DefaultInterface = lib.Dispatch.Name;
  lib.Class.DefaultSource = lib.Events.Name;
  return lib;
}

}  // namespace

const plat::TLibraryDesc& QuviLiveViewerTypeLibrary() {
  static const plat::TLibraryDesc lib = Build();
  return lib;
}

}  // namespace viewer
