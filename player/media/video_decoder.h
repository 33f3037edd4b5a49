// TVideoDecoder: every call the channels make into the vendor decoding library, each on one
// vendor port, so a channel can be given another decoder (tests give it one that refuses or
// records input). Results are true for success. Implementations serve any thread.
// VendorVideoDecoder() is the process-wide one over the vendor library.
#pragma once

#include <cstdint>

#include "modules/vdec/vdec.h"

namespace zrplay {

class TVideoDecoder {
 public:
  // Called on the decoder's own thread for every decoded picture; the record holds the Y, U
  // and V planes with their strides, widths and heights for the time of the call.
  using TDecodeHook = VDEC_DecodeCallBack;

  virtual ~TVideoDecoder() = default;

  virtual bool GetFreePort(int32_t& port) = 0;
  virtual bool ReleasePort(int32_t port) = 0;
  // mode: 0 real time, 1 file.
  virtual bool SetStreamOpenMode(int32_t port, uint32_t mode) = 0;
  // Opens the port's stream with an input buffer of buf_pool_size bytes; no header is passed.
  virtual bool OpenStream(int32_t port, uint32_t buf_pool_size) = 0;
  // False when the input was not taken (for instance while the buffer is full).
  virtual bool InputData(int32_t port, const uint8_t* data, uint32_t size) = 0;
  virtual bool CloseStream(int32_t port) = 0;
  virtual bool SetEngine(int32_t port, int32_t decode_type, int32_t render_type) = 0;
  // window 0: no drawing by the decoder, pictures go to the decode hook only.
  virtual bool Play(int32_t port, VDEC_HWND window) = 0;
  virtual bool AntiAliasEnable(int32_t port, bool enable) = 0;
  virtual bool SetDecCBStream(int32_t port, uint32_t stream) = 0;
  virtual bool SetDecodeCallBack(int32_t port, TDecodeHook hook, void* user) = 0;
  virtual bool Stop(int32_t port) = 0;
  virtual bool Pause(int32_t port, bool pause) = 0;
  virtual bool Fast(int32_t port) = 0;
  virtual bool Slow(int32_t port) = 0;
  virtual bool SetDisplayRegion(int32_t port, uint32_t region, const VDEC_RECT& source,
                                VDEC_HWND window, bool enable) = 0;
  virtual bool GetPictureSize(int32_t port, int32_t& width, int32_t& height) = 0;
  // Writes a JPEG of the current picture; produced is its length (or the length needed).
  virtual bool GetPicJPEG(int32_t port, uint8_t* buffer, uint32_t buffer_size, uint32_t& produced,
                          int32_t quality) = 0;
};

// The vendor library's decoder, made on first use.
TVideoDecoder& VendorVideoDecoder();
// Ends it; the library's unload runs this once its channels are gone.
void DestroyVendorVideoDecoder();

}  // namespace zrplay
