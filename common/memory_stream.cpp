#include "common/memory_stream.h"

#include <cstring>

void TMemoryStream::Write(const void* data, size_t count) {
  if (count == 0) return;
  if (position_ + count > bytes_.size()) bytes_.resize(position_ + count);
  std::memcpy(bytes_.data() + position_, data, count);
  position_ += count;
}
