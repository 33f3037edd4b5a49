// Arbitrary bytes from the stream server through the package reader: an in-memory connection
// hands them out in fuzzer-chosen pieces and ends with a fuzzer-chosen failure, and packages
// are read until one raises. Every accepted package must hold exactly what its head claims.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>

#include "fuzz/memory_connection.h"
#include "viewer/protocol/packages.h"
#include "viewer/protocol/wire_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzzing::TMemoryConnection connection = fuzzing::TMemoryConnection::FromInput(data, size);
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
