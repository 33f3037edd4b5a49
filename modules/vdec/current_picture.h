// TCurrentPicture: the port's last decoded picture, kept by reference (no copy) so that its
// size and a JPEG of it can be asked for from any thread while the decoding thread moves on.
// Owns one reference to the picture's buffers.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

struct AVFrame;

namespace vdec {

class TCurrentPicture {
 public:
  TCurrentPicture();
  ~TCurrentPicture();
  TCurrentPicture(const TCurrentPicture&) = delete;
  TCurrentPicture& operator=(const TCurrentPicture&) = delete;

  // Keeps a reference to an 8-bit planar 4:2:0 picture in place of the previous one.
  void Set(const AVFrame* picture);
  void Clear();
  // False (and 0 x 0) before the first picture.
  bool Size(int32_t& width, int32_t& height) const;
  // JPEG of the picture; false before the first picture or when compression fails.
  bool Jpeg(int quality, std::vector<uint8_t>& out) const;

 private:
  mutable std::mutex mutex_;
  AVFrame* picture_;
};

}  // namespace vdec
