#include "tools/recmake/frame_merger.h"

#include <gtest/gtest.h>

namespace recmake {
namespace {

TRecordFrame At(int64_t time_us, uint8_t codec) {
  TRecordFrame f;
  f.Head.Codec = codec;
  SetCaptureTime(f.Head, time_us);
  return f;
}

TEST(FrameMerger, InterleavesByTimeAndWaitsForStreamsStillToDeliver) {
  TFrameMerger m(2);
  TRecordFrame out;
  m.Push(0, At(0, 4));
  m.Push(0, At(40000, 4));
  EXPECT_FALSE(m.Pop(out));  // audio could still bring something earlier
  EXPECT_EQ(m.Starved(), 1);
  m.Push(1, At(0, 0x81));
  m.Push(1, At(20000, 0x81));
  std::vector<std::pair<int64_t, uint8_t>> got;
  while (m.Pop(out)) got.emplace_back(out.TimeUs(), out.Head.Codec);
  // Equal times: the lower stream first. Then it stops, as audio has run dry again.
  EXPECT_EQ(got, (std::vector<std::pair<int64_t, uint8_t>>{{0, 4}, {0, 0x81}, {20000, 0x81}}));
  EXPECT_EQ(m.Starved(), 1);
  m.End(1);
  ASSERT_TRUE(m.Pop(out));
  EXPECT_EQ(out.TimeUs(), 40000);
  EXPECT_FALSE(m.Done());
  m.End(0);
  EXPECT_FALSE(m.Pop(out));
  EXPECT_TRUE(m.Done());
  EXPECT_EQ(m.Starved(), -1);
}

TEST(FrameMerger, HoldLimitLetsFramesGoWhenAStreamFallsSilent) {
  TFrameMerger m(2, 1000000);
  TRecordFrame out;
  m.Push(0, At(0, 4));
  m.Push(0, At(1000000, 4));
  EXPECT_FALSE(m.Pop(out));  // a span of exactly the limit still waits
  m.Push(0, At(1040000, 4));
  ASSERT_TRUE(m.Pop(out));
  EXPECT_EQ(out.TimeUs(), 0);
}

}  // namespace
}  // namespace recmake
