#include "viewer/center/authorization_server.h"

#include "viewer/center/center_errors.h"
#include "viewer/center/soap_envelope.h"
#include "viewer/center/soap_http.h"

namespace viewer {

const std::array<TActionRow, kActionCount> kActionTable = {{
    {-3, 16}, {-3, 17}, {-3, 18}, {-3, 19}, {-3, 26}, {-3, 20}, {-3, 27}, {-3, 21},
    {-3, 28}, {-3, 22}, {-3, 29}, {-3, 23}, {-3, 30}, {-3, 24}, {-3, 31}, {-2, 14},
    {-2, 16}, {-2, 15}, {-2, 17}, {-3, 25}, {-3, 32}, {-2, 21}, {-2, 22}, {-2, 23},
    {-2, 24}, {-2, 25}, {-3, 35}, {-3, 36}, {-3, 37}, {-3, 38}, {-3, 39}, {-3, 40},
    {-2, 26}, {-2, 27}, {-2, 30}, {-2, 31}, {-2, 35}, {-2, 36}, {-2, 37}, {-2, -1},
}};

int32_t CenterFailureStatus(const ECenterCallError& e) {
  if (e.HttpError() && e.ResponseText().find("TokenInvalidate") != std::string::npos) {
    return kCenterTokenRejected;
  }
  if (e.Message().find("Timeout") != std::string::npos) return kCenterTimeout;
  return kCenterFailed;
}

TEmbeddedAuthorizationServer::TEmbeddedAuthorizationServer()
    : TEmbeddedAuthorizationServer(LoadCenterNamespaces(CenterConfigPath())) {}

TEmbeddedAuthorizationServer::TEmbeddedAuthorizationServer(TCenterNamespaces namespaces)
    : namespaces_(std::move(namespaces)) {}

TEmbeddedAuthorizationServer::~TEmbeddedAuthorizationServer() {
  gate_->Cancel();
  gate_->WaitIdle(static_cast<uint32_t>(EffectiveTimeout(Settings().ConnectTimeout)));
}

void TEmbeddedAuthorizationServer::SetCenterAddr(const std::string& addr) {
  std::lock_guard<std::mutex> guard(lock_);
  settings_.Addr = addr;
}

void TEmbeddedAuthorizationServer::SetCenterPort(int32_t port) {
  std::lock_guard<std::mutex> guard(lock_);
  settings_.Port = port;
}

void TEmbeddedAuthorizationServer::SetCenterServicePath(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  settings_.ServicePath = path;
}

void TEmbeddedAuthorizationServer::SetCenterConnectTimeout(int32_t timeout_ms) {
  std::lock_guard<std::mutex> guard(lock_);
  settings_.ConnectTimeout = timeout_ms;
}

void TEmbeddedAuthorizationServer::Configure(const TCenterSettings& settings) {
  std::lock_guard<std::mutex> guard(lock_);
  settings_ = settings;
}

TCenterSettings TEmbeddedAuthorizationServer::Settings() const {
  std::lock_guard<std::mutex> guard(lock_);
  return settings_;
}

int32_t TEmbeddedAuthorizationServer::CheckActionRight(const std::string& token_key, int32_t action,
                                                       int32_t channel_code, int64_t device_id) {
  const TCenterSettings settings = Settings();
  if (!HasEndpoint(settings)) return kCenterFailed;
  const int32_t row_index = action & 0x7F;
  // Action numbers past the table name no permission the service knows.
  if (row_index >= kActionCount) return kCenterFailed;
  const TActionRow& row = kActionTable[row_index];
  try {
    const std::string url = EndpointUrl(settings, kPermServiceName);
    const std::string ns = NamespaceFor(namespaces_.Service, url);
    const bool channel = row.SubjectClass == kChannelSubjectClass;
    TSoapRequest request(channel ? "checkChannelPermission" : "checkPermission", ns);
    if (channel) {
      request.AddLong("_dvrId", device_id);
      request.AddInt("_channelCode", channel_code);
    } else {
      request.AddLong("_subjectId", device_id);
      request.AddString("_subjectClassId", std::to_string(row.SubjectClass));
    }
    request.AddString("_tokenKey", token_key);
    request.AddInt("_actionIndex", row.ServiceAction);
    const bool allowed = ReadBooleanAnswer(PostSoap(url, request.Envelope(), kCenterCallTimeoutMs));
    return allowed ? kCenterOk : kCenterDenied;
  } catch (const ECenterCallError& e) {
    return CenterFailureStatus(e);
  } catch (...) {
    return kCenterFailed;
  }
}

int32_t TEmbeddedAuthorizationServer::RequestToken(const std::string& login_name,
                                                   const std::string& password,
                                                   std::string& token_key,
                                                   std::string& person_name) {
  const TCenterSettings settings = Settings();
  if (!HasEndpoint(settings)) return kCenterFailed;
  try {
    const std::string url = EndpointUrl(settings, kTokenServiceName);
    const std::string ns = NamespaceFor(namespaces_.Service, url);

    TSoapRequest create("createToken", ns);
    create.AddString("_loginName", login_name);
    create.AddString("_password", password);
    token_key = ReadStringAnswer(PostSoap(url, create.Envelope(), kCenterCallTimeoutMs));

    TSoapRequest validate("validateToken", ns);
    validate.AddString("_tokenKey", token_key);
    const std::optional<std::string> name =
        ReadPersonName(PostSoap(url, validate.Envelope(), kCenterCallTimeoutMs));
    if (name) person_name = *name;
    return TrimBlanks(token_key).empty() ? kCenterDenied : kCenterOk;
  } catch (const ECenterCallError& e) {
    return CenterFailureStatus(e);
  } catch (...) {
    return kCenterFailed;
  }
}

bool TEmbeddedAuthorizationServer::ReportAction(const std::string& token_key, int32_t channel_code,
                                                int64_t device_id, const std::string& operation,
                                                int32_t level, bool success) {
  const TCenterSettings settings = Settings();
  if (!HasEndpoint(settings)) return false;
  try {
    TPendingReport report =
        MakePendingReport(token_key, channel_code, device_id, operation, level, success, Now());
    return TSendLog::Launch(gate_, settings, namespaces_, std::move(report));
  } catch (...) {
    return false;
  }
}

}  // namespace viewer
