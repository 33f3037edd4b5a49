// Arbitrary bytes from the stream server through the package reader: an in-memory connection
// hands them out in fuzzer-chosen pieces and ends with a fuzzer-chosen failure, and packages
// are read until one raises. Every accepted package must hold exactly what its head claims.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>

#include "viewer/protocol/packages.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/protocol/wire_format.h"

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
  for (;;) {
    viewer::TOstraPreviewPlayPackage package;
    try {
      package.ReadFrom(connection);
    } catch (const std::exception&) {
      return 0;
    }
    if (package.DataSize != static_cast<size_t>(package.PackLength) - 8) std::abort();
    unsigned sum = 0;
    for (size_t i = 0; i < package.DataSize; ++i) sum += package.Data[i];
    if (package.PackType == viewer::wire::kPlayPackage) {
      if (package.FrameLength < 0 ||
          static_cast<size_t>(package.FrameLength) + 20 > package.DataSize)
        std::abort();
      for (int32_t i = 0; i < package.FrameLength; ++i) sum += package.Media()[i];
    } else if (package.FrameLength != 0 || package.FrameType != 0) {
      std::abort();
    }
    volatile unsigned sink = sum;
    (void)sink;
  }
}
