// TSoundPlayer: one player of the sound module. It keeps the current format, hands frames to
// its sink (at once for a sink that takes them at once; through a bounded queue and an output
// thread for a sink that plays at the device's pace, dropping and counting frames when the
// queue is full) and writes what is played to the WAV file when given one.
// Any thread may call; one lock guards format and queue. Owns the sink, the output thread and
// the WAV writer.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "modules/qeldsound/sound_format.h"
#include "modules/qeldsound/sound_sink.h"
#include "modules/qeldsound/wav_writer.h"

namespace qelsound {

class TSoundPlayer {
 public:
  // wav_path "" writes no file. queue_ms bounds the sound waiting for a paced sink.
  TSoundPlayer(std::unique_ptr<TSoundSink> sink, const std::string& wav_path, int queue_ms);
  // Ends the output thread without playing what is still queued, then closes the WAV file.
  ~TSoundPlayer();
  TSoundPlayer(const TSoundPlayer&) = delete;
  TSoundPlayer& operator=(const TSoundPlayer&) = delete;

  // False (nothing changed) for a format that is not Valid().
  bool SetFormat(const TSoundFormat& format);

  enum class EPlay { Played, Dropped, Refused };
  // Played: handed to the sink or queued for it. Refused: no format yet, or fewer bytes than
  // a sample frame.
  EPlay Play(const uint8_t* data, size_t size);

  uint64_t DroppedFrames() const;
  // Bytes handed to the sink so far.
  uint64_t PlayedBytes() const;

 private:
  struct TQueued {
    TSoundFormat Format;
    std::vector<uint8_t> Samples;
  };
  // Opens the sink for the format when it changed, writes, and copies to the WAV file.
  void Output(const TSoundFormat& format, const uint8_t* data, size_t size);
  void RunOutput();

  std::unique_ptr<TSoundSink> sink_;
  std::optional<TWavWriter> wav_;
  const int queue_ms_;

  mutable std::mutex lock_;
  std::condition_variable queued_;
  TSoundFormat format_;
  std::deque<TQueued> queue_;
  size_t queued_bytes_ = 0;
  bool stopping_ = false;
  uint64_t dropped_ = 0;

  // Used by whichever thread outputs (the caller's for an unpaced sink, else the output
  // thread); guarded by output_lock_.
  mutable std::mutex output_lock_;
  std::optional<TSoundFormat> sink_format_;
  bool sink_open_ = false;
  uint64_t played_bytes_ = 0;

  std::thread output_thread_;
};

}  // namespace qelsound
