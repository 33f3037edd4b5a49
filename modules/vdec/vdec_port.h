// TVdecPort: one port of the decoding library, from being taken to being released: its
// stream, input buffer, settings, decoding thread, decode hook and last picture. Any thread
// may call it. Start and stop of decoding (take, release, open, close, play, stop) are
// serialised by one lock and refused on the port's own decoding thread, which they may have
// to wait for; settings and input use a second lock that is never held while waiting.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "modules/vdec/current_picture.h"
#include "modules/vdec/decode_hook.h"
#include "modules/vdec/decode_worker.h"
#include "modules/vdec/input_buffer.h"
#include "modules/vdec/vdec.h"
#include "modules/vdec/window_painter.h"

namespace vdec {

class TVdecPort {
 public:
  static constexpr int kMinSpeed = -4;
  static constexpr int kMaxSpeed = 4;

  explicit TVdecPort(int32_t number);
  ~TVdecPort();
  TVdecPort(const TVdecPort&) = delete;
  TVdecPort& operator=(const TVdecPort&) = delete;

  // Marks a free port as taken; false when it already is.
  bool Take();
  // Stops, closes, forgets every setting and frees the port.
  bool Release();

  bool SetStreamOpenMode(uint32_t mode);
  bool OpenStream(uint32_t buffer_pool_size);
  bool InputData(const uint8_t* data, uint32_t size);
  bool CloseStream();
  bool SetEngine(int32_t decode_type, int32_t render_type);
  bool Play(VDEC_HWND window);
  bool AntiAliasEnable(bool enable);
  bool SetDecCBStream(uint32_t selector);
  bool SetDecodeCallBack(VDEC_DecodeCallBack hook, void* user);
  bool Stop();
  bool Pause(bool pause);
  bool Fast();
  bool Slow();
  bool SetDisplayRegion(uint32_t region, const VDEC_RECT* source, VDEC_HWND window, bool enable);
  bool GetPictureSize(int32_t* width, int32_t* height);
  bool GetPicJPEG(uint8_t* buffer, uint32_t buffer_size, uint32_t* jpeg_size, int32_t quality);

 private:
  struct TDisplayRegion {
    VDEC_RECT source{0, 0, 0, 0};
    VDEC_HWND window = 0;
    bool enabled = false;
  };

  // Settings a port starts with when taken.
  struct TSettings {
    uint32_t open_mode = VDEC_STREAM_REALTIME;
    int32_t decode_type = 0;
    int32_t render_type = 0;
    bool anti_alias = false;
    bool paused = false;
    int speed = 0;
    VDEC_HWND window = 0;
    std::array<TDisplayRegion, VDEC_MAX_DISPLAY_REGIONS> regions{};
  };

  bool OnOwnDecodingThread() const;
  bool IsTaken() const;
  // Both need the lifecycle lock held.
  void StopDecoding();
  void Deliver(const AVFrame& picture, const VDEC_FRAME_INFO& info);

  const int32_t number_;
  std::mutex lifecycle_mutex_;
  std::unique_ptr<TDecodeWorker> worker_;  // under lifecycle_mutex_

  mutable std::mutex state_mutex_;
  bool taken_ = false;
  bool open_ = false;
  bool playing_ = false;
  TSettings settings_;

  TInputBuffer input_;
  TDecodeHook hook_;
  TCurrentPicture picture_;
  TWindowPainter painter_;  // decoding thread only
};

}  // namespace vdec
