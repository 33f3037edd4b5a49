#include "tools/recmake/stream_generator.h"

#include <cmath>

#include "tools/recmake/test_pattern.h"

namespace recmake {

TStreamGenerator::TStreamGenerator(const TGeneratorOptions& options) : options_(options) {
  if (!(options.DurationSec >= 0) || options.DurationSec > 1e7) {
    throw TRecmakeError("duration out of range");
  }
  if (options.Detail < 0 || options.Detail > kMaxPatternDetail) {
    throw TRecmakeError("detail level out of range (0.." + std::to_string(kMaxPatternDetail) + ")");
  }
  if (!options.WithVideo && !options.Audio) {
    throw TRecmakeError("nothing to generate: neither video nor audio");
  }
  if (options.WithVideo) {
    AVRational rate = options.FrameRate;
    // One tick per frame, so a picture's number is its time stamp.
    video_ = std::make_unique<TVideoEncoder>(options.Video, options.Width, options.Height, rate,
                                             av_inv_q(rate));
    keeper_.emplace(options.Video.Codec);
    picture_ = MakeFrame();
    picture_->width = options.Width;
    picture_->height = options.Height;
    picture_->format = AV_PIX_FMT_YUV420P;
    AvCheck(av_frame_get_buffer(picture_.get(), 0), "cannot allocate a picture");
    if (options.DurationSec > 0) {
      picture_limit_ =
          std::max<int64_t>(1, std::llround(options.DurationSec * rate.num / rate.den));
    }
  } else {
    merger_.End(kVideo);
  }
  if (options.Audio) {
    if (!(options.ToneHz > 0)) throw TRecmakeError("tone frequency must be above 0 Hz");
    TAudioEncoderOptions a;
    a.Codec = *options.Audio;
    a.SampleRate = options.AudioRate;
    a.Channels = options.AudioChannels;
    a.BitrateKbit = options.AudioBitrateKbit;
    a.FrameMs = options.AudioFrameMs;
    a.StartUs = options.StartUs;
    audio_ = std::make_unique<TAudioEncoder>(a);
    if (options.DurationSec > 0) {
      sample_limit_ = std::llround(options.DurationSec * audio_->SampleRate());
    }
  } else {
    merger_.End(kAudio);
  }
}

bool TStreamGenerator::Next(TRecordFrame& out) {
  while (true) {
    if (merger_.Pop(out)) return true;
    int starved = merger_.Starved();
    if (starved < 0) return false;
    if (starved == kVideo) {
      ProduceVideo();
    } else {
      ProduceAudio();
    }
  }
}

void TStreamGenerator::ProduceVideo() {
  AVRational rate = options_.FrameRate;
  if (picture_limit_ < 0 || pictures_sent_ < picture_limit_) {
    AvCheck(av_frame_make_writable(picture_.get()), "cannot write a picture");
    TYuvPicture p;
    p.Y = picture_->data[0];
    p.U = picture_->data[1];
    p.V = picture_->data[2];
    p.StrideY = picture_->linesize[0];
    p.StrideU = picture_->linesize[1];
    p.StrideV = picture_->linesize[2];
    p.Width = picture_->width;
    p.Height = picture_->height;
    int64_t time_us =
        options_.StartUs + av_rescale(pictures_sent_, int64_t{rate.den} * 1000000, rate.num);
    DrawTestPattern(p, pictures_sent_, time_us);
    AddPatternDetail(p, pictures_sent_, options_.Detail);
    picture_->pts = pictures_sent_++;
    video_->Send(picture_.get());
  } else {
    video_->Flush();
    merger_.End(kVideo);
  }
  TEncodedVideo v;
  while (video_->Receive(v)) {
    if (!first_dts_) first_dts_ = v.Dts;
    int64_t offset_us = av_rescale(v.Dts - *first_dts_, int64_t{rate.den} * 1000000, rate.num);
    TRecordFrame f;
    f.Head = MakeVideoHead(video_->CodecByte(), v.Key, options_.StartUs + offset_us);
    f.Payload = keeper_->Process(std::move(v.Data), v.Key);
    f.SyncLengths();
    merger_.Push(kVideo, std::move(f));
  }
}

void TStreamGenerator::ProduceAudio() {
  int rate = audio_->SampleRate();
  int channels = audio_->Channels();
  int64_t chunk = rate / 50;  // 20 ms at a time
  if (sample_limit_ >= 0) chunk = std::min(chunk, sample_limit_ - samples_made_);
  if (chunk > 0) {
    TFramePtr frame = MakeFrame();
    frame->format = AV_SAMPLE_FMT_S16;
    frame->sample_rate = rate;
    frame->nb_samples = static_cast<int>(chunk);
    av_channel_layout_default(&frame->ch_layout, channels);
    AvCheck(av_frame_get_buffer(frame.get(), 0), "cannot allocate audio");
    auto* samples = reinterpret_cast<int16_t*>(frame->data[0]);
    for (int64_t i = 0; i < chunk; ++i) {
      int64_t n = samples_made_ + i;
      // The tone, an octave higher for the first tenth of every second, so sound and clock
      // can be matched by ear.
      double hz = (n % rate) < rate / 10 ? options_.ToneHz * 2 : options_.ToneHz;
      double phase = std::fmod(static_cast<double>(n) * hz / rate, 1.0);
      auto value = static_cast<int16_t>(std::lround(9830.0 * std::sin(2 * M_PI * phase)));
      for (int c = 0; c < channels; ++c) samples[i * channels + c] = value;
    }
    samples_made_ += chunk;
    audio_->Send(frame.get());
  } else {
    audio_->Flush();
    merger_.End(kAudio);
  }
  TRecordFrame f;
  while (audio_->Receive(f)) merger_.Push(kAudio, std::move(f));
}

}  // namespace recmake
