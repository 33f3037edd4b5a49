#include "player/record/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "player/channel/frame_head.h"
#include "player/player_log.h"

namespace zrplay {

struct TFileReader::TOpenFile {
  int fd = -1;
  int64_t first_frame = 0;  // 64 behind a file head, else 0
  ~TOpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

namespace {

// Reads up to count bytes at pos; returns how many arrived (fewer at the end of the file or
// on a read error).
int64_t ReadAt(int fd, void* buffer, int64_t count, int64_t pos) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, out + done, static_cast<size_t>(count - done), pos + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::string Format(const char* format, int64_t value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The frame types the index counts as key frames.
bool IsKeyFrameType(int32_t type) {
  return type == 1 || type == 2 || type == 21;
}

// Size of an entry as callers see it; a frame that claims 2 GiB or more reads as empty.
int32_t EntrySize(const TRecIndex& e) {
  const int64_t size = e.Stop - e.Start;
  return size > INT32_MAX ? 0 : static_cast<int32_t>(size);
}

// One walk over the frame heads of an open file. Lives on the building thread only.
class TIndexScan {
 public:
  TIndexScan(int fd, int64_t file_size, const std::atomic<uint64_t>& generation, uint64_t expected,
             const TFileReader::TLogSink& log)
      : fd_(fd), size_(file_size), generation_(generation), expected_(expected), log_(log) {}

  // Appends the frames from position start on; false when the file was closed or replaced
  // meanwhile (the entries are then worthless).
  bool Run(int64_t start, std::vector<TRecIndex>* index) {
    int64_t pos = start;
    bool any_payload = false;  // a frame with a payload was seen; damage before it ends
    int64_t highest = -1;      // the last head accepted; positions only grow
    TDateTime time = 0.0;
    while (pos < size_ - kFrameHeadSize) {
      if (Cancelled()) return false;
      TFrameHead h;
      const bool whole = ReadAt(fd_, &h, kFrameHeadSize, pos) == kFrameHeadSize;
      if (whole && HasFrameMagic(&h, kFrameHeadSize)) {
        const int64_t stop = pos + kFrameHeadSize + h.PayloadLength +
                             static_cast<int64_t>(h.OverlayCount) * h.OverlaySize;
        if (h.PayloadLength > 0) {
          any_payload = true;
          if (h.FrameType != kFrameTypeAudio) time = FrameTime(h);
          // Audio ahead of the first video frame has no time to carry and is left out.
          if (time != 0.0) index->push_back({pos, stop, time, h.FrameType});
        }
        highest = pos;
        pos = stop;
        continue;
      }
      log_(Format("read failed on pos %" PRId64, pos));
      // A short read means the file shrank under us: nothing further can be found.
      if (!any_payload || !whole) break;
      // Search again from just after the last good head, so a frame whose head was intact
      // but whose length was damaged is walked through. An empty frame accepted after it
      // counts as the last good head too: searching from before it would find it again and
      // again, and the scan would never end.
      if (!Resynchronise(highest + kFrameHeadSize, &pos)) break;
    }
    return !Cancelled();
  }

 private:
  bool Cancelled() const { return generation_.load(std::memory_order_relaxed) != expected_; }

  // Finds the first p >= from (p < size - 64) where a frame head begins. Scans in chunks
  // instead of one 64-byte read per byte; a head is recognised by its first 12 bytes alone,
  // and the 64 bytes behind p are always in the file, so the result is the same.
  bool Resynchronise(int64_t from, int64_t* found) {
    constexpr int64_t kChunk = 64 * 1024;
    constexpr int64_t kMagicBytes = 12;
    const int64_t end = size_ - kFrameHeadSize;  // candidates are below this
    std::vector<uint8_t> buf(kChunk + kMagicBytes - 1);
    for (int64_t base = from; base < end; base += kChunk) {
      if (Cancelled()) return false;
      const int64_t candidates = std::min(kChunk, end - base);
      const int64_t got = ReadAt(fd_, buf.data(), candidates + kMagicBytes - 1, base);
      for (int64_t off = 0; off < candidates && off + kMagicBytes <= got; ++off) {
        if (buf[off] == kDefaultStreamHead[0] &&
            std::memcmp(&buf[off], kDefaultStreamHead, kMagicBytes) == 0) {
          *found = base + off;
          log_(Format("skip %" PRId64 " bytes", *found - from));
          return true;
        }
      }
      if (got < candidates + kMagicBytes - 1) return false;  // the file shrank
    }
    return false;
  }

  const int fd_;
  const int64_t size_;
  const std::atomic<uint64_t>& generation_;
  const uint64_t expected_;
  const TFileReader::TLogSink& log_;
};

}  // namespace

TFileReader::TFileReader() : log_([](const std::string& line) { WriteLog(line); }) {}

TFileReader::~TFileReader() {
  Close();
}

bool TFileReader::Open(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

  std::lock_guard<std::mutex> guard(lock_);
  CloseLocked();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    log_("open record file failed: " + path + ": " + std::strerror(errno));
    return false;
  }
  auto file = std::make_shared<TOpenFile>();
  file->fd = fd;
  // The second 64 bytes tell whether a file head comes first: if they are a frame head,
  // the first 64 bytes were the file head.
  uint8_t start[2 * kFrameHeadSize];
  const int64_t got = ReadAt(fd, start, sizeof start, 0);
  if (got == static_cast<int64_t>(sizeof start) &&
      HasFrameMagic(start + kFrameHeadSize, kFrameHeadSize)) {
    file->first_frame = kFrameHeadSize;
  }
  file_ = std::move(file);
  return got >= kFrameHeadSize;
}

void TFileReader::Close() {
  std::lock_guard<std::mutex> guard(lock_);
  CloseLocked();
}

void TFileReader::CloseLocked() {
  generation_.fetch_add(1);
  file_.reset();
  index_.clear();
  duration_ = 0;
}

bool TFileReader::BuildIndex() {
  std::lock_guard<std::mutex> build(build_lock_);
  std::shared_ptr<TOpenFile> file;
  uint64_t generation;
  {
    std::lock_guard<std::mutex> guard(lock_);
    index_.clear();
    duration_ = 0;
    file = file_;
    generation = generation_.load();
  }
  if (!file) return false;
  struct stat st;
  if (::fstat(file->fd, &st) != 0) return false;

  std::vector<TRecIndex> index;
  TIndexScan scan(file->fd, st.st_size, generation_, generation, log_);
  if (!scan.Run(file->first_frame, &index)) return false;

  int32_t duration = 0;
  if (index.size() >= 2) {
    const int64_t ms = std::llabs(MillisecondsBetween(index.front().Time, index.back().Time));
    duration = static_cast<int32_t>(std::min<int64_t>(ms, INT32_MAX));
  }
  std::lock_guard<std::mutex> guard(lock_);
  if (generation_.load() != generation) return false;
  index_ = std::move(index);
  duration_ = duration;
  return !index_.empty();
}

bool TFileReader::EntryAt(int i, TRecIndex* entry) const {
  if (i < 0 || static_cast<size_t>(i) >= index_.size()) return false;
  *entry = index_[static_cast<size_t>(i)];
  return true;
}

int TFileReader::FrameCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int>(std::min<size_t>(index_.size(), INT_MAX));
}

int32_t TFileReader::FrameStart(int i) const {
  const int64_t start = FrameStart64(i);
  return start > INT32_MAX ? -1 : static_cast<int32_t>(start);
}

int64_t TFileReader::FrameStart64(int i) const {
  std::lock_guard<std::mutex> guard(lock_);
  TRecIndex e;
  return EntryAt(i, &e) ? e.Start : -1;
}

int32_t TFileReader::FrameSize(int i) const {
  std::lock_guard<std::mutex> guard(lock_);
  TRecIndex e;
  return EntryAt(i, &e) ? EntrySize(e) : 0;
}

TDateTime TFileReader::FrameTime(int i) const {
  std::lock_guard<std::mutex> guard(lock_);
  TRecIndex e;
  return EntryAt(i, &e) ? e.Time : 0.0;
}

int32_t TFileReader::FrameType(int i) const {
  std::lock_guard<std::mutex> guard(lock_);
  TRecIndex e;
  return EntryAt(i, &e) ? e.Type : -1;
}

bool TFileReader::IsKeyFrame(int i) const {
  return IsKeyFrameType(FrameType(i));
}

bool TFileReader::ReadFrame(void* buffer, int i) {
  TRecIndex e;
  std::shared_ptr<TOpenFile> file;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!EntryAt(i, &e)) return false;
    file = file_;
  }
  const int32_t size = EntrySize(e);
  if (size <= 0 || buffer == nullptr) return true;
  const int64_t got = file ? ReadAt(file->fd, buffer, size, e.Start) : 0;
  // A frame cut short by the end of the file must not hand on stale buffer contents.
  std::memset(static_cast<uint8_t*>(buffer) + got, 0, static_cast<size_t>(size - got));
  return true;
}

int32_t TFileReader::DurationMs() const {
  std::lock_guard<std::mutex> guard(lock_);
  return duration_;
}

int TFileReader::NearestKeyFrame(int i) const {
  std::lock_guard<std::mutex> guard(lock_);
  const int64_t last = static_cast<int64_t>(index_.size()) - 1;
  for (int64_t k = std::min<int64_t>(i, last); k >= 0; --k) {
    if (IsKeyFrameType(index_[static_cast<size_t>(k)].Type)) return static_cast<int>(k);
  }
  return -1;
}

int TFileReader::FrameIndexAtTime(int64_t ms) const {
  std::lock_guard<std::mutex> guard(lock_);
  int found = -1;
  for (size_t k = 0; k < index_.size() && k < INT_MAX; ++k) {
    // Compared in whole milliseconds, so a frame exactly ms after the first one counts.
    if (MillisecondsBetween(index_.front().Time, index_[k].Time) > ms) break;
    found = static_cast<int>(k);
  }
  return found;
}

bool TFileReader::FrameLiesInFile(int i) const {
  TRecIndex e;
  std::shared_ptr<TOpenFile> file;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!EntryAt(i, &e)) return false;
    file = file_;
  }
  struct stat st;
  return file && ::fstat(file->fd, &st) == 0 && e.Stop <= st.st_size;
}

std::string TFileReader::IndexListing() const {
  std::vector<TRecIndex> index;
  {
    std::lock_guard<std::mutex> guard(lock_);
    index = index_;
  }
  std::string text = "frame index list below:\r\n";
  char line[256];
  for (size_t n = 0; n < index.size(); ++n) {
    const TRecIndex& e = index[n];
    const TDateTimeParts t = DecodeDateTime(e.Time);
    std::snprintf(line, sizeof line,
                  "%3.3zu:  start pos=%" PRId64 ", stop pos=%" PRId64 ", size=%" PRId64
                  ", time=%04d-%02d-%02d %02d:%02d:%02d.%03d, type=%d\r\n",
                  n + 1, e.Start, e.Stop, e.Stop - e.Start, t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.millisecond, e.Type);
    text += line;
  }
  return text;
}

}  // namespace zrplay
