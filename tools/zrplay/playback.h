// How zrplay drives one port of the player library: TStreamPlayback feeds a file through the
// stream input (paced by its capture times in real time, or handed over in stream-file mode
// for the player to pace); TRecordPlayback opens it as a record file and leaves pacing,
// seeking and stepping to the player. Both run on zrplay's main thread; the counts of drawn
// pictures come from the player's display callback on the decoder's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/messages.h"
#include "tools/common/player_library.h"
#include "tools/zrplay/stream_file.h"
#include "tools/zrplay/zrplay_options.h"

namespace zrplay_tool {

// Pictures drawn and the size of the last, from the display callback. Any thread.
struct TPictureCount {
  std::atomic<int64_t> Pictures{0};
  std::atomic<int32_t> Width{0};
  std::atomic<int32_t> Height{0};
};
// The process's count, filled by the callback DisplayCounter installs.
TPictureCount& Drawn();
ZR_DISPLAY_CALLBACK DisplayCounter();

class TPlayback {
 public:
  TPlayback(quvi_tools::TPlayerApi& api, int32_t port, const TStreamFile& file)
      : api_(api), port_(port), file_(file) {}
  virtual ~TPlayback() = default;

  // Opens the port and plays into the window; throws TPlayError.
  virtual void Start(plat::HWND window) = 0;
  // Work of one turn of the main loop.
  virtual void Tick() = 0;
  // Everything was played and shown.
  virtual bool Ended() = 0;
  virtual void SetPaused(bool paused) = 0;
  // One level faster (+1) or slower (-1), within -4..4.
  virtual void ChangeSpeed(int delta) = 0;
  virtual void StepForward() = 0;
  virtual void StepBack() = 0;
  virtual void Seek(const TPlace& place) = 0;
  // Time played from the start of the file, and the frame reached (index numbering).
  virtual int64_t PlayedMs() = 0;
  virtual int32_t CurrentFrame() = 0;
  // Stops and closes the port.
  virtual void Stop() = 0;

  bool Paused() const { return paused_; }
  int Speed() const { return speed_; }
  int32_t Port() const { return port_; }

 protected:
  quvi_tools::TPlayerApi& api_;
  const int32_t port_;
  const TStreamFile& file_;
  bool paused_ = false;
  int speed_ = 0;
};

std::unique_ptr<TPlayback> MakePlayback(EFeed feed, quvi_tools::TPlayerApi& api, int32_t port,
                                        const TStreamFile& file, const std::string& path);

}  // namespace zrplay_tool
