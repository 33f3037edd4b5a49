// The channel's overlays: the watermark and scene text the caller sets, the overlay pass of the
// decode hook, and freeing the lines at stop.
#include "player/channel/channel.h"

namespace zrplay {

int32_t TChannel::SetWatermark(const char* text) {
  const std::string watermark = text != nullptr ? text : "";
  overlays_.SetWatermark(watermark);
  log_.Write("set watermark to " + watermark);
  return 1;
}

int32_t TChannel::SetSceneInfo(const char* text) {
  const std::string scene = text != nullptr ? text : "";
  log_.Write("set additional text to " + scene);
  overlays_.SetSceneText(scene);
  return 1;
}

void TChannel::DrawOverlays() {
  TFrameHead head;
  CopyLastFedFrame(head, overlay_records_seen_);
  overlays_.Draw(frame_buffer_.data(), picture_width_, picture_height_,
                 overlay_records_seen_.data(), overlay_records_seen_.size(), head.OverlayEncoding);
}

void TChannel::FreeOverlayLines() {
  if (overlays_.FreeLines()) log_.Write("free osd line list");
}

}  // namespace zrplay
