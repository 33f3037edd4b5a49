// What the tools read record frames from (the generator, a media file, a record file), and
// the per-frame extras recmake adds to video frames. One thread at a time.
#pragma once

#include <vector>

#include "tools/recmake/record_frame.h"

namespace recmake {

class TFrameSource {
 public:
  virtual ~TFrameSource() = default;
  // The next frame in capture-time order; false at the end. Throws TRecmakeError.
  virtual bool Next(TRecordFrame& out) = 0;
};

// Overlay records and the rotation flag put on every video frame.
struct TVideoExtras {
  std::vector<zrplay::TOverlayRecord> Overlays;
  bool Utf8 = true;  // overlay encoding byte 1; otherwise 0 (the system code page)
  bool Rotate = false;

  void ApplyTo(TRecordFrame& frame) const {
    if (!frame.IsVideo()) return;
    frame.Overlays = Overlays;
    frame.Head.OverlayEncoding = (Utf8 && !Overlays.empty()) ? 1 : 0;
    frame.Head.Rotation = Rotate ? 1 : 0;
    frame.SyncLengths();
  }
};

}  // namespace recmake
