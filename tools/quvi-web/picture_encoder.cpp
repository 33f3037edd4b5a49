#include "tools/quvi-web/picture_encoder.h"

#include <libyuv.h>
#include <turbojpeg.h>

#include <bit>
#include <chrono>
#include <cstring>

namespace quvi_web {

namespace {

template <typename T>
void Put(uint8_t* out, T value) {
  // The wire is little-endian, as this machine is.
  static_assert(std::endian::native == std::endian::little);
  std::memcpy(out, &value, sizeof value);
}

template <typename T>
T Get(const uint8_t* in) {
  T value;
  std::memcpy(&value, in, sizeof value);
  return value;
}

}  // namespace

double NowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void WritePictureHeader(const TPictureHeader& h, uint8_t out[kPictureHeaderSize]) {
  std::memcpy(out, "QVPF", 4);
  Put(out + 4, h.Control);
  Put(out + 8, h.Sequence);
  Put(out + 12, h.Width);
  Put(out + 14, h.Height);
  Put(out + 16, h.ArrivalMs);
  Put(out + 24, h.EncodedMs);
}

bool ReadPictureHeader(const uint8_t* bytes, size_t size, TPictureHeader* h) {
  if (size < kPictureHeaderSize || std::memcmp(bytes, "QVPF", 4) != 0) return false;
  h->Control = Get<uint32_t>(bytes + 4);
  h->Sequence = Get<uint32_t>(bytes + 8);
  h->Width = Get<uint16_t>(bytes + 12);
  h->Height = Get<uint16_t>(bytes + 14);
  h->ArrivalMs = Get<double>(bytes + 16);
  h->EncodedMs = Get<double>(bytes + 24);
  return true;
}

TPictureEncoder::TPictureEncoder(int quality) : compressor_(tjInitCompress()), quality_(quality) {}

TPictureEncoder::~TPictureEncoder() {
  if (compressor_ != nullptr) tjDestroy(compressor_);
}

std::string TPictureEncoder::Encode(TPictureHeader header, const uint32_t* pixels, int32_t width,
                                    int32_t height) {
  if (compressor_ == nullptr || pixels == nullptr || width <= 0 || height <= 0 || width > 65535 ||
      height > 65535) {
    return "";
  }
  unsigned char* jpeg = nullptr;
  unsigned long jpeg_size = 0;
  // The pixels are 0xAARRGGBB values: in memory B, G, R, A.
  if (tjCompress2(compressor_, reinterpret_cast<const unsigned char*>(pixels), width, width * 4,
                  height, TJPF_BGRX, &jpeg, &jpeg_size, TJSAMP_420, quality_,
                  TJFLAG_FASTDCT) != 0) {
    if (jpeg != nullptr) tjFree(jpeg);
    return "";
  }
  header.Width = static_cast<uint16_t>(width);
  header.Height = static_cast<uint16_t>(height);
  header.EncodedMs = NowMs();
  std::string out(kPictureHeaderSize + jpeg_size, '\0');
  WritePictureHeader(header, reinterpret_cast<uint8_t*>(out.data()));
  std::memcpy(out.data() + kPictureHeaderSize, jpeg, jpeg_size);
  tjFree(jpeg);
  return out;
}

}  // namespace quvi_web
