// The vendor library behind TVideoDecoder: each call forwards to its VDEC_* counterpart.
#include "player/media/video_decoder.h"

#include <string>

#include "platform/module_object.h"
#include "player/player_log.h"

namespace zrplay {

namespace {

// The decoder's own warnings and errors belong in the player's log, not on the host's
// standard error.
void WriteDecoderMessage(int32_t, const char* line) {
  WriteLog(std::string("vdec: ") + line);
}

class TVendorVideoDecoder final : public TVideoDecoder {
 public:
  TVendorVideoDecoder() { VDEC_SetLogCallBack(&WriteDecoderMessage); }
  // The vendor library may stay loaded after this library is gone.
  ~TVendorVideoDecoder() override { VDEC_SetLogCallBack(nullptr); }
  TVendorVideoDecoder(const TVendorVideoDecoder&) = delete;
  TVendorVideoDecoder& operator=(const TVendorVideoDecoder&) = delete;

  bool GetFreePort(int32_t& port) override { return VDEC_GetFreePort(&port) != 0; }
  bool ReleasePort(int32_t port) override { return VDEC_ReleasePort(port) != 0; }
  bool SetStreamOpenMode(int32_t port, uint32_t mode) override {
    return VDEC_SetStreamOpenMode(port, mode) != 0;
  }
  bool OpenStream(int32_t port, uint32_t buf_pool_size) override {
    return VDEC_OpenStream(port, nullptr, 0, buf_pool_size) != 0;
  }
  bool InputData(int32_t port, const uint8_t* data, uint32_t size) override {
    return VDEC_InputData(port, data, size) != 0;
  }
  bool CloseStream(int32_t port) override { return VDEC_CloseStream(port) != 0; }
  bool SetEngine(int32_t port, int32_t decode_type, int32_t render_type) override {
    return VDEC_SetEngine(port, decode_type, render_type) != 0;
  }
  bool Play(int32_t port, VDEC_HWND window) override { return VDEC_Play(port, window) != 0; }
  bool AntiAliasEnable(int32_t port, bool enable) override {
    return VDEC_AntiAliasEnable(port, enable ? 1 : 0) != 0;
  }
  bool SetDecCBStream(int32_t port, uint32_t stream) override {
    return VDEC_SetDecCBStream(port, stream) != 0;
  }
  bool SetDecodeCallBack(int32_t port, TDecodeHook hook, void* user) override {
    return VDEC_SetDecodeCallBack(port, hook, user) != 0;
  }
  bool Stop(int32_t port) override { return VDEC_Stop(port) != 0; }
  bool Pause(int32_t port, bool pause) override { return VDEC_Pause(port, pause ? 1 : 0) != 0; }
  bool Fast(int32_t port) override { return VDEC_Fast(port) != 0; }
  bool Slow(int32_t port) override { return VDEC_Slow(port) != 0; }
  bool SetDisplayRegion(int32_t port, uint32_t region, const VDEC_RECT& source, VDEC_HWND window,
                        bool enable) override {
    return VDEC_SetDisplayRegion(port, region, &source, window, enable ? 1 : 0) != 0;
  }
  bool GetPictureSize(int32_t port, int32_t& width, int32_t& height) override {
    return VDEC_GetPictureSize(port, &width, &height) != 0;
  }
  bool GetPicJPEG(int32_t port, uint8_t* buffer, uint32_t buffer_size, uint32_t& produced,
                  int32_t quality) override {
    return VDEC_GetPicJPEG(port, buffer, buffer_size, &produced, quality) != 0;
  }
};

plat::TModuleObject<TVendorVideoDecoder> g_decoder;

}  // namespace

TVideoDecoder& VendorVideoDecoder() {
  return g_decoder.Get();
}

void DestroyVendorVideoDecoder() {
  g_decoder.Destroy();
}

}  // namespace zrplay
