#include "common/date_time.h"

#include <gtest/gtest.h>

TEST(DateTimeTest, EncodeDecodeRoundTripsKnownDates) {
  struct Case {
    TDateTimeParts parts;
    double days;
  } cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
      {{1970, 1, 1, 0, 0, 0, 0}, 25569.0},
      {{2024, 3, 5, 12, 0, 0, 0}, 45356.5},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeDateTime(c.parts), c.days);
    const TDateTimeParts back = DecodeDateTime(c.days);
    EXPECT_EQ(back.year, c.parts.year);
    EXPECT_EQ(back.month, c.parts.month);
    EXPECT_EQ(back.day, c.parts.day);
    EXPECT_EQ(back.hour, c.parts.hour);
  }
  const TDateTimeParts p = DecodeDateTime(EncodeDateTime({2024, 3, 5, 7, 4, 9, 45}));
  EXPECT_EQ(p.minute, 4);
  EXPECT_EQ(p.second, 9);
  EXPECT_EQ(p.millisecond, 45);
}

TEST(DateTimeTest, FramesFortyMillisecondsApartStayFortyApartOverAnHour) {
  const int64_t start = 1733788800;  // a day in 2024
  TDateTime prev = UnixSecondsToDateTime(start, 0);
  for (int i = 1; i < 90000; ++i) {
    const int64_t ms = static_cast<int64_t>(i) * 40;
    const TDateTime t = UnixSecondsToDateTime(start + ms / 1000, static_cast<int>(ms % 1000));
    ASSERT_EQ(MillisecondsBetween(prev, t), 40) << "frame " << i;
    prev = t;
  }
  EXPECT_EQ(MillisecondsBetween(UnixSecondsToDateTime(start, 0), prev), 89999 * 40);
  EXPECT_EQ(MillisecondsBetween(prev, UnixSecondsToDateTime(start, 0)), -89999 * 40);
}
