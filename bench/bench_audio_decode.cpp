// Audio frames per second through each ZrAudio_Decode_OneFrame_* call and through
// KV_AudioDecoder_Decode, against a _Baseline that decodes the same frames with libavcodec
// directly (prepared packets, no copy out), on recmake's tone in each codec. The calls should
// reach at least 0.9 of their baseline. On a shared machine run with
// --benchmark_enable_random_interleaving=true and repetitions, so both sides see the same
// load.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "modules/kvaudiodecoder/kvaudiodecoder.h"
#include "modules/zraudiodecode/zraudiodecode.h"
#include "tests/support/tone_frames.h"

namespace {

using recmake::EAudioCodec;
using TDecodeFn = int32_t (*)(const uint8_t*, int32_t, uint8_t*, int32_t*);

// Three seconds of the tone's payloads in the codec, made once.
const std::vector<std::vector<uint8_t>>& Payloads(EAudioCodec codec) {
  static std::mutex mutex;
  static std::map<EAudioCodec, std::vector<std::vector<uint8_t>>> payloads;
  std::lock_guard lock(mutex);
  auto it = payloads.find(codec);
  if (it == payloads.end()) {
    std::vector<std::vector<uint8_t>> frames;
    for (const recmake::TRecordFrame& f : quvi_test::ToneFrames(codec, 3.0)) {
      frames.push_back(f.Payload);
    }
    it = payloads.emplace(codec, std::move(frames)).first;
  }
  return it->second;
}

void ThroughModule(benchmark::State& state, EAudioCodec codec, TDecodeFn decode) {
  const auto& frames = Payloads(codec);
  std::vector<uint8_t> out(65536);
  size_t i = 0;
  int64_t count = 0;
  for (auto _ : state) {
    const std::vector<uint8_t>& f = frames[i];
    int32_t length = static_cast<int32_t>(out.size());
    if (decode(f.data(), static_cast<int32_t>(f.size()), out.data(), &length) != 0) {
      state.SkipWithError("decode failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    i = (i + 1) % frames.size();
    ++count;
  }
  state.counters["frames_per_second"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsRate);
}

int32_t KvDecode(const uint8_t* in, int32_t in_length, uint8_t* out, int32_t* out_length) {
  static const KV_AUDIO_HANDLE handle = KV_AudioDecoder_CreateHandle(KV_AUDIO_DECODER_AAC);
  return KV_AudioDecoder_Decode(handle, in, in_length, out, out_length);
}

struct TBaselineCodec {
  AVCodecID id;
  int rate;
  int bits_per_coded_sample;
};

// libavcodec alone: one context, packets with their padding made before the loop.
void Baseline(benchmark::State& state, EAudioCodec codec, TBaselineCodec codec_info) {
  const auto& frames = Payloads(codec);
  std::vector<AVPacket*> packets;
  for (const std::vector<uint8_t>& f : frames) {
    AVPacket* p = av_packet_alloc();
    if (av_new_packet(p, static_cast<int>(f.size())) < 0) std::abort();
    std::copy(f.begin(), f.end(), p->data);
    packets.push_back(p);
  }
  const AVCodec* decoder = avcodec_find_decoder(codec_info.id);
  AVCodecContext* ctx = avcodec_alloc_context3(decoder);
  if (codec_info.rate > 0) {
    ctx->sample_rate = codec_info.rate;
    av_channel_layout_default(&ctx->ch_layout, 1);
  }
  ctx->bits_per_coded_sample = codec_info.bits_per_coded_sample;
  if (avcodec_open2(ctx, decoder, nullptr) < 0) std::abort();
  AVFrame* frame = av_frame_alloc();
  size_t i = 0;
  int64_t count = 0;
  for (auto _ : state) {
    if (avcodec_send_packet(ctx, packets[i]) < 0) {
      state.SkipWithError("decode failed");
      break;
    }
    while (avcodec_receive_frame(ctx, frame) >= 0) {
      benchmark::DoNotOptimize(frame->extended_data[0]);
      av_frame_unref(frame);
    }
    i = (i + 1) % packets.size();
    ++count;
  }
  state.counters["frames_per_second"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsRate);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  for (AVPacket* p : packets) av_packet_free(&p);
}

void BM_G711U(benchmark::State& s) {
  ThroughModule(s, EAudioCodec::G711U, ZrAudio_Decode_OneFrame_G711U);
}
void BM_G711U_Baseline(benchmark::State& s) {
  Baseline(s, EAudioCodec::G711U, {AV_CODEC_ID_PCM_MULAW, 8000, 0});
}
void BM_G711A(benchmark::State& s) {
  ThroughModule(s, EAudioCodec::G711A, ZrAudio_Decode_OneFrame_G711A);
}
void BM_G711A_Baseline(benchmark::State& s) {
  Baseline(s, EAudioCodec::G711A, {AV_CODEC_ID_PCM_ALAW, 8000, 0});
}
void BM_G722(benchmark::State& s) {
  ThroughModule(s, EAudioCodec::G722, ZrAudio_Decode_OneFrame_G722);
}
void BM_G722_Baseline(benchmark::State& s) {
  Baseline(s, EAudioCodec::G722, {AV_CODEC_ID_ADPCM_G722, 16000, 8});
}
void BM_G721(benchmark::State& s) {
  ThroughModule(s, EAudioCodec::G721, ZrAudio_Decode_OneFrame_G721);
}
void BM_G721_Baseline(benchmark::State& s) {
  Baseline(s, EAudioCodec::G721, {AV_CODEC_ID_ADPCM_G726LE, 8000, 4});
}
void BM_ADPCM(benchmark::State& s) {
  ThroughModule(s, EAudioCodec::ADPCM, ZrAudio_Decode_OneFrame_ADPCM);
}
void BM_ADPCM_Baseline(benchmark::State& s) {
  Baseline(s, EAudioCodec::ADPCM, {AV_CODEC_ID_ADPCM_IMA_WAV, 8000, 4});
}
void BM_AAC(benchmark::State& s) {
  ThroughModule(s, EAudioCodec::AAC, KvDecode);
}
void BM_AAC_Baseline(benchmark::State& s) {
  Baseline(s, EAudioCodec::AAC, {AV_CODEC_ID_AAC, 0, 0});
}

BENCHMARK(BM_G711U);
BENCHMARK(BM_G711U_Baseline);
BENCHMARK(BM_G711A);
BENCHMARK(BM_G711A_Baseline);
BENCHMARK(BM_G722);
BENCHMARK(BM_G722_Baseline);
BENCHMARK(BM_G721);
BENCHMARK(BM_G721_Baseline);
BENCHMARK(BM_ADPCM);
BENCHMARK(BM_ADPCM_Baseline);
BENCHMARK(BM_AAC);
BENCHMARK(BM_AAC_Baseline);

}  // namespace
