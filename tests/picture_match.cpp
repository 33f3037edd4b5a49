#include "tests/picture_match.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>

#include "modules/vdec/test_stream_encoder.h"
#include "platform/gdi.h"
#include "tools/recmake/record_file_reader.h"

namespace quvi_test {

std::vector<TLumaPicture> DecodeRecordFileLuma(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  recmake::TRecordFileReader reader(in);
  vdec::testing::TEncodedStream stream;
  recmake::TRecordFrame frame;
  while (reader.Next(frame) == recmake::TRecordFileReader::EResult::Frame)
    if (frame.IsVideo()) stream.frames.push_back(frame.Payload);
  std::vector<TLumaPicture> pictures;
  vdec::testing::DecodeDirectly(AV_CODEC_ID_H264, stream, [&](const AVFrame& f) {
    TLumaPicture p{f.width, f.height,
                   std::vector<uint8_t>(static_cast<size_t>(f.width) * f.height)};
    for (int row = 0; row < f.height; ++row)
      std::copy_n(f.data[0] + row * f.linesize[0], f.width, p.Y.begin() + row * f.width);
    pictures.push_back(std::move(p));
  });
  return pictures;
}

namespace {

double Luma(uint32_t p) {
  const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return 16 + (65.738 * r + 129.057 * g + 25.064 * b) / 256;
}

struct TRegion {
  int left, top, width, height;
};

// Mean absolute luma difference of the window's pixels sampled every `step` pixels from the
// region of the picture they scale onto.
double RegionDistance(const std::vector<uint32_t>& pixels, int32_t ww, int32_t wh,
                      const TLumaPicture& picture, const TRegion& r, int step) {
  double sum = 0;
  int n = 0;
  for (int y = step / 2; y < wh; y += step) {
    for (int x = step / 2; x < ww; x += step) {
      const int px = r.left + x * r.width / ww, py = r.top + y * r.height / wh;
      sum += std::abs(Luma(pixels[static_cast<size_t>(y) * ww + x]) -
                      picture.Y[static_cast<size_t>(py) * picture.Width + px]);
      ++n;
    }
  }
  return sum / n;
}

// The distance to the nearest picture's region (the whole picture without one), or 255 for
// no window.
double Nearest(plat::HWND window, const std::vector<TLumaPicture>& pictures,
               const TRegion* region) {
  std::vector<uint32_t> pixels;
  int32_t ww = 0, wh = 0;
  if (!plat::GetWindowPixels(window, &pixels, &ww, &wh) || ww < 8 || wh < 8) return 255;
  double best = std::numeric_limits<double>::max();
  for (const TLumaPicture& picture : pictures) {
    const TRegion r = region ? *region : TRegion{0, 0, picture.Width, picture.Height};
    best = std::min(best, RegionDistance(pixels, ww, wh, picture, r, 8));
  }
  return best;
}

}  // namespace

double DistanceToNearestPicture(plat::HWND window, const std::vector<TLumaPicture>& pictures) {
  return Nearest(window, pictures, nullptr);
}

double DistanceToNearestRegion(plat::HWND window, const std::vector<TLumaPicture>& pictures,
                               int left, int top, int right, int bottom) {
  const TRegion region{left, top, right - left, bottom - top};
  return Nearest(window, pictures, &region);
}

bool WindowShowsAPicture(plat::HWND window) {
  std::vector<uint32_t> pixels;
  int32_t w = 0, h = 0;
  if (!plat::GetWindowPixels(window, &pixels, &w, &h)) return false;
  size_t lit = 0;
  for (uint32_t p : pixels) lit += (p & 0xFFFFFF) != 0 ? 1 : 0;
  return lit * 4 >= pixels.size() && !pixels.empty();
}

}  // namespace quvi_test
