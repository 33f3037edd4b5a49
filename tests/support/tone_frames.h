// Test support: the frames of a record stream holding only recmake's generated tone in one
// of the carried audio codecs (an octave higher for the first tenth of every second).
// Header only over recmake's library (link quvi_recmake_lib). Any thread.
#pragma once

#include <vector>

#include "tools/recmake/record_frame.h"
#include "tools/recmake/stream_generator.h"

namespace quvi_test {

inline constexpr double kToneHz = 500;

inline std::vector<recmake::TRecordFrame> ToneFrames(recmake::EAudioCodec codec, double seconds,
                                                     int channels = 1) {
  recmake::TGeneratorOptions options;
  options.WithVideo = false;
  options.Audio = codec;
  options.AudioChannels = channels;
  options.ToneHz = kToneHz;
  options.DurationSec = seconds;
  options.StartUs = int64_t{1733819400} * 1000000;  // 2024-12-10 08:30:00
  recmake::TStreamGenerator generator(options);
  std::vector<recmake::TRecordFrame> frames;
  recmake::TRecordFrame frame;
  while (generator.Next(frame)) frames.push_back(frame);
  return frames;
}

}  // namespace quvi_test
