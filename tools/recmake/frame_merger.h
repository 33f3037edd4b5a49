// Merges the frames of several elementary streams (each in capture-time order) into one
// sequence in capture-time order, the order frames take in a record file. One thread at a
// time; owns the frames it holds.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "tools/recmake/record_frame.h"

namespace recmake {

class TFrameMerger {
 public:
  // hold_limit_us: when the held frames span more than this, the earliest goes out even
  // though a stream has not delivered yet (a stream with a long gap must not make the
  // others pile up without bound). 0: no limit.
  explicit TFrameMerger(int streams, int64_t hold_limit_us = 0);

  void Push(int stream, TRecordFrame frame);
  // The stream delivers nothing more.
  void End(int stream);

  // Takes the earliest held frame when no stream still to deliver could bring an earlier
  // one. Ties go to the lower stream number.
  bool Pop(TRecordFrame& out);
  // A stream that must deliver before Pop can go on, or -1 when Pop can go on or all is
  // done.
  int Starved() const;
  bool Done() const;

 private:
  int Earliest() const;

  struct TStream {
    std::deque<TRecordFrame> Frames;
    bool Ended = false;
  };
  std::vector<TStream> streams_;
  int64_t hold_limit_us_;
};

}  // namespace recmake
