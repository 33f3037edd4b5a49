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
  if (jpeg_ != nullptr) tjFree(jpeg_);
  if (compressor_ != nullptr) tjDestroy(compressor_);
}

bool TPictureEncoder::Convert(const uint32_t* pixels, int32_t width, int32_t height) {
  width_ = 0;
  height_ = 0;
  if (pixels == nullptr || width <= 0 || height <= 0 || width > 65535 || height > 65535) {
    return false;
  }
  const size_t y_size = size_t(width) * height;
  const int32_t chroma_width = (width + 1) / 2;
  const size_t chroma_size = size_t(chroma_width) * ((height + 1) / 2);
  planes_.resize(y_size + 2 * chroma_size);
  uint8_t* y = planes_.data();
  uint8_t* u = y + y_size;
  uint8_t* v = u + chroma_size;
  // The pixels are 0xAARRGGBB values: in memory B, G, R, A, which libyuv calls ARGB.
  if (libyuv::ARGBToJ420(reinterpret_cast<const uint8_t*>(pixels), width * 4, y, width, u,
                         chroma_width, v, chroma_width, width, height) != 0) {
    return false;
  }
  width_ = width;
  height_ = height;
  return true;
}

std::string TPictureEncoder::EncodeConverted(TPictureHeader header) {
  if (compressor_ == nullptr || width_ == 0) return "";
  const unsigned long capacity = tjBufSize(width_, height_, TJSAMP_420);
  if (capacity == static_cast<unsigned long>(-1)) return "";
  if (capacity > jpeg_capacity_) {
    if (jpeg_ != nullptr) tjFree(jpeg_);
    jpeg_ = tjAlloc(static_cast<int>(capacity));
    jpeg_capacity_ = jpeg_ != nullptr ? capacity : 0;
    if (jpeg_ == nullptr) return "";
  }
  const int32_t chroma_width = (width_ + 1) / 2;
  const size_t y_size = size_t(width_) * height_;
  const size_t chroma_size = size_t(chroma_width) * ((height_ + 1) / 2);
  const unsigned char* planes[3] = {planes_.data(), planes_.data() + y_size,
                                    planes_.data() + y_size + chroma_size};
  const int strides[3] = {width_, chroma_width, chroma_width};
  unsigned long jpeg_size = jpeg_capacity_;
  if (tjCompressFromYUVPlanes(compressor_, planes, width_, strides, height_, TJSAMP_420, &jpeg_,
                              &jpeg_size, quality_, TJFLAG_FASTDCT | TJFLAG_NOREALLOC) != 0) {
    return "";
  }
  header.Width = static_cast<uint16_t>(width_);
  header.Height = static_cast<uint16_t>(height_);
  header.EncodedMs = NowMs();
  std::string out(kPictureHeaderSize + jpeg_size, '\0');
  WritePictureHeader(header, reinterpret_cast<uint8_t*>(out.data()));
  std::memcpy(out.data() + kPictureHeaderSize, jpeg_, jpeg_size);
  return out;
}

std::string TPictureEncoder::Encode(TPictureHeader header, const uint32_t* pixels, int32_t width,
                                    int32_t height) {
  if (!Convert(pixels, width, height)) return "";
  return EncodeConverted(header);
}

}  // namespace quvi_web
