// TVideoRateMeter: the bit rate a record stream's video really carries, from its video
// frames' payload sizes and capture times. Fed frame by frame by whoever reads or writes the
// frames (recmake's summary and listing, the benchmarks that check their input). One thread.
#pragma once

#include <cstdint>
#include <string>

#include "tools/recmake/record_frame.h"

namespace recmake {

class TVideoRateMeter {
 public:
  // Counts a video frame; other frames are ignored.
  void Add(const TRecordFrame& frame);

  int64_t Frames() const { return frames_; }
  // Seconds the counted video covers: first to last capture time plus one frame step.
  double Seconds() const;
  // Payload bits per second over Seconds(); 0 with fewer than two frames.
  double KbitPerSecond() const;

 private:
  int64_t frames_ = 0;
  uint64_t bytes_ = 0;
  int64_t first_us_ = 0;
  int64_t last_us_ = 0;
};

// The video bit rate of a record file in kbit/s; throws TRecmakeError when it cannot be
// read or is damaged.
double RecordFileVideoKbit(const std::string& path);

}  // namespace recmake
