#include "modules/vdec/current_picture.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <memory>

#include "modules/vdec/picture_jpeg.h"

namespace vdec {

namespace {

struct TFrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

}  // namespace

TCurrentPicture::TCurrentPicture() : picture_(av_frame_alloc()) {}

TCurrentPicture::~TCurrentPicture() {
  av_frame_free(&picture_);
}

void TCurrentPicture::Set(const AVFrame* picture) {
  std::lock_guard lock(mutex_);
  if (picture_ == nullptr) return;
  av_frame_unref(picture_);
  av_frame_ref(picture_, picture);
}

void TCurrentPicture::Clear() {
  std::lock_guard lock(mutex_);
  if (picture_ != nullptr) av_frame_unref(picture_);
}

bool TCurrentPicture::Size(int32_t& width, int32_t& height) const {
  std::lock_guard lock(mutex_);
  const bool present = picture_ != nullptr && picture_->data[0] != nullptr;
  width = present ? picture_->width : 0;
  height = present ? picture_->height : 0;
  return present;
}

bool TCurrentPicture::Jpeg(int quality, std::vector<uint8_t>& out) const {
  // Compress from an own reference so the decoding thread is not held up meanwhile.
  std::unique_ptr<AVFrame, TFrameFree> picture(av_frame_alloc());
  if (picture == nullptr) return false;
  {
    std::lock_guard lock(mutex_);
    if (picture_ == nullptr || picture_->data[0] == nullptr ||
        av_frame_ref(picture.get(), picture_) < 0) {
      return false;
    }
  }
  TPlanes420 planes;
  planes.y = picture->data[0];
  planes.u = picture->data[1];
  planes.v = picture->data[2];
  planes.y_stride = picture->linesize[0];
  planes.u_stride = picture->linesize[1];
  planes.v_stride = picture->linesize[2];
  planes.width = picture->width;
  planes.height = picture->height;
  return EncodeJpeg(planes, quality, out);
}

}  // namespace vdec
