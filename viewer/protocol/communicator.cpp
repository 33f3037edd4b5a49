#include "viewer/protocol/communicator.h"

#include <exception>
#include <mutex>
#include <vector>

#include "common/viewer_utils.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/packages.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/protocol/wire_format.h"

namespace viewer {

namespace {

// The open answer's status sits at message offset 20, i.e. 12 bytes into the payload; on
// success the four picture settings follow it.
constexpr size_t kStatusInPayload = wire::kResponseStatusOffset - wire::kMessageHeadSize;
constexpr size_t kVideoParamsInPayload = wire::kVideoParamsOffset - wire::kMessageHeadSize;
constexpr size_t kVideoParamsSize = 16;

[[noreturn]] void RaiseForOpenStatus(int32_t status) {
  switch (status) {
    case -1:
      throw EHaveNoRight();
    case -2:
      throw ETokenInvalid();
    case -3:
      throw EMalformedProtocol();
    case -4:
      throw ETimeout();
    case -5:
      throw EFileNotFound();
    default:
      throw EUnknown::ForStatus(status);
  }
}

EInvalidPackageLength InvalidAnswerSize(int32_t length) {
  return EInvalidPackageLength("Invalid pack size: " + std::to_string(length));
}

}  // namespace

// ---- TCommunicator ----

TCommunicator::TCommunicator() {
  ResetStatics();
}

TKvIPObject& TCommunicator::StreamConnection() const {
  if (Client == nullptr) throw EViewerException("no stream connection");
  return *Client;
}

void TCommunicator::WithSectionLock(const std::function<void()>& action) {
  if (ProtectedSection == nullptr) return action();
  std::lock_guard<TProtectedSection> hold(*ProtectedSection);
  action();
}

void TCommunicator::ParseVideoParams(const uint8_t*, size_t, size_t) {}

void TCommunicator::ResetStatics() {
  TotalBytes.store(0, std::memory_order_relaxed);
  PackageCount.store(0, std::memory_order_relaxed);
  StartTime.store(Clock(), std::memory_order_relaxed);
}

bool TCommunicator::IsMediaPackage(uint32_t) {
  return true;
}

// ---- TOstraNvCommunicator ----

float TOstraNvCommunicator::PerSecond(int64_t amount) const {
  const int64_t seconds =
      MillisecondsBetween(StartTime.load(std::memory_order_relaxed), Clock()) / 1000;
  // A clock set back during the period gives no rate rather than a negative one.
  if (seconds <= 0) return 0;
  return static_cast<float>(amount) / static_cast<float>(seconds);
}

float TOstraNvCommunicator::GetBitrate() {
  return PerSecond(TotalBytes.load(std::memory_order_relaxed));
}

float TOstraNvCommunicator::GetFrameRate() {
  return PerSecond(PackageCount.load(std::memory_order_relaxed));
}

void TOstraNvCommunicator::CheckPackage() {
  if (!HeadChecked) {
    HeadChecked = true;
    CheckFileHead();
  } else {
    CheckFramePackage();
  }
}

void TOstraNvCommunicator::GetPlayRight() {
  TKvIPObject& client = StreamConnection();
  SendOpenCommand();

  int32_t length = 0;
  try {
    length = client.ReadInt32(true);
  } catch (const std::exception& e) {
    throw EReadPackageHead(e.what());
  }
  if (length < 0) throw EInvalidPackageLength("receivedPackLen < 0");
  CheckConnectResponse(static_cast<uint32_t>(client.ReadInt32(true)));

  // A length the head itself does not fit in leaves nothing sensible to read; one beyond
  // the largest package would have us allocate whatever a broken server claims.
  if (length < wire::kMinPackLength || length > wire::kMaxPackLength)
    throw InvalidAnswerSize(length);
  std::vector<uint8_t> payload(static_cast<size_t>(length) - wire::kMessageHeadSize);
  try {
    client.ReadBuffer(payload.data(), payload.size());
  } catch (const std::exception& e) {
    throw EReadPackage(e.what());
  }

  // The status word and, on success, all four picture settings or none of them: an answer
  // in between has no meaning, and nothing may be read past its payload.
  if (payload.size() < kStatusInPayload + 4) throw InvalidAnswerSize(length);
  const int32_t status = static_cast<int32_t>(ReadUInt32(payload.data() + kStatusInPayload, true));
  if (status != 0) RaiseForOpenStatus(status);
  if (payload.size() == kVideoParamsInPayload) return;
  if (payload.size() < kVideoParamsInPayload + kVideoParamsSize) throw InvalidAnswerSize(length);
  ParseVideoParams(payload.data(), payload.size(), kVideoParamsInPayload);
}

void TOstraNvCommunicator::UpdateStatics() {
  if (Package == nullptr) return;
  TotalBytes.fetch_add(Package->PackLength, std::memory_order_relaxed);
  PackageCount.fetch_add(1, std::memory_order_relaxed);
}

bool TOstraNvCommunicator::IsMediaPackage(uint32_t code) {
  return code != wire::kNoMediaPackage;
}

}  // namespace viewer
