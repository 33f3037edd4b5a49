// The library's C exports over a fixed pool of ports. No exception leaves an export; each
// answers FALSE instead.
#include <memory>
#include <mutex>
#include <vector>

#include "modules/vdec/codec_log.h"
#include "modules/vdec/vdec.h"
#include "modules/vdec/vdec_port.h"
#include "platform/module_object.h"

namespace {

// All ports live as long as the library, so a call racing a release never meets a freed one.
class TPortPool {
 public:
  TPortPool() {
    ports_.reserve(VDEC_MAX_PORTS);
    for (int32_t i = 0; i < VDEC_MAX_PORTS; ++i) {
      ports_.push_back(std::make_unique<vdec::TVdecPort>(i));
    }
  }

  vdec::TVdecPort* Find(int32_t port) {
    return port >= 0 && port < VDEC_MAX_PORTS ? ports_[static_cast<size_t>(port)].get() : nullptr;
  }

  bool TakeFree(int32_t* port) {
    std::lock_guard lock(mutex_);
    for (int32_t i = 0; i < VDEC_MAX_PORTS; ++i) {
      if (ports_[static_cast<size_t>(i)]->Take()) {
        *port = i;
        return true;
      }
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<vdec::TVdecPort>> ports_;
};

plat::TModuleObject<TPortPool> g_pool;

TPortPool& Pool() {
  return g_pool.Get();
}

// Ports a caller never released stop with the module, after the modules using it unloaded.
__attribute__((destructor)) void UnloadDecoderModule() {
  g_pool.Destroy();
}

template <typename F>
VDEC_BOOL OnPort(int32_t port, F&& operation) {
  try {
    vdec::TVdecPort* p = Pool().Find(port);
    return p != nullptr && operation(*p) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace

extern "C" {

VDEC_API VDEC_BOOL VDEC_GetFreePort(int32_t* pPort) {
  if (pPort == nullptr) return 0;
  try {
    return Pool().TakeFree(pPort) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

VDEC_API VDEC_BOOL VDEC_SetLogCallBack(VDEC_LogCallBack pfnLog) {
  vdec::SetCodecLogCallBack(pfnLog);
  return 1;
}

VDEC_API VDEC_BOOL VDEC_ReleasePort(int32_t nPort) {
  return OnPort(nPort, [](vdec::TVdecPort& p) { return p.Release(); });
}

VDEC_API VDEC_BOOL VDEC_SetStreamOpenMode(int32_t nPort, uint32_t nMode) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) { return p.SetStreamOpenMode(nMode); });
}

VDEC_API VDEC_BOOL VDEC_OpenStream(int32_t nPort, const uint8_t* /*pFileHeadBuf*/,
                                   uint32_t /*nSize*/, uint32_t nBufPoolSize) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) { return p.OpenStream(nBufPoolSize); });
}

VDEC_API VDEC_BOOL VDEC_InputData(int32_t nPort, const uint8_t* pBuf, uint32_t nSize) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) { return p.InputData(pBuf, nSize); });
}

VDEC_API VDEC_BOOL VDEC_CloseStream(int32_t nPort) {
  return OnPort(nPort, [](vdec::TVdecPort& p) { return p.CloseStream(); });
}

VDEC_API VDEC_BOOL VDEC_SetEngine(int32_t nPort, int32_t nDecodeType, int32_t nRenderType) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) { return p.SetEngine(nDecodeType, nRenderType); });
}

VDEC_API VDEC_BOOL VDEC_Play(int32_t nPort, VDEC_HWND hWnd) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) { return p.Play(hWnd); });
}

VDEC_API VDEC_BOOL VDEC_AntiAliasEnable(int32_t nPort, int32_t bEnable) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) { return p.AntiAliasEnable(bEnable != 0); });
}

VDEC_API VDEC_BOOL VDEC_SetDecCBStream(int32_t nPort, uint32_t nStream) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) { return p.SetDecCBStream(nStream); });
}

VDEC_API VDEC_BOOL VDEC_SetDecodeCallBack(int32_t nPort, VDEC_DecodeCallBack pfnDecode,
                                          void* pUser) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) { return p.SetDecodeCallBack(pfnDecode, pUser); });
}

VDEC_API VDEC_BOOL VDEC_Stop(int32_t nPort) {
  return OnPort(nPort, [](vdec::TVdecPort& p) { return p.Stop(); });
}

VDEC_API VDEC_BOOL VDEC_Pause(int32_t nPort, uint32_t nPause) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) { return p.Pause(nPause != 0); });
}

VDEC_API VDEC_BOOL VDEC_Fast(int32_t nPort) {
  return OnPort(nPort, [](vdec::TVdecPort& p) { return p.Fast(); });
}

VDEC_API VDEC_BOOL VDEC_Slow(int32_t nPort) {
  return OnPort(nPort, [](vdec::TVdecPort& p) { return p.Slow(); });
}

VDEC_API VDEC_BOOL VDEC_SetDisplayRegion(int32_t nPort, uint32_t nRegionNum,
                                         const VDEC_RECT* pSrcRect, VDEC_HWND hDestWnd,
                                         int32_t bEnable) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) {
    return p.SetDisplayRegion(nRegionNum, pSrcRect, hDestWnd, bEnable != 0);
  });
}

VDEC_API VDEC_BOOL VDEC_GetPictureSize(int32_t nPort, int32_t* pWidth, int32_t* pHeight) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) { return p.GetPictureSize(pWidth, pHeight); });
}

VDEC_API VDEC_BOOL VDEC_GetPicJPEG(int32_t nPort, uint8_t* pJpeg, uint32_t nBufSize,
                                   uint32_t* pJpegSize, int32_t nQuality) {
  return OnPort(nPort, [&](vdec::TVdecPort& p) {
    return p.GetPicJPEG(pJpeg, nBufSize, pJpegSize, nQuality);
  });
}

}  // extern "C"
