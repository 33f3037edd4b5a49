// TChannelOverlays: what a channel draws into each decoded picture before it is handed on:
// the watermark line, the text overlay records of the last fed frame (texts, alarm and setup
// zones) and the caller's scene text, with the text line list that draws them. Texts change on
// caller threads (SetWatermark, SetSceneText) while the decoder's thread draws (Draw); one
// lock keeps a text change and a draw from overlapping, fonts included. Owns its lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "player/channel/frame_head.h"
#include "player/channel/text_line.h"

namespace zrplay {

class TChannelOverlays {
 public:
  // Scene lines are drawn from the last up, the last at this row, each drawn one a step higher.
  static constexpr int32_t kSceneBottomY = 500;
  static constexpr int32_t kSceneLineStep = 50;

  TChannelOverlays();
  ~TChannelOverlays();
  TChannelOverlays(const TChannelOverlays&) = delete;
  TChannelOverlays& operator=(const TChannelOverlays&) = delete;

  // Makes the watermark line on first use; an empty text draws no watermark.
  void SetWatermark(const std::string& text);
  // Backslashes break the text into the scene lines.
  void SetSceneText(const std::string& text);

  // The overlay pass on one YV12 picture (width x height, stride = width): the watermark, then
  // with EnableOSD the records (text in the frame's encoding) and the scene text.
  void Draw(uint8_t* picture, int32_t width, int32_t height, const TOverlayRecord* records,
            size_t count, uint8_t encoding);

  // Frees the text line list and the watermark line (the scene text stays); true when the
  // list existed.
  bool FreeLines();

  std::vector<std::string> SceneText() const;
  // Lines in the text line list; nullopt while there is no list.
  std::optional<size_t> TextLineCount() const;
  bool HasWatermark() const;

 private:
  void DrawTextPass(uint8_t* picture, int32_t width, int32_t height, const TOverlayRecord* records,
                    size_t count, uint8_t encoding);

  mutable std::mutex lock_;
  std::optional<std::vector<std::unique_ptr<TTextLine>>> lines_;
  std::unique_ptr<TTextLine> watermark_;
  std::vector<std::string> scene_text_;
};

}  // namespace zrplay
