// The record files the live benchmarks play and decode: a typical recorder stream made once
// by recmake (704x576, 25 fps, H.264 really carrying the asked bit rate thanks to moving
// texture and noise, GOP 50, G.711 audio), and the video frames of a record file for bare
// decoding. Any thread; owns nothing.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "modules/vdec/test_stream_encoder.h"
#include "tools/recmake/record_file_reader.h"

namespace bench_support {

// Makes the recorder stream file in `dir` with the recmake program at `recmake` unless it is
// there already; returns its path, or "" (with the reason on stderr) when recmake failed.
inline std::string MakeRecorderStream(const std::string& recmake, const std::string& dir, int kbit,
                                      int detail) {
  std::filesystem::create_directories(dir);
  const std::string path =
      dir + "/live_d1_" + std::to_string(kbit) + "k_d" + std::to_string(detail) + ".rec";
  if (std::filesystem::exists(path)) return path;
  const std::string command = recmake +
                              " -q --generate --size 704x576 --fps 25 --gop 50 --threads 1"
                              " --duration 20 -a g711u --bitrate " +
                              std::to_string(kbit) + " --detail " + std::to_string(detail) +
                              " -o " + path + ".part";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "recmake failed: %s\n", command.c_str());
    return "";
  }
  std::filesystem::rename(path + ".part", path);
  return path;
}

// The video frames of the record file at `path`, as a stream of the given picture size.
inline vdec::testing::TEncodedStream RecordVideo(const std::string& path, int width, int height) {
  std::ifstream in(path, std::ios::binary);
  recmake::TRecordFileReader reader(in);
  vdec::testing::TEncodedStream stream;
  recmake::TRecordFrame frame;
  while (reader.Next(frame) == recmake::TRecordFileReader::EResult::Frame) {
    if (frame.IsVideo()) stream.frames.push_back(frame.Payload);
  }
  stream.width = width;
  stream.height = height;
  return stream;
}

}  // namespace bench_support
