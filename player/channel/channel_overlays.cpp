#include "player/channel/channel_overlays.h"

#include "player/channel/overlay_text.h"
#include "player/config/player_settings.h"

namespace zrplay {

TChannelOverlays::TChannelOverlays() = default;

TChannelOverlays::~TChannelOverlays() = default;

void TChannelOverlays::SetWatermark(const std::string& text) {
  std::lock_guard lock(lock_);
  if (!watermark_) {
    watermark_ = std::make_unique<TTextLine>(TTextLine::kWatermarkX, TTextLine::kWatermarkX);
  }
  watermark_->SetText(text);
}

void TChannelOverlays::SetSceneText(const std::string& text) {
  std::vector<std::string> lines = SplitSceneText(text);
  std::lock_guard lock(lock_);
  scene_text_ = std::move(lines);
}

void TChannelOverlays::Draw(uint8_t* picture, int32_t width, int32_t height,
                            const TOverlayRecord* records, size_t count, uint8_t encoding) {
  if (picture == nullptr || width < 1 || height < 1) return;
  std::lock_guard lock(lock_);
  if (watermark_ && !watermark_->Text().empty()) watermark_->Draw(picture, width, height);
  if (PlayerSettings.EnableOSD && (count > 0 || !scene_text_.empty())) {
    DrawTextPass(picture, width, height, records, count, encoding);
  }
}

void TChannelOverlays::DrawTextPass(uint8_t* picture, int32_t width, int32_t height,
                                    const TOverlayRecord* records, size_t count, uint8_t encoding) {
  if (!lines_) lines_.emplace();
  std::vector<std::unique_ptr<TTextLine>>& lines = *lines_;
  const size_t total = scene_text_.size() + count;
  while (lines.size() < total) lines.push_back(std::make_unique<TTextLine>());
  lines.resize(total);

  for (size_t i = 0; i < count; ++i) {
    TTextLine& line = *lines[i];
    line.SetPosition(records[i].X, records[i].Y);
    line.SetText(OverlayRecordText(records[i], encoding));
    if (!line.Text().empty()) line.Draw(picture, width, height);
  }

  int32_t y = kSceneBottomY;
  for (size_t n = scene_text_.size(); n-- > 0;) {
    TTextLine& line = *lines[count + n];
    line.SetPosition(0, y);
    line.SetText(scene_text_[n]);
    if (!line.Text().empty()) {
      line.Draw(picture, width, height);
      y -= kSceneLineStep;
    }
  }
}

bool TChannelOverlays::FreeLines() {
  std::lock_guard lock(lock_);
  const bool existed = lines_.has_value();
  lines_.reset();
  watermark_.reset();
  return existed;
}

std::vector<std::string> TChannelOverlays::SceneText() const {
  std::lock_guard lock(lock_);
  return scene_text_;
}

std::optional<size_t> TChannelOverlays::TextLineCount() const {
  std::lock_guard lock(lock_);
  if (!lines_) return std::nullopt;
  return lines_->size();
}

bool TChannelOverlays::HasWatermark() const {
  std::lock_guard lock(lock_);
  return watermark_ != nullptr;
}

}  // namespace zrplay
