// TOstraNvPlayer: the device family's player over the proxy binding: stream head storage,
// the stop sequence, the stop request to the notification window and the watermark. In
// NoDecode mode it never calls the player API and only records and forwards data. Threads
// and ownership as for TPlayer: StopPlay runs on the play thread, PostStopPlayMessage on the
// play thread under the view's shared lock, ApplyWatermark on the window thread.
#pragma once

#include "viewer/player/player.h"

namespace viewer {

class TOstraNvPlayer : public TPlayer {
 public:
  // Set by the model before the threads start: true when the view has no play window.
  std::atomic<bool> NoDecode{false};
  // Set once BeginPlay has run, cleared when the stop sequence begins; gates ApplyWatermark.
  std::atomic<bool> Playing{false};

  void ApplyWatermark() override;
  bool IsStreamHead(int32_t frame_type) const override {
    return frame_type == kStreamHeadFrameType;
  }
  // Stops the port, resets its source buffer and closes its stream (up to 5 attempts).
  void StopPlay() override;
  void PostStopPlayMessage() override;
  // Keeps a copy of the stream head; a head beyond the buffer raises EOpenStream.
  virtual void SetStreamHead(const uint8_t* data, int32_t length);

 protected:
  // Marks the player as playing under the watermark lock, so a text set at the same moment
  // is applied either by BeginPlay or by ApplyWatermark.
  void MarkPlaying(bool playing);
};

}  // namespace viewer
