#include "tools/recmake/video_rate.h"

#include <fstream>

#include "tools/recmake/record_file_reader.h"

namespace recmake {

void TVideoRateMeter::Add(const TRecordFrame& frame) {
  if (!frame.IsVideo()) return;
  const int64_t us = frame.TimeUs();
  if (frames_ == 0) first_us_ = us;
  last_us_ = us;
  bytes_ += frame.Payload.size();
  ++frames_;
}

double TVideoRateMeter::Seconds() const {
  if (frames_ < 2 || last_us_ <= first_us_) return 0;
  const double span = static_cast<double>(last_us_ - first_us_) / 1e6;
  return span + span / static_cast<double>(frames_ - 1);
}

double TVideoRateMeter::KbitPerSecond() const {
  const double seconds = Seconds();
  return seconds > 0 ? static_cast<double>(bytes_) * 8 / 1000 / seconds : 0;
}

double RecordFileVideoKbit(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TRecmakeError("cannot open \"" + path + "\"");
  TRecordFileReader reader(in);
  TVideoRateMeter meter;
  TRecordFrame frame;
  TRecordFileReader::EResult r;
  while ((r = reader.Next(frame)) == TRecordFileReader::EResult::Frame) meter.Add(frame);
  if (r == TRecordFileReader::EResult::Error) {
    throw TRecmakeError("\"" + path + "\" is damaged: " + reader.ErrorText());
  }
  return meter.KbitPerSecond();
}

}  // namespace recmake
