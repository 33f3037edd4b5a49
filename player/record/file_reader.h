// TFileReader: one record stream file (an optional 64-byte file head, then frames, each a
// 64-byte frame head, its payload and its overlay records) and the index of its frames.
// Owned by its channel through a shared pointer; an index thread (TCreateRefThread) shares
// it while it builds, so the reader outlives a channel that closes or goes away meanwhile.
// Every operation may be called from any thread: a short internal lock guards the file and
// the index, builds are serialised, and a build whose file was closed or replaced while it
// ran ends early and leaves the new state untouched. Owns its file descriptor and the index.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/date_time.h"

namespace zrplay {

// One indexed frame. Positions are 64-bit so files beyond 2 GiB are indexed in full.
struct TRecIndex {
  int64_t Start = 0;   // file position of the frame head
  int64_t Stop = 0;    // just after the frame's overlay records (may lie past the end)
  TDateTime Time = 0;  // audio frames carry the time of the video frame before them
  int32_t Type = 0;    // the head's frame type byte
};

class TFileReader {
 public:
  using TLogSink = std::function<void(const std::string&)>;

  TFileReader();
  ~TFileReader();
  TFileReader(const TFileReader&) = delete;
  TFileReader& operator=(const TFileReader&) = delete;

  // False for an empty path or one that names no regular file (the current file stays
  // open). Otherwise closes the current file and opens the new one; false when it cannot
  // be opened or is shorter than 64 bytes (the file then stays open, without frames).
  bool Open(const std::string& path);
  // Frees the file and the index. Stops a build that is running over this file.
  void Close();
  // Walks the frame heads from where Open found the first frame; true when at least one
  // frame was indexed. Concurrent calls run one after the other.
  bool BuildIndex();

  int FrameCount() const;
  // Start of entry i; -1 when i is out of range or the position does not fit 32 bits.
  int32_t FrameStart(int i) const;
  // Start of entry i as a 64-bit position; -1 when i is out of range.
  int64_t FrameStart64(int i) const;
  // Stop - start of entry i; 0 when i is out of range or the frame claims 2 GiB or more.
  int32_t FrameSize(int i) const;
  // Time of entry i; 0.0 when i is out of range.
  TDateTime FrameTime(int i) const;
  // Type of entry i; -1 when i is out of range.
  int32_t FrameType(int i) const;
  // True for frame types 1, 2 and 21.
  bool IsKeyFrame(int i) const;
  // Reads FrameSize(i) bytes of entry i (head, payload, overlay records) into buffer,
  // which must hold that many. Bytes the file no longer holds read as zero. False only
  // when i is out of range.
  bool ReadFrame(void* buffer, int i);
  // Whole milliseconds from the first to the last indexed frame; 0 with fewer than two.
  int32_t DurationMs() const;
  // "frame index list below:" and one numbered line per entry, each ended by CR LF.
  std::string IndexListing() const;

  // The nearest key frame at or before entry i (i past the end counts from the last entry);
  // -1 when there is none.
  int NearestKeyFrame(int i) const;
  // The last entry whose time is at most ms milliseconds after the first entry's; -1 when
  // the index is empty or ms is negative enough to lie before the first entry.
  int FrameIndexAtTime(int64_t ms) const;
  // True when entry i ends inside the file as it is now, so reading it gives real bytes; a
  // damaged head may claim far more than the file holds.
  bool FrameLiesInFile(int i) const;

  // Where the diagnostic lines go; the player log by default. Set before use.
  void SetLogSink(TLogSink sink) { log_ = std::move(sink); }

 private:
  struct TOpenFile;

  void CloseLocked();
  bool EntryAt(int i, TRecIndex* entry) const;

  mutable std::mutex lock_;  // guards file_, index_, duration_
  std::mutex build_lock_;    // one BuildIndex at a time
  std::shared_ptr<TOpenFile> file_;
  std::vector<TRecIndex> index_;
  int32_t duration_ = 0;
  // Bumped by every Open and Close, so a running build notices its file went away.
  std::atomic<uint64_t> generation_{0};
  TLogSink log_;
};

}  // namespace zrplay
