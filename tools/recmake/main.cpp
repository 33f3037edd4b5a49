// recmake: writes record stream files from media files or a generated test pattern, and
// lists the frames of record files. See RecmakeHelpText for the options.
#include <unistd.h>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <memory>

#include "tools/recmake/recmake_options.h"
#include "tools/recmake/record_file_reader.h"
#include "tools/recmake/record_file_writer.h"
#include "tools/recmake/video_rate.h"

namespace {

using namespace recmake;

int ListFile(const TRecmakeOptions& o) {
  std::ifstream in(o.Input, std::ios::binary);
  if (!in) throw TRecmakeError("cannot open \"" + o.Input + "\"");
  TRecordFileReader reader(in);
  std::printf("file head: %s\n", reader.HasFileHead() ? "yes (64 bytes)" : "none");
  std::printf("%6s %10s %4s %5s %8s %-23s %s\n", "frame", "offset", "type", "codec", "payload",
              "capture time", "details");
  TRecordFrame f;
  TVideoRateMeter rate;
  uint64_t frames = 0, video = 0, keys = 0, audio = 0;
  int64_t first_us = 0, last_us = 0;
  TRecordFileReader::EResult r;
  while ((r = reader.Next(f)) == TRecordFileReader::EResult::Frame) {
    std::string details;
    const zrplay::TFrameHead& h = f.Head;
    if (f.IsAudio()) {
      ++audio;
      details = "format " + std::to_string(h.AudioFormat) + ", " + std::to_string(h.AudioChannels) +
                " ch, " + std::to_string(h.AudioBits) + " bits, " + std::to_string(h.SampleRate) +
                " Hz";
    } else if (f.IsVideo()) {
      ++video;
      if (f.IsKey()) ++keys;
    }
    if (h.OverlayCount > 0) {
      details += (details.empty() ? "" : ", ") + std::to_string(h.OverlayCount) + " overlay(s) " +
                 (h.OverlayEncoding == 1 ? "UTF-8" : "code page");
      for (const zrplay::TOverlayRecord& rec : f.Overlays) {
        details += " [" + std::to_string(rec.X) + "," + std::to_string(rec.Y) + " \"" +
                   std::string(rec.Text, strnlen(rec.Text, sizeof rec.Text)) + "\"]";
      }
    }
    if (h.Rotation == 1) details += (details.empty() ? "" : ", ") + std::string("rotated");
    rate.Add(f);
    if (frames == 0) first_us = f.TimeUs();
    last_us = f.TimeUs();
    std::printf("%6" PRIu64 " %10" PRIu64 " %4u  0x%02X %8u %-23s %s\n", frames,
                reader.FrameOffset(), h.FrameType, h.Codec, h.PayloadLength,
                FormatCaptureTime(f.TimeUs()).c_str(), details.c_str());
    ++frames;
  }
  std::printf("%" PRIu64 " frames: %" PRIu64 " video (%" PRIu64 " key), %" PRIu64
              " audio; %.3f s; video %.0f kbit/s\n",
              frames, video, keys, audio, (last_us - first_us) / 1e6, rate.KbitPerSecond());
  if (r == TRecordFileReader::EResult::Error) {
    throw TRecmakeError("\"" + o.Input + "\" is damaged: " + reader.ErrorText());
  }
  return 0;
}

int Make(const TRecmakeOptions& o) {
  int64_t now = LocalNowUs();
  std::unique_ptr<TFrameSource> source;
  std::string description;
  if (o.Mode == ERecmakeMode::Generate) {
    TGeneratorOptions g = MakeGeneratorOptions(o, now);
    source = std::make_unique<TStreamGenerator>(g);
    description = "generated " + std::to_string(g.Width) + "x" + std::to_string(g.Height);
  } else {
    auto file = std::make_unique<TMediaFileSource>(MakeFileSourceOptions(o, now));
    description = file->Description();
    source = std::move(file);
  }
  TRecordFileWriter writer(o.Output, o.FileHead);
  try {
    TRecordFrame f;
    TVideoRateMeter rate;
    uint64_t video = 0, audio = 0;
    while (source->Next(f)) {
      o.Extras.ApplyTo(f);
      writer.Write(f);
      rate.Add(f);
      (f.IsAudio() ? audio : video) += 1;
    }
    writer.Close();
    if (writer.FramesWritten() == 0) throw TRecmakeError("the input gave no frames to write");
    if (!o.Quiet) {
      std::printf("recmake: wrote %" PRIu64 " frames (%" PRIu64 " video, %" PRIu64
                  " audio), %" PRIu64 " bytes, to %s; %s; video %.0f kbit/s\n",
                  writer.FramesWritten(), video, audio, writer.BytesWritten(), o.Output.c_str(),
                  description.c_str(), rate.KbitPerSecond());
    }
  } catch (...) {
    // A half-written record file would look like a good one to the next program.
    unlink(o.Output.c_str());
    throw;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TRecmakeOptions options;
  try {
    options = ParseRecmakeArgs(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const TRecmakeError& e) {
    std::fprintf(stderr, "recmake: %s\nTry 'recmake --help' for the options.\n", e.what());
    return 2;
  }
  SetAvLogLevel(options.Verbose);
  try {
    switch (options.Mode) {
      case ERecmakeMode::Help:
        std::fputs(RecmakeHelpText().c_str(), stdout);
        return 0;
      case ERecmakeMode::Version:
        std::printf("recmake 1.0 (libavformat %s, libavcodec %s)\n",
                    AV_STRINGIFY(LIBAVFORMAT_VERSION), AV_STRINGIFY(LIBAVCODEC_VERSION));
        return 0;
      case ERecmakeMode::List:
        return ListFile(options);
      default:
        return Make(options);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "recmake: error: %s\n", e.what());
    return 1;
  }
}
