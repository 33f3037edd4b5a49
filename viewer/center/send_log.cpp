#include "viewer/center/send_log.h"

#include <chrono>

#include "viewer/center/soap_answer.h"
#include "viewer/center/soap_http.h"

namespace viewer {

std::string CutText(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  // Back off from the middle of a character: continuation bytes are 10xxxxxx.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

TPendingReport MakePendingReport(const std::string& token_key, int32_t channel_code,
                                 int64_t device_id, const std::string& operation, int32_t level,
                                 bool success, TDateTime now) {
  TPendingReport r;
  r.Time = now;
  r.Operated =
      CutText("dvrId:" + std::to_string(device_id) + ",channelCode:" + std::to_string(channel_code),
              kOperatedBytes);
  r.Operation = CutText(operation, kOperationBytes);
  r.TokenKey = CutText(token_key, kReportTokenBytes);
  r.Level = level;
  r.Result = CutText(success ? kReportSuccess : kReportFailure, kResultBytes);
  r.TypeOfOperated = CutText(kReportChannel, kTypeOfOperatedBytes);
  return r;
}

TActionLogRecord ActionLogOf(const TPendingReport& report) {
  TActionLogRecord log;
  log.Operated = report.Operated;
  log.Level = report.Level;
  log.Operation = report.Operation;
  log.Result = report.Result;
  log.TypeOfOperated = report.TypeOfOperated;
  log.Src = kReportSource;
  log.Time = report.Time;
  return log;
}

bool TReportGate::TryEnter() {
  std::lock_guard<std::mutex> guard(lock_);
  if (cancelled_.load() || in_flight_ >= max_) {
    dropped_.fetch_add(1);
    return false;
  }
  ++in_flight_;
  return true;
}

void TReportGate::Leave() {
  std::lock_guard<std::mutex> guard(lock_);
  --in_flight_;
  if (in_flight_ == 0) idle_.notify_all();
}

bool TReportGate::WaitIdle(uint32_t timeout_ms) {
  std::unique_lock<std::mutex> guard(lock_);
  return idle_.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                        [this] { return in_flight_ == 0; });
}

int TReportGate::InFlight() const {
  std::lock_guard<std::mutex> guard(lock_);
  return in_flight_;
}

bool TSendLog::Launch(std::shared_ptr<TReportGate> gate, const TCenterSettings& settings,
                      const TCenterNamespaces& namespaces, TPendingReport report) {
  if (!gate->TryEnter()) return false;
  // From here the sender holds a place in the gate; its destructor gives it back.
  auto* sender = new TSendLog(std::move(gate), settings, namespaces, std::move(report));
  sender->FreeOnTerminate = true;
  if (!sender->Start()) {
    delete sender;
    return false;
  }
  return true;
}

TSendLog::TSendLog(std::shared_ptr<TReportGate> gate, const TCenterSettings& settings,
                   const TCenterNamespaces& namespaces, TPendingReport report)
    : gate_(std::move(gate)),
      timeout_ms_(EffectiveTimeout(settings.ConnectTimeout)),
      report_(std::move(report)) {
  if (HasEndpoint(settings)) {
    url_ = EndpointUrl(settings, kActionLogServiceName);
    namespace_ = NamespaceFor(namespaces.Service, url_);
    array_namespace_ = NamespaceFor(namespaces.Array, url_);
  }
}

TSendLog::~TSendLog() {
  gate_->Leave();
}

void TSendLog::Execute() {
  if (url_.empty()) return;
  try {
    TSoapRequest request("logOfToken", namespace_, array_namespace_);
    request.AddString("_tokenKey", report_.TokenKey);
    request.AddActionLog("_log", ActionLogOf(report_));
    ReadEmptyAnswer(PostSoap(url_, request.Envelope(), timeout_ms_, &gate_->Cancelled()));
  } catch (...) {
    // A report that cannot be delivered is lost; nobody waits for it.
  }
}

}  // namespace viewer
