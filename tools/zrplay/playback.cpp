#include "tools/zrplay/playback.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace zrplay_tool {

namespace {

std::atomic<int> g_indexed{0};

void OnIndexBuilt(int32_t, ZR_USER) {
  g_indexed.fetch_add(1);
  g_indexed.notify_all();
}

void CountPicture(int32_t, const char*, int32_t, int32_t width, int32_t height, int32_t, int32_t,
                  int32_t) {
  Drawn().Width = width;
  Drawn().Height = height;
  ++Drawn().Pictures;
}

using TClock = std::chrono::steady_clock;

// Tells when the player has shown what it was given: once the expected count of pictures came
// and then a short while passed without another (a seek may show its key frame twice). While
// pictures are still due, a slow decoder (sanitizers, a busy machine) only makes the end come
// later; the long quiet time ends a run whose pictures stay missing (frames the decoder could
// not use).
class TQuietWatch {
 public:
  static constexpr auto kSettle = std::chrono::milliseconds(600);
  static constexpr auto kGiveUp = std::chrono::seconds(20);

  // Something is still to come: the quiet time starts again.
  void Restart() {
    last_pictures_ = Drawn().Pictures;
    last_change_ = TClock::now();
  }
  bool Drained(int64_t expected_pictures) {
    const int64_t pictures = Drawn().Pictures;
    if (pictures != last_pictures_) Restart();
    const auto quiet = TClock::now() - last_change_;
    if (pictures >= expected_pictures) return quiet > kSettle;
    return quiet > kGiveUp;
  }

 private:
  int64_t last_pictures_ = -1;
  TClock::time_point last_change_ = TClock::now();
};

// The stream input: frames are fed when their capture time comes, scaled by the speed; a
// seek or a step back starts again at the key frame before the target.
class TStreamPlayback final : public TPlayback {
 public:
  TStreamPlayback(quvi_tools::TPlayerApi& api, int32_t port, const TStreamFile& file,
                  bool file_mode)
      : TPlayback(api, port, file), file_mode_(file_mode) {}

  void Start(plat::HWND window) override {
    const int32_t head_size = static_cast<int32_t>(file_.Head.size());
    if (api_.Zr_Play_InitPlayer(port_, file_.Head.data(), head_size) != 0)
      throw TPlayError("the player refused the file's stream head");
    api_.Zr_Play_SetStreamOpenMode(port_, file_mode_ ? 1 : 0);
    if (api_.Zr_Play_OpenStream(port_, file_.Head.data(), head_size, 1 << 20) != 1)
      throw TPlayError("the player cannot open the stream");
    first_picture_ = Drawn().Pictures;
    api_.Zr_Play_SetDisplayCallBack(port_, DisplayCounter());
    if (api_.Zr_Play_Play(port_, window) != 1) throw TPlayError("the player cannot play");
    Restart(0);
  }

  void Tick() override {
    if (paused_) return;
    // In stream-file mode the player paces; feed a batch (the input waits while it is full).
    if (file_mode_) {
      for (int n = 0; n < 25 && next_ < file_.Frames.size(); ++n) Feed(next_);
      return;
    }
    const int64_t now = MediaNowMs();
    while (next_ < file_.Frames.size() && file_.Frames[next_].TimeMs <= now) Feed(next_);
  }

  bool Ended() override {
    if (next_ < file_.Frames.size()) {
      quiet_.Restart();
      return false;
    }
    // All fed: done once every video frame fed came out as a picture.
    return quiet_.Drained(first_picture_ + videos_fed_);
  }

  void SetPaused(bool paused) override {
    if (paused == paused_) return;
    paused_ = paused;
    if (!paused) Restart(next_);
  }

  void ChangeSpeed(int delta) override {
    const int64_t at = MediaNowMs();
    speed_ = std::clamp(speed_ + delta, -4, 4);
    anchor_media_ms_ = at;
    anchor_wall_ = TClock::now();
  }

  void StepForward() override {
    paused_ = true;
    while (next_ < file_.Frames.size()) {
      const bool video = file_.Frames[next_].Video;
      Feed(next_);
      if (video) break;
    }
  }

  void StepBack() override {
    paused_ = true;
    // The video frame before the last one fed.
    size_t target = next_;
    int videos = 0;
    while (target > 0 && videos < 2) {
      --target;
      if (file_.Frames[target].Video) ++videos;
    }
    GoTo(target);
  }

  void Seek(const TPlace& place) override {
    size_t target = 0;
    switch (place.Kind) {
      case TPlace::EKind::Frame:
        target = static_cast<size_t>(place.Value);
        break;
      case TPlace::EKind::TimeMs:
        target = file_.FrameAtTime(static_cast<int64_t>(place.Value));
        break;
      case TPlace::EKind::Position:
        target = file_.FrameAtTime(static_cast<int64_t>(place.Value * file_.DurationMs()));
        break;
    }
    target = std::min(target, file_.Frames.size() - 1);
    GoTo(target);
    if (!paused_) Restart(next_);
  }

  int64_t PlayedMs() override { return next_ == 0 ? 0 : file_.Frames[next_ - 1].TimeMs; }
  int32_t CurrentFrame() override { return static_cast<int32_t>(next_ == 0 ? 0 : next_ - 1); }

  void Stop() override {
    api_.Zr_Play_Stop(port_);
    api_.Zr_Play_CloseStream(port_);
  }

 private:
  void Feed(size_t i) {
    const TStreamFrame& f = file_.Frames[i];
    // A refused block is offered again a few times (the decoder's input may be full).
    for (int attempt = 0; attempt < 50; ++attempt) {
      if (api_.Zr_Play_InputData(port_, f.Block.data(), static_cast<int32_t>(f.Block.size())) ==
          1) {
        if (f.Video) ++videos_fed_;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    next_ = i + 1;
  }
  // Feeds from the key frame before the target up to it, at once.
  void GoTo(size_t target) {
    const size_t key = file_.KeyFrameBefore(target);
    for (size_t i = key; i <= target && i < file_.Frames.size(); ++i) Feed(i);
  }
  void Restart(size_t from) {
    anchor_media_ms_ = from < file_.Frames.size() ? file_.Frames[from].TimeMs : file_.DurationMs();
    anchor_wall_ = TClock::now();
  }
  int64_t MediaNowMs() const {
    const double elapsed =
        std::chrono::duration<double, std::milli>(TClock::now() - anchor_wall_).count();
    return anchor_media_ms_ + static_cast<int64_t>(elapsed * std::pow(2.0, speed_));
  }

  const bool file_mode_;
  size_t next_ = 0;
  int64_t anchor_media_ms_ = 0;
  TClock::time_point anchor_wall_ = TClock::now();
  int64_t first_picture_ = 0;  // pictures drawn before this port played
  int64_t videos_fed_ = 0;     // video frames the player took
  TQuietWatch quiet_;
};

// A record file opened by the player, which paces, seeks and steps by itself.
class TRecordPlayback final : public TPlayback {
 public:
  TRecordPlayback(quvi_tools::TPlayerApi& api, int32_t port, const TStreamFile& file,
                  std::string path)
      : TPlayback(api, port, file), path_(std::move(path)) {}

  void Start(plat::HWND window) override {
    if (api_.Zr_Play_InitPlayerByFile(port_, 0) != 0)
      throw TPlayError("the player has no free port");
    // Positions, seeks and play need the frame index the player builds after the open.
    const int indexed = g_indexed.load();
    api_.Zr_Play_SetFileRefCallBack(port_, &OnIndexBuilt, 0);
    if (api_.Zr_Play_OpenFile(port_, path_.c_str()) != 1)
      throw TPlayError("the player cannot open \"" + path_ + "\"");
    const auto deadline = TClock::now() + std::chrono::seconds(30);
    while (g_indexed.load() == indexed) {
      if (TClock::now() > deadline) throw TPlayError("the player did not index the file");
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    api_.Zr_Play_SetDisplayCallBack(port_, DisplayCounter());
    ShowFrom(0);
    if (api_.Zr_Play_Play(port_, window) != 1) throw TPlayError("the player cannot play");
  }

  void Tick() override {}

  bool Ended() override {
    const int32_t total = api_.Zr_Play_GetFileTotalFrames(port_);
    if (total <= 0 || api_.Zr_Play_GetCurrFrameNum(port_) < total - 1 || paused_) {
      quiet_.Restart();
      return false;
    }
    // The player read it all: done once its video frames from where it went on came out.
    return quiet_.Drained(first_picture_ + file_.VideoFramesFrom(from_));
  }

  void SetPaused(bool paused) override {
    paused_ = paused;
    api_.Zr_Play_Pause(port_, paused ? 1 : 0);
  }

  void ChangeSpeed(int delta) override {
    const int next = std::clamp(speed_ + delta, -4, 4);
    if (next == speed_) return;
    api_.Zr_Play_SetPlaySpeed(port_, speed_, next);
    speed_ = next;
  }

  void StepForward() override {
    paused_ = true;
    api_.Zr_Play_OneByOneForward(port_);
    ShowFrom(CurrentFrame());
  }

  void StepBack() override {
    paused_ = true;
    api_.Zr_Play_OneByOneBack(port_);
    ShowFrom(CurrentFrame());
  }

  void Seek(const TPlace& place) override {
    switch (place.Kind) {
      case TPlace::EKind::Frame:
        api_.Zr_Play_SetCurrFrameNum(port_, static_cast<int32_t>(place.Value));
        break;
      case TPlace::EKind::TimeMs:
        api_.Zr_Play_SetPlayedTimeEx(port_, static_cast<int32_t>(place.Value));
        break;
      case TPlace::EKind::Position:
        api_.Zr_Play_SetPlayedPos(port_, place.Value);
        break;
    }
    ShowFrom(CurrentFrame());
  }

  int64_t PlayedMs() override { return api_.Zr_Play_GetPlayedTimeEx(port_); }
  int32_t CurrentFrame() override { return api_.Zr_Play_GetCurrFrameNum(port_); }

  void Stop() override {
    api_.Zr_Play_Stop(port_);
    api_.Zr_Play_CloseFile(port_);
  }

 private:
  // The player shows on from frame `from` (a seek lands on a key frame, which the player
  // reports as its current frame): the pictures still to come are counted from there.
  void ShowFrom(int32_t from) {
    from_ = static_cast<size_t>(std::max(from, 0));
    first_picture_ = Drawn().Pictures;
  }

  const std::string path_;
  size_t from_ = 0;
  int64_t first_picture_ = 0;
  TQuietWatch quiet_;
};

}  // namespace

TPictureCount& Drawn() {
  static TPictureCount count;
  return count;
}

ZR_DISPLAY_CALLBACK DisplayCounter() {
  return &CountPicture;
}

std::unique_ptr<TPlayback> MakePlayback(EFeed feed, quvi_tools::TPlayerApi& api, int32_t port,
                                        const TStreamFile& file, const std::string& path) {
  if (feed == EFeed::RecordFile) return std::make_unique<TRecordPlayback>(api, port, file, path);
  return std::make_unique<TStreamPlayback>(api, port, file, feed == EFeed::StreamFileMode);
}

}  // namespace zrplay_tool
