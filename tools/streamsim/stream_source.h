// What a stream connection serves: the record files checked once when the server starts,
// a looping reader per connection whose capture times keep growing from loop to loop, and
// the catalogue that opens the right source (record file or generator) for a channel. The
// catalogue is read-only once built and shared by all connection threads; each opened
// source belongs to the one connection that streams it.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/recmake/frame_source.h"
#include "tools/recmake/record_file_reader.h"
#include "tools/streamsim/server_options.h"

namespace streamsim {

// A record file read through once: its stream head and the span of its capture times.
struct TRecordFileInfo {
  std::string Path;
  std::vector<uint8_t> StreamHead;  // the file head, or the default stream head without one
  uint64_t Frames = 0;
  int64_t FirstUs = 0;  // earliest capture time
  int64_t LastUs = 0;   // latest capture time
  int64_t StepUs = 0;   // mean distance of its video frames (of all frames without video)
};
// Throws TSimError naming the file when it is missing, unreadable, damaged or empty.
TRecordFileInfo ScanRecordFile(const std::string& path);

// The frames of a record file, and when looping the same frames again with their capture
// times moved on by the file's span and one frame step each time, so time never runs
// backwards. Throws TSimError when the file has become unreadable since it was scanned.
class TLoopingRecordFile : public recmake::TFrameSource {
 public:
  TLoopingRecordFile(const TRecordFileInfo& info, bool loop);
  bool Next(recmake::TRecordFrame& out) override;

 private:
  void Open();

  const TRecordFileInfo& info_;
  bool loop_;
  std::ifstream in_;
  std::optional<recmake::TRecordFileReader> reader_;
  int64_t shift_us_ = 0;
  bool any_in_pass_ = false;
};

// One connection's stream: its head and its frames.
struct TOpenedStream {
  std::vector<uint8_t> Head;
  std::unique_ptr<recmake::TFrameSource> Frames;
  std::string Description;  // the file's path, or "generator WxH@fps"
};

class TSourceCatalogue {
 public:
  // Scans every record file named and tries the generator settings when a channel uses
  // the generator; throws TSimError for the first source that cannot serve.
  explicit TSourceCatalogue(const TServerOptions& options);
  // The stream for a channel; throws TSimError (or recmake's error) when it cannot start.
  TOpenedStream Open(int32_t channel) const;

 private:
  const TSourceSpec& SpecFor(int32_t channel) const;
  std::unique_ptr<recmake::TFrameSource> MakeGenerator() const;

  TSourceSpec default_;
  std::map<int32_t, TSourceSpec> channels_;
  TGeneratorSettings generator_;
  bool loop_;
  std::map<std::string, TRecordFileInfo> files_;  // by path
};

}  // namespace streamsim
