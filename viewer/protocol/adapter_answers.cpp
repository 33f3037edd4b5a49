#include "viewer/protocol/adapter_answers.h"

#include <exception>

#include "common/viewer_utils.h"
#include "viewer/protocol/responses.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/protocol/wire_format.h"

namespace viewer {

namespace {

constexpr size_t kLengthWordSize = 4;

// 0 when the answer carries the expected code and a whole head with its status.
uint32_t CheckHead(const uint8_t* message, size_t size, uint32_t expected_code,
                   TResponseHead& head) {
  if (size < wire::kMessageHeadSize) return kAdapterUnexpectedAnswer;
  if (ReadUInt32(message + wire::kCodeOffset, true) != expected_code) {
    return kAdapterUnexpectedAnswer;
  }
  if (!DecodeResponseHead(message, size, head)) return kAdapterUnexpectedAnswer;
  return 0;
}

}  // namespace

uint32_t ReadAnswer(TKvIPObject& connection, std::vector<uint8_t>& message) {
  message.clear();
  int32_t length = 0;
  try {
    length = connection.ReadInt32(true);
  } catch (const std::exception&) {
    return kAdapterReadFailed;
  }
  if (length < static_cast<int32_t>(kLengthWordSize) || length > kMaxAnswerLength) {
    return kAdapterAnswerLength;
  }
  message.resize(static_cast<size_t>(length));
  const uint32_t word = static_cast<uint32_t>(length);
  message[0] = static_cast<uint8_t>(word >> 24);
  message[1] = static_cast<uint8_t>(word >> 16);
  message[2] = static_cast<uint8_t>(word >> 8);
  message[3] = static_cast<uint8_t>(word);
  try {
    connection.ReadBuffer(message.data() + kLengthWordSize, message.size() - kLengthWordSize);
  } catch (const std::exception&) {
    message.clear();
    return kAdapterReadFailed;
  }
  return 0;
}

TLoginAnswer ParseLoginAnswer(const uint8_t* message, size_t size) {
  TLoginAnswer answer;
  TResponseHead head;
  answer.Error = CheckHead(message, size, wire::kLoginResponse, head);
  if (answer.Error != 0) return answer;
  if (head.Status != 0) {
    answer.Error = kAdapterNoRight;
    return answer;
  }
  if (size < wire::kLoginUserNameOffset) {
    answer.Error = kAdapterUnexpectedAnswer;
    return answer;
  }
  const char* text = reinterpret_cast<const char*>(message);
  answer.Token.assign(text + wire::kLoginTokenOffset, wire::kTokenSize);
  answer.UserName.assign(text + wire::kLoginUserNameOffset, size - wire::kLoginUserNameOffset);
  return answer;
}

TClientIdentityAnswer ParseClientIdentityAnswer(const uint8_t* message, size_t size) {
  TClientIdentityAnswer answer;
  TResponseHead head;
  answer.Error = CheckHead(message, size, wire::kClientIdentityResponse, head);
  if (answer.Error != 0) return answer;
  switch (head.Status) {
    case 0:
      break;
    case -1:
      answer.Error = kAdapterNoRight;
      return answer;
    case -3:
      answer.Error = kAdapterMalformedProtocol;
      return answer;
    case -4:
      answer.Error = kAdapterReadFailed;
      return answer;
    default:
      answer.Error = kAdapterUnknownStatus;
      return answer;
  }
  if (size < wire::kClientAddressAnswerOffset + 4) {
    answer.Error = kAdapterUnexpectedAnswer;
    return answer;
  }
  answer.Address =
      AddressToDottedQuad(ReadUInt32(message + wire::kClientAddressAnswerOffset, true), false);
  return answer;
}

}  // namespace viewer
