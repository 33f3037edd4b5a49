// Snapshot files of a 24-bit bitmap: BMP (bottom-up rows, each padded to four bytes) or JPEG
// (libjpeg, baseline). Plain functions; any thread; they own nothing beyond the call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/imaging/yv12_picture.h"

namespace zrplay {

// The quality snapshots are written with.
constexpr int kSnapshotJpegQuality = 90;

// The bitmap as the bytes of a BMP file (file head, 40-byte information head, pixels).
std::vector<uint8_t> EncodeBmp(const TBitmap24& bitmap);
// The bitmap as a JPEG of the given quality (1 to 100); false for an empty bitmap, a quality
// out of range, or a failure of the library.
bool EncodeJpeg(const TBitmap24& bitmap, int quality, std::vector<uint8_t>& out);
// Creates (or overwrites) the file with the bytes; false when it cannot be written in full, in
// which case no file is left behind.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace zrplay
