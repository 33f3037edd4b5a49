// Key frames carrying arbitrary text overlay records through a playing channel that draws
// them (EnableOSD and ShowAlarmZone on): record count, record size, encoding and rotation
// bytes, coordinates and text bytes all come from the input, and so may the watermark and the
// scene text. Each frame is decoded and its overlay pass has run before the next input.
// Input: a picture byte (two picture sizes), count, record size, encoding, rotation, a flags
// byte (watermark, scene text, OSD colour), then the bytes behind the payload (the records).
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "modules/vdec/test_stream_encoder.h"
#include "player/channel/channel.h"
#include "player/config/player_settings.h"

namespace {

using zrplay::TChannel;

// Counts the pictures that went through the overlay pass.
struct TPictureCount {
  std::mutex lock;
  std::condition_variable cv;
  uint64_t count = 0;

  static void Dec(int32_t, const char*, int32_t, const ZR_FRAME_INFO*, ZR_USER user, int32_t) {
    auto* self = reinterpret_cast<TPictureCount*>(user);
    std::lock_guard guard(self->lock);
    ++self->count;
    self->cv.notify_all();
  }
  uint64_t Now() {
    std::lock_guard guard(lock);
    return count;
  }
  bool WaitPast(uint64_t seen) {
    std::unique_lock guard(lock);
    return cv.wait_for(guard, std::chrono::seconds(30), [&] { return count > seen; });
  }
};

struct TFuzzChannel {
  TPictureCount pictures;
  TChannel* channel = nullptr;
  std::vector<std::vector<uint8_t>> key_frames;  // one encoded key frame per picture size
};

TFuzzChannel& Setup() {
  static TFuzzChannel* const setup = [] {
    av_log_set_level(AV_LOG_QUIET);
    auto* s = new TFuzzChannel;
    for (const auto& [w, h] : {std::pair{64, 48}, std::pair{176, 144}}) {
      auto stream = vdec::testing::EncodeTestStream("libx264", w, h, 1);
      if (!stream || stream->frames.empty()) std::abort();
      s->key_frames.push_back(stream->frames[0]);
    }
    zrplay::PlayerSettings.EnableOSD = true;
    zrplay::PlayerSettings.ShowAlarmZone = true;
    int32_t vendor_port = -1;
    if (!zrplay::VendorVideoDecoder().GetFreePort(vendor_port)) std::abort();
    // Lives for the whole run, played the way callers play it.
    s->channel = new TChannel(1, vendor_port);
    s->channel->SetDecCallBackEx(&TPictureCount::Dec, reinterpret_cast<ZR_USER>(&s->pictures));
    if (s->channel->Play(0) != 1) std::abort();
    return s;
  }();
  return *setup;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzChannel& s = Setup();
  if (size < 6) return 0;
  const std::vector<uint8_t>& payload = s.key_frames[data[0] % s.key_frames.size()];
  const uint8_t flags = data[5];
  const uint8_t* rest = data + 6;
  const size_t rest_size = size - 6;

  zrplay::PlayerSettings.EnableOSDColor = (flags & 4) != 0;
  const std::string rest_text(reinterpret_cast<const char*>(rest), rest_size);
  if ((flags & 1) != 0) s.channel->SetWatermark(rest_text.substr(0, 24).c_str());
  if ((flags & 2) != 0) s.channel->SetSceneInfo(rest_text.substr(0, 120).c_str());
  if ((flags & 8) != 0) s.channel->SetWatermark("");

  zrplay::TFrameHead head = zrplay::MakeFrameHead();
  head.Codec = zrplay::kCodecH264;
  head.FrameType = 2;
  head.PayloadLength = static_cast<uint32_t>(payload.size());
  head.OverlayCount = data[1];
  head.OverlaySize = data[2];
  head.OverlayEncoding = data[3];
  head.Rotation = data[4];
  // An exact-size block, so any read past the records is caught.
  std::vector<uint8_t> block(sizeof head + payload.size() + rest_size);
  std::memcpy(block.data(), &head, sizeof head);
  std::memcpy(block.data() + sizeof head, payload.data(), payload.size());
  if (rest_size > 0) std::memcpy(block.data() + sizeof head + payload.size(), rest, rest_size);

  const uint64_t seen = s.pictures.Now();
  if (s.channel->InputVideoData(block.data(), static_cast<int32_t>(block.size())) == 1) {
    if (!s.pictures.WaitPast(seen)) std::abort();  // a picture that never came through
  }
  return 0;
}
