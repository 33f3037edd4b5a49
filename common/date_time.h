// Calendar date-times held as days since 1899-12-30 (fraction = time of day), the form in
// which the viewer control and the player library exchange and store times. Any thread.
#pragma once

#include <cstdint>

using TDateTime = double;

struct TDateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Current local time.
TDateTime Now();
TDateTime EncodeDateTime(const TDateTimeParts& p);
TDateTimeParts DecodeDateTime(TDateTime t);
// Seconds since 1970-01-01 (taken as local wall time) plus milliseconds, as a date-time.
TDateTime UnixSecondsToDateTime(int64_t seconds, int milliseconds);
// Whole milliseconds from a to b, rounded to the nearest millisecond so that two frames
// stamped 40 ms apart are exactly 40 ms apart (a truncated difference of two doubles is one
// short). Every comparison of frame times goes through this.
int64_t MillisecondsBetween(TDateTime a, TDateTime b);
