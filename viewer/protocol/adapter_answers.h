// Answers of the account exchanges on the command connection (login, client identity): reading
// one answer from the connection and judging it. The bytes come from the network, so every
// judgement checks the answer's size before it reads a field; a failure is the last-error code
// the adapter leaves for its caller. Stateless; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace viewer {

class TKvIPObject;

// Last-error codes of the account exchanges.
constexpr uint32_t kAdapterNoRight = 201;            // status -1; any refused login
constexpr uint32_t kAdapterMalformedProtocol = 203;  // status -3
constexpr uint32_t kAdapterAnswerLength = 302;       // the answer's length cannot be allocated
constexpr uint32_t kAdapterReadFailed = 305;  // the request or the answer did not pass; status -4
constexpr uint32_t kAdapterUnexpectedAnswer = 1101;  // another code, or too short for its fields
constexpr uint32_t kAdapterUnknownStatus = 1103;     // any other status; failure in the exchange
constexpr uint32_t kAdapterPrepareFailed = 1105;     // the command connection could not be set up

// Longest answer accepted; a length beyond it (or one below the length word's own 4 bytes) is
// refused before anything is allocated.
constexpr int32_t kMaxAnswerLength = 0x100000;

// Reads one answer: its 32-bit big-endian length, then the rest of it. message receives the
// whole answer, length word included, so offsets are those of the wire. Returns 0,
// kAdapterAnswerLength or kAdapterReadFailed; never raises for what the peer sends.
uint32_t ReadAnswer(TKvIPObject& connection, std::vector<uint8_t>& message);

struct TLoginAnswer {
  uint32_t Error = 0;    // 0 when the login was accepted
  std::string Token;     // the raw 128 bytes, zero bytes included
  std::string UserName;  // the bytes after the token, to the end of the answer
};
// Code other than the login answer's, or too short for its status: 1101; a non-zero status:
// 201; accepted but shorter than the token's end: 1101.
TLoginAnswer ParseLoginAnswer(const uint8_t* message, size_t size);

struct TClientIdentityAnswer {
  uint32_t Error = 0;
  std::string Address;  // the client's address as a dotted quad when Error is 0
};
// Code other than the identity answer's, or too short for its status: 1101; status -1: 201;
// -3: 203; -4: 305; other non-zero: 1103; accepted but without the address: 1101.
TClientIdentityAnswer ParseClientIdentityAnswer(const uint8_t* message, size_t size);

}  // namespace viewer
