// Texts of the channel's overlays: the text of a text overlay record as the fonts draw it
// (UTF-8), and the caller's scene text cut into lines. Plain functions; any thread.
//
// Overlay records carry their text either as UTF-8 (encoding byte 1) or in the recorder's
// code page (any other encoding byte). Our own code page is UTF-8, but recorders that show
// Chinese OSD text write it in GB18030: code-page text that is not valid UTF-8 is therefore
// converted from GB18030, so a user sees the same characters the recorder shows. Bytes that
// do not convert become U+FFFD. UTF-8 text is passed on as it is (the font draws any invalid
// sequence in it as U+FFFD).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "player/channel/frame_head.h"

namespace zrplay {

// The frame head's encoding byte value that marks overlay text as UTF-8.
constexpr uint8_t kOverlayEncodingUtf8 = 1;

// The record's text (up to the first nul, at most 40 bytes) in UTF-8.
std::string OverlayRecordText(const TOverlayRecord& record, uint8_t encoding);

bool IsValidUtf8(std::string_view text);
// GB18030 text in UTF-8; each byte that does not start a convertible sequence becomes U+FFFD.
std::string Gb18030ToUtf8(std::string_view text);

// The scene text's lines: every backslash is a line break (A\\B gives A, "" and B); a
// break at the end adds no empty line, and an empty text has none.
std::vector<std::string> SplitSceneText(const std::string& text);

}  // namespace zrplay
