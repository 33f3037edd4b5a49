// Action reports: the pending report ReportAction fills, and TSendLog, the short-lived thread
// that sends one report to the action log service and frees itself. TReportGate bounds how
// many senders run at once (a burst beyond the bound is dropped and counted) and lets the
// client's owner cancel them and wait for them, at most for the time-out, when it goes away.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "common/date_time.h"
#include "platform/thread.h"
#include "viewer/center/center_settings.h"
#include "viewer/center/soap_envelope.h"

namespace viewer {

// Byte limits of the report's texts.
constexpr size_t kOperatedBytes = 50;
constexpr size_t kOperationBytes = 100;
constexpr size_t kReportTokenBytes = 200;
constexpr size_t kResultBytes = 10;
constexpr size_t kTypeOfOperatedBytes = 15;

// Senders running at once; reports beyond are dropped.
constexpr int kMaxReportsInFlight = 8;

constexpr char kReportSuccess[] = "成功";
constexpr char kReportFailure[] = "失败";
constexpr char kReportChannel[] = "通道";
constexpr char kReportSource[] = "DVR";

struct TPendingReport {
  int32_t Level = 0;
  std::string Operated;
  std::string Operation;
  std::string TokenKey;
  std::string Result;
  TDateTime Time = 0;
  std::string TypeOfOperated;
};

// The report of one operation on a recorder channel at the given local time, texts cut to
// their limits.
TPendingReport MakePendingReport(const std::string& token_key, int32_t channel_code,
                                 int64_t device_id, const std::string& operation, int32_t level,
                                 bool success, TDateTime now);
// The "ActionLog" a report sends.
TActionLogRecord ActionLogOf(const TPendingReport& report);
// The first bytes of text, at most limit, not splitting a UTF-8 character.
std::string CutText(const std::string& text, size_t limit);

// Shared by a client and the senders it started, so either may go first. Any thread.
class TReportGate {
 public:
  explicit TReportGate(int max_in_flight = kMaxReportsInFlight) : max_(max_in_flight) {}

  // Takes a place for a sender; false (and one more drop) when all are taken or after Cancel.
  bool TryEnter();
  void Leave();
  // Tells running senders to give up.
  void Cancel() { cancelled_.store(true); }
  const std::atomic<bool>& Cancelled() const { return cancelled_; }
  // Waits until no sender runs; false when timeout_ms passed first.
  bool WaitIdle(uint32_t timeout_ms);

  int InFlight() const;
  uint64_t Dropped() const { return dropped_.load(); }

 private:
  const int max_;
  mutable std::mutex lock_;
  std::condition_variable idle_;
  int in_flight_ = 0;
  std::atomic<uint64_t> dropped_{0};
  std::atomic<bool> cancelled_{false};
};

// Sends one report with "logOfToken" and frees itself; nobody learns the outcome. Built and
// started on the caller's thread; its own thread owns it, its copy of the report and a place
// in the gate.
class TSendLog : public plat::TThread {
 public:
  // Starts a sender when the gate has room; false (nothing started) otherwise.
  static bool Launch(std::shared_ptr<TReportGate> gate, const TCenterSettings& settings,
                     const TCenterNamespaces& namespaces, TPendingReport report);

 protected:
  void Execute() override;

 private:
  TSendLog(std::shared_ptr<TReportGate> gate, const TCenterSettings& settings,
           const TCenterNamespaces& namespaces, TPendingReport report);
  ~TSendLog() override;

  std::shared_ptr<TReportGate> gate_;
  std::string url_;  // "" when no endpoint is configured
  std::string namespace_;
  std::string array_namespace_;
  int32_t timeout_ms_;
  TPendingReport report_;
};

}  // namespace viewer
