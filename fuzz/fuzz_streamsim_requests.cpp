// Arbitrary bytes as a client's requests to the stream server simulator: split by their
// length words the way a connection reads them, each handed to the responder, whose answer
// and log line must come out whatever the bytes are, never reading past them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/viewer_utils.h"
#include "tools/streamsim/request_responder.h"

namespace {

void HandleCopy(streamsim::TRequestResponder& responder, const uint8_t* data, size_t size) {
  // An exactly sized copy, so a read past the message is caught.
  std::vector<uint8_t> message(data, data + size);
  const streamsim::TRequestOutcome out =
      responder.Handle(message.data(), message.size(), {1, "127.0.0.1", 4000});
  if (out.Line.Text().empty()) std::abort();
  if (!out.Answer.empty() && ReadUInt32(out.Answer.data(), true) != out.Answer.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  streamsim::TAccountSettings accounts;
  accounts.RequireToken = (size % 2) == 1;
  streamsim::TVideoParamsStore params(viewer::TVideoParams{70, 75, 85, 127});
  streamsim::TRequestResponder responder(accounts, std::nullopt, params);
  HandleCopy(responder, data, size);
  while (size >= 8) {
    const uint32_t length = ReadUInt32(data, true);
    if (length < 8 || length > streamsim::TRequestResponder::kMaxRequestLength) break;
    const size_t n = length < size ? length : size;
    HandleCopy(responder, data, n);
    data += n;
    size -= n;
  }
  return 0;
}
