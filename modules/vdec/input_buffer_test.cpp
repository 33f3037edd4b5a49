#include "modules/vdec/input_buffer.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vdec {
namespace {

std::vector<uint8_t> Block(size_t size, uint8_t fill) {
  return std::vector<uint8_t>(size, fill);
}

bool Push(TInputBuffer& buffer, const std::vector<uint8_t>& block) {
  return buffer.Push(block.data(), block.size());
}

TEST(InputBuffer, RefusesWhatDoesNotFitBesideTheBufferedBlocks) {
  TInputBuffer buffer;
  buffer.SetCapacity(100);
  EXPECT_TRUE(Push(buffer, Block(60, 1)));
  EXPECT_FALSE(Push(buffer, Block(41, 2)));
  EXPECT_TRUE(Push(buffer, Block(40, 3)));  // exactly full
  EXPECT_FALSE(Push(buffer, Block(1, 4)));
  EXPECT_EQ(buffer.Used(), 100u);

  EXPECT_EQ(buffer.Pop(), Block(60, 1));  // oldest first; frees its room
  EXPECT_TRUE(Push(buffer, Block(60, 5)));
  EXPECT_EQ(buffer.Pop(), Block(40, 3));
  EXPECT_EQ(buffer.Pop(), Block(60, 5));
  EXPECT_EQ(buffer.Used(), 0u);
}

TEST(InputBuffer, TakesAnOversizedBlockOnlyWhenEmpty) {
  TInputBuffer buffer;
  buffer.SetCapacity(100);
  EXPECT_TRUE(Push(buffer, Block(10, 1)));
  EXPECT_FALSE(Push(buffer, Block(250, 2)));
  EXPECT_EQ(buffer.Pop(), Block(10, 1));
  EXPECT_TRUE(Push(buffer, Block(250, 2)));
  EXPECT_FALSE(Push(buffer, Block(1, 3)));  // over capacity until it is taken
  EXPECT_EQ(buffer.Pop(), Block(250, 2));
}

TEST(InputBuffer, PopWaitsForABlockAndCancelWakesIt) {
  TInputBuffer buffer;
  buffer.SetCapacity(100);
  std::optional<std::vector<uint8_t>> first;
  std::optional<std::vector<uint8_t>> second = Block(1, 0);
  std::thread consumer([&] {
    first = buffer.Pop();
    second = buffer.Pop();  // nothing more comes: only Cancel ends this wait
  });
  EXPECT_TRUE(Push(buffer, Block(5, 7)));
  while (buffer.Used() != 0) std::this_thread::yield();
  buffer.Cancel();
  consumer.join();
  EXPECT_EQ(first, Block(5, 7));
  EXPECT_FALSE(second.has_value());

  // Cancelled: blocks stay buffered and come out again after Resume.
  EXPECT_TRUE(Push(buffer, Block(3, 8)));
  EXPECT_FALSE(buffer.Pop().has_value());
  buffer.Resume();
  EXPECT_EQ(buffer.Pop(), Block(3, 8));
}

TEST(InputBuffer, ClearDropsEverything) {
  TInputBuffer buffer;
  buffer.SetCapacity(10);
  EXPECT_TRUE(Push(buffer, Block(10, 1)));
  buffer.Clear();
  EXPECT_EQ(buffer.Used(), 0u);
  EXPECT_TRUE(Push(buffer, Block(10, 2)));
  EXPECT_EQ(buffer.Pop(), Block(10, 2));
}

}  // namespace
}  // namespace vdec
