#include "common/date_time.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace {

constexpr double kMsPerDay = 86400000.0;
// Days from 1899-12-30 to 1970-01-01.
constexpr int64_t kUnixEpochDays = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

}  // namespace

TDateTime UnixSecondsToDateTime(int64_t seconds, int milliseconds) {
  const double ms = static_cast<double>(seconds) * 1000.0 + milliseconds;
  return static_cast<double>(kUnixEpochDays) + ms / kMsPerDay;
}

TDateTime Now() {
  const auto now = std::chrono::system_clock::now();
  const auto ms_total =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const std::time_t secs = static_cast<std::time_t>(ms_total / 1000);
  std::tm local{};
  ::localtime_r(&secs, &local);
  return UnixSecondsToDateTime(static_cast<int64_t>(secs) + local.tm_gmtoff,
                               static_cast<int>(ms_total % 1000));
}

TDateTime EncodeDateTime(const TDateTimeParts& p) {
  const int64_t days = DaysFromCivil(p.year, p.month, p.day) + kUnixEpochDays;
  const double ms = ((p.hour * 60.0 + p.minute) * 60.0 + p.second) * 1000.0 + p.millisecond;
  return static_cast<double>(days) + ms / kMsPerDay;
}

TDateTimeParts DecodeDateTime(TDateTime t) {
  // Round to the millisecond first so 23:59:59.9999 does not show as the wrong day.
  const int64_t total_ms = static_cast<int64_t>(std::llround(t * kMsPerDay));
  int64_t days = total_ms / 86400000;
  int64_t ms_of_day = total_ms % 86400000;
  if (ms_of_day < 0) {
    ms_of_day += 86400000;
    --days;
  }
  TDateTimeParts p;
  CivilFromDays(days - kUnixEpochDays, &p.year, &p.month, &p.day);
  p.hour = static_cast<int>(ms_of_day / 3600000);
  p.minute = static_cast<int>(ms_of_day / 60000 % 60);
  p.second = static_cast<int>(ms_of_day / 1000 % 60);
  p.millisecond = static_cast<int>(ms_of_day % 1000);
  return p;
}

int64_t MillisecondsBetween(TDateTime a, TDateTime b) {
  return static_cast<int64_t>(std::llround((b - a) * kMsPerDay));
}
