// TMemoryConnection: a connection for fuzz targets that hands out the fuzzer's bytes in
// pieces of a chosen size and then ends with a chosen failure (0: the peer closed). The
// first input byte picks both, so one corpus drives every receive path.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "viewer/protocol/socket_client.h"

namespace fuzzing {

class TMemoryConnection : public viewer::TKvIPObject {
 public:
  TMemoryConnection(const uint8_t* data, size_t size, size_t piece, int end_error)
      : data_(data), size_(size), piece_(piece), end_error_(end_error) {}

  // Piece size and ending from data[0], bytes from data[1..]; size must be at least 1.
  static TMemoryConnection FromInput(const uint8_t* data, size_t size) {
    static const int kEndErrors[] = {0, EAGAIN, ECONNRESET, EBADF};
    return TMemoryConnection(data + 1, size - 1, 1 + (data[0] >> 2), kEndErrors[data[0] & 3]);
  }

 protected:
  long ReceiveSome(void* buffer, size_t size, int* error) override {
    if (at_ == size_) {
      if (end_error_ == 0) return 0;
      *error = end_error_;
      return -1;
    }
    size_t n = size < piece_ ? size : piece_;
    if (n > size_ - at_) n = size_ - at_;
    std::memcpy(buffer, data_ + at_, n);
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

}  // namespace fuzzing
