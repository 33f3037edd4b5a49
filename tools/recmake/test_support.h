// Helpers for recmake's tests: temporary folders, reading record files back, decoding
// their video and audio payloads with libavcodec, writing media files to convert, and
// running the built program. Test code only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "tools/recmake/av_util.h"
#include "tools/recmake/frame_source.h"
#include "tools/recmake/record_frame.h"

namespace recmake::test {

using TTempDir = quvi_test::TTempDir;

struct TRecordFile {
  bool HasFileHead = false;
  std::vector<uint8_t> FileHead;
  std::vector<TRecordFrame> Frames;
  std::string Error;  // empty when the file read cleanly to its end

  std::vector<const TRecordFrame*> Video() const;
  std::vector<const TRecordFrame*> Audio() const;
};
TRecordFile ReadRecordFile(const std::string& path);
// Writes every frame of the source to path with recmake's writer, then reads the file back.
TRecordFile WriteAndReadBack(TFrameSource& source, const std::string& path);

// Decodes the payloads in order with a fresh decoder; returns the size of every picture
// (width, height) it gave. Throws when the decoder reports an error.
std::vector<std::pair<int, int>> DecodeVideo(AVCodecID codec,
                                             const std::vector<const TRecordFrame*>& frames);
// Decodes the payloads and returns the luma plane of the last picture (width x height).
std::vector<uint8_t> DecodeLastLuma(AVCodecID codec, const std::vector<const TRecordFrame*>& frames,
                                    int& width, int& height);

// Decodes audio frames of the given record codec byte with libavcodec's decoder for the
// packing recmake uses; returns the first channel as 16-bit samples.
std::vector<int16_t> DecodeAudio(uint8_t codec_byte,
                                 const std::vector<const TRecordFrame*>& frames);
// Frequency of a tone from its zero crossings over samples [from, to).
double ToneFrequency(const std::vector<int16_t>& samples, int rate, size_t from, size_t to);

// NAL unit types of an Annex-B payload, in order.
std::vector<int> NalTypes(bool h265, const std::vector<uint8_t>& payload);

struct TMediaSpec {
  std::string Path;
  std::string Format;        // libavformat muxer name; "h264" writes a raw Annex-B file
  std::string VideoEncoder;  // "" for none
  bool GlobalHeader = true;  // parameter sets out of band, as MP4 keeps them
  int Width = 320, Height = 240, Fps = 25, Gop = 25;
  std::string AudioEncoder;  // "" for none
  int AudioRate = 8000, AudioChannels = 1;
  double Seconds = 2;
};
// Writes a media file with the pattern and a 500 Hz tone; throws on failure.
void WriteMediaFile(const TMediaSpec& media);

struct TRunResult {
  int ExitCode = -1;
  std::string Output;  // stdout and stderr together
};
TRunResult RunRecmake(const std::vector<std::string>& args);

bool FileExists(const std::string& path);

}  // namespace recmake::test
