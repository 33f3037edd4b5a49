// Arbitrary bytes from the server's command connection through the adapter's answer reading
// and judging: an in-memory connection hands them out in fuzzer-chosen pieces and ends with a
// fuzzer-chosen failure. An accepted answer must hold exactly what its length claims, and an
// accepted login or identity answer must carry the fields its judge handed out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/memory_connection.h"
#include "viewer/protocol/adapter_answers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzzing::TMemoryConnection connection = fuzzing::TMemoryConnection::FromInput(data, size);
  std::vector<uint8_t> message;
  const uint32_t error = viewer::ReadAnswer(connection, message);
  if (error != 0) {
    if (!message.empty()) std::abort();
    return 0;
  }
  const uint32_t length = (uint32_t{message[0]} << 24) | (uint32_t{message[1]} << 16) |
                          (uint32_t{message[2]} << 8) | message[3];
  if (length != message.size()) std::abort();

  const viewer::TLoginAnswer login = viewer::ParseLoginAnswer(message.data(), message.size());
  if (login.Error == 0 &&
      (login.Token.size() != 128 || login.Token.size() + login.UserName.size() + 24 != length))
    std::abort();
  const viewer::TClientIdentityAnswer identity =
      viewer::ParseClientIdentityAnswer(message.data(), message.size());
  if ((identity.Error == 0) == identity.Address.empty()) std::abort();
  return 0;
}
