#include "tools/recmake/test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "tools/recmake/annexb.h"
#include "tools/recmake/record_file_reader.h"
#include "tools/recmake/record_file_writer.h"
#include "tools/recmake/test_pattern.h"

namespace recmake::test {

std::vector<const TRecordFrame*> TRecordFile::Video() const {
  std::vector<const TRecordFrame*> v;
  for (const TRecordFrame& f : Frames) {
    if (f.IsVideo()) v.push_back(&f);
  }
  return v;
}

std::vector<const TRecordFrame*> TRecordFile::Audio() const {
  std::vector<const TRecordFrame*> a;
  for (const TRecordFrame& f : Frames) {
    if (f.IsAudio()) a.push_back(&f);
  }
  return a;
}

TRecordFile ReadRecordFile(const std::string& path) {
  TRecordFile file;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    file.Error = "cannot open " + path;
    return file;
  }
  TRecordFileReader reader(in);
  file.HasFileHead = reader.HasFileHead();
  if (file.HasFileHead) file.FileHead.assign(reader.FileHead(), reader.FileHead() + 64);
  TRecordFrame f;
  TRecordFileReader::EResult r;
  while ((r = reader.Next(f)) == TRecordFileReader::EResult::Frame) file.Frames.push_back(f);
  if (r == TRecordFileReader::EResult::Error) file.Error = reader.ErrorText();
  return file;
}

TRecordFile WriteAndReadBack(TFrameSource& source, const std::string& path) {
  TRecordFileWriter writer(path);
  TRecordFrame f;
  while (source.Next(f)) writer.Write(f);
  writer.Close();
  return ReadRecordFile(path);
}

namespace {

TCodecContextPtr OpenTestDecoder(AVCodecID id) {
  const AVCodec* codec = avcodec_find_decoder(id);
  if (codec == nullptr) throw std::runtime_error("no decoder");
  TCodecContextPtr ctx(avcodec_alloc_context3(codec));
  ctx->thread_count = 1;
  return ctx;
}

template <typename Use>
void DecodePayloads(AVCodecContext* ctx, const std::vector<const TRecordFrame*>& frames, Use use) {
  TPacketPtr packet = MakePacket();
  TFramePtr picture = MakeFrame();
  auto drain = [&]() {
    while (true) {
      int r = avcodec_receive_frame(ctx, picture.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
      AvCheck(r, "test decode");
      use(picture.get());
      av_frame_unref(picture.get());
    }
  };
  for (const TRecordFrame* f : frames) {
    AvCheck(av_new_packet(packet.get(), static_cast<int>(f->Payload.size())), "packet");
    std::copy(f->Payload.begin(), f->Payload.end(), packet->data);
    AvCheck(avcodec_send_packet(ctx, packet.get()), "test decode");
    av_packet_unref(packet.get());
    drain();
  }
  AvCheck(avcodec_send_packet(ctx, nullptr), "test decode");
  drain();
}

}  // namespace

std::vector<std::pair<int, int>> DecodeVideo(AVCodecID id,
                                             const std::vector<const TRecordFrame*>& frames) {
  TCodecContextPtr ctx = OpenTestDecoder(id);
  ctx->err_recognition = AV_EF_EXPLODE;
  AvCheck(avcodec_open2(ctx.get(), ctx->codec, nullptr), "open decoder");
  std::vector<std::pair<int, int>> sizes;
  DecodePayloads(ctx.get(), frames, [&](AVFrame* f) { sizes.emplace_back(f->width, f->height); });
  return sizes;
}

std::vector<uint8_t> DecodeLastLuma(AVCodecID id, const std::vector<const TRecordFrame*>& frames,
                                    int& width, int& height) {
  TCodecContextPtr ctx = OpenTestDecoder(id);
  AvCheck(avcodec_open2(ctx.get(), ctx->codec, nullptr), "open decoder");
  std::vector<uint8_t> luma;
  DecodePayloads(ctx.get(), frames, [&](AVFrame* f) {
    width = f->width;
    height = f->height;
    luma.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
      std::copy(f->data[0] + y * f->linesize[0], f->data[0] + y * f->linesize[0] + width,
                luma.begin() + static_cast<std::ptrdiff_t>(y) * width);
    }
  });
  return luma;
}

std::vector<int16_t> DecodeAudio(uint8_t codec_byte,
                                 const std::vector<const TRecordFrame*>& frames) {
  if (frames.empty()) return {};
  const zrplay::TFrameHead& h = frames.front()->Head;
  AVCodecID id = AV_CODEC_ID_NONE;
  switch (codec_byte) {
    case 0x80:
      id = h.AudioBits == 8 ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_PCM_S16LE;
      break;
    case 0x81:
      id = AV_CODEC_ID_PCM_MULAW;
      break;
    case 0x82:
      id = AV_CODEC_ID_PCM_ALAW;
      break;
    case 0x84:
      id = AV_CODEC_ID_ADPCM_G722;
      break;
    case 0x85:
      id = AV_CODEC_ID_ADPCM_IMA_WAV;
      break;
    case 0x88:
      id = AV_CODEC_ID_ADPCM_G726LE;
      break;
    case 0x89:
      id = AV_CODEC_ID_AAC;
      break;
    default:
      throw std::runtime_error("no decoder for this codec byte");
  }
  TCodecContextPtr ctx = OpenTestDecoder(id);
  ctx->sample_rate = static_cast<int>(h.SampleRate);
  av_channel_layout_default(&ctx->ch_layout, h.AudioChannels);
  if (id == AV_CODEC_ID_ADPCM_G726LE) {
    ctx->bits_per_coded_sample = 4;
    ctx->bit_rate = 32000;
  }
  if (id == AV_CODEC_ID_ADPCM_IMA_WAV) {
    ctx->block_align = static_cast<int>(frames.front()->Payload.size());
    ctx->bits_per_coded_sample = 4;
  }
  AvCheck(avcodec_open2(ctx.get(), ctx->codec, nullptr), "open audio decoder");
  std::vector<int16_t> out;
  DecodePayloads(ctx.get(), frames, [&](AVFrame* f) {
    auto fmt = static_cast<AVSampleFormat>(f->format);
    int step = av_sample_fmt_is_planar(fmt) ? 1 : f->ch_layout.nb_channels;
    for (int i = 0; i < f->nb_samples; ++i) {
      switch (av_get_packed_sample_fmt(fmt)) {
        case AV_SAMPLE_FMT_S16:
          out.push_back(reinterpret_cast<const int16_t*>(f->data[0])[i * step]);
          break;
        case AV_SAMPLE_FMT_U8:
          out.push_back(static_cast<int16_t>((f->data[0][i * step] - 128) * 256));
          break;
        case AV_SAMPLE_FMT_FLT:
          out.push_back(static_cast<int16_t>(
              std::lround(reinterpret_cast<const float*>(f->data[0])[i * step] * 32767)));
          break;
        default:
          throw std::runtime_error("unexpected decoded sample format");
      }
    }
  });
  return out;
}

double ToneFrequency(const std::vector<int16_t>& s, int rate, size_t from, size_t to) {
  to = std::min(to, s.size());
  int crossings = 0;
  for (size_t i = from + 1; i < to; ++i) {
    if ((s[i - 1] < 0) != (s[i] < 0)) ++crossings;
  }
  return to > from ? crossings / 2.0 * rate / static_cast<double>(to - from) : 0;
}

std::vector<int> NalTypes(bool h265, const std::vector<uint8_t>& payload) {
  std::vector<int> types;
  for (const TNalUnit& u :
       SplitAnnexB(h265 ? EVideoCodec::H265 : EVideoCodec::H264, payload.data(), payload.size())) {
    types.push_back(u.Type);
  }
  return types;
}

// ---- media files to convert ----

namespace {

void FillSamples(AVFrame* f, int64_t first, int rate) {
  auto fmt = static_cast<AVSampleFormat>(f->format);
  int channels = f->ch_layout.nb_channels;
  bool planar = av_sample_fmt_is_planar(fmt);
  for (int i = 0; i < f->nb_samples; ++i) {
    double v = 0.3 * std::sin(2 * M_PI * 500.0 * static_cast<double>(first + i) / rate);
    for (int c = 0; c < channels; ++c) {
      int plane = planar ? c : 0;
      int index = planar ? i : i * channels + c;
      switch (av_get_packed_sample_fmt(fmt)) {
        case AV_SAMPLE_FMT_S16:
          reinterpret_cast<int16_t*>(f->data[plane])[index] =
              static_cast<int16_t>(std::lround(v * 32767));
          break;
        case AV_SAMPLE_FMT_FLT:
          reinterpret_cast<float*>(f->data[plane])[index] = static_cast<float>(v);
          break;
        case AV_SAMPLE_FMT_S32:
          reinterpret_cast<int32_t*>(f->data[plane])[index] =
              static_cast<int32_t>(std::lround(v * 2147483647.0));
          break;
        default:
          throw std::runtime_error("test audio: unexpected sample format");
      }
    }
  }
}

}  // namespace

void WriteMediaFile(const TMediaSpec& media) {
  bool raw_h264 = media.Format == "h264";
  AVFormatContext* oc_raw = nullptr;
  if (!raw_h264) {
    AvCheck(
        avformat_alloc_output_context2(&oc_raw, nullptr, media.Format.c_str(), media.Path.c_str()),
        "test muxer");
  }
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> oc(oc_raw, [](AVFormatContext* c) {
    if (c == nullptr) return;
    if (c->pb) avio_closep(&c->pb);
    avformat_free_context(c);
  });
  FILE* raw = raw_h264 ? std::fopen(media.Path.c_str(), "wb") : nullptr;
  std::unique_ptr<FILE, int (*)(FILE*)> raw_owner(raw, [](FILE* f) { return f ? fclose(f) : 0; });

  TCodecContextPtr venc, aenc;
  AVStream* vst = nullptr;
  AVStream* ast = nullptr;
  if (!media.VideoEncoder.empty()) {
    const AVCodec* c = avcodec_find_encoder_by_name(media.VideoEncoder.c_str());
    venc.reset(avcodec_alloc_context3(c));
    venc->width = media.Width;
    venc->height = media.Height;
    venc->pix_fmt = AV_PIX_FMT_YUV420P;
    venc->time_base = {1, media.Fps};
    venc->framerate = {media.Fps, 1};
    venc->gop_size = media.Gop;
    venc->max_b_frames = 0;
    venc->thread_count = 1;
    if (media.GlobalHeader) venc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* o = nullptr;
    if (media.VideoEncoder == "libx264") {
      av_dict_set(&o, "preset", "ultrafast", 0);
      av_dict_set(&o, "x264-params", "scenecut=0", 0);
    }
    if (media.VideoEncoder == "libx265") {
      av_dict_set(&o, "preset", "ultrafast", 0);
      av_dict_set(&o, "x265-params", "log-level=error:scenecut=0:open-gop=0:bframes=0", 0);
    }
    int r = avcodec_open2(venc.get(), c, &o);
    av_dict_free(&o);
    AvCheck(r, "test video encoder");
    if (!raw_h264) {
      vst = avformat_new_stream(oc.get(), nullptr);
      avcodec_parameters_from_context(vst->codecpar, venc.get());
      vst->time_base = venc->time_base;
    } else if (venc->extradata_size > 0) {
      std::fwrite(venc->extradata, 1, static_cast<size_t>(venc->extradata_size), raw);
    }
  }
  if (!media.AudioEncoder.empty()) {
    const AVCodec* c = avcodec_find_encoder_by_name(media.AudioEncoder.c_str());
    aenc.reset(avcodec_alloc_context3(c));
    aenc->sample_rate = media.AudioRate;
    aenc->sample_fmt = c->sample_fmts[0];
    av_channel_layout_default(&aenc->ch_layout, media.AudioChannels);
    aenc->time_base = {1, media.AudioRate};
    if (media.AudioEncoder == "aac") aenc->bit_rate = 48000;
    if (media.AudioEncoder == "mp2") aenc->bit_rate = 64000;
    if (oc && (oc->oformat->flags & AVFMT_GLOBALHEADER)) {
      aenc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AvCheck(avcodec_open2(aenc.get(), c, nullptr), "test audio encoder");
    ast = avformat_new_stream(oc.get(), nullptr);
    avcodec_parameters_from_context(ast->codecpar, aenc.get());
    ast->time_base = aenc->time_base;
  }
  if (oc) {
    if (!(oc->oformat->flags & AVFMT_NOFILE)) {
      AvCheck(avio_open(&oc->pb, media.Path.c_str(), AVIO_FLAG_WRITE), "test output");
    }
    AvCheck(avformat_write_header(oc.get(), nullptr), "test header");
  }
  TPacketPtr pkt = MakePacket();
  auto drain = [&](AVCodecContext* enc, AVStream* st) {
    while (avcodec_receive_packet(enc, pkt.get()) == 0) {
      if (raw_h264) {
        std::fwrite(pkt->data, 1, static_cast<size_t>(pkt->size), raw);
      } else {
        av_packet_rescale_ts(pkt.get(), enc->time_base, st->time_base);
        pkt->stream_index = st->index;
        AvCheck(av_interleaved_write_frame(oc.get(), pkt.get()), "test write");
      }
      av_packet_unref(pkt.get());
    }
  };
  int64_t frames = venc ? std::llround(media.Seconds * media.Fps) : 0;
  int64_t samples = aenc ? std::llround(media.Seconds * media.AudioRate) : 0;
  int64_t frame_no = 0, sample_no = 0;
  TFramePtr picture = MakeFrame();
  if (venc) {
    picture->width = media.Width;
    picture->height = media.Height;
    picture->format = AV_PIX_FMT_YUV420P;
    AvCheck(av_frame_get_buffer(picture.get(), 0), "picture");
  }
  while (frame_no < frames || sample_no < samples) {
    double vt = frame_no < frames ? static_cast<double>(frame_no) / media.Fps : 1e18;
    double at = sample_no < samples ? static_cast<double>(sample_no) / media.AudioRate : 1e18;
    if (vt <= at) {
      av_frame_make_writable(picture.get());
      TYuvPicture p{picture->data[0],     picture->data[1],     picture->data[2],
                    picture->linesize[0], picture->linesize[1], picture->linesize[2],
                    media.Width,          media.Height};
      DrawTestPattern(p, frame_no, frame_no * 1000000 / media.Fps);
      picture->pts = frame_no++;
      AvCheck(avcodec_send_frame(venc.get(), picture.get()), "test encode");
      drain(venc.get(), vst);
    } else {
      int n = aenc->frame_size > 0 ? aenc->frame_size : 320;
      n = static_cast<int>(std::min<int64_t>(n, samples - sample_no));
      if (aenc->frame_size > 0 && !(aenc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) &&
          n < aenc->frame_size && !(aenc->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
        sample_no = samples;  // drop a short tail the encoder cannot take
        continue;
      }
      TFramePtr f = MakeFrame();
      f->nb_samples = n;
      f->format = aenc->sample_fmt;
      f->sample_rate = aenc->sample_rate;
      av_channel_layout_copy(&f->ch_layout, &aenc->ch_layout);
      AvCheck(av_frame_get_buffer(f.get(), 0), "audio frame");
      FillSamples(f.get(), sample_no, media.AudioRate);
      f->pts = sample_no;
      sample_no += n;
      AvCheck(avcodec_send_frame(aenc.get(), f.get()), "test audio encode");
      drain(aenc.get(), ast);
    }
  }
  if (venc) {
    avcodec_send_frame(venc.get(), nullptr);
    drain(venc.get(), vst);
  }
  if (aenc) {
    avcodec_send_frame(aenc.get(), nullptr);
    drain(aenc.get(), ast);
  }
  if (oc) AvCheck(av_write_trailer(oc.get()), "test trailer");
}

// ---- running the program ----

TRunResult RunRecmake(const std::vector<std::string>& args) {
  std::string command = "'" RECMAKE_EXE "'";
  for (const std::string& a : args) {
    std::string quoted = "'";
    for (char c : a) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += " " + quoted + "'";
  }
  command += " 2>&1";
  TRunResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) result.Output.append(buf, n);
  int status = pclose(pipe);
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace recmake::test

namespace {
// The codec libraries' chatter would bury the test output.
const int kQuietLibraries = (av_log_set_level(AV_LOG_ERROR), 0);
}  // namespace

