// The viewer control's client of the central security service: login tokens, permission
// checks for the 40 actions, and action reports. The play window creates one
// TEmbeddedAuthorizationServer, owns it, and copies its CenterAddr, CenterPort,
// CenterServicePath and CenterConnectTimeout properties into it with the setters. Every
// operation may be called from any thread: each call reads a snapshot of the settings and
// builds its own connection. Token and permission calls block their caller for up to 2000 ms
// per exchange; reports run on TSendLog threads and never block it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "viewer/center/center_settings.h"
#include "viewer/center/send_log.h"

namespace viewer {

// Status values of CheckActionRight and RequestToken.
constexpr int32_t kCenterOk = 0;              // allowed / token obtained
constexpr int32_t kCenterDenied = -1;         // denied / empty token
constexpr int32_t kCenterTokenRejected = -2;  // HTTP error answer holding "TokenInvalidate"
constexpr int32_t kCenterTimeout = -4;        // failure whose message holds "Timeout"
constexpr int32_t kCenterFailed = -999;       // no endpoint configured, or any other failure

class TAbstractAuthorizationServer {
 public:
  virtual ~TAbstractAuthorizationServer() = default;

  // Asks whether the token may perform the action (0..39) on the device or its channel.
  virtual int32_t CheckActionRight(const std::string& token_key, int32_t action,
                                   int32_t channel_code, int64_t device_id) = 0;
  // Logs in: the token key and the person's name come back in the out parameters.
  virtual int32_t RequestToken(const std::string& login_name, const std::string& password,
                               std::string& token_key, std::string& person_name) = 0;
  // Sends an audit record of an operation on a channel in the background; true when a sender
  // was started.
  virtual bool ReportAction(const std::string& token_key, int32_t channel_code, int64_t device_id,
                            const std::string& operation, int32_t level, bool success) = 0;
};

// One row of the action table: -3 selects a channel permission check; any other class is
// sent as the subject class of a general one.
struct TActionRow {
  int32_t SubjectClass;
  int32_t ServiceAction;
};
constexpr int32_t kChannelSubjectClass = -3;
constexpr int kActionCount = 40;
extern const std::array<TActionRow, kActionCount> kActionTable;

// The status a failed call gives.
int32_t CenterFailureStatus(const class ECenterCallError& e);

class TEmbeddedAuthorizationServer : public TAbstractAuthorizationServer {
 public:
  // Namespaces default to the deployment file's (see LoadCenterNamespaces).
  TEmbeddedAuthorizationServer();
  explicit TEmbeddedAuthorizationServer(TCenterNamespaces namespaces);
  // Cancels reports still being sent and waits for them, at most the report time-out.
  ~TEmbeddedAuthorizationServer() override;

  void SetCenterAddr(const std::string& addr);
  void SetCenterPort(int32_t port);
  void SetCenterServicePath(const std::string& path);
  void SetCenterConnectTimeout(int32_t timeout_ms);
  void Configure(const TCenterSettings& settings);
  TCenterSettings Settings() const;

  int32_t CheckActionRight(const std::string& token_key, int32_t action, int32_t channel_code,
                           int64_t device_id) override;
  int32_t RequestToken(const std::string& login_name, const std::string& password,
                       std::string& token_key, std::string& person_name) override;
  bool ReportAction(const std::string& token_key, int32_t channel_code, int64_t device_id,
                    const std::string& operation, int32_t level, bool success) override;

  // Reports being sent now, and reports dropped because too many were.
  int ReportsInFlight() const { return gate_->InFlight(); }
  // Waits until no report is being sent; false when timeout_ms passed first.
  bool WaitReportsSent(uint32_t timeout_ms) { return gate_->WaitIdle(timeout_ms); }
  uint64_t ReportsDropped() const { return gate_->Dropped(); }

 private:
  mutable std::mutex lock_;  // guards settings_
  TCenterSettings settings_;
  const TCenterNamespaces namespaces_;
  std::shared_ptr<TReportGate> gate_ = std::make_shared<TReportGate>();
};

}  // namespace viewer
