// TInputBuffer: the bounded queue of input blocks between the feeding caller and a port's
// decoding thread. Any thread may push; one thread pops. Owns copies of the blocks.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace vdec {

class TInputBuffer {
 public:
  // The most bytes the buffered blocks may hold together.
  void SetCapacity(size_t bytes);
  size_t Capacity() const;
  size_t Used() const;

  // Copies the block in when it fits beside what is buffered; a block larger than the whole
  // capacity goes only into an empty buffer, so that no block is refused forever.
  bool Push(const uint8_t* data, size_t size);

  // Waits for the oldest block and takes it out; returns nothing once cancelled.
  std::optional<std::vector<uint8_t>> Pop();
  // Wakes a waiting Pop and makes every Pop return nothing until Resume.
  void Cancel();
  void Resume();

  // Drops every buffered block.
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::vector<uint8_t>> blocks_;
  size_t capacity_ = 0;
  size_t used_ = 0;
  bool cancelled_ = false;
  int waiting_ = 0;  // Pops waiting for a block
};

}  // namespace vdec
