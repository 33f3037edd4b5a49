// zrplay: plays a record stream file through the player library's exports, in a desktop
// window when a display exists and headless otherwise. See ZrplayHelpText for the options.
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "platform/gdi.h"
#include "platform/messages.h"
#include "player/record/file_reader.h"
#include "tools/common/player_library.h"
#include "tools/zrplay/display.h"
#include "tools/zrplay/playback.h"
#include "tools/zrplay/stream_file.h"
#include "tools/zrplay/zrplay_options.h"

namespace {

using namespace zrplay_tool;
using TClock = std::chrono::steady_clock;

constexpr int32_t kPort = 0;

// The size of the file's pictures: its first pictures decoded headless through the library.
void ProbePictureSize(quvi_tools::TPlayerApi& api, const TStreamFile& file, int32_t& width,
                      int32_t& height) {
  const int64_t before = Drawn().Pictures;
  auto probe = MakePlayback(EFeed::StreamFileMode, api, kPort, file, "");
  probe->Start(0);
  const auto deadline = TClock::now() + std::chrono::seconds(30);
  size_t fed = 0;
  while (Drawn().Pictures == before && TClock::now() < deadline) {
    if (fed++ < 50) probe->StepForward();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  probe->Stop();
  width = Drawn().Width;
  height = Drawn().Height;
  if (Drawn().Pictures == before) throw TPlayError("the player decoded no picture of the file");
}

int PrintIndex(const std::string& path) {
  zrplay::TFileReader reader;
  reader.SetLogSink([](const std::string&) {});
  if (!reader.Open(path) || !reader.BuildIndex())
    throw TPlayError("\"" + path + "\" holds no frames the player can index");
  std::string listing = reader.IndexListing();
  for (size_t at; (at = listing.find('\r')) != std::string::npos;) listing.erase(at, 1);
  std::cout << listing;
  return 0;
}

int PrintInfo(quvi_tools::TPlayerApi& api, const TZrplayOptions& o, const TStreamFile& file) {
  int32_t width = 0, height = 0;
  ProbePictureSize(api, file, width, height);
  std::printf("file: %s\n", o.File.c_str());
  std::printf("frames: %zu (video %d, key %d, audio %d)\n", file.Frames.size(), file.VideoFrames,
              file.KeyFrames, file.AudioFrames);
  std::printf("duration: %.3f s\n", file.DurationMs() / 1000.0);
  std::printf("picture size: %dx%d\n", width, height);
  std::printf("video codec: %s\n", CodecName(file.VideoCodec).c_str());
  std::printf("audio codec: %s\n", CodecName(file.AudioCodec).c_str());
  return 0;
}

// The frame index a place stands for in the file.
size_t FrameOfPlace(const TStreamFile& file, const TPlace& place) {
  switch (place.Kind) {
    case TPlace::EKind::Frame:
      return static_cast<size_t>(place.Value);
    case TPlace::EKind::TimeMs:
      return file.FrameAtTime(static_cast<int64_t>(place.Value));
    case TPlace::EKind::Position:
      return file.FrameAtTime(static_cast<int64_t>(place.Value * file.DurationMs()));
  }
  return 0;
}

class TSnapshots {
 public:
  explicit TSnapshots(std::string file) : file_(std::move(file)) {}
  // Writes the picture shown now; the file name, or "" when the player could not.
  std::string Take(quvi_tools::TPlayerApi& api) {
    std::string name = file_;
    ++count_;
    if (name.empty())
      name = "zrplay-snapshot-" + std::to_string(count_) + ".jpg";
    else if (count_ > 1) {
      const size_t dot = name.rfind('.');
      name.insert(dot == std::string::npos ? name.size() : dot, "-" + std::to_string(count_));
    }
    // The player reads the name from an array of 512 characters.
    std::array<char, 512> chars{};
    if (name.size() >= chars.size()) return "";
    std::memcpy(chars.data(), name.data(), name.size());
    return api.Zr_Play_CaptureImage(kPort, chars.data()) == 1 ? name : "";
  }

 private:
  std::string file_;
  int count_ = 0;
};

int Play(quvi_tools::TPlayerApi& api, const TZrplayOptions& o, const TStreamFile& file) {
  std::optional<size_t> snapshot_frame;
  if (o.SnapshotAt) {
    snapshot_frame = FrameOfPlace(file, *o.SnapshotAt);
    if (*snapshot_frame >= file.Frames.size())
      throw TPlayError("the snapshot place lies beyond the end of the file");
  }
  int32_t width = 0, height = 0;
  ProbePictureSize(api, file, width, height);
  const plat::HWND window = plat::CreateWindowHandle();
  plat::MoveWindow(window, 0, 0, width, height);
  auto display = OpenDisplay(!o.Headless, width, height, "zrplay - " + o.File);
  auto playback = MakePlayback(o.Feed, api, kPort, file, o.File);
  playback->Start(window);
  api.Zr_Play_OpenSound(kPort);
  if (o.Seek) playback->Seek(*o.Seek);
  if (o.Speed != 0) playback->ChangeSpeed(o.Speed);

  TSnapshots snapshots(o.SnapshotFile);
  const bool tty = ::isatty(1);
  int64_t snapshot_pictures = -1;  // pictures drawn when the snapshot place was reached
  bool snapshot_failed = false;
  const int64_t first_picture = Drawn().Pictures;
  auto next_progress = TClock::now();
  auto next_present = TClock::now();
  bool quit = false;
  while (!quit) {
    for (const TCommand& c : display->Poll()) {
      using K = TCommand::EKind;
      switch (c.Kind) {
        case K::Quit:
          quit = true;
          break;
        case K::Pause:
          playback->SetPaused(!playback->Paused());
          break;
        case K::Faster:
          playback->ChangeSpeed(1);
          break;
        case K::Slower:
          playback->ChangeSpeed(-1);
          break;
        case K::StepForward:
          playback->StepForward();
          break;
        case K::StepBack:
          playback->StepBack();
          break;
        case K::SeekPosition:
          playback->Seek({TPlace::EKind::Position, c.Position});
          break;
        case K::Snapshot: {
          const std::string name = snapshots.Take(api);
          std::printf("%s\n", name.empty() ? "snapshot failed" : ("snapshot: " + name).c_str());
          break;
        }
      }
    }
    playback->Tick();
    const int64_t pictures = Drawn().Pictures - first_picture;
    if (snapshot_frame && static_cast<size_t>(playback->CurrentFrame()) >= *snapshot_frame) {
      // Taken once a picture from there on was drawn.
      if (snapshot_pictures < 0) snapshot_pictures = pictures;
      if (pictures > snapshot_pictures) {
        const std::string name = snapshots.Take(api);
        if (name.empty()) snapshot_failed = true;
        std::printf("%s\n", name.empty() ? "snapshot failed" : ("snapshot: " + name).c_str());
        snapshot_frame.reset();
      }
    }
    const bool frames_done = o.Frames > 0 && pictures >= o.Frames;
    const bool ended = frames_done || playback->Ended();
    const auto now = TClock::now();
    if (display->Visible() && (now >= next_present || ended)) {
      display->Present(window);
      next_present = now + std::chrono::milliseconds(33);
    }
    if (!o.Quiet && (now >= next_progress || ended)) {
      std::printf("%8.2f s / %.2f s  frame %d/%zu  pictures %lld  speed %d%s%s",
                  playback->PlayedMs() / 1000.0, file.DurationMs() / 1000.0,
                  playback->CurrentFrame(), file.Frames.size(), static_cast<long long>(pictures),
                  playback->Speed(), playback->Paused() ? "  [paused]" : "", tty ? "   \r" : "\n");
      std::fflush(stdout);
      next_progress = now + std::chrono::milliseconds(250);
    }
    if (ended) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (tty && !o.Quiet) std::printf("\n");
  playback->Stop();
  display.reset();
  plat::DestroyWindowHandle(window);
  if (snapshot_frame) {
    std::fprintf(stderr, "zrplay: the snapshot place lies beyond what was played\n");
    return 1;
  }
  if (snapshot_failed) {
    std::fprintf(stderr, "zrplay: the player could not take the snapshot\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TZrplayOptions o;
  try {
    o = ParseZrplayArgs(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "zrplay: %s\nTry 'zrplay --help'.\n", e.what());
    return 2;
  }
  if (o.Mode == EZrplayMode::Help) {
    std::cout << ZrplayHelpText();
    return 0;
  }
  try {
    if (o.Mode == EZrplayMode::Index) return PrintIndex(o.File);
    const TStreamFile file = ReadStreamFile(o.File);
    // The sound module writes what it plays to this file.
    if (!o.Wav.empty()) ::setenv("QELDSOUND_WAV", o.Wav.c_str(), 1);
    quvi_tools::TPlayerApi api;
    if (!api.LoadInstalled() || !api.AllFound()) throw TPlayError("cannot load the player library");
    const int code = o.Mode == EZrplayMode::Info ? PrintInfo(api, o, file) : Play(api, o, file);
    api.Unload();
    return code;
  } catch (const TPlayError& e) {
    std::fprintf(stderr, "zrplay: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zrplay: %s\n", e.what());
    return 1;
  }
}
