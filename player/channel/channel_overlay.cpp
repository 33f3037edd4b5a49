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
  const int32_t width = picture_width_;
  const int32_t height = picture_height_;
  if (!FrameBufferHolds(width, height)) return;
  TFrameHead head;
  CopyLastFedFrame(head, overlay_records_seen_);
  overlays_.Draw(frame_buffer_.data(), width, height, overlay_records_seen_.data(),
                 overlay_records_seen_.size(), head.OverlayEncoding);
}

bool TChannel::FrameBufferHolds(int32_t width, int32_t height) const {
  // The same size the decode hook gives the picture it packs.
  return width > 0 && height > 0 &&
         static_cast<size_t>(width) * static_cast<size_t>(height) * 3 / 2 ==
             static_cast<size_t>(used_size_) &&
         static_cast<size_t>(used_size_) <= frame_buffer_.size();
}

void TChannel::FreeOverlayLines() {
  if (overlays_.FreeLines()) log_.Write("free osd line list");
}

}  // namespace zrplay
