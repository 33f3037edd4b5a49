// One window picture as the page receives it: the 32-byte header (magic "QVPF", control,
// sequence, size, arrival and encoding times, little-endian) followed by a JPEG of the BGRA
// pixels (converted with libyuv, encoded with libjpeg-turbo, 4:2:0). One encoder per thread;
// owns its compressor and its buffers, which it reuses from picture to picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quvi_web {

struct TPictureHeader {
  uint32_t Control = 0;
  uint32_t Sequence = 0;
  uint16_t Width = 0;
  uint16_t Height = 0;
  double ArrivalMs = 0;  // arrival of the newest package drawn in it; 0 when unknown
  double EncodedMs = 0;
};

constexpr size_t kPictureHeaderSize = 32;

void WritePictureHeader(const TPictureHeader& header, uint8_t out[kPictureHeaderSize]);
// False when the bytes are too short or lack the magic.
bool ReadPictureHeader(const uint8_t* bytes, size_t size, TPictureHeader* header);

class TPictureEncoder {
 public:
  explicit TPictureEncoder(int quality = 80);
  ~TPictureEncoder();
  TPictureEncoder(const TPictureEncoder&) = delete;
  TPictureEncoder& operator=(const TPictureEncoder&) = delete;

  // Converts width × height pixels 0xAARRGGBB, rows top-down, to the picture's YUV 4:2:0
  // planes (full range, as JPEG has it). Quick: a caller may do it while it holds the
  // pixels. False (nothing kept) when the size is unusable.
  bool Convert(const uint32_t* pixels, int32_t width, int32_t height);
  // The header (its size and EncodedMs filled in now) and the JPEG of the picture last
  // converted; "" when none was or encoding failed.
  std::string EncodeConverted(TPictureHeader header);
  // Convert and EncodeConverted.
  std::string Encode(TPictureHeader header, const uint32_t* pixels, int32_t width, int32_t height);

 private:
  void* compressor_ = nullptr;
  int quality_;
  int32_t width_ = 0;  // of the converted picture; 0 when none
  int32_t height_ = 0;
  std::vector<uint8_t> planes_;    // Y, U, V of the converted picture, reused
  unsigned char* jpeg_ = nullptr;  // the compressor's output buffer, reused
  unsigned long jpeg_capacity_ = 0;
};

double NowMs();

}  // namespace quvi_web
