// Packages read from the stream server: one framed message each. The connection thread reads
// a package, hands it through the queue to the play thread, which frees it after feeding it;
// whoever holds a package last owns it, and it is moved, never copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace viewer {

class TKvIPObject;

// Fields of every package; a fresh package has all of them 0 and no Data.
class TAbstractPackage {
 public:
  TAbstractPackage() = default;
  virtual ~TAbstractPackage() = default;
  TAbstractPackage(const TAbstractPackage&) = delete;
  TAbstractPackage& operator=(const TAbstractPackage&) = delete;

  // Reads one package from the connection; raises on any failure.
  virtual void ReadFrom(TKvIPObject& client) = 0;

  // The media bytes of a play package (FrameLength of them, checked to lie inside Data).
  const uint8_t* Media() const;

  int32_t PackLength = 0;
  std::unique_ptr<uint8_t[]> Data;  // everything after the 8-byte head
  size_t DataSize = 0;              // PackLength - 8 once read
  uint32_t PackType = 0;
  uint32_t Words[3] = {0, 0, 0};  // stored, never interpreted
  int32_t FrameType = 0;
  int32_t FrameLength = 0;
};

// A package of the live stream: a play package (stream head or media frame), the open-live
// answer, or the server's package without media.
class TOstraPreviewPlayPackage : public TAbstractPackage {
 public:
  // Head errors raise EReadPackageHead, body errors EReadPackage (socket message kept);
  // impossible lengths, unknown codes, a play package too short for its frame words, and a
  // frame length that does not fit in Data raise EInvalidPackageLength.
  void ReadFrom(TKvIPObject& client) override;
};

}  // namespace viewer
