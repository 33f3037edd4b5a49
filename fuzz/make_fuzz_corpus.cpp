// Writes the generated seeds of every fuzz target's corpus: record frames and files from the
// stream generator, packages and answers from the protocol's own encoders, elementary streams
// from the test encoders, and the edge cases around them, each shaped the way its target reads
// its input. Usage: make_fuzz_corpus <corpus folder> (fuzz/corpus). It rewrites only the files
// it names; inputs the fuzzer found beside them stay. Single thread.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "fuzz/memory_connection.h"
#include "modules/vdec/test_stream_encoder.h"
#include "player/channel/audio_params.h"
#include "player/channel/frame_head.h"
#include "tools/recmake/annexb.h"
#include "tools/recmake/record_file_writer.h"
#include "tools/recmake/record_frame.h"
#include "tools/recmake/stream_generator.h"
#include "tools/streamsim/play_packages.h"
#include "viewer/control/quvi_host.h"
#include "viewer/protocol/packages.h"
#include "viewer/protocol/requests.h"
#include "viewer/protocol/responses.h"
#include "viewer/protocol/wire_format.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using recmake::TRecordFrame;

fs::path g_root;
size_t g_written = 0;

void Write(const std::string& topic, const std::string& name, const Bytes& bytes) {
  const fs::path dir = g_root / topic;
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + (dir / name).string());
  ++g_written;
}

void Write(const std::string& topic, const std::string& name, const std::string& text) {
  Write(topic, name, Bytes(text.begin(), text.end()));
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

void PutLe16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutLe32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// ---- Streams the project's own tools make ----

// A short generated stream (test pattern and tone), frames in capture-time order.
std::vector<TRecordFrame> Generate(int width, int height, int fps, double seconds,
                                   std::optional<recmake::EAudioCodec> audio,
                                   recmake::EVideoCodec video = recmake::EVideoCodec::H264,
                                   bool with_video = true, int audio_rate = 0) {
  recmake::TGeneratorOptions o;
  o.WithVideo = with_video;
  o.Width = width;
  o.Height = height;
  o.FrameRate = {fps, 1};
  o.Video.Codec = video;
  o.Video.Gop = fps;
  o.Video.BitrateKbit = 40;
  o.Video.Threads = 1;
  o.Video.Preset = "ultrafast";
  o.Audio = audio;
  o.AudioRate = audio_rate;
  o.DurationSec = seconds;
  o.StartUs = recmake::ParseStartTime("2024-12-10 08:30:00");
  recmake::TStreamGenerator generator(o);
  std::vector<TRecordFrame> frames;
  TRecordFrame frame;
  while (generator.Next(frame)) frames.push_back(frame);
  return frames;
}

// A record file as recmake writes it, through a scratch file.
Bytes RecordFile(const std::vector<TRecordFrame>& frames, bool with_file_head = true) {
  const fs::path scratch = fs::temp_directory_path() / "make_fuzz_corpus.rec";
  {
    recmake::TRecordFileWriter writer(scratch.string(), with_file_head);
    for (const TRecordFrame& f : frames) writer.Write(f);
    writer.Close();
  }
  std::ifstream in(scratch, std::ios::binary);
  Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  fs::remove(scratch);
  return bytes;
}

std::vector<TRecordFrame> WithOverlays(std::vector<TRecordFrame> frames, bool rotate) {
  recmake::TVideoExtras extras;
  extras.Overlays = {recmake::MakeOverlayRecord(16, 16, "Camera 01"),
                     recmake::MakeOverlayRecord(16, 100, "通道一 大门")};
  extras.Rotate = rotate;
  for (TRecordFrame& f : frames) extras.ApplyTo(f);
  return frames;
}

const std::vector<TRecordFrame>& SmallStream() {
  static const std::vector<TRecordFrame> frames =
      Generate(176, 144, 10, 0.6, recmake::EAudioCodec::G711U);
  return frames;
}

// ---- Record files: recmake_reader, record ----

void RecordFiles() {
  const auto h264 = SmallStream();
  const auto h265 = Generate(176, 144, 10, 0.4, recmake::EAudioCodec::AAC,
                             recmake::EVideoCodec::H265, true, 16000);
  const auto overlays =
      WithOverlays(Generate(176, 144, 10, 0.3, recmake::EAudioCodec::G711A), true);
  const auto audio_only =
      Generate(176, 144, 10, 0.3, recmake::EAudioCodec::G722, recmake::EVideoCodec::H264, false);
  std::vector<TRecordFrame> gap = Generate(176, 144, 10, 0.3, recmake::EAudioCodec::ADPCM);
  for (TRecordFrame f : Generate(176, 144, 10, 0.3, recmake::EAudioCodec::ADPCM)) {
    recmake::SetCaptureTime(f.Head, f.TimeUs() + 5'000'000);
    gap.push_back(f);
  }

  const Bytes plain = RecordFile(h264);
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"h264_g711u.rec", plain},
      {"h264_g711u_no_file_head.rec", RecordFile(h264, false)},
      {"h265_aac.rec", RecordFile(h265)},
      {"h264_overlays_rotated.rec", RecordFile(overlays)},
      {"audio_only_g722.rec", RecordFile(audio_only)},
      {"h264_adpcm_gap5s.rec", RecordFile(gap)},
      {"file_head_only.rec", Bytes(plain.begin(), plain.begin() + 64)},
      {"cut_in_second_frame.rec",
       Bytes(plain.begin(), plain.begin() + 64 + h264[0].WireSize() + 100)},
      {"empty.rec", {}},
  };
  for (const auto& [name, bytes] : files) {
    Write("recmake_reader", name, bytes);
    Write("record", name, bytes);
  }
  // Damage the readers resynchronise over or refuse: a broken magic in the third frame,
  // a payload length past the end, an overlay size other than 44.
  Bytes broken = plain;
  const size_t third = 64 + h264[0].WireSize() + h264[1].WireSize();
  broken[third + 5] ^= 0xFF;
  Bytes too_long = plain;
  too_long[64 + 12 + 3] = 0x7F;
  Bytes overlay_size = RecordFile(overlays);
  overlay_size[64 + 49] = 40;
  for (const char* topic : {"recmake_reader", "record"}) {
    Write(topic, "broken_magic_third_frame.rec", broken);
    Write(topic, "payload_past_end.rec", too_long);
    Write(topic, "overlay_size_40.rec", overlay_size);
  }
}

// ---- Parameter sets: sps ----

void ParameterSets() {
  const std::pair<int, int> sizes[] = {{64, 48}, {176, 144}, {704, 576}, {1920, 1080}, {34, 18}};
  for (const auto& [w, h] : sizes) {
    const auto stream = vdec::testing::EncodeTestStream("libx264", w, h, 1);
    if (!stream) throw std::runtime_error("libx264 missing");
    const Bytes& au = stream->frames[0];
    for (const recmake::TNalUnit& nal :
         recmake::SplitAnnexB(recmake::EVideoCodec::H264, au.data(), au.size())) {
      if (nal.Type != 7 && nal.Type != 8) continue;
      const Bytes bytes(au.begin() + static_cast<ptrdiff_t>(nal.Offset),
                        au.begin() + static_cast<ptrdiff_t>(nal.Offset + nal.Size));
      const std::string name =
          (nal.Type == 7 ? "sps_" : "pps_") + std::to_string(w) + "x" + std::to_string(h);
      Write("sps", name, bytes);
      if (nal.Type == 7) {
        Write("sps", name + "_start_code", Cat({{0, 0, 0, 1}, bytes}));
        Write("sps", name + "_cut", Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2));
      }
    }
  }
}

// ---- Elementary streams: vdec_input ----

void ElementaryStreams() {
  // The first byte: 0x20 feeds the rest as one block, otherwise blocks of 16 << bits 2-4;
  // bits 0-1 put a real H.264 (1), H.265 (2) or both (3) stream start in front.
  struct {
    const char* Encoder;
    int Count;
    uint8_t Flags;
  } const streams[] = {
      {"libx264", 4, 0x20}, {"libx264", 3, 0x0C}, {"libx265", 3, 0x20},
      {"mpeg4", 3, 0x20},   {"mjpeg", 2, 0x14},
  };
  for (const auto& s : streams) {
    auto stream = vdec::testing::EncodeTestStream(s.Encoder, 64, 48, s.Count);
    if (!stream) continue;
    Bytes bytes{s.Flags};
    for (const Bytes& f : stream->frames) bytes.insert(bytes.end(), f.begin(), f.end());
    Write("vdec_input", std::string(s.Encoder) + "_64x48_flags" + std::to_string(s.Flags), bytes);
  }
  // Pictures that continue the built-in stream start, and two slices a picture.
  vdec::testing::TEncodeOptions sliced;
  sliced.slices = 2;
  if (auto stream = vdec::testing::EncodeTestStream("libx264", 64, 48, 3, sliced)) {
    Bytes bytes{0x21};
    for (const Bytes& f : stream->frames) bytes.insert(bytes.end(), f.begin(), f.end());
    Write("vdec_input", "libx264_two_slices_after_start", bytes);
  }
  Write("vdec_input", "only_h264_start", Bytes{0x01});
  Write("vdec_input", "only_h265_start", Bytes{0x02});
  Write("vdec_input", "start_codes_without_data", Bytes{0x23, 0, 0, 1, 0, 0, 1, 0x65, 0, 0, 1});
}

// ---- Channel input: channel_input ----

// A block as fuzz_channel_input reads it: entry byte (1: the direct video entry), length, bytes.
void PutBlock(Bytes& out, bool direct, const Bytes& bytes) {
  out.push_back(direct ? 1 : 0);
  PutLe16(out, static_cast<uint32_t>(std::min<size_t>(bytes.size(), 0xFFFF)));
  out.insert(out.end(), bytes.begin(), bytes.end());
}

void ChannelInput() {
  const auto& frames = SmallStream();
  // First byte: 1 the buffering channel, 2 stream open mode 1, 4 a valid head on every block.
  for (const uint8_t flags : {0, 1, 3}) {
    Bytes in{flags};
    for (const TRecordFrame& f : frames) PutBlock(in, false, f.Serialize());
    Write("channel_input", "frames_flags" + std::to_string(flags), in);
  }
  Bytes direct{0};
  for (const TRecordFrame& f : frames)
    if (f.IsVideo()) PutBlock(direct, true, f.Serialize());
  Write("channel_input", "video_frames_direct", direct);
  // Frames cut across blocks, as a network hands them.
  Bytes all;
  for (const TRecordFrame& f : frames) {
    const Bytes b = f.Serialize();
    all.insert(all.end(), b.begin(), b.end());
  }
  Bytes pieces{1};
  for (size_t at = 0; at < all.size(); at += 700)
    PutBlock(pieces, false, Bytes(all.begin() + at, all.begin() + std::min(all.size(), at + 700)));
  Write("channel_input", "frames_in_pieces_buffered", pieces);
  const auto overlays = WithOverlays(Generate(176, 144, 10, 0.2, std::nullopt), false);
  Bytes with_overlays{0};
  for (const TRecordFrame& f : overlays) PutBlock(with_overlays, false, f.Serialize());
  Write("channel_input", "frames_with_overlays", with_overlays);
  // A head claiming more payload than comes, then a valid frame.
  Bytes lying = frames[0].Serialize();
  lying[12 + 2] = 0x10;
  Bytes lie{4};
  PutBlock(lie, false, lying);
  PutBlock(lie, false, frames[1].Serialize());
  Write("channel_input", "payload_length_lies", lie);
}

// ---- Audio frames: audio_input ----

void AudioInput() {
  using recmake::EAudioCodec;
  const EAudioCodec codecs[] = {EAudioCodec::PCM,  EAudioCodec::G711U, EAudioCodec::G711A,
                                EAudioCodec::G722, EAudioCodec::G721,  EAudioCodec::ADPCM,
                                EAudioCodec::AAC};
  for (const EAudioCodec codec : codecs) {
    const auto& info = recmake::AudioCodecInfo(codec);
    for (const bool callback : {false, true}) {
      const auto frames = Generate(176, 144, 10, 0.25, codec, recmake::EVideoCodec::H264, false);
      // Per frame: mode (1 the codec byte as is, 8 the decode-callback channel), codec, format
      // code, channels, bits, rate, length, payload.
      Bytes in{0};
      for (const TRecordFrame& f : frames) {
        if (f.Payload.size() > 0xFFFF) continue;
        in.push_back(callback ? 9 : 1);
        in.push_back(f.Head.Codec);
        in.push_back(f.Head.AudioFormat);
        in.push_back(f.Head.AudioChannels);
        in.push_back(f.Head.AudioBits);
        PutLe16(in, f.Head.SampleRate);
        PutLe16(in, static_cast<uint32_t>(f.Payload.size()));
        in.insert(in.end(), f.Payload.begin(), f.Payload.end());
      }
      Write("audio_input", std::string(info.Name) + (callback ? "_callback" : "_sound"), in);
    }
  }
  // AAC frames made by the target's own ADTS builder (mode 4), one with a lying length.
  Bytes adts{0};
  adts.insert(adts.end(), {4 | 8, 9, 3, 1, 16});
  PutLe16(adts, 16000);
  const Bytes raw = {20, 0x10, 1,  2,  3,  4,  5, 6,    7, 8, 9, 10, 11, 12, 13, 14,
                     15, 16,   17, 18, 19, 20, 8, 0x11, 9, 9, 9, 9,  9,  9,  9,  9};
  PutLe16(adts, static_cast<uint32_t>(raw.size()));
  adts.insert(adts.end(), raw.begin(), raw.end());
  Write("audio_input", "adts_built_frames", adts);
  // The video-only switch on, with a frame that is audio.
  Bytes video_only{1, 1, zrplay::kCodecG711U, 1, 1, 8};
  PutLe16(video_only, 8000);
  PutLe16(video_only, 320);
  video_only.resize(video_only.size() + 320, 0xFF);
  Write("audio_input", "video_only_switch", video_only);
}

// ---- Overlay records: overlay_records ----

void OverlayRecords() {
  // picture (0 64x48, 1 176x144), count, record size, encoding, rotation, flags (1 watermark,
  // 2 scene text, 4 OSD colour, 8 watermark off), then the records.
  struct {
    const char* Name;
    uint8_t Picture, Encoding, Rotation, Flags;
    std::vector<std::pair<std::pair<int, int>, std::string>> Texts;
  } const cases[] = {
      {"utf8_two_records", 1, 1, 0, 0, {{{8, 8}, "Camera 01"}, {{8, 120}, "通道一 大门"}}},
      {"utf8_rotated_colour", 1, 1, 1, 4, {{{4, 4}, "2024-12-10 08:30:00"}}},
      {"code_page_text", 0, 0, 0, 0, {{{2, 2}, "\xcd\xa8\xb5\xc0\xd2\xbb"}}},
      {"outside_the_picture", 0, 1, 0, 0, {{{-30, 200}, "edge"}, {{60, 40}, "corner"}}},
      {"watermark_and_scene", 1, 1, 0, 3, {{{16, 16}, "Lobby"}}},
  };
  for (const auto& c : cases) {
    Bytes in{c.Picture,
             static_cast<uint8_t>(c.Texts.size()),
             zrplay::kOverlayRecordSize,
             c.Encoding,
             c.Rotation,
             c.Flags};
    for (const auto& [at, text] : c.Texts) {
      const zrplay::TOverlayRecord r = recmake::MakeOverlayRecord(at.first, at.second, text);
      const auto* p = reinterpret_cast<const uint8_t*>(&r);
      in.insert(in.end(), p, p + sizeof r);
    }
    Write("overlay_records", c.Name, in);
  }
  Write("overlay_records", "count_beyond_records",
        Cat({{1, 9, zrplay::kOverlayRecordSize, 1, 0, 0}, Bytes(44, 'A')}));
  Write("overlay_records", "record_size_short", Cat({{0, 2, 20, 1, 0, 0}, Bytes(40, 'B')}));
}

// ---- The stream server's messages: package, handshake, player_packages ----

// A memory connection byte (fuzz/memory_connection.h): pieces of 1 + (b >> 2) bytes, then
// the end (b & 3: 0 closed, 1 EAGAIN, 2 ECONNRESET, 3 EBADF).
uint8_t ConnectionByte(size_t piece, int end) {
  return static_cast<uint8_t>(((piece - 1) << 2) | end);
}

std::vector<Bytes> StreamPackages() {
  const auto& frames = SmallStream();
  std::vector<Bytes> packages;
  packages.push_back(streamsim::StreamHeadPackage(
      Bytes(zrplay::kDefaultStreamHead, zrplay::kDefaultStreamHead + zrplay::kFrameHeadSize)));
  for (const TRecordFrame& f : frames) packages.push_back(streamsim::FramePackage(f));
  return packages;
}

void Packages() {
  const std::vector<Bytes> packages = StreamPackages();
  Bytes stream;
  for (const Bytes& p : packages) stream.insert(stream.end(), p.begin(), p.end());
  const Bytes keep_alive = streamsim::KeepAlivePackage();
  const Bytes answer = viewer::EncodeOpenLiveResponse(0, viewer::TVideoParams{70, 75, 85, 127});
  Write("package", "stream_whole_then_closed", Cat({{ConnectionByte(64, 0)}, stream}));
  Write("package", "stream_in_small_pieces_then_reset",
        Cat({{ConnectionByte(7, 2)}, Bytes(stream.begin(), stream.begin() + 4000)}));
  Write("package", "answer_keep_alive_and_frames",
        Cat({{ConnectionByte(33, 1)}, answer, keep_alive, packages[0], packages[1], keep_alive}));
  Write("package", "garbage", Cat({{ConnectionByte(64, 3)}, streamsim::GarbageBytes()}));
  // A play package whose frame length is larger than its data.
  Bytes lying = packages[2];
  lying[8 + 16] = 0x01;
  Write("package", "frame_length_past_data", Cat({{ConnectionByte(64, 0)}, lying}));
  // A length word just past the largest package.
  Bytes huge = packages[1];
  huge[0] = 0x00, huge[1] = 0x10, huge[2] = 0x00, huge[3] = 0x01;
  Write("package", "length_past_largest", Cat({{ConnectionByte(64, 0)}, huge}));
  Write("package", "keep_alive_with_payload",
        Cat({{ConnectionByte(1, 0)}, viewer::EncodeNoMediaPackage(answer.data(), 12)}));

  // The open-live answers a communicator reads, then what follows them on the connection.
  const std::vector<std::pair<std::string, Bytes>> answers = {
      {"accepted_with_settings", answer},
      {"accepted_settings_out_of_range",
       viewer::EncodeOpenLiveResponse(0, viewer::TVideoParams{-5, 300, 128, 255})},
      {"accepted_bare", viewer::EncodeOpenLiveResponse(0, std::nullopt)},
      {"refused_no_right", viewer::EncodeOpenLiveResponse(-1, std::nullopt)},
      {"refused_busy", viewer::EncodeOpenLiveResponse(-2, std::nullopt)},
      {"refused_malformed", viewer::EncodeOpenLiveResponse(-3, std::nullopt)},
      {"refused_failure", viewer::EncodeOpenLiveResponse(-4, std::nullopt)},
      {"login_answer_instead", viewer::EncodeLoginResponse(0, std::string(128, 't'), "admin")},
      {"accepted_then_stream", Cat({answer, packages[0], packages[1]})},
  };
  for (const auto& [name, bytes] : answers) Write("handshake", name, bytes);
  Bytes short_answer = answer;
  short_answer.resize(30);
  Write("handshake", "cut_in_settings", short_answer);
  Bytes length_lies = answer;
  length_lies[3] = 36;
  Write("handshake", "length_36", length_lies);

  // Packages as the preview player gets them: flags (1 no decode, bits 1-2 link mode), then
  // per package its frame type, frame length, data size and data (everything after the
  // package's 8-byte head).
  auto player_input = [&](uint8_t flags, const std::vector<Bytes>& wire) {
    Bytes in{flags};
    for (const Bytes& p : wire) {
      fuzzing::TMemoryConnection connection(p.data(), p.size(), p.size(), 0);
      viewer::TOstraPreviewPlayPackage package;
      package.ReadFrom(connection);
      PutLe32(in, static_cast<uint32_t>(package.FrameType));
      PutLe32(in, static_cast<uint32_t>(package.FrameLength));
      PutLe16(in, static_cast<uint32_t>(package.DataSize));
      in.insert(in.end(), package.Data.get(), package.Data.get() + package.DataSize);
    }
    return in;
  };
  Write("player_packages", "stream_decoded", player_input(0, packages));
  Write("player_packages", "stream_no_decode_link_mode_1", player_input(1 | 2, packages));
  Write("player_packages", "frames_before_head",
        player_input(0, std::vector<Bytes>(packages.begin() + 1, packages.end())));
  Bytes claims_more = player_input(0, {packages[0], packages[1]});
  claims_more[1 + 4 + 3] = 0x40;  // the stream head claims 64 MiB
  Write("player_packages", "head_claims_more", claims_more);
}

// ---- Command connection: adapter_answers, requests, streamsim_requests ----

void Answers() {
  const std::string token(128, 'k');
  const std::vector<std::pair<std::string, Bytes>> answers = {
      {"login_accepted", viewer::EncodeLoginResponse(0, token, "admin")},
      {"login_accepted_token_zeros", viewer::EncodeLoginResponse(0, "abc", "张三")},
      {"login_refused", viewer::EncodeLoginResponse(-1, "", "")},
      {"identity", viewer::EncodeClientIdentityResponse(0, "192.168.1.20")},
      {"identity_malformed", viewer::EncodeClientIdentityResponse(-3, "")},
      {"identity_failed", viewer::EncodeClientIdentityResponse(-4, "")},
      {"identity_other_status", viewer::EncodeClientIdentityResponse(7, "")},
      {"open_live_answer", viewer::EncodeOpenLiveResponse(0, std::nullopt)},
  };
  for (const auto& [name, bytes] : answers) {
    Write("adapter_answers", name, Cat({{ConnectionByte(64, 0)}, bytes}));
  }
  Bytes cut = viewer::EncodeLoginResponse(0, token, "admin");
  cut.resize(100);
  Write("adapter_answers", "login_cut_then_reset", Cat({{ConnectionByte(5, 2)}, cut}));
  Write("adapter_answers", "identity_byte_by_byte_then_eagain",
        Cat({{ConnectionByte(1, 1)}, viewer::EncodeClientIdentityResponse(0, "10.0.0.1")}));
  Write("adapter_answers", "length_word_3", Bytes{ConnectionByte(64, 0), 0, 0, 0, 3, 1, 2});
  Write("adapter_answers", "length_word_huge", Bytes{ConnectionByte(64, 0), 0x7F, 0, 0, 0, 1});

  const viewer::TRequestAddressing relay{1, "10.0.0.1", "192.168.0.1"};
  const viewer::TRequestAddressing direct{0, "", ""};
  viewer::TLoginRequest login{"admin", "secret"};
  viewer::TLogoutRequest logout{token};
  viewer::TOpenLiveRequest open{token, "12345", 7, 1};
  viewer::TLinkModeRequest link{token, "12345", 7, 1, 0};
  viewer::TPtzRequest ptz{token, "-1", 3, 21, 1};
  viewer::TPtzSpeedRequest ptz_speed;
  static_cast<viewer::TPtzRequest&>(ptz_speed) = ptz;
  ptz_speed.Speed = 5;
  viewer::TVideoParamsRequest params{token, 2, 70, 75, 85, 127};
  viewer::TClientIdentityRequest identity{"10.0.0.1"};
  const std::vector<std::pair<std::string, Bytes>> requests = {
      {"login", viewer::EncodeRequest(direct, login)},
      {"logout", viewer::EncodeRequest(direct, logout)},
      {"open_live_relay", viewer::EncodeRequest(relay, open)},
      {"link_mode", viewer::EncodeRequest(direct, link)},
      {"ptz", viewer::EncodeRequest(relay, ptz)},
      {"ptz_speed", viewer::EncodeRequest(direct, ptz_speed)},
      {"video_params", viewer::EncodeRequest(direct, params)},
      {"client_identity", viewer::EncodeRequest(direct, identity)},
      {"answer_head", viewer::EncodeOpenLiveResponse(0, std::nullopt)},
  };
  Bytes session;
  for (const auto& [name, bytes] : requests) {
    Write("requests", name, bytes);
    Write("streamsim_requests", name, bytes);
    session.insert(session.end(), bytes.begin(), bytes.end());
  }
  // The server reads one request after another from a connection.
  Write("streamsim_requests", "whole_session", session);
  Bytes wrong_length = viewer::EncodeRequest(direct, open);
  wrong_length[3] += 4;
  Write("requests", "open_live_length_off", wrong_length);
  Write("streamsim_requests", "open_live_length_off", wrong_length);
  viewer::TOpenLiveRequest token_missing{"", "-1", 0, 0};
  Write("streamsim_requests", "open_live_without_token",
        Cat({viewer::EncodeRequest(direct, token_missing), viewer::EncodeRequest(direct, logout)}));
}

// ---- The center's SOAP answers: soap_answers ----

void SoapAnswers() {
  const std::string open =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><soapenv:Envelope "
      "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><soapenv:Body>";
  const std::string close = "</soapenv:Body></soapenv:Envelope>";
  auto answer = [&](const std::string& status, const std::string& type, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  };
  const std::string xml = "text/xml; charset=utf-8";
  auto wrapped = [&](const std::string& op, const std::string& result) {
    return open + "<ns1:" + op + "Response xmlns:ns1=\"urn:x\">" + result + "</ns1:" + op +
           "Response>" + close;
  };
  const std::vector<std::pair<std::string, std::string>> answers = {
      {"boolean_true",
       answer("200 OK", xml,
              wrapped("checkPermission",
                      "<ns1:checkPermissionReturn>true</ns1:checkPermissionReturn>"))},
      {"boolean_typed_false",
       answer("200 OK", xml, wrapped("checkPermission", "<r xsi:type=\"xsd:boolean\">false</r>"))},
      {"string_token", answer("200 OK", xml, wrapped("createToken", "<r>tok-1 </r>"))},
      {"string_nil", answer("200 OK", xml, wrapped("createToken", "<r xsi:nil=\"1\"/>"))},
      {"person_inline",
       answer("200 OK", xml,
              wrapped("validateToken", "<r><admin>false</admin><name>张三</name></r>"))},
      {"person_multiref",
       answer("200 OK", xml,
              open +
                  "<ns1:validateTokenResponse xmlns:ns1=\"urn:x\"><validateTokenReturn "
                  "href=\"#id0\"/></ns1:validateTokenResponse><multiRef id=\"id1\" "
                  "xsi:type=\"xsd:string\">李四</multiRef><multiRef id=\"id0\" "
                  "xsi:type=\"ns2:Person\"><admin>true</admin><name href=\"#id1\"/><orgs "
                  "xsi:type=\"soapenc:Array\"/></multiRef>" +
                  close)},
      {"multiref_circle",
       answer("200 OK", xml,
              open + "<w><r href=\"#a\"/></w><m id=\"a\" href=\"#b\"/><m id=\"b\" href=\"#a\"/>" +
                  close)},
      {"fault_token_invalid",
       answer("500 Internal Server Error", xml,
              open +
                  "<soapenv:Fault><faultcode>soapenv:Server</faultcode><faultstring>"
                  "com.center.TokenInvalidateException: gone</faultstring></soapenv:Fault>" +
                  close)},
      {"fault_timeout",
       answer("500 Internal Server Error", xml,
              open +
                  "<soapenv:Fault><faultcode>soapenv:Server</faultcode><faultstring>"
                  "Timeout waiting for lock</faultstring></soapenv:Fault>" +
                  close)},
      {"html_not_found",
       answer("404 Not Found", "text/html", "<html>TokenInvalidate? no such page</html>")},
      {"empty_answer", answer("200 OK", xml, wrapped("logout", ""))},
      {"bare_lines_no_status", "Content-Type: text/xml\n\n" + open + "<r/>" + close},
      {"not_xml", answer("200 OK", xml, "\x01\x02 not xml")},
  };
  for (const auto& [name, text] : answers) Write("soap_answers", name, text);
}

// ---- FuzzedDataProvider inputs: yv12_text, dispatch ----

// Builds an input a FuzzedDataProvider reads back as the values given: numbers come from the
// end of the data (first one last), texts and byte runs from the front.
class TProviderInput {
 public:
  // A number of the range [min, max] (the provider's integral reads).
  void Integral(uint64_t value_minus_min, uint64_t range) {
    std::vector<uint8_t> bytes;
    for (size_t offset = 0; offset < 64 && (range >> offset) > 0; offset += 8) {
      bytes.push_back(0);
    }
    for (size_t i = bytes.size(); i-- > 0;) {
      bytes[bytes.size() - 1 - i] = static_cast<uint8_t>(value_minus_min >> (8 * i));
    }
    back_.insert(back_.end(), bytes.begin(), bytes.end());
  }
  void InRange(int64_t value, int64_t min, int64_t max) {
    Integral(static_cast<uint64_t>(value - min), static_cast<uint64_t>(max - min));
  }
  void Bool(bool value) { Integral(value ? 1 : 0, 0xFF); }
  void Int32(int32_t value) { Integral(static_cast<uint32_t>(value) ^ 0x80000000u, 0xFFFFFFFFu); }
  void Uint32(uint32_t value) { Integral(value, 0xFFFFFFFFu); }
  void Uint16(uint16_t value) { Integral(value, 0xFFFF); }
  void Int16(int16_t value) { Integral(static_cast<uint16_t>(value) ^ 0x8000u, 0xFFFF); }
  // A random-length text (no backslashes in it), ended the way the provider ends one.
  void Text(const std::string& text) {
    front_.insert(front_.end(), text.begin(), text.end());
    front_.push_back('\\');
    front_.push_back('n');
  }
  void Raw(const Bytes& bytes) { front_.insert(front_.end(), bytes.begin(), bytes.end()); }
  // A floating-point value: the sign bool and the fraction's bytes, all zero.
  void Float(size_t bytes) {
    Bool(false);
    back_.insert(back_.end(), bytes, 0);
  }

  Bytes Build() const {
    Bytes out = front_;
    out.insert(out.end(), back_.rbegin(), back_.rend());
    return out;
  }

 private:
  Bytes front_;
  Bytes back_;  // in the order the provider reads them
};

void Yv12Text() {
  struct {
    const char* Name;
    int Width, Height, X, Y;
    uint32_t Colour;
    bool Watermark, Single, Resize;
    int Size;
    bool Clip;
    int Pen;
    std::string Second, Text;
  } const cases[] = {
      {"ascii_inside", 96, 64, 2, 2, 0xFFFFFF, false, false, false, 0, false, 1, "", "CAM 01"},
      {"utf8_resized", 96, 96, 4, 30, 0x00FF00, false, true, true, 24, false, 2, "通道一",
       "2024-12-10 08:30:00"},
      {"watermark_clipped", 64, 48, -10, 10, 0x8080FF, true, false, false, 0, true, 1, "mark",
       "clipped text that runs past the right edge"},
      {"negative_position", 17, 9, -700, -300, 0x123456, false, false, true, 1200, false, 0, "",
       "far away"},
      {"bottom_right", 96, 96, 90, 90, 0xFF0000, false, true, false, 0, false, 200, "x", "yy"},
  };
  for (const auto& c : cases) {
    TProviderInput in;
    in.InRange(c.Width, 1, 96);
    in.InRange(c.Height, 1, 96);
    in.InRange(c.X, -800, 800);
    in.InRange(c.Y, -800, 800);
    in.Uint32(c.Colour);
    in.Bool(c.Watermark);
    in.Bool(c.Single);
    in.Bool(c.Resize);
    in.InRange(c.Size, -10, 1200);
    in.Bool(c.Clip);
    if (c.Clip) {
      in.InRange(4, -8, 104);
      in.InRange(40, -8, 104);
    }
    in.InRange(c.Pen, -2, 200);
    const int32_t zone[4] = {c.Width / 4, c.Height / 4, c.Width / 2, c.Height / 2};
    for (int32_t v : zone) in.Int32(v);
    in.Text(c.Second);
    in.Raw(Bytes(c.Text.begin(), c.Text.end()));
    Write("yv12_text", c.Name, in.Build());
  }
}

// An argument of the type a member declares, as fuzz_dispatch's RandomArgument reads it.
void Argument(TProviderInput& in, uint16_t type, int n) {
  switch (type) {
    case QUVI_VT_I4:
      in.InRange(1, 0, 10);
      in.Int32(n % 3 == 0 ? 1 : n);
      break;
    case QUVI_VT_R4:
      in.InRange(2, 0, 10);
      in.Float(4);
      break;
    case QUVI_VT_R8:
    case QUVI_VT_DATE:
      in.InRange(3, 0, 10);
      in.Bool(type == QUVI_VT_R8);
      in.Float(8);
      break;
    case QUVI_VT_BOOL:
      in.InRange(4, 0, 10);
      in.Int16(static_cast<int16_t>(n % 2 == 0 ? -1 : 0));
      break;
    case QUVI_VT_COLOR:
      in.InRange(5, 0, 10);
      in.Uint32(0x00FF8000u);
      break;
    case QUVI_VT_STRING:
      in.InRange(6, 0, 10);
      in.Text(n % 2 == 0 ? "12345" : "127.0.0.1");
      break;
    case QUVI_VT_BYTES:
      in.InRange(7, 0, 10);
      in.Uint16(8);
      in.Raw({1, 2, 3, 4, 5, 6, 7, 8});
      in.Int32(0);
      break;
    case QUVI_VT_FONT:
      in.InRange(8, 0, 10);
      in.Text("WenQuanYi Micro Hei");
      in.Float(8);
      in.Int16(400);
      in.Int16(0);
      in.Integral(134, 0xFF);
      break;
    default:
      in.InRange(0, 0, 10);
  }
}

void Dispatch() {
  std::vector<QuviFunctionInfo> funcs;
  for (uint32_t i = 0; i < QuviGetFunctionCount(QUVI_DISPATCH_INTERFACE); ++i) {
    QuviFunctionInfo f;
    QuviGetFunction(QUVI_DISPATCH_INTERFACE, i, &f);
    if (std::strcmp(f.name, "StartPlay") != 0) funcs.push_back(f);
  }
  // Every member by its table entry, eight calls an input, with arguments of its types.
  for (size_t first = 0; first < funcs.size(); first += 8) {
    TProviderInput in;
    for (size_t i = first; i < first + 8 && i < funcs.size(); ++i) {
      in.InRange(static_cast<int64_t>(i), 0, static_cast<int64_t>(funcs.size() - 1));
      in.InRange(2, 0, 2);  // the member's own DISPID
      in.Bool(false);
      in.Bool(true);  // its own invoke kind
      in.InRange(funcs[i].param_count, 0, 6);
      for (uint32_t p = 0; p < funcs[i].param_count && p < 6; ++p)
        Argument(in, funcs[i].params[p].type, static_cast<int>(i + p));
    }
    char name[32];
    std::snprintf(name, sizeof name, "members_%03zu", first);
    Write("dispatch", name, in.Build());
  }
  // Names in any letter case, an unknown name, wrong kinds and unknown tags.
  TProviderInput names;
  for (size_t i = 0; i < funcs.size() && i < 3; ++i) {
    names.InRange(static_cast<int64_t>(i), 0, static_cast<int64_t>(funcs.size() - 1));
    names.InRange(0, 0, 2);
    for (size_t c = 0; c < std::strlen(funcs[i].name); ++c) names.Bool(c % 2 == 0);
    names.Bool(false);
    names.Bool(true);
    names.InRange(2, 0, 4);  // a property write
    names.InRange(1, 0, 6);
    names.InRange(9, 0, 10);
    names.Uint16(0x4242);
  }
  names.InRange(0, 0, static_cast<int64_t>(funcs.size() - 1));
  names.InRange(1, 0, 2);
  names.Text("NoSuchMember");
  names.Int32(0x7FFFFFF0);
  names.Bool(true);
  names.InRange(0, 0, 6);
  Write("dispatch", "names_kinds_and_tags", names.Build());
}

// ---- Export sequences: player_api ----

// Steps as fuzz_player_api reads them: an export byte (op % 48), a port byte, arguments.
class TSteps {
 public:
  TSteps& Op(uint8_t op, uint8_t port = 0) {
    bytes_.push_back(op);
    bytes_.push_back(port);
    return *this;
  }
  TSteps& U8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  // A full 32-bit argument (any kind byte of 200 and up).
  TSteps& I32(int32_t v) {
    bytes_.push_back(200);
    for (int i = 3; i >= 0; --i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  TSteps& Raw(const Bytes& b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  // The default stream head as a block (kind 4 with no bytes behind it).
  TSteps& StreamHead() { return U8(4).U8(0).U8(0); }
  const Bytes& Get() const { return bytes_; }

 private:
  Bytes bytes_;
};

void PlayerApi() {
  enum : uint8_t {
    kInitPlayer = 0,
    kInitByFactory = 1,
    kOpenStream = 5,
    kInputData = 6,
    kInputVideo = 9,
    kCloseStream = 10,
    kPlay = 11,
    kStop = 12,
    kPause = 13,
    kOpenFile = 14,
    kCloseFile = 15,
    kFileRef = 16,
    kOpenSound = 18,
    kStopSound = 19,
    kVolume = 20,
    kSpeed = 22,
    kStepOn = 24,
    kStepBack = 25,
    kQueries = 27,
    kSetPos = 28,
    kSetTime = 29,
    kSetFrame = 30,
    kKeyPos = 31,
    kRegion = 32,
    kPictureSize = 33,
    kDecCallBack = 34,
    kCBStream = 36,
    kDisplayCallBack = 37,
    kCapture = 38,
    kClip = 39,
    kTexts = 40,
    kEncodeInfo = 41,
    kBuffers = 42,
    kColours = 44,
    kDefaultHead = 46,
    kRun = 47
  };
  TSteps live;
  live.Op(kOpenStream).StreamHead().I32(0x000F0000).Op(kDecCallBack).U8(1).Op(kPlay);
  live.Op(kRun).U8(0).U8(29).Op(kQueries).Op(kPictureSize).U8(1);
  live.Op(kRun).U8(29).U8(29).Op(kBuffers).I32(1).Op(kStop).Op(kCloseStream);
  Write("player_api", "live_stream_play", live.Get());

  TSteps file;
  file.Op(kOpenFile, 1).U8(0).U8(1).Op(kFileRef, 1).U8(1).I32(0).Op(kPlay, 1);
  file.Op(kQueries, 1).Op(kSetPos, 1).I32(50).Op(kStepOn, 1).Op(kStepBack, 1);
  file.Op(kSetTime, 1).I32(1500).Op(kSetFrame, 1).I32(10).Op(kKeyPos, 1).I32(20).I32(2);
  file.Op(kCapture, 1).U8(0).U8(0).Op(kCapture, 1).U8(1).U8(1);
  file.Op(kClip, 1).I32(0).I32(20).U8(2).Op(kCloseFile, 1);
  Write("player_api", "file_seek_capture_clip", file.Get());

  // A record file made of fuzz bytes: the head of the small stream's file, cut.
  const Bytes record = RecordFile(SmallStream());
  TSteps fuzz_file;
  fuzz_file.Op(kOpenFile, 2).U8(2).U8(255).Raw(Bytes(record.begin(), record.begin() + 255 * 8));
  fuzz_file.Op(kPlay, 2).Op(kQueries, 2).Op(kSpeed, 2).I32(2).I32(1).Op(kStop, 2);
  Write("player_api", "file_of_fuzz_bytes", fuzz_file.Get());

  TSteps damaged;
  damaged.Op(kInitPlayer, 3).StreamHead().Op(kPlay, 3).Op(kDecCallBack, 3).U8(1);
  for (uint8_t i = 0; i < 12; ++i) {
    // Cut to 100/256 of the frame, or one byte garbled.
    if (i % 2 != 0) {
      damaged.Op(kInputData, 3).U8(2).U8(i).U8(100);
    } else {
      damaged.Op(kInputData, 3).U8(3).U8(i).U8(100).U8(i * 7);
    }
    damaged.Op(kInputVideo, 3).U8(0).U8(i);
  }
  damaged.Op(kCBStream, 3).I32(1).Op(kPause, 3).I32(1).Op(kPause, 3).I32(0).Op(kCloseStream, 3);
  Write("player_api", "damaged_frames", damaged.Get());

  TSteps settings;
  settings.Op(kInitByFactory).U8(1).Op(kOpenSound).Op(kVolume).I32(0x7FFF).Op(kStopSound);
  settings.Op(kRegion).I32(0).I32(0).I32(176).I32(144).I32(0).U8(1).I32(0);
  settings.Op(kDisplayCallBack)
      .U8(1)
      .Op(kTexts)
      .U8(8)
      .Raw({'C', 'a', 'm', ' ', '0', '1', 0, 0})
      .U8(0);
  settings.Op(kEncodeInfo).U8(1).Op(kColours).I32(64).I32(64).I32(64).I32(64);
  settings.Op(kDefaultHead).U8(1).I32(3);
  // The buffer, colour and quality groups with the number of arguments each reads.
  for (const auto& [op, count] : {std::pair{42, 1}, std::pair{43, 5}, std::pair{45, 3}}) {
    settings.Op(static_cast<uint8_t>(op));
    for (int i = 0; i < count; ++i) settings.I32(i - 1);
  }
  Write("player_api", "settings_and_fixed_results", settings.Get());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  g_root = argv[1];
  av_log_set_level(AV_LOG_ERROR);
  try {
    RecordFiles();
    ParameterSets();
    ElementaryStreams();
    ChannelInput();
    AudioInput();
    OverlayRecords();
    Packages();
    Answers();
    SoapAnswers();
    Yv12Text();
    Dispatch();
    PlayerApi();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_fuzz_corpus: %s\n", e.what());
    return 1;
  }
  std::printf("%zu seeds written under %s\n", g_written, g_root.c_str());
  return 0;
}
