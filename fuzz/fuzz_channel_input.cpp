// Arbitrary blocks through the buffered and the direct input of playing channels over the
// decoding library: one channel feeds live frames at once, one buffers them in its frame
// list, which is drained (taking, cleaning, feeding) after every block. The first byte picks
// the channel, the stream mode and whether blocks get a valid frame-head start; then each
// block is an entry byte (InputData or InputVideoData), a 16-bit length and its bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "player/channel/channel.h"
#include "player/config/player_settings.h"

namespace {

using zrplay::TChannel;

TChannel* MakePlayingChannel(bool buffered, int32_t port) {
  zrplay::PlayerSettings.EnableBufferOnLive = buffered;
  int32_t vendor_port = -1;
  if (!zrplay::VendorVideoDecoder().GetFreePort(vendor_port)) std::abort();
  // Lives for the whole run; the decoding thread drains what is fed.
  auto* channel = new TChannel(port, vendor_port);
  if (channel->OpenStream(zrplay::kDefaultStreamHead, zrplay::kFrameHeadSize, 1 << 20) != 1) {
    std::abort();
  }
  if (channel->Play(0) != 1) std::abort();
  // Paused, the background play thread leaves the frame list to Drain.
  if (buffered) channel->Pause(1);
  return channel;
}

void Drain(TChannel& channel) {
  while (channel.BufferedFrameCount() > 0 || channel.CurrentFrame() != nullptr) {
    if (channel.TakeFrame()) channel.FeedCurrentFrame();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TChannel* const direct = [] {
    av_log_set_level(AV_LOG_QUIET);
    return MakePlayingChannel(false, 1);
  }();
  static TChannel* const buffered = MakePlayingChannel(true, 2);
  if (size < 1) return 0;

  const uint8_t flags = data[0];
  TChannel& channel = (flags & 1) != 0 ? *buffered : *direct;
  channel.SetStreamOpenMode((flags & 2) != 0 ? 1 : 0);
  const bool valid_start = (flags & 4) != 0;

  size_t pos = 1;
  while (pos + 3 <= size) {
    const bool direct_entry = (data[pos] & 1) != 0;
    const size_t want = data[pos + 1] | (size_t{data[pos + 2]} << 8);
    pos += 3;
    const size_t length = std::min(want, size - pos);
    // An exact-size copy, so any read past the block is caught.
    std::vector<uint8_t> block(data + pos, data + pos + length);
    pos += length;
    if (valid_start && block.size() >= 12) {
      std::memcpy(block.data(), zrplay::kDefaultStreamHead, 12);
    }
    const auto n = static_cast<int32_t>(block.size());
    if (direct_entry) {
      channel.InputVideoData(block.data(), n);
    } else {
      channel.InputData(block.data(), n);
    }
    Drain(channel);
  }
  return 0;
}
