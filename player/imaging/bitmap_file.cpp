#include "player/imaging/bitmap_file.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zrplay {

namespace {

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = uint8_t(value);
  out[at + 1] = uint8_t(value >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int k = 0; k < 4; ++k) out[at + size_t(k)] = uint8_t(value >> (8 * k));
}

constexpr size_t kBmpFileHeadSize = 14;
constexpr size_t kBmpInfoHeadSize = 40;

// libjpeg's default error handler ends the process; this one jumps back to the caller.
struct TJpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<TJpegError*>(info->err)->jump, 1);
}

void OnJpegMessage(j_common_ptr) {}

// Runs the compression into memory; free of objects with destructors because of the long
// jump. `row` holds one row of R, G, B.
bool Compress(const TBitmap24& bitmap, int quality, uint8_t* row, unsigned char** jpeg,
              unsigned long* jpeg_size) {
  jpeg_compress_struct info;
  TJpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnJpegError;
  error.manager.output_message = OnJpegMessage;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, jpeg, jpeg_size);
  info.image_width = JDIMENSION(bitmap.width);
  info.image_height = JDIMENSION(bitmap.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    const uint8_t* bgr = bitmap.Pixel(0, int32_t(info.next_scanline));
    for (int32_t x = 0; x < bitmap.width; ++x) {
      row[3 * x] = bgr[3 * x + 2];
      row[3 * x + 1] = bgr[3 * x + 1];
      row[3 * x + 2] = bgr[3 * x];
    }
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const TBitmap24& bitmap) {
  const size_t row_size = (size_t(bitmap.width) * 3 + 3) / 4 * 4;
  const size_t image_size = row_size * size_t(bitmap.height);
  const size_t offset = kBmpFileHeadSize + kBmpInfoHeadSize;
  std::vector<uint8_t> out(offset + image_size, 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, uint32_t(out.size()));
  Put32(out, 10, uint32_t(offset));
  Put32(out, 14, uint32_t(kBmpInfoHeadSize));
  Put32(out, 18, uint32_t(bitmap.width));
  Put32(out, 22, uint32_t(bitmap.height));  // positive: rows bottom-up
  Put16(out, 26, 1);
  Put16(out, 28, 24);
  Put32(out, 34, uint32_t(image_size));
  for (int32_t y = 0; y < bitmap.height; ++y) {
    const size_t at = offset + size_t(bitmap.height - 1 - y) * row_size;
    std::memcpy(&out[at], bitmap.Pixel(0, y), size_t(bitmap.width) * 3);
  }
  return out;
}

bool EncodeJpeg(const TBitmap24& bitmap, int quality, std::vector<uint8_t>& out) {
  if (bitmap.width < 1 || bitmap.height < 1 || quality < 1 || quality > 100) return false;
  std::vector<uint8_t> row(size_t(bitmap.width) * 3);
  unsigned char* jpeg = nullptr;
  unsigned long jpeg_size = 0;
  const bool ok = Compress(bitmap, quality, row.data(), &jpeg, &jpeg_size);
  if (ok) out.assign(jpeg, jpeg + jpeg_size);
  std::free(jpeg);
  return ok;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  std::remove(path.c_str());
  return false;
}

}  // namespace zrplay
