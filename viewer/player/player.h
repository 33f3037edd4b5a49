// TPlayer: base of the objects that drive one player port for one view, through the proxy
// binding. The play model creates a player at each start of a view and fills in its
// settings before the threads run; the view's play thread owns it and calls BeginPlay,
// InputPackage and StopPlay; the window thread starts and stops recording and sets the
// watermark text while the play thread feeds, so the record state and the watermark text
// sit behind locks of their own; the connection thread reads Active. The player owns the
// record file it was given and its copy of the stream head.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/messages.h"
#include "platform/sync.h"

namespace viewer {

class TAbstractPackage;
class TPipelineModel;
class TProtectedSection;

// Posted to the notification window when the play thread gives up; the window stops the view.
constexpr plat::UINT kStopPlayMessage = 0x04C9;
// Size of the buffer pool the player opens a stream with.
constexpr int32_t kStreamBufferPoolSize = 1048576;
// Size of the player's copy of the stream head.
constexpr int32_t kStreamHeadCapacity = 4096;
// The frame type of a stream head ("sys header").
constexpr int32_t kStreamHeadFrameType = 128;

// A result of the player API that stands for a boolean: only its low byte counts.
inline bool IsTrue(int32_t result) {
  return (result & 0xFF) != 0;
}

class TPlayer {
 public:
  using TVideoInfoHandler = std::function<void(int32_t codec, int32_t width, int32_t height)>;

  TPlayer() = default;
  virtual ~TPlayer();
  TPlayer(const TPlayer&) = delete;
  TPlayer& operator=(const TPlayer&) = delete;

  // ---- Set by the model before the threads start ----
  TPipelineModel* Model = nullptr;  // not owned
  plat::HWND NotifyWindow = 0;      // receives kStopPlayMessage; may be 0
  // Set by BeginPlay; the play thread reads and clears it.
  std::atomic<bool> StreamOpened{false};
  // Negative: the proxy chooses a port when the stream opens, and this holds it from then on.
  std::atomic<int32_t> Port{0};
  // The view runs while it is set; the model clears it when the view stops.
  std::atomic<bool> Active{false};
  std::atomic<int32_t> Fluency{0};
  TProtectedSection* ProtectedSection = nullptr;  // not owned
  plat::HWND PlayWindow = 0;                      // the window video is rendered into
  TVideoInfoHandler OnVideoInfoRead;              // on the play thread, once per player

  // Learned from the player after the first accepted frames; 0 until then.
  std::atomic<int32_t> VideoCodec{0};
  std::atomic<int32_t> VideoWidth{0};
  std::atomic<int32_t> VideoHeight{0};

  // ---- Operations, in the order of the family's virtual table ----

  // Writes the stored stream head once at the start of a recording.
  virtual void WriteRecordHead();
  // Writes GetRecordLength bytes of the package data from GetRecordOffset while recording
  // and the head is written. Write failures are swallowed.
  virtual void WriteRecordPackage(const TAbstractPackage& package);
  // Bytes in front of the media in a package's data.
  virtual int32_t GetPackageHeadSize() const = 0;
  virtual int32_t GetRecordOffset() const = 0;
  // Bytes of the package data a recording takes: from GetRecordOffset to the end of the data.
  virtual size_t GetRecordLength(const TAbstractPackage& package) const;
  // Hands the watermark text to the player; the base has no player to hand it to.
  virtual void ApplyWatermark() {}
  virtual bool IsStreamHead(int32_t frame_type) const = 0;
  // Opens the stream with the head package and starts playing; raises EOpenStream / EPlay.
  virtual void BeginPlay(TAbstractPackage& head) = 0;
  // Feeds one package; false when the player refused it for now (the caller offers it again).
  virtual bool InputPackage(TAbstractPackage& package) = 0;
  virtual void StopPlay() = 0;
  // Asks the notification window to stop the view.
  virtual void PostStopPlayMessage() = 0;
  // Replay hooks the connection thread runs after a reconnection; nothing to do in preview.
  virtual void ResetPlaySpeedRatio() {}
  virtual void RefreshCurrentPlayTime() {}

  // ---- Recording (window thread) ----

  // Takes ownership of the open file `file` (a descriptor; -1 for none) and records into it
  // while `recording` is set, beginning with the stream head. A file still held from an
  // earlier recording is closed, so with -1 nothing more is written anywhere.
  void StartRecord(const std::string& file_name, bool recording, int file);
  // Ends the recording and closes its file.
  void StopRecord();
  bool Recording();
  bool RecordHeadWritten();
  std::string RecordFileName();

  // ---- Watermark (window thread) ----

  // Stores a changed text and applies it.
  void SetWatermarkText(const std::string& text);
  std::string WatermarkText();

  bool IsVideoInfoKnown() const { return VideoWidth >= 1 && VideoHeight >= 1; }
  bool HasStreamHead() const { return has_stream_head_; }
  int32_t StreamHeadLength() const { return stream_head_length_; }
  const uint8_t* StreamHead() const { return stream_head_.data(); }

 protected:
  // The media bytes of a play package (FrameLength of them after GetPackageHeadSize); false
  // when they do not lie inside the package's data.
  bool MediaOf(const TAbstractPackage& package, const uint8_t*& media, int32_t& length) const;
  // Copies the stream head; a head that does not fit the buffer raises EOpenStream.
  void StoreStreamHead(const uint8_t* data, int32_t length);
  // Guards the watermark text and whatever decides whether it reaches the player.
  plat::TCriticalSection& WatermarkLock() { return watermark_lock_; }
  // Text under WatermarkLock.
  const std::string& WatermarkTextLocked() const { return watermark_text_; }

 private:
  // Writes while the record lock is held; gives up on the first error.
  void WriteRecordBytes(const uint8_t* data, size_t size);

  plat::TCriticalSection record_lock_;
  bool recording_ = false;
  bool record_head_written_ = false;
  std::string record_file_name_;
  int record_file_ = -1;

  std::array<uint8_t, kStreamHeadCapacity> stream_head_{};
  int32_t stream_head_length_ = 0;
  bool has_stream_head_ = false;

  plat::TCriticalSection watermark_lock_;
  std::string watermark_text_;
};

}  // namespace viewer
