// Arbitrary bytes from the server's command connection through the adapter's answer reading
// and judging: an in-memory connection hands them out in fuzzer-chosen pieces and ends with a
// fuzzer-chosen failure. An accepted answer must hold exactly what its length claims, and an
// accepted login or identity answer must carry the fields its judge handed out.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "viewer/protocol/adapter_answers.h"
#include "viewer/protocol/socket_client.h"

namespace {

class TMemoryConnection : public viewer::TKvIPObject {
 public:
  TMemoryConnection(const uint8_t* data, size_t size, size_t piece, int end_error)
      : data_(data), size_(size), piece_(piece), end_error_(end_error) {}

 protected:
  long ReceiveSome(void* buffer, size_t size, int* error) override {
    if (at_ == size_) {
      if (end_error_ == 0) return 0;
      *error = end_error_;
      return -1;
    }
    size_t n = size < piece_ ? size : piece_;
    if (n > size_ - at_) n = size_ - at_;
    __builtin_memcpy(buffer, data_ + at_, n);
    at_ += n;
    return static_cast<long>(n);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t piece_;
  int end_error_;
  size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const int kEndErrors[] = {0, EAGAIN, ECONNRESET, EBADF};
  const size_t piece = 1 + (data[0] >> 2);
  TMemoryConnection connection(data + 1, size - 1, piece, kEndErrors[data[0] & 3]);
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
