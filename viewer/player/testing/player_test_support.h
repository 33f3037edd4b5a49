// Test helpers for the player objects and the play thread: play packages built in memory,
// a small view model, a capture of the viewer log's lines, and access to the recording
// stand-in of the player library that the proxy module loads. Used on the test's thread,
// except where a member says otherwise.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "viewer/pipeline/pipeline_model.h"
#include "viewer/protocol/packages.h"

namespace viewer::testing {

// A play package as the reader leaves it: Data = three words, frame type and frame length
// (big-endian), the media bytes, then `trailing` bytes after the media.
std::unique_ptr<TAbstractPackage> MakePlayPackage(int32_t frame_type,
                                                  const std::vector<uint8_t>& media,
                                                  size_t trailing = 0);
// Media bytes whose first byte tells packages apart in the recorder's lines ("head=<tag>.").
std::vector<uint8_t> TaggedMedia(uint8_t tag, size_t size = 16);

// A view model: plays until told otherwise, counts what the pipeline calls. Any thread.
class TTestModel : public TPipelineModel {
 public:
  std::string DVRID() override { return "-1"; }
  int32_t LinkMode() override { return 1; }
  int32_t PortNo() override { return 0; }
  int32_t ChannelNo() override { return Channel; }
  bool Playing() override { return IsPlaying; }
  bool DropWhenFull() override { return true; }
  uint32_t LastDataTick() override { return 0; }
  void MarkDataTime() override { ++DataMarks; }
  void SetStatus(int32_t) override {}
  void NotifyStatus(int32_t) override {}
  void FirePlayEnd() override { ++PlayEnds; }
  bool AudioPlaying() override { return Audio; }
  bool OpenSound() override {
    ++SoundOpens;
    return true;
  }

  int32_t Channel = 7;
  std::atomic<bool> IsPlaying{true};
  std::atomic<bool> Audio{false};
  std::atomic<int> DataMarks{0};
  std::atomic<int> PlayEnds{0};
  std::atomic<int> SoundOpens{0};
};

// Collects the texts written to the viewer log while it lives. Any thread writes.
class TLogCapture {
 public:
  TLogCapture();
  ~TLogCapture();
  TLogCapture(const TLogCapture&) = delete;
  TLogCapture& operator=(const TLogCapture&) = delete;

  std::vector<std::string> Lines();
  void Clear();
  // Lines that contain the text.
  int Count(const std::string& text);
  bool Has(const std::string& text) { return Count(text) > 0; }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

// The recording stand-in of the player library as loaded by the proxy module.
class TRecorder {
 public:
  // Points the binding at the proxy module, and the proxy at the recorder; loads both.
  // Call before anything else uses the binding. False when either cannot be loaded.
  static bool Attach();

  static std::vector<std::string> Calls();
  // Calls whose line starts with the prefix ("Zr_Play_InputData(").
  static std::vector<std::string> CallsOf(const std::string& prefix);
  static void Reset();
  static void SetResult(const char* name, int32_t result);
  static void SetEncodeInfo(int32_t codec, int32_t width, int32_t height);
};

}  // namespace viewer::testing
