// TDecodeHook: a port's decode hook, its user data and which streams reach it. Set from any
// thread, called on the port's decoding thread; changing it waits for a running call to end.
#pragma once

#include <cstdint>
#include <mutex>

#include "modules/vdec/vdec.h"

struct AVFrame;

namespace vdec {

class TDecodeHook {
 public:
  void Set(VDEC_DecodeCallBack hook, void* user);
  // VDEC_DECCB_VIDEO, VDEC_DECCB_AUDIO or VDEC_DECCB_ALL; false for anything else.
  bool SelectStreams(uint32_t selector);
  // No hook, every stream selected.
  void Reset();

  // Hands an 8-bit planar 4:2:0 picture to the hook, when one is set and pictures are
  // selected.
  void Deliver(int32_t port, const AVFrame& picture, const VDEC_FRAME_INFO& info);

 private:
  // Recursive: the hook itself may set a new hook.
  std::recursive_mutex mutex_;
  VDEC_DecodeCallBack hook_ = nullptr;
  void* user_ = nullptr;
  uint32_t streams_ = VDEC_DECCB_ALL;
};

}  // namespace vdec
