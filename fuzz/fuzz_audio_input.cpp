// Arbitrary audio frames through the input of playing channels: any codec byte (mostly the
// audio ones), format code, channel, bit and rate fields, and payloads that are raw bytes or
// made of ADTS frames with headers of any rate, channel count and stated length. One channel
// plays sound into the sound module's null sink, one hands the samples to a decode callback
// at speed level 4. The first byte picks the video-only switch; then each frame is a mode
// byte, codec, format code, channels, bits, a 16-bit rate, a 16-bit length and its bytes.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "player/channel/audio_params.h"
#include "player/channel/channel.h"
#include "player/config/player_settings.h"

namespace {

using zrplay::TChannel;

// Touches every sample, so a short or stale buffer is caught.
void Callback(int32_t, const char* data, int32_t size, const ZR_FRAME_INFO* info, ZR_USER,
              int32_t) {
  volatile char sum = 0;
  for (int32_t i = 0; i < size; ++i) sum = static_cast<char>(sum + data[i]);
  volatile int32_t rate = info->nFrameRate;
  (void)rate;
}

TChannel* MakePlayingChannel(int32_t port, bool callback) {
  int32_t vendor_port = -1;
  if (!zrplay::VendorVideoDecoder().GetFreePort(vendor_port)) std::abort();
  // Lives for the whole run.
  auto* channel = new TChannel(port, vendor_port);
  if (callback) channel->SetDecCallBack(&Callback);
  if (channel->Play(0) != 1) std::abort();
  if (!callback) channel->OpenSound();
  return channel;
}

struct TReader {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  bool Has(size_t n) const { return size - pos >= n; }
  uint8_t Byte() { return data[pos++]; }
  uint16_t Word() {
    const uint16_t v = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
    pos += 2;
    return v;
  }
};

// ADTS frames made of the bytes: each takes a length byte, a rate and channel byte and
// that many bytes; the header states the real length unless the low bit asks for a lie.
std::vector<uint8_t> AdtsFrames(const uint8_t* bytes, size_t size) {
  std::vector<uint8_t> out;
  size_t at = 0;
  while (at + 2 <= size) {
    const size_t want = bytes[at];
    const uint8_t shape = bytes[at + 1];
    at += 2;
    const size_t n = std::min(want, size - at);
    uint32_t length = static_cast<uint32_t>(n + zrplay::kAdtsHeaderSize);
    if ((shape & 1) != 0) length = (length * 7 + shape) & zrplay::kAdtsMaxFrameLength;
    uint8_t header[zrplay::kAdtsHeaderSize];
    zrplay::WriteAdtsHeader(header, (shape >> 1) & 0x0F, (shape >> 5) & 0x07, length);
    out.insert(out.end(), header, header + sizeof header);
    out.insert(out.end(), bytes + at, bytes + at + n);
    at += n;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TChannel* const sound = [] {
    av_log_set_level(AV_LOG_QUIET);
    setenv("QELDSOUND_SINK", "null", 1);
    unsetenv("QELDSOUND_WAV");
    zrplay::PlayerSettings.EnableBufferOnLive = false;
    return MakePlayingChannel(1, false);
  }();
  static TChannel* const callback = MakePlayingChannel(2, true);
  if (size < 1) return 0;
  const bool video_only = (data[0] & 1) != 0;
  sound->SetDecCBStream(video_only ? 1 : 0);
  callback->SetDecCBStream(0);

  TReader in{data, size, 1};
  while (in.Has(9)) {
    const uint8_t mode = in.Byte();
    zrplay::TFrameHead head = zrplay::MakeFrameHead();
    const uint8_t codec = in.Byte();
    // Mostly the audio codecs; any byte with a frame type of 5 goes the audio way too.
    head.Codec = (mode & 1) != 0 ? codec : static_cast<uint8_t>(0x80 + codec % 10);
    head.FrameType = zrplay::kFrameTypeAudio;
    head.AudioFormat = in.Byte();
    head.AudioChannels = in.Byte();
    head.AudioBits = in.Byte();
    head.SampleRate = in.Word() * ((mode & 2) != 0 ? 3u : 1u);
    const size_t want = in.Word();
    const size_t n = std::min(want, size - in.pos);
    std::vector<uint8_t> payload = (mode & 4) != 0
                                       ? AdtsFrames(data + in.pos, n)
                                       : std::vector<uint8_t>(data + in.pos, data + in.pos + n);
    in.pos += n;
    head.PayloadLength = static_cast<uint32_t>(payload.size());
    // An exact-size block, so any read past it is caught.
    std::vector<uint8_t> block(sizeof head + payload.size());
    std::memcpy(block.data(), &head, sizeof head);
    if (!payload.empty()) std::memcpy(block.data() + sizeof head, payload.data(), payload.size());
    TChannel& channel = (mode & 8) != 0 ? *callback : *sound;
    channel.InputData(block.data(), static_cast<int32_t>(block.size()));
  }
  return 0;
}
