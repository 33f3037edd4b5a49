// TChannel: the player behind one port of the player API. It takes a stream head and then
// frames (a 64-byte frame head and its payload each), passes video to the vendor decoder at
// once or through its frame list, and routes audio to the sound path.
//
// Threads: InputData and InputVideoData run on the caller's thread; the background play
// thread takes frames from the list (TakeFrame, FeedCurrentFrame); the decoder's thread reads
// the frame timing and the last fed frame. Stop and destruction run on the caller's thread.
// Owns its frame list, the frames in it and the current frame; borrows the decoder, which
// must outlive it. Record files: the caller's thread changes pace and position while the
// background play thread plays the file; the reader is shared with the index thread, which
// runs the index-complete handler and may outlive the channel.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/messages.h"
#include "platform/sync.h"
#include "platform/time.h"
#include "player/api/zrplay_api.h"
#include "player/channel/audio_path.h"
#include "player/channel/bg_play_thread.h"
#include "player/channel/buffer_frame.h"
#include "player/channel/channel_log.h"
#include "player/channel/channel_overlays.h"
#include "player/channel/frame_head.h"
#include "player/channel/frame_list.h"
#include "player/channel/frame_timing.h"
#include "player/channel/picture_drawer.h"
#include "player/channel/play_signal.h"
#include "player/channel/record_file_pacer.h"
#include "player/channel/show_gate.h"
#include "player/media/video_decoder.h"
#include "player/record/file_reader.h"

namespace zrplay {

class TChannel {
 public:
  enum EStreamState : int32_t {
    ssClosed = 0,
    ssRecordFile = 1,
    ssRealTime = 2,
    ssFileMode = 3,  // a stream fed from a file: the frame list is never cleaned
  };

  // Buffered input waits while the list holds this many frames in stream file mode.
  static constexpr size_t kFileModeListLimit = 500;
  // Decoder input attempts per frame and the pause after each refusal.
  static constexpr int kInputAttempts = 4;
  static constexpr uint32_t kInputRetryMs = 5;

  TChannel(int32_t port, int32_t vendor_port, TVideoDecoder& decoder = VendorVideoDecoder());
  ~TChannel();
  TChannel(const TChannel&) = delete;
  TChannel& operator=(const TChannel&) = delete;

  int32_t Port() const { return port_; }
  int32_t VendorPort() const { return vendor_port_; }
  const TChannelLog& Log() const { return log_; }

  // --- Stream (results 1 or 0) ---
  // mode 1: stream file mode, anything else real time; the decoder's answer is returned.
  int32_t SetStreamOpenMode(int32_t mode);
  // 1 in stream file mode, else 0.
  int32_t GetStreamOpenMode();
  // Writes 64, the length of a stream head; returns 1.
  int32_t GetFileHeadLength(int32_t& length);
  // 0 for an empty head or one that is not a stream head; otherwise opens the decoder's
  // stream with the given input buffer size (the head is not passed on).
  int32_t OpenStream(const uint8_t* head, uint32_t size, uint32_t buf_pool_size);
  // The buffered input path: 1 when the block was taken (fed, queued, handed to the sound
  // path or ignored as a kind not played), 0 when refused (not playing, short, bad magic).
  int32_t InputData(const uint8_t* block, int32_t size);
  // Feeds a block to the decoder at once, without the type checks; the feed result.
  int32_t InputVideoData(const uint8_t* block, int32_t size);
  // Stops, closes the decoder's stream and marks the stream closed.
  int32_t CloseStream();

  // The source buffer callback as the caller registered it. The channel keeps no source
  // buffer of its own to watch, so it keeps the callback but never calls it.
  struct TSourceBufCallback {
    ZR_SOURCE_BUF_CALLBACK Callback = nullptr;
    ZR_USER User = 0;
    void* Reserved = nullptr;
  };
  // Keeps the callback, its user value and the reserved value (replacing earlier ones); 1.
  int32_t SetSourceBufCallBack(ZR_SOURCE_BUF_CALLBACK callback, ZR_USER user, void* reserved);
  TSourceBufCallback SourceBufCallback() const;

  // --- Play state ---
  // Opens the decoder's stream and plays it into the window (0: no drawing): the decoder
  // draws when DrawBySDK is set, else the channel draws the pictures its decode hook gets.
  // Starts the background play thread for record files and buffered live streams. Returns
  // the decoder's play answer (1 or 0), 0 also when the thread cannot be made.
  int32_t Play(plat::HWND window);
  // 1 when not playing; otherwise stops the decoder (no decode hook runs afterwards), closes
  // its stream, ends the background thread, frees the draw handle, the device context and
  // the buffered frames, and returns the decoder's stop answer.
  int32_t Stop();
  bool Playing() const { return playing_.load(); }

  // --- Pictures and callbacks ---
  // Draws the frame buffer again (no callbacks); 1.
  int32_t RefreshPlay();
  int32_t SetDisplayRegion(uint32_t region, const plat::RECT& rect, plat::HWND window, bool enable);
  int32_t GetPictureSize(int32_t& width, int32_t& height);
  int32_t SetDecCallBack(ZR_DEC_CALLBACK callback);
  int32_t SetDecCallBackEx(ZR_DEC_CALLBACK callback, ZR_USER user);
  int32_t SetDisplayCallBack(ZR_DISPLAY_CALLBACK callback);
  bool HasBgPlayThread() {
    std::lock_guard lock(run_lock_);
    return bg_thread_ != nullptr;
  }
  ZRDRAW_HANDLE RendererHandle() const { return drawer_.RendererHandle(); }
  plat::HDC DeviceContext() const { return drawer_.DeviceContext(); }

  // --- Background play side ---
  // Without a current frame, takes the first frame of the list (cleaning a live list that
  // spans too long first); while waiting for a key frame a taken frame that is not one is
  // freed at once. True when there is a current frame afterwards.
  bool TakeFrame();
  const TBufferFrame* CurrentFrame() const { return current_frame_.get(); }
  // Feeds the current frame and frees it whatever the result; 0 without one.
  int32_t FeedCurrentFrame();
  // One step of the background play thread; true when it fed a frame.
  bool PlayStep();
  // The background play thread's wait after a step that fed nothing: a live channel waits
  // until its next frame is due or anything that could let a frame through happens (pause,
  // step, speed, stop, and a frame arriving while none is buffered), at most kLiveIdleWaitMs
  // while frames are buffered (a frame waiting for its time is looked at once, when due, at
  // the usual rates) and without a limit while none are; a record file 1 ms.
  // stopped: the calling thread's own stop, which ends the wait too.
  void WaitForPlayWork(const std::function<bool()>& stopped);
  static constexpr uint32_t kLiveIdleWaitMs = 100;

  // --- State read by the other parts of the channel and by tests ---
  EStreamState StreamState() const { return stream_state_.load(); }
  bool BufferOnLive() const { return buffer_on_live_.load(); }
  bool WaitingForKeyFrame() const { return wait_for_key_.load(); }
  int32_t InputFailureCount() const { return input_failures_.load(); }
  bool FrameListExists() const { return frame_list_.Exists(); }
  size_t BufferedFrameCount() const { return frame_list_.Count(); }
  const TFrameTiming& Timing() const { return timing_; }
  int32_t PictureWidth() const { return picture_width_.load(); }
  int32_t PictureHeight() const { return picture_height_.load(); }
  // Copies of the last fed frame's head and its text overlay records.
  void CopyLastFedFrame(TFrameHead& head, std::vector<TOverlayRecord>& records) const;

  // --- Playback control and record files (channel_control.cpp, channel_file.cpp) ---
  // Each takes the arguments of its export and answers what the export returns. Positions
  // and seeks work on an open record file only; speed, pause and stepping on live too.
  int32_t Pause(int32_t pause);
  int32_t SetPlaySpeed(int32_t old_level, int32_t new_level);
  int32_t Fast();
  int32_t Slow();
  // Record file: shows the current frame and moves on (1). Live: lets one buffered frame
  // through at the next play step (0).
  int32_t OneByOneForward();
  int32_t OneByOneBack();
  // Opens a record file and builds its frame index on a thread of its own; until that
  // thread ends the file does not play.
  int32_t OpenFile(const char* file_name);
  int32_t CloseFile();
  // The callback runs on the index thread once the frame index is built.
  int32_t SetFileRefCallBack(ZR_FILE_REF_CALLBACK callback, ZR_USER user);
  // The message is posted to the window (port, 0) when the last frame has been shown.
  int32_t SetFileEndMsg(ZR_HWND window, uint32_t message);
  int32_t GetPlayedFrames();
  int32_t GetCurrFrameNum();
  int32_t GetFileTotalMSec();
  int32_t GetFileTotalFrames();
  int32_t GetPlayedTime();
  int32_t GetPlayedTimeEx();
  double GetPlayedPos();
  int32_t SetPlayedPos(double position);
  int32_t SetPlayedTimeEx(int32_t ms);
  int32_t SetCurrFrameNum(int32_t frame);
  int32_t GetKeyFramePos(int32_t value, int32_t kind);
  int32_t GetLastKeyPos(int32_t value, int32_t kind);

  // The record file step of the background play thread at tick now_ms; true when it
  // played a frame.
  bool RecordFileStep(uint32_t now_ms);
  // The millisecond tick the background play thread paces by (GetTickCount by default).
  using TTickSource = uint32_t (*)();
  void SetTickSource(TTickSource source) { tick_source_ = source; }

  // Steps the background play thread has run, so a caller can wait until a step has seen
  // a change it made.
  uint64_t PlaySteps() const { return play_steps_.load(); }
  int32_t SpeedLevel() const { return speed_level_.load(); }
  float LiveFactor() const { return live_delay_factor_.load(); }
  bool Paused() const { return paused_.load(); }
  bool SingleStep() const { return single_step_.load(); }
  int32_t CurrentFrameIndex() const { return current_index_.load(); }
  // True while a frame index is being built for the open record file.
  bool BuildingIndex() const { return index_builds_.load() > 0; }
  // The open record file's reader (shared; null when none), and the nearest key frame at or
  // before frame i of it (-1 when none).
  std::shared_ptr<TFileReader> FileReader() const;
  int32_t NearestKeyFrame(int32_t i) const;

  // --- Sound (channel_audio.cpp; results as the exports return them) ---
  // Makes the sound manager for the current window when there is none; 1.
  int32_t OpenSound();
  // Closes sound and frees the sound manager; 1.
  int32_t StopSound();
  // Volume is not controlled: both only log and return 0.
  int32_t SetVolume(int32_t volume);
  int32_t GetVolume();
  // selector 1 asks for video only: audio frames are no longer decoded. 1.
  int32_t SetDecCBStream(int32_t selector);
  // The sound module the channel plays through (QelDSound unless a test gives another).
  void UseSoundOutput(TSoundOutput& output) { audio_.UseSoundOutput(output); }
  const TAudioPath& Audio() const { return audio_; }

  // --- Overlays, snapshots, encode information and clips (results 1 or 0) ---
  // The watermark tiled over every picture; logged, 1.
  int32_t SetWatermark(const char* text);
  // Scene text drawn at the bottom left, a backslash starting a new line; logged, 1.
  int32_t SetSceneInfo(const char* text);
  // Writes the current picture (with its overlays) to a JPEG file for a ".jpg" name, any
  // case, else to a BMP file; the folder is made with its parents. Before the first picture
  // the name waits for it (1). 0 when the name is too long or the folder cannot be made.
  // With DrawBySDK the decoder writes a JPEG whatever the name.
  int32_t CaptureImage(const char* name);
  // Fills a 28-byte record: encode type, width, height, 16 zero bytes. A smaller size gets 0
  // and the size needed written back; 0 also before the picture size is known.
  int32_t ReadChannelEncodeInfo(void* record, int32_t* size);
  // Copies the frames of the open record file from the key frame at or before first to last
  // into a new file, as stored. 0 without a record file.
  int32_t Clip(int32_t first, int32_t last, const char* name);
  const TChannelOverlays& Overlays() const { return overlays_; }
  // Window repaints after the picture turned (renderer path).
  uint32_t RepaintCount() const { return drawer_.Repaints(); }

 private:
  // The feed step shared by every input path; 1 when the decoder took the payload.
  int32_t FeedFrame(const uint8_t* block, size_t size);
  void ProbeParameterSet(const TFrameHead& head, const uint8_t* payload, uint32_t length);
  void RememberFedFrame(const TFrameHead& head, const uint8_t* block, size_t size);
  void LogFeedFailure(const TFrameHead& head, const uint8_t* payload, uint32_t length,
                      uint32_t started_tick, int32_t failures) const;
  void FreeBufferedFrames();
  bool LiveStep();
  // Asks for a wait until the next arrival, or for none when a frame came meanwhile; false.
  bool WaitForArrival();
  void StartBgPlayThread();
  void StopBgPlayThread();
  // Record file play (channel_file.cpp); the *Locked ones run under file_lock_.
  struct TIndexLink;
  static void OnIndexBuilt(const std::shared_ptr<TIndexLink>& link,
                           const std::shared_ptr<TFileReader>& reader);
  std::shared_ptr<TFileReader> OpenReader() const;
  void ShowFrameLocked(int32_t index);
  void SetCurrentIndexLocked(int32_t index);
  void SeekLocked(int32_t index);
  void PostFileEnd() const;
  void ReleaseRecordFile();
  // The decoder's picture hook: copies, turns, hands to the callbacks and draws.
  static void DecodeHook(int32_t vendor_port, const VDEC_DECODED_FRAME* frame,
                         const VDEC_FRAME_INFO* info, void* user);
  void TakePicture(const VDEC_DECODED_FRAME& frame);
  void Rotate();
  void CallCallbacks();
  // The overlay pass after rotation: watermark, overlay records and scene text.
  void DrawOverlays();
  // Frees the overlay lines when play stops.
  void FreeOverlayLines();
  // True when the frame buffer holds a picture of that size (under picture_lock_). The size
  // read from a parameter set on the feeding thread may describe a picture not decoded yet.
  bool FrameBufferHolds(int32_t width, int32_t height) const;
  // Writes the pending snapshot from the frame buffer; nothing before the first picture.
  void TakePendingSnapshot();
  int32_t SnapshotBySdk(const std::string& name);

  const int32_t port_;
  const int32_t vendor_port_;
  TVideoDecoder& decoder_;
  const TChannelLog log_;

  std::atomic<EStreamState> stream_state_{ssRealTime};
  std::atomic<bool> playing_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> single_step_{false};
  std::atomic<bool> step_pending_{false};
  std::atomic<bool> buffer_on_live_;
  std::atomic<int32_t> speed_level_{0};
  std::atomic<float> live_delay_factor_{1.0f};

  TFrameList frame_list_;
  std::unique_ptr<TBufferFrame> current_frame_;
  std::atomic<bool> wait_for_key_{false};
  std::atomic<int32_t> input_failures_{0};

  TFrameTiming timing_;
  std::atomic<bool> sps_probed_{false};
  std::atomic<int32_t> picture_width_{0};
  std::atomic<int32_t> picture_height_{0};

  // The last fed frame head and its overlay records; the record array only grows.
  mutable std::mutex fed_lock_;
  TFrameHead last_fed_head_{};
  std::vector<TOverlayRecord> overlay_records_;
  size_t overlay_count_ = 0;

  std::atomic<plat::HWND> window_{0};
  TShowGate show_gate_;
  // Play and Stop come from any caller's thread (a host's callback may stop its port):
  // bg_thread_ is set and taken under run_lock_, and Play raises playing_ under it too, so a
  // Stop that sees the run started also finds its thread. Never held while a thread ends.
  std::mutex run_lock_;
  std::unique_ptr<TBgPlayThread> bg_thread_;
  // Held by a Stop from its start to its end and by Play: a run is never started while the
  // last one is being taken down (Play gives up after kRunChangeWait).
  // (A flag under a mutex rather than a timed mutex: the sanitizers do not follow timed locks.)
  class TRunChange {
   public:
    // True once this caller holds the change; false when limit passed first.
    bool Enter(std::chrono::milliseconds limit);
    void Enter();
    void Leave();
    // Leaves when the scope ends.
    struct TLeaveOnExit {
      TRunChange& change;
      ~TLeaveOnExit() { change.Leave(); }
    };

   private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool busy_ = false;
  };
  TRunChange run_change_;
  static constexpr std::chrono::milliseconds kRunChangeWait{5000};

  // The frame buffer (YV12 of the last picture), its used size and the drawer; the decode
  // hook fills and draws them, RefreshPlay and the region calls use them on the caller's
  // thread. The buffers only grow.
  mutable std::recursive_mutex picture_lock_;
  std::vector<uint8_t> frame_buffer_;
  int32_t used_size_ = 0;
  std::vector<uint8_t> rotation_buffer_;
  bool rotated_ = false;
  TPictureDrawer drawer_;
  uint32_t stamp_base_ = 0;

  // Serialises calling the callbacks with changing them. Re-entrant: a callback may call
  // back into its channel, down to changing or clearing itself.
  std::recursive_mutex callback_lock_;
  ZR_DEC_CALLBACK dec_callback_ = nullptr;
  ZR_USER dec_user_ = 0;
  ZR_DISPLAY_CALLBACK display_callback_ = nullptr;
  mutable std::mutex source_buf_lock_;
  TSourceBufCallback source_buf_callback_;

  // Record file play. file_lock_ guards the reader pointer, the read buffer and moving the
  // current index; the reader itself serves any thread. The index link lets an index
  // thread that outlives the channel find out it is gone.
  mutable std::mutex file_lock_;
  std::shared_ptr<TFileReader> reader_;
  std::vector<uint8_t> read_buffer_;
  std::atomic<int32_t> current_index_{0};
  std::atomic<int32_t> index_builds_{0};
  std::shared_ptr<TIndexLink> index_link_;
  std::mutex file_callback_lock_;
  ZR_FILE_REF_CALLBACK file_ref_callback_ = nullptr;
  ZR_USER file_ref_user_ = 0;
  std::atomic<plat::HWND> file_end_window_{0};
  std::atomic<uint32_t> file_end_message_{0};
  TRecordFilePacer file_pacer_;
  std::atomic<TTickSource> tick_source_{&plat::GetTickCount};
  std::atomic<uint64_t> play_steps_{0};
  // Set for the background play thread whenever a frame may have become playable.
  TPlaySignal play_work_;
  std::atomic<uint32_t> play_idle_ms_{1};  // the wait the last step asked for
  // Raised while the live step waits for a frame to arrive with nothing buffered.
  std::atomic<bool> waiting_for_arrival_{false};
  // --- Sound (channel_audio.cpp) ---
  // Whether an audio frame is decoded at all (audio enabled, not paused, and sound open at
  // normal speed or a decode callback set).
  bool AudioGateOpen();
  // Hands an audio block to the audio path with the decode callback of the moment.
  void InputAudio(const uint8_t* block, size_t size);
  TAudioPath audio_{log_, port_, vendor_port_};

  // Overlays drawn into every picture; the records of the last fed frame are copied out for
  // the pass (decoder thread only). The pending snapshot name is guarded by picture_lock_.
  TChannelOverlays overlays_;
  std::vector<TOverlayRecord> overlay_records_seen_;
  std::string pending_snapshot_;
};

}  // namespace zrplay
