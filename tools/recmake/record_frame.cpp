#include "tools/recmake/record_frame.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

namespace recmake {

using zrplay::kFrameHeadSize;
using zrplay::kOverlayRecordSize;
using zrplay::kOverlayTextSize;
using zrplay::TFrameHead;
using zrplay::TOverlayRecord;

int64_t TRecordFrame::TimeUs() const {
  return int64_t{Head.Seconds} * 1000000 + Head.Microseconds;
}

namespace {

void SetLengths(TFrameHead& head, size_t payload, size_t overlays) {
  if (overlays > 255) throw TRecmakeError("a frame holds at most 255 overlay records");
  if (payload > UINT32_MAX) throw TRecmakeError("frame payload larger than 4 GiB");
  head.PayloadLength = static_cast<uint32_t>(payload);
  head.OverlayCount = static_cast<uint8_t>(overlays);
  head.OverlaySize = kOverlayRecordSize;
}

}  // namespace

void TRecordFrame::SyncLengths() {
  SetLengths(Head, Payload.size(), Overlays.size());
}

size_t TRecordFrame::WireSize() const {
  return kFrameHeadSize + Payload.size() + Overlays.size() * kOverlayRecordSize;
}

std::vector<uint8_t> TRecordFrame::Serialize() const {
  TFrameHead head = Head;
  SetLengths(head, Payload.size(), Overlays.size());
  std::vector<uint8_t> out(WireSize());
  std::memcpy(out.data(), &head, kFrameHeadSize);
  if (!Payload.empty()) std::memcpy(out.data() + kFrameHeadSize, Payload.data(), Payload.size());
  if (!Overlays.empty()) {
    std::memcpy(out.data() + kFrameHeadSize + Payload.size(), Overlays.data(),
                Overlays.size() * kOverlayRecordSize);
  }
  return out;
}

void SetCaptureTime(TFrameHead& head, int64_t time_us) {
  int64_t seconds = time_us / 1000000;
  int64_t micro = time_us % 1000000;
  if (micro < 0) {
    micro += 1000000;
    seconds -= 1;
  }
  if (seconds < INT32_MIN || seconds > INT32_MAX) {
    throw TRecmakeError("capture time " + std::to_string(seconds) +
                        " s does not fit the frame head's 32-bit seconds");
  }
  head.Seconds = static_cast<int32_t>(seconds);
  head.Microseconds = static_cast<int32_t>(micro);
}

TFrameHead MakeVideoHead(uint8_t codec, bool key, int64_t time_us) {
  TFrameHead h = zrplay::MakeFrameHead();
  h.Codec = codec;
  h.FrameType = key ? kFrameTypeVideoKey : kFrameTypeVideo;
  SetCaptureTime(h, time_us);
  return h;
}

TOverlayRecord MakeOverlayRecord(int x, int y, const std::string& text) {
  if (x < INT16_MIN || x > INT16_MAX || y < INT16_MIN || y > INT16_MAX) {
    throw TRecmakeError("overlay position " + std::to_string(x) + "," + std::to_string(y) +
                        " does not fit 16 bits");
  }
  if (text.size() > kOverlayTextSize) {
    throw TRecmakeError("overlay text \"" + text + "\" is " + std::to_string(text.size()) +
                        " bytes; at most " + std::to_string(kOverlayTextSize) + " fit");
  }
  TOverlayRecord r;
  std::memset(&r, 0, sizeof r);
  r.X = static_cast<int16_t>(x);
  r.Y = static_cast<int16_t>(y);
  std::memcpy(r.Text, text.data(), text.size());
  return r;
}

int64_t LocalNowUs() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local;
  localtime_r(&ts.tv_sec, &local);
  return (int64_t{ts.tv_sec} + local.tm_gmtoff) * 1000000 + ts.tv_nsec / 1000;
}

int64_t ParseStartTime(const std::string& text) {
  auto bad = [&]() {
    return TRecmakeError("bad start time \"" + text +
                         "\": expected \"YYYY-MM-DD hh:mm:ss[.fff]\" or \"@SECONDS\"");
  };
  if (!text.empty() && text[0] == '@') {
    char* end = nullptr;
    double seconds = std::strtod(text.c_str() + 1, &end);
    if (end == text.c_str() + 1 || *end != '\0') throw bad();
    if (seconds < INT32_MIN || seconds > INT32_MAX) throw bad();
    return static_cast<int64_t>(seconds * 1e6 + (seconds < 0 ? -0.5 : 0.5));
  }
  int year, month, day, hour, minute, second, consumed = 0;
  char sep;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &year, &month, &day, &sep, &hour,
                  &minute, &second, &consumed) != 7 ||
      (sep != ' ' && sep != 'T')) {
    throw bad();
  }
  int64_t micro = 0;
  const char* rest = text.c_str() + consumed;
  if (*rest == '.') {
    ++rest;
    int digits = 0;
    while (*rest >= '0' && *rest <= '9') {
      if (digits < 6) micro = micro * 10 + (*rest - '0');
      ++digits;
      ++rest;
    }
    if (digits == 0) throw bad();
    for (int d = digits; d < 6; ++d) micro *= 10;
  }
  if (*rest != '\0') throw bad();
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
    throw bad();
  }
  tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  int64_t seconds = timegm(&t);
  if (t.tm_mday != day) throw bad();  // 31 April and the like roll over
  return seconds * 1000000 + micro;
}

std::string FormatCaptureTime(int64_t time_us) {
  int64_t seconds = time_us / 1000000;
  int64_t micro = time_us % 1000000;
  if (micro < 0) {
    micro += 1000000;
    seconds -= 1;
  }
  time_t s = static_cast<time_t>(seconds);
  tm t;
  gmtime_r(&s, &t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                static_cast<int>(micro / 1000));
  return buf;
}

}  // namespace recmake
