#include "modules/vdec/picture_jpeg.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace vdec {

namespace {

// libjpeg's default error handler ends the process; this one jumps back to the caller.
struct TJpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
  auto* error = reinterpret_cast<TJpegError*>(info->err);
  std::longjmp(error->jump, 1);
}

void OnJpegMessage(j_common_ptr) {}

// Writes the compressed bytes into a growing vector.
struct TVectorDestination {
  jpeg_destination_mgr manager;
  std::vector<uint8_t>* out;
};

constexpr size_t kFirstOutputSize = 64 * 1024;

void GrowOutput(j_compress_ptr info, size_t size) {
  auto* dest = reinterpret_cast<TVectorDestination*>(info->dest);
  const size_t used = dest->out->size() - dest->manager.free_in_buffer;
  try {
    dest->out->resize(size);
  } catch (...) {
    info->err->error_exit(reinterpret_cast<j_common_ptr>(info));
  }
  dest->manager.next_output_byte = dest->out->data() + used;
  dest->manager.free_in_buffer = dest->out->size() - used;
}

void InitDestination(j_compress_ptr info) {
  auto* dest = reinterpret_cast<TVectorDestination*>(info->dest);
  dest->out->clear();
  dest->manager.free_in_buffer = 0;
  GrowOutput(info, kFirstOutputSize);
}

boolean EmptyOutput(j_compress_ptr info) {
  auto* dest = reinterpret_cast<TVectorDestination*>(info->dest);
  // libjpeg hands the whole buffer back when it asks for more room.
  dest->manager.free_in_buffer = 0;
  GrowOutput(info, dest->out->size() * 2);
  return TRUE;
}

void TermDestination(j_compress_ptr info) {
  auto* dest = reinterpret_cast<TVectorDestination*>(info->dest);
  dest->out->resize(dest->out->size() - dest->manager.free_in_buffer);
}

// Runs the compression; kept free of objects with destructors because of the long jump.
bool Compress(const TPlanes420& picture, int quality, uint8_t* row, std::vector<uint8_t>* out) {
  jpeg_compress_struct info;
  TJpegError error;
  TVectorDestination dest;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnJpegError;
  error.manager.output_message = OnJpegMessage;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  dest.manager.init_destination = InitDestination;
  dest.manager.empty_output_buffer = EmptyOutput;
  dest.manager.term_destination = TermDestination;
  dest.out = out;
  info.dest = &dest.manager;
  info.image_width = static_cast<JDIMENSION>(picture.width);
  info.image_height = static_cast<JDIMENSION>(picture.height);
  info.input_components = 3;
  info.in_color_space = JCS_YCbCr;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    const int y = static_cast<int>(info.next_scanline);
    const uint8_t* luma = picture.y + static_cast<ptrdiff_t>(y) * picture.y_stride;
    const uint8_t* cb = picture.u + static_cast<ptrdiff_t>(y / 2) * picture.u_stride;
    const uint8_t* cr = picture.v + static_cast<ptrdiff_t>(y / 2) * picture.v_stride;
    for (int x = 0; x < picture.width; ++x) {
      row[3 * x] = luma[x];
      row[3 * x + 1] = cb[x / 2];
      row[3 * x + 2] = cr[x / 2];
    }
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool EncodeJpeg(const TPlanes420& picture, int quality, std::vector<uint8_t>& out) {
  if (picture.y == nullptr || picture.u == nullptr || picture.v == nullptr || picture.width <= 0 ||
      picture.height <= 0 || quality < 1 || quality > 100) {
    return false;
  }
  std::vector<uint8_t> row(static_cast<size_t>(picture.width) * 3);
  std::vector<uint8_t> jpeg;
  if (!Compress(picture, quality, row.data(), &jpeg)) return false;
  out = std::move(jpeg);
  return true;
}

}  // namespace vdec
