// TMemoryStream: a growable byte buffer with a position, in which requests are assembled.
// Owned and used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TMemoryStream {
 public:
  // Writes at the position, growing the buffer (zero-filled) as needed; moves the position.
  void Write(const void* data, size_t count);
  void Seek(size_t position) { position_ = position; }
  size_t Position() const { return position_; }
  size_t Size() const { return bytes_.size(); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
};
