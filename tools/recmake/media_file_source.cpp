#include "tools/recmake/media_file_source.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstring>
#include <functional>

namespace recmake {

namespace {

using TTimeFn = std::function<int64_t(int64_t)>;  // stream time stamp -> capture time (us)

std::string CodecName(AVCodecID id) {
  const char* name = avcodec_get_name(id);
  return name ? name : "unknown";
}

// A stream's time stamps with gaps filled: packets without one continue from the last.
class TStampKeeper {
 public:
  explicit TStampKeeper(const AVStream& stream) {
    AVRational rate = stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : stream.r_frame_rate;
    default_step_ = rate.num > 0 ? av_rescale_q(1, av_inv_q(rate), stream.time_base) : 0;
    if (default_step_ <= 0) default_step_ = av_rescale_q(40000, {1, 1000000}, stream.time_base);
  }
  int64_t Take(const AVPacket& p) {
    int64_t ts = p.dts != AV_NOPTS_VALUE ? p.dts : p.pts;
    if (ts == AV_NOPTS_VALUE) {
      ts = has_last_ ? last_ + (last_duration_ > 0 ? last_duration_ : default_step_) : 0;
    }
    last_ = ts;
    last_duration_ = p.duration;
    has_last_ = true;
    return ts;
  }

 private:
  int64_t default_step_ = 0;
  int64_t last_ = 0;
  int64_t last_duration_ = 0;
  bool has_last_ = false;
};

// Keeps one stream's capture times from going backwards (damaged or reordered stamps), so
// the file stays in time order.
int64_t Monotonic(int64_t& last, int64_t time_us) {
  if (time_us < last) time_us = last;
  last = time_us;
  return time_us;
}

void ReceiveAll(AVCodecContext* dec, const std::function<void(AVFrame*)>& use) {
  TFramePtr frame = MakeFrame();
  while (true) {
    int r = avcodec_receive_frame(dec, frame.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
    AvCheck(r, "decoding the input failed");
    use(frame.get());
    av_frame_unref(frame.get());
  }
}

TCodecContextPtr OpenDecoder(const AVStream& stream, const char* kind) {
  const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
  if (codec == nullptr) {
    throw TRecmakeError(std::string("no decoder for the input's ") + kind + " codec " +
                        CodecName(stream.codecpar->codec_id));
  }
  TCodecContextPtr ctx(avcodec_alloc_context3(codec));
  if (!ctx) throw TRecmakeError("out of memory");
  AvCheck(avcodec_parameters_to_context(ctx.get(), stream.codecpar), "decoder parameters");
  ctx->pkt_timebase = stream.time_base;
  AvCheck(avcodec_open2(ctx.get(), codec, nullptr),
          std::string("cannot open the ") + kind + " decoder");
  return ctx;
}

}  // namespace

// ---- video ----

class TMediaFileSource::TVideoPath {
 public:
  TVideoPath(const TFileSourceOptions& options, AVStream& stream)
      : options_(options), stream_(stream), stamps_(stream) {
    const AVCodecParameters& par = *stream.codecpar;
    bool carried = par.codec_id == AV_CODEC_ID_H264 || par.codec_id == AV_CODEC_ID_HEVC;
    if (options.TranscodeVideo) {
      decoder_ = OpenDecoder(stream, "video");
      int w = options.Width > 0 ? options.Width : par.width & ~1;
      int h = options.Height > 0 ? options.Height : par.height & ~1;
      CheckPictureSize(w, h);
      out_width_ = w;
      out_height_ = h;
      Description = "video " + CodecName(par.codec_id) + " " + std::to_string(par.width) + "x" +
                    std::to_string(par.height) + " (re-encoded to " +
                    (options.Video.Codec == EVideoCodec::H264 ? "h264 " : "hevc ") +
                    std::to_string(w) + "x" + std::to_string(h) + ")";
      return;
    }
    if (!carried) {
      throw TRecmakeError("video codec " + CodecName(par.codec_id) +
                          " is not carried in record files (H.264 and H.265 are); use "
                          "--transcode-video to re-encode it, or --no-video to leave it out");
    }
    codec_ = par.codec_id == AV_CODEC_ID_H264 ? EVideoCodec::H264 : EVideoCodec::H265;
    codec_byte_ = codec_ == EVideoCodec::H264 ? zrplay::kCodecH264 : zrplay::kCodecH265;
    keeper_.emplace(codec_);
    // Length-prefixed input (MP4, MKV) carries its parameter sets in the extradata.
    bool annexb_extradata =
        par.extradata_size >= 3 && par.extradata[0] == 0 && par.extradata[1] == 0 &&
        (par.extradata[2] == 1 ||
         (par.extradata_size >= 4 && par.extradata[2] == 0 && par.extradata[3] == 1));
    if (par.extradata_size > 0 && !annexb_extradata) {
      const char* name = codec_ == EVideoCodec::H264 ? "h264_mp4toannexb" : "hevc_mp4toannexb";
      const AVBitStreamFilter* filter = av_bsf_get_by_name(name);
      if (filter == nullptr) throw TRecmakeError(std::string("libavcodec lacks ") + name);
      AVBSFContext* bsf = nullptr;
      AvCheck(av_bsf_alloc(filter, &bsf), name);
      bsf_.reset(bsf);
      AvCheck(avcodec_parameters_copy(bsf_->par_in, stream.codecpar), name);
      bsf_->time_base_in = stream.time_base;
      AvCheck(av_bsf_init(bsf_.get()), name);
    } else if (annexb_extradata) {
      // Parameter sets given only out of band still belong in front of the key frames.
      std::vector<uint8_t> sets(par.extradata, par.extradata + par.extradata_size);
      keeper_->Process(std::move(sets), false);
    }
    Description = "video " + CodecName(par.codec_id) + " " + std::to_string(par.width) + "x" +
                  std::to_string(par.height) + " (kept)";
  }

  void Take(AVPacket* packet, const TTimeFn& time, std::deque<TRecordFrame>& out) {
    if (decoder_) {
      AvCheck(avcodec_send_packet(decoder_.get(), packet), "decoding the input video failed");
      ReceiveAll(decoder_.get(), [&](AVFrame* f) { Encode(f, time, out); });
    } else if (bsf_) {
      AvCheck(av_bsf_send_packet(bsf_.get(), packet), "converting the input video failed");
      DrainFilter(time, out);
    } else if (packet != nullptr) {
      Emit(*packet, time, out);
    }
  }

  void Finish(const TTimeFn& time, std::deque<TRecordFrame>& out) {
    Take(nullptr, time, out);
    if (encoder_) {
      encoder_->Flush();
      TakeEncoded(time, out);
    }
  }

  std::string Description;

 private:
  void DrainFilter(const TTimeFn& time, std::deque<TRecordFrame>& out) {
    TPacketPtr filtered = MakePacket();
    while (true) {
      int r = av_bsf_receive_packet(bsf_.get(), filtered.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
      AvCheck(r, "converting the input video failed");
      Emit(*filtered, time, out);
      av_packet_unref(filtered.get());
    }
  }

  void Emit(const AVPacket& packet, const TTimeFn& time, std::deque<TRecordFrame>& out) {
    int64_t ts = stamps_.Take(packet);
    bool key = (packet.flags & AV_PKT_FLAG_KEY) != 0;
    if (packet.size <= 0) return;
    if (SplitAnnexB(codec_, packet.data, static_cast<size_t>(packet.size)).empty()) {
      throw TRecmakeError("the input's video packets are not in Annex-B form");
    }
    // A record file starts with a picture a player can decode.
    if (!seen_key_ && !key) return;
    seen_key_ = true;
    TRecordFrame f;
    f.Head = MakeVideoHead(codec_byte_, key, Monotonic(last_time_us_, time(ts)));
    f.Payload = keeper_->Process(std::vector<uint8_t>(packet.data, packet.data + packet.size), key);
    f.SyncLengths();
    out.push_back(std::move(f));
  }

  void Encode(AVFrame* in, const TTimeFn& time, std::deque<TRecordFrame>& out) {
    if (!encoder_) {
      AVRational rate = av_guess_frame_rate(nullptr, &stream_, nullptr);
      if (rate.num <= 0 || rate.den <= 0) rate = {25, 1};
      encoder_ = std::make_unique<TVideoEncoder>(options_.Video, out_width_, out_height_, rate,
                                                 stream_.time_base);
      keeper_.emplace(options_.Video.Codec);
      codec_ = options_.Video.Codec;
      codec_byte_ = encoder_->CodecByte();
      step_ = std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), stream_.time_base));
      scaled_ = MakeFrame();
      scaled_->width = out_width_;
      scaled_->height = out_height_;
      scaled_->format = AV_PIX_FMT_YUV420P;
      AvCheck(av_frame_get_buffer(scaled_.get(), 0), "cannot allocate a picture");
    }
    sws_.reset(sws_getCachedContext(sws_.release(), in->width, in->height,
                                    static_cast<AVPixelFormat>(in->format), out_width_, out_height_,
                                    AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws_) throw TRecmakeError("cannot convert the input's pictures");
    AvCheck(av_frame_make_writable(scaled_.get()), "cannot write a picture");
    sws_scale(sws_.get(), in->data, in->linesize, 0, in->height, scaled_->data, scaled_->linesize);
    int64_t pts = in->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE || (has_pts_ && pts <= last_pts_)) pts = last_pts_ + step_;
    if (!has_pts_) first_pts_ = pts;
    has_pts_ = true;
    last_pts_ = pts;
    scaled_->pts = pts;
    encoder_->Send(scaled_.get());
    TakeEncoded(time, out);
  }

  void TakeEncoded(const TTimeFn& time, std::deque<TRecordFrame>& out) {
    TEncodedVideo v;
    while (encoder_->Receive(v)) {
      // With B-frames the first decode stamps lie before the first picture.
      if (!first_dts_) first_dts_ = v.Dts;
      int64_t ts = first_pts_ + (v.Dts - *first_dts_);
      TRecordFrame f;
      f.Head = MakeVideoHead(codec_byte_, v.Key, Monotonic(last_time_us_, time(ts)));
      f.Payload = keeper_->Process(std::move(v.Data), v.Key);
      f.SyncLengths();
      out.push_back(std::move(f));
    }
  }

  const TFileSourceOptions& options_;
  AVStream& stream_;
  TStampKeeper stamps_;
  EVideoCodec codec_ = EVideoCodec::H264;
  uint8_t codec_byte_ = zrplay::kCodecH264;
  std::optional<TParameterSetKeeper> keeper_;
  TBsfPtr bsf_;
  bool seen_key_ = false;
  int64_t last_time_us_ = INT64_MIN;
  // Re-encoding.
  TCodecContextPtr decoder_;
  std::unique_ptr<TVideoEncoder> encoder_;
  TSwsPtr sws_;
  TFramePtr scaled_;
  int out_width_ = 0, out_height_ = 0;
  int64_t step_ = 1;
  bool has_pts_ = false;
  int64_t first_pts_ = 0, last_pts_ = 0;
  std::optional<int64_t> first_dts_;
};

// ---- audio ----

class TMediaFileSource::TAudioPath {
 public:
  TAudioPath(const TFileSourceOptions& options, AVStream& stream)
      : options_(options), stream_(stream), stamps_(stream) {
    const AVCodecParameters& par = *stream.codecpar;
    int rate = par.sample_rate;
    int channels = par.ch_layout.nb_channels;
    std::string found = CodecName(par.codec_id) + " " + std::to_string(rate) + " Hz " +
                        std::to_string(channels) + " ch";
    if (options.AudioTranscode) {
      decoder_ = OpenDecoder(stream, "audio");
      Description = "audio " + found + " (re-encoded to " +
                    AudioCodecInfo(*options.AudioTranscode).Name + ")";
      return;
    }
    if (rate <= 0 || channels <= 0 || channels > 255) {
      throw TRecmakeError("the input's audio stream gives no usable sample rate or channels");
    }
    int frame_samples = SamplesPerFrame(rate, options.AudioFrameMs);
    auto byte_stream = [&](uint8_t codec_byte, int head_bits, int coded_bits) {
      head_ = MakeAudioHead(codec_byte, rate, channels, head_bits);
      framer_.emplace(head_, int64_t{rate} * channels * coded_bits / 8,
                      static_cast<size_t>(int64_t{frame_samples} * channels * coded_bits / 8));
    };
    switch (par.codec_id) {
      case AV_CODEC_ID_PCM_S16LE:
        byte_stream(zrplay::kCodecPCM, 16, 16);
        break;
      case AV_CODEC_ID_PCM_U8:
        byte_stream(zrplay::kCodecPCM, 8, 8);
        break;
      case AV_CODEC_ID_PCM_MULAW:
        byte_stream(zrplay::kCodecG711U, 8, 8);
        break;
      case AV_CODEC_ID_PCM_ALAW:
        byte_stream(zrplay::kCodecG711A, 8, 8);
        break;
      case AV_CODEC_ID_ADPCM_G722:
        byte_stream(zrplay::kCodecG722, 16, 4);
        break;
      case AV_CODEC_ID_ADPCM_G726LE:
        if (par.bits_per_coded_sample != 4) {
          throw TRecmakeError("G.726 at " + std::to_string(par.bits_per_coded_sample * rate) +
                              " bit/s is not carried (only 32 kbit/s, as G.721); use "
                              "--audio-codec to re-encode it");
        }
        byte_stream(zrplay::kCodecG721, 16, 4);
        break;
      case AV_CODEC_ID_ADPCM_IMA_WAV:
        if (par.block_align <= 4 * channels) {
          throw TRecmakeError("the input's IMA ADPCM stream has no block size");
        }
        head_ = MakeAudioHead(zrplay::kCodecADPCM, rate, channels, 16);
        block_align_ = par.block_align;
        block_samples_ = (block_align_ - 4 * channels) * 8 / (4 * channels) + 1;
        break;
      case AV_CODEC_ID_AAC: {
        head_ = MakeAudioHead(zrplay::kCodecAAC, rate, channels, 16);
        aac_ = ParseAudioSpecificConfig(par.extradata, static_cast<size_t>(par.extradata_size));
        if (!aac_) {
          aac_ = TAacConfig{par.profile >= 0 ? par.profile + 1 : 2, rate, channels};
        }
        is_aac_ = true;
        break;
      }
      default:
        throw TRecmakeError("audio codec " + CodecName(par.codec_id) +
                            " is not carried in record files; use --audio-codec to re-encode "
                            "it, or --no-audio to leave it out");
    }
    Description = "audio " + found + " (kept)";
  }

  void Take(AVPacket* packet, const TTimeFn& time, std::deque<TRecordFrame>& out) {
    if (decoder_) {
      AvCheck(avcodec_send_packet(decoder_.get(), packet), "decoding the input audio failed");
      ReceiveAll(decoder_.get(), [&](AVFrame* f) { Encode(f, time, out); });
      return;
    }
    if (packet == nullptr || packet->size <= 0) return;
    int64_t time_us = Monotonic(last_time_us_, time(stamps_.Take(*packet)));
    const uint8_t* data = packet->data;
    size_t size = static_cast<size_t>(packet->size);
    if (framer_) {
      framer_->Push(data, size, time_us, out);
    } else if (block_align_ > 0) {
      // One ADPCM block per frame, so each frame decodes on its own.
      for (size_t at = 0, n = 0; at + static_cast<size_t>(block_align_) <= size;
           at += static_cast<size_t>(block_align_), ++n) {
        int64_t t = time_us + static_cast<int64_t>(n) * block_samples_ * 1000000 /
                                  stream_.codecpar->sample_rate;
        EmitPacket(data + at, static_cast<size_t>(block_align_), t, out);
      }
    } else if (is_aac_ && !IsAdtsFrame(data, size)) {
      std::vector<uint8_t> wrapped = WrapAdts(*aac_, data, size);
      EmitPacket(wrapped.data(), wrapped.size(), time_us, out);
    } else {
      EmitPacket(data, size, time_us, out);
    }
  }

  void Finish(const TTimeFn& time, std::deque<TRecordFrame>& out) {
    if (decoder_) {
      Take(nullptr, time, out);
      if (encoder_) {
        encoder_->Flush();
        TakeEncoded(out);
      }
    }
    if (framer_) framer_->Flush(out);
  }

  std::string Description;

 private:
  void EmitPacket(const uint8_t* data, size_t size, int64_t time_us,
                  std::deque<TRecordFrame>& out) {
    TRecordFrame f;
    f.Head = head_;
    SetCaptureTime(f.Head, time_us);
    f.Payload.assign(data, data + size);
    f.SyncLengths();
    out.push_back(std::move(f));
  }

  void Encode(AVFrame* in, const TTimeFn& time, std::deque<TRecordFrame>& out) {
    if (!encoder_) {
      EAudioCodec codec = *options_.AudioTranscode;
      TAudioEncoderOptions o;
      o.Codec = codec;
      o.SampleRate = options_.AudioRate;
      int in_channels = in->ch_layout.nb_channels;
      bool mono_only = codec == EAudioCodec::G722 || codec == EAudioCodec::G721;
      o.Channels = options_.AudioChannels > 0 ? options_.AudioChannels
                                              : (mono_only ? 1 : std::min(in_channels, 2));
      o.BitrateKbit = options_.AudioBitrateKbit;
      o.FrameMs = options_.AudioFrameMs;
      int64_t ts = in->best_effort_timestamp;
      o.StartUs = time(ts != AV_NOPTS_VALUE ? ts : 0);
      encoder_ = std::make_unique<TAudioEncoder>(o);
    }
    encoder_->Send(in);
    TakeEncoded(out);
  }

  void TakeEncoded(std::deque<TRecordFrame>& out) {
    TRecordFrame f;
    while (encoder_->Receive(f)) out.push_back(std::move(f));
  }

  const TFileSourceOptions& options_;
  AVStream& stream_;
  TStampKeeper stamps_;
  zrplay::TFrameHead head_ = zrplay::MakeFrameHead();
  std::optional<TByteStreamFramer> framer_;
  int block_align_ = 0;
  int block_samples_ = 0;
  bool is_aac_ = false;
  std::optional<TAacConfig> aac_;
  int64_t last_time_us_ = INT64_MIN;
  TCodecContextPtr decoder_;
  std::unique_ptr<TAudioEncoder> encoder_;
};

// ---- the source ----

TMediaFileSource::TMediaFileSource(const TFileSourceOptions& options) : options_(options) {
  const std::string& path = options.Path;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    throw TRecmakeError("cannot open input \"" + path + "\": " + std::strerror(errno));
  }
  if (S_ISDIR(st.st_mode)) throw TRecmakeError("input \"" + path + "\" is a directory");
  AVDictionary* format_options = nullptr;
  if (!options.InputFps.empty())
    av_dict_set(&format_options, "framerate", options.InputFps.c_str(), 0);
  AVFormatContext* fc = nullptr;
  int r = avformat_open_input(&fc, path.c_str(), nullptr, &format_options);
  av_dict_free(&format_options);
  if (r < 0) {
    throw TRecmakeError("cannot read input \"" + path + "\" as a media file: " + AvErrorText(r));
  }
  format_.reset(fc);
  r = avformat_find_stream_info(fc, nullptr);
  if (r < 0) {
    throw TRecmakeError("cannot find the streams of input \"" + path + "\": " + AvErrorText(r));
  }
  auto best = [&](AVMediaType type) -> AVStream* {
    int index = av_find_best_stream(fc, type, -1, -1, nullptr, 0);
    if (index < 0) return nullptr;
    AVStream* s = fc->streams[index];
    if (s->disposition & AV_DISPOSITION_ATTACHED_PIC) return nullptr;
    if (s->codecpar->codec_id == AV_CODEC_ID_NONE) return nullptr;
    return s;
  };
  AVStream* video = options.WithVideo ? best(AVMEDIA_TYPE_VIDEO) : nullptr;
  AVStream* audio = options.WithAudio ? best(AVMEDIA_TYPE_AUDIO) : nullptr;
  if (video == nullptr && audio == nullptr) {
    throw TRecmakeError("input \"" + path + "\" holds no " +
                        (options.WithVideo && options.WithAudio ? "video or audio"
                         : options.WithVideo                    ? "video"
                                                                : "audio") +
                        " stream that can be read");
  }
  for (unsigned i = 0; i < fc->nb_streams; ++i) {
    if (fc->streams[i] != video && fc->streams[i] != audio) {
      fc->streams[i]->discard = AVDISCARD_ALL;
    }
  }
  try {
    if (video) video_ = std::make_unique<TVideoPath>(options_, *video);
    if (audio) audio_ = std::make_unique<TAudioPath>(options_, *audio);
  } catch (const TRecmakeError& e) {
    throw TRecmakeError("input \"" + path + "\": " + e.what());
  }
  if (!video_) merger_.End(kVideo);
  if (!audio_) merger_.End(kAudio);
  video_index_ = video ? video->index : -1;
  audio_index_ = audio ? audio->index : -1;
  if (fc->start_time != AV_NOPTS_VALUE) origin_us_ = fc->start_time;
  packet_ = MakePacket();
}

TMediaFileSource::~TMediaFileSource() = default;

std::string TMediaFileSource::Description() const {
  std::string text;
  if (video_) text = video_->Description;
  if (audio_) text += (text.empty() ? "" : ", ") + audio_->Description;
  return text;
}

int64_t TMediaFileSource::CaptureTime(const AVStream& stream, int64_t ts) {
  int64_t us = av_rescale_q(ts, stream.time_base, {1, 1000000});
  if (origin_us_ == AV_NOPTS_VALUE) origin_us_ = us;
  // Stamps before the input's start (encoder priming, B-frame decode stamps) take the start
  // time, so the file begins at the time asked for.
  return options_.StartUs + std::max<int64_t>(us - origin_us_, 0);
}

bool TMediaFileSource::PastLimit(const AVStream& stream, int64_t ts) const {
  if (options_.MaxDurationSec <= 0 || ts == AV_NOPTS_VALUE || origin_us_ == AV_NOPTS_VALUE) {
    return false;
  }
  int64_t us = av_rescale_q(ts, stream.time_base, {1, 1000000});
  return us - origin_us_ >= static_cast<int64_t>(options_.MaxDurationSec * 1e6);
}

void TMediaFileSource::Finish(int which) {
  std::deque<TRecordFrame> out;
  if (which == kVideo && video_ && !video_done_) {
    AVStream& s = *format_->streams[video_index_];
    video_->Finish([&](int64_t ts) { return CaptureTime(s, ts); }, out);
    video_done_ = true;
  } else if (which == kAudio && audio_ && !audio_done_) {
    AVStream& s = *format_->streams[audio_index_];
    audio_->Finish([&](int64_t ts) { return CaptureTime(s, ts); }, out);
    audio_done_ = true;
  } else {
    return;
  }
  for (TRecordFrame& f : out) merger_.Push(which, std::move(f));
  merger_.End(which);
}

void TMediaFileSource::ReadMore() {
  int r = av_read_frame(format_.get(), packet_.get());
  if (r == AVERROR_EOF) {
    Finish(kVideo);
    Finish(kAudio);
    return;
  }
  if (r == AVERROR(EAGAIN)) return;
  AvCheck(r, "cannot read input \"" + options_.Path + "\"");
  int index = packet_->stream_index;
  int which = index == video_index_ ? kVideo : index == audio_index_ ? kAudio : -1;
  bool done = which == kVideo ? video_done_ : which == kAudio ? audio_done_ : true;
  if (done) {
    av_packet_unref(packet_.get());
    return;
  }
  AVStream& s = *format_->streams[index];
  int64_t ts = packet_->dts != AV_NOPTS_VALUE ? packet_->dts : packet_->pts;
  if (PastLimit(s, ts)) {
    av_packet_unref(packet_.get());
    Finish(which);
    return;
  }
  std::deque<TRecordFrame> out;
  auto time = [&](int64_t t) { return CaptureTime(s, t); };
  try {
    if (which == kVideo) {
      video_->Take(packet_.get(), time, out);
    } else {
      audio_->Take(packet_.get(), time, out);
    }
  } catch (...) {
    av_packet_unref(packet_.get());
    throw;
  }
  av_packet_unref(packet_.get());
  for (TRecordFrame& f : out) merger_.Push(which, std::move(f));
}

bool TMediaFileSource::Next(TRecordFrame& out) {
  while (true) {
    if (merger_.Pop(out)) return true;
    if (merger_.Starved() < 0) return false;
    ReadMore();
  }
}

}  // namespace recmake
