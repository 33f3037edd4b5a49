// Test helpers for the channel: a decoder that records or refuses input, a collector of the
// player log's lines, frame blocks built from a few fields, fixture frames read from record
// files, and a scoped change of the player settings. Test code only.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "player/channel/frame_head.h"
#include "player/config/player_settings.h"
#include "player/media/video_decoder.h"
#include "player/player_log.h"
#include "player/record/file_reader.h"

namespace zrplay {

// Takes every input (or refuses it while Accept is false) and keeps a copy of what it took
// or was offered; the other calls succeed. Any thread.
class TFakeVideoDecoder final : public TVideoDecoder {
 public:
  std::atomic<bool> Accept{true};
  std::atomic<int> FastCalls{0};
  std::atomic<int> SlowCalls{0};

  std::vector<std::vector<uint8_t>> Inputs() const {
    std::lock_guard lock(lock_);
    return inputs_;
  }
  int InputCalls() const {
    std::lock_guard lock(lock_);
    return input_calls_;
  }
  int StopCalls() const { return stop_calls_.load(); }
  void ClearInputs() {
    std::lock_guard lock(lock_);
    inputs_.clear();
    input_calls_ = 0;
  }

  bool GetFreePort(int32_t& port) override {
    port = 0;
    return true;
  }
  bool ReleasePort(int32_t) override { return true; }
  bool SetStreamOpenMode(int32_t, uint32_t mode) override { return mode <= 1; }
  bool OpenStream(int32_t, uint32_t) override { return true; }
  bool InputData(int32_t, const uint8_t* data, uint32_t size) override {
    std::lock_guard lock(lock_);
    ++input_calls_;
    if (!Accept) return false;
    inputs_.emplace_back(data, data + size);
    return true;
  }
  bool CloseStream(int32_t) override { return true; }
  bool SetEngine(int32_t, int32_t, int32_t) override { return true; }
  bool Play(int32_t, VDEC_HWND) override { return true; }
  bool AntiAliasEnable(int32_t, bool) override { return true; }
  bool SetDecCBStream(int32_t, uint32_t) override { return true; }
  bool SetDecodeCallBack(int32_t, TDecodeHook, void*) override { return true; }
  bool Stop(int32_t) override {
    ++stop_calls_;
    return true;
  }
  bool Pause(int32_t, bool) override { return true; }
  bool Fast(int32_t) override {
    ++FastCalls;
    return true;
  }
  bool Slow(int32_t) override {
    ++SlowCalls;
    return true;
  }
  bool SetDisplayRegion(int32_t, uint32_t, const VDEC_RECT&, VDEC_HWND, bool) override {
    return true;
  }
  bool GetPictureSize(int32_t, int32_t& width, int32_t& height) override {
    width = height = 0;
    return false;
  }
  bool GetPicJPEG(int32_t, uint8_t*, uint32_t, uint32_t& produced, int32_t) override {
    produced = 0;
    return false;
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::vector<uint8_t>> inputs_;
  int input_calls_ = 0;
  std::atomic<int> stop_calls_{0};
};

// Every player log line written while it lives, in order.
class TLogLines {
 public:
  TLogLines() {
    SetLogListener([this](const std::string& text) {
      std::lock_guard lock(lock_);
      lines_.push_back(text);
    });
  }
  ~TLogLines() { SetLogListener(nullptr); }
  TLogLines(const TLogLines&) = delete;
  TLogLines& operator=(const TLogLines&) = delete;

  std::vector<std::string> Lines() const {
    std::lock_guard lock(lock_);
    return lines_;
  }
  // The lines that start with prefix (one channel's), without it.
  std::vector<std::string> LinesAfter(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& line : Lines()) {
      if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
    }
    return out;
  }
  void Clear() {
    std::lock_guard lock(lock_);
    lines_.clear();
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
};

// One frame block: head fields, payload (a counting pattern unless given) and overlays.
struct TBlockSpec {
  uint8_t codec = kCodecH264;
  uint8_t type = 3;
  int32_t seconds = 1733819400;  // 2024-12-10 08:30:00
  int32_t microseconds = 0;
  uint32_t payload = 100;
  int64_t declared = -1;  // payload length written in the head; -1: the real one
  std::vector<TOverlayRecord> overlays = {};
  int64_t declared_overlays = -1;  // overlay count written in the head; -1: the real one
};

inline std::vector<uint8_t> MakeBlock(const TBlockSpec& s) {
  TFrameHead h = MakeFrameHead();
  h.Codec = s.codec;
  h.FrameType = s.type;
  h.Seconds = s.seconds;
  h.Microseconds = s.microseconds;
  h.PayloadLength = s.declared >= 0 ? static_cast<uint32_t>(s.declared) : s.payload;
  h.OverlayCount =
      static_cast<uint8_t>(s.declared_overlays >= 0 ? s.declared_overlays : s.overlays.size());
  std::vector<uint8_t> block(sizeof h);
  std::memcpy(block.data(), &h, sizeof h);
  for (uint32_t i = 0; i < s.payload; ++i) block.push_back(static_cast<uint8_t>(i * 7 + 3));
  for (const TOverlayRecord& r : s.overlays) {
    const auto* p = reinterpret_cast<const uint8_t*>(&r);
    block.insert(block.end(), p, p + sizeof r);
  }
  return block;
}

// A block's capture time moved on by ms milliseconds from its description's.
inline TBlockSpec At(TBlockSpec s, int64_t ms) {
  const int64_t us = int64_t{s.microseconds} + ms * 1000;
  int64_t seconds = us / 1000000;
  int64_t rest = us % 1000000;
  if (rest < 0) {
    rest += 1000000;
    --seconds;
  }
  s.seconds = static_cast<int32_t>(s.seconds + seconds);
  s.microseconds = static_cast<int32_t>(rest);
  return s;
}

// Every frame of a record file in the test data folder, as whole blocks.
struct TFixtureFrame {
  TFrameHead head;
  std::vector<uint8_t> block;
  bool IsVideo() const { return head.Codec >= 1 && head.Codec <= 6 && head.FrameType != 5; }
};

inline std::vector<TFixtureFrame> ReadFixture(const std::string& name) {
  TFileReader reader;
  std::vector<TFixtureFrame> frames;
  const std::string path = std::string(QUVI_TEST_DATA_DIR) + "/" + name;
  EXPECT_TRUE(reader.Open(path)) << path;
  EXPECT_TRUE(reader.BuildIndex()) << path;
  for (int i = 0; i < reader.FrameCount(); ++i) {
    TFixtureFrame f;
    f.block.resize(static_cast<size_t>(reader.FrameSize(i)));
    EXPECT_TRUE(reader.ReadFrame(f.block.data(), i));
    f.head = ReadFrameHead(f.block.data());
    frames.push_back(std::move(f));
  }
  return frames;
}

inline TFixtureFrame FirstVideoFrame(const std::vector<TFixtureFrame>& frames) {
  for (const TFixtureFrame& f : frames) {
    if (f.IsVideo()) return f;
  }
  ADD_FAILURE() << "no video frame";
  return {MakeFrameHead(), std::vector<uint8_t>(kFrameHeadSize)};
}

// The lines HexDumpToLog writes for these bytes.
inline std::vector<std::string> HexLines(const uint8_t* bytes, size_t count) {
  std::vector<std::string> lines;
  std::string line;
  char piece[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(piece, sizeof piece, "%2.2X ", bytes[i]);
    line += piece;
    if (i % 16 == 15) {
      lines.push_back(line);
      line.clear();
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// True for "decode failed, error count=<count>, type=0x<type>, size=<size>, cost time <n> ms!"
// behind the prefix, whatever the time.
inline bool IsDecodeFailedLine(const std::string& line, const std::string& prefix, int count,
                               uint8_t type, uint32_t size) {
  char head[128];
  std::snprintf(head, sizeof head,
                "decode failed, error count=%d, type=0x%02X, size=%u, cost time ", count, type,
                size);
  const std::string start = prefix + head;
  if (line.rfind(start, 0) != 0) return false;
  const std::string rest = line.substr(start.size());
  return std::regex_match(rest, std::regex(R"(\d+ ms!)"));
}

// Changes the process-wide player settings for one test.
class TSettingsScope {
 public:
  TSettingsScope() : saved_(PlayerSettings) {}
  ~TSettingsScope() { PlayerSettings = saved_; }
  TSettingsScope(const TSettingsScope&) = delete;
  TSettingsScope& operator=(const TSettingsScope&) = delete;

 private:
  TPlayerSettings saved_;
};

}  // namespace zrplay
