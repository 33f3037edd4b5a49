#include "modules/vdec/decode_hook.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace vdec {

void TDecodeHook::Set(VDEC_DecodeCallBack hook, void* user) {
  std::lock_guard lock(mutex_);
  hook_ = hook;
  user_ = user;
}

bool TDecodeHook::SelectStreams(uint32_t selector) {
  if (selector != VDEC_DECCB_VIDEO && selector != VDEC_DECCB_AUDIO && selector != VDEC_DECCB_ALL) {
    return false;
  }
  std::lock_guard lock(mutex_);
  streams_ = selector;
  return true;
}

void TDecodeHook::Reset() {
  std::lock_guard lock(mutex_);
  hook_ = nullptr;
  user_ = nullptr;
  streams_ = VDEC_DECCB_ALL;
}

void TDecodeHook::Deliver(int32_t port, const AVFrame& picture, const VDEC_FRAME_INFO& info) {
  std::lock_guard lock(mutex_);
  if (hook_ == nullptr || (streams_ & VDEC_DECCB_VIDEO) == 0) return;
  const int32_t chroma_width = (picture.width + 1) / 2;
  const int32_t chroma_height = (picture.height + 1) / 2;
  VDEC_DECODED_FRAME frame;
  frame.pY = picture.data[0];
  frame.pU = picture.data[1];
  frame.pV = picture.data[2];
  frame.nYStride = picture.linesize[0];
  frame.nUStride = picture.linesize[1];
  frame.nVStride = picture.linesize[2];
  frame.nYWidth = picture.width;
  frame.nUWidth = chroma_width;
  frame.nVWidth = chroma_width;
  frame.nYHeight = picture.height;
  frame.nUHeight = chroma_height;
  frame.nVHeight = chroma_height;
  hook_(port, &frame, &info, user_);
}

}  // namespace vdec
