#include "tools/streamsim/request_responder.h"

#include "common/viewer_utils.h"
#include "viewer/protocol/wire_format.h"

namespace streamsim {

namespace wire = viewer::wire;

std::optional<viewer::TVideoParams> TVideoParamsStore::Get(int32_t channel) const {
  std::lock_guard<std::mutex> hold(lock_);
  const auto it = channels_.find(channel);
  if (it != channels_.end()) return it->second;
  return defaults_;
}

void TVideoParamsStore::Set(int32_t channel, const viewer::TVideoParams& params) {
  std::lock_guard<std::mutex> hold(lock_);
  channels_[channel] = params;
}

const char* RequestName(uint32_t code) {
  switch (code) {
    case wire::kLoginRequest:
      return "login";
    case wire::kLogoutRequest:
      return "logout";
    case wire::kOpenLiveRequest:
      return "open_live";
    case wire::kLinkModeRequest:
      return "link_mode";
    case wire::kPtzRequest:
      return "ptz";
    case wire::kPtzSpeedRequest:
      return "ptz_speed";
    case wire::kVideoParamsRequest:
      return "video_params";
    case wire::kClientIdentityRequest:
      return "client_identity";
    default:
      return "";
  }
}

TLogLine RequestLine(const char* event, const TPeer& peer, uint32_t code, size_t size) {
  TLogLine line(event);
  line.Add("conn", peer.Conn).Add("peer", peer.Address + ":" + std::to_string(peer.Port));
  const char* name = RequestName(code);
  if (name[0] != '\0') line.Add("request", name);
  line.Add("length", uint64_t{size}).AddCode("code", code);
  return line;
}

void AddRequestHead(TLogLine& line, const viewer::TRequestHead& head) {
  line.Add("constant", head.Constant)
      .Add("client_address", AddressToDottedQuad(head.ClientAddress, false))
      .Add("target_address", AddressToDottedQuad(head.TargetAddress, false));
}

namespace {

// The answer a request of kind R gets when it is malformed: status -3 for the requests
// that are answered at all.
template <class R>
std::vector<uint8_t> MalformedAnswer() {
  constexpr int32_t kMalformed = -3;
  if constexpr (std::is_same_v<R, viewer::TLoginRequest>) {
    return viewer::EncodeLoginResponse(kMalformed, "", "");
  } else if constexpr (std::is_same_v<R, viewer::TOpenLiveRequest>) {
    return viewer::EncodeOpenLiveResponse(kMalformed, std::nullopt);
  } else if constexpr (std::is_same_v<R, viewer::TClientIdentityRequest>) {
    return viewer::EncodeClientIdentityResponse(kMalformed, "");
  } else {
    return {};
  }
}

}  // namespace

template <class R>
TRequestOutcome TRequestResponder::Serve(const uint8_t* data, size_t size, const TPeer& peer) {
  R request;
  viewer::TRequestHead head;
  if (!viewer::DecodeRequest(data, size, request, &head)) {
    TRequestOutcome out;
    out.Line = RequestLine("malformed_request", peer, R::kCode, size);
    out.Line.Add("expected_length", uint64_t{viewer::RequestSize<R>()});
    out.Answer = MalformedAnswer<R>();
    if (!out.Answer.empty()) out.Line.Add("status", int32_t{-3});
    if constexpr (std::is_same_v<R, viewer::TOpenLiveRequest>) {
      out.Next = TRequestOutcome::ENext::Close;
    }
    return out;
  }
  TLogLine line = RequestLine("request", peer, R::kCode, size);
  AddRequestHead(line, head);
  return Answer(request, std::move(line), peer);
}

TRequestOutcome TRequestResponder::Handle(const uint8_t* data, size_t size, const TPeer& peer) {
  const uint32_t code =
      size >= wire::kMessageHeadSize ? ReadUInt32(data + wire::kCodeOffset, true) : 0;
  switch (code) {
    case wire::kLoginRequest:
      return Serve<viewer::TLoginRequest>(data, size, peer);
    case wire::kLogoutRequest:
      return Serve<viewer::TLogoutRequest>(data, size, peer);
    case wire::kOpenLiveRequest:
      return Serve<viewer::TOpenLiveRequest>(data, size, peer);
    case wire::kLinkModeRequest:
      return Serve<viewer::TLinkModeRequest>(data, size, peer);
    case wire::kPtzRequest:
      return Serve<viewer::TPtzRequest>(data, size, peer);
    case wire::kPtzSpeedRequest:
      return Serve<viewer::TPtzSpeedRequest>(data, size, peer);
    case wire::kVideoParamsRequest:
      return Serve<viewer::TVideoParamsRequest>(data, size, peer);
    case wire::kClientIdentityRequest:
      return Serve<viewer::TClientIdentityRequest>(data, size, peer);
    default: {
      TRequestOutcome out;
      out.Line = RequestLine("unknown_request", peer, code, size);
      return out;
    }
  }
}

TRequestOutcome TRequestResponder::Answer(const viewer::TLoginRequest& r, TLogLine line,
                                          const TPeer&) {
  int32_t status = 0;
  if (accounts_.LoginStatus) {
    status = *accounts_.LoginStatus;
  } else if (r.LoginUser != accounts_.User || r.Password != accounts_.Password) {
    status = accounts_.RefuseStatus;
  }
  TRequestOutcome out;
  out.Answer = viewer::EncodeLoginResponse(status, accounts_.Token,
                                           accounts_.UserName.value_or(accounts_.User));
  line.Add("login_user", r.LoginUser).Add("password", r.Password).Add("status", status);
  out.Line = std::move(line);
  return out;
}

TRequestOutcome TRequestResponder::Answer(const viewer::TLogoutRequest& r, TLogLine line,
                                          const TPeer&) {
  TRequestOutcome out;
  out.Line = std::move(line.Add("token", r.Token));
  return out;
}

TRequestOutcome TRequestResponder::Answer(const viewer::TOpenLiveRequest& r, TLogLine line,
                                          const TPeer&) {
  int32_t status = 0;
  if (open_status_) {
    status = *open_status_;
  } else if (accounts_.RequireToken &&
             r.Token != std::string(accounts_.Token, 0, wire::kTokenSize)) {
    status = -2;
  }
  TRequestOutcome out;
  const std::optional<viewer::TVideoParams> params =
      status == 0 ? video_params_.Get(r.ChannelNo) : std::nullopt;
  out.Answer = viewer::EncodeOpenLiveResponse(status, params);
  out.Next = status == 0 ? TRequestOutcome::ENext::Stream : TRequestOutcome::ENext::Close;
  out.Channel = r.ChannelNo;
  line.Add("token", r.Token)
      .AddRaw("dvrid", r.DVRID)
      .Add("channel", r.ChannelNo)
      .Add("link_mode", r.LinkMode)
      .Add("status", status);
  if (params) {
    line.Add("brightness", params->Brightness)
        .Add("contrast", params->Contrast)
        .Add("saturation", params->Saturation)
        .Add("hue", params->Hue);
  }
  out.Line = std::move(line);
  return out;
}

TRequestOutcome TRequestResponder::Answer(const viewer::TLinkModeRequest& r, TLogLine line,
                                          const TPeer&) {
  TRequestOutcome out;
  line.Add("token", r.Token)
      .AddRaw("dvrid", r.DVRID)
      .Add("channel", r.ChannelNo)
      .Add("previous_link_mode", r.PreviousLinkMode)
      .Add("new_link_mode", r.NewLinkMode);
  out.Line = std::move(line);
  return out;
}

namespace {

void AddPtzFields(TLogLine& line, const viewer::TPtzRequest& r) {
  line.Add("token", r.Token)
      .AddRaw("dvrid", r.DVRID)
      .Add("channel", r.ChannelNo)
      .Add("command", r.Command)
      .Add("enabled", r.Enabled);
}

}  // namespace

TRequestOutcome TRequestResponder::Answer(const viewer::TPtzRequest& r, TLogLine line,
                                          const TPeer&) {
  TRequestOutcome out;
  AddPtzFields(line, r);
  out.Line = std::move(line);
  return out;
}

TRequestOutcome TRequestResponder::Answer(const viewer::TPtzSpeedRequest& r, TLogLine line,
                                          const TPeer&) {
  TRequestOutcome out;
  AddPtzFields(line, r);
  line.Add("speed", r.Speed);
  out.Line = std::move(line);
  return out;
}

TRequestOutcome TRequestResponder::Answer(const viewer::TVideoParamsRequest& r, TLogLine line,
                                          const TPeer&) {
  video_params_.Set(r.ChannelNo, {r.Brightness, r.Contrast, r.Saturation, r.Hue});
  TRequestOutcome out;
  line.Add("token", r.Token)
      .Add("channel", r.ChannelNo)
      .Add("brightness", r.Brightness)
      .Add("contrast", r.Contrast)
      .Add("saturation", r.Saturation)
      .Add("hue", r.Hue);
  out.Line = std::move(line);
  return out;
}

TRequestOutcome TRequestResponder::Answer(const viewer::TClientIdentityRequest& r, TLogLine line,
                                          const TPeer& peer) {
  const int32_t status = accounts_.IdentityStatus;
  const std::string address =
      accounts_.ClientAddress.empty() ? peer.Address : accounts_.ClientAddress;
  TRequestOutcome out;
  out.Answer = viewer::EncodeClientIdentityResponse(status, address);
  line.Add("local_address", r.LocalAddress).Add("status", status);
  if (status == 0) line.Add("answered_address", address);
  out.Line = std::move(line);
  return out;
}

}  // namespace streamsim
