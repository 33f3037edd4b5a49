// Runs the built recmake program the way a user does.
#include <gtest/gtest.h>

#include "tools/recmake/recmake_options.h"
#include "tools/recmake/test_support.h"

namespace recmake {
namespace {

using test::RunRecmake;
using test::TTempDir;

TEST(RecmakeCli, HelpDocumentsOptionsAndCodecBytes) {
  test::TRunResult r = RunRecmake({"--help"});
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_NE(r.Output.find("Usage: recmake"), std::string::npos);
  for (const TAudioCodecInfo& info : AudioCodecTable()) {
    char line[32];
    std::snprintf(line, sizeof line, "%s 0x%02X", info.Name, info.CodecByte);
    std::string text(line);
    // Name and byte appear on one line of the codec table.
    std::string compact;
    for (size_t i = 0; i < r.Output.size(); ++i) {
      if (r.Output[i] == ' ' && i > 0 && r.Output[i - 1] == ' ') continue;
      compact += r.Output[i];
    }
    EXPECT_NE(compact.find(text), std::string::npos) << text;
  }
}

TEST(RecmakeCli, BadInputAndBadCommandLinesFailWithAMessage) {
  TTempDir dir;
  std::string garbage = dir.Path("garbage.ts");
  FILE* f = std::fopen(garbage.c_str(), "wb");
  for (int i = 0; i < 3000; ++i) std::fputc((i * 31) & 0xFF, f);
  std::fclose(f);
  struct TCase {
    std::vector<std::string> Args;
    int Exit;
    const char* Text;
  };
  const std::string out = dir.Path("out.rec");
  const TCase cases[] = {
      {{dir.Path("missing.mp4"), "-o", out}, 1, "No such file"},
      {{garbage, "-o", out}, 1, "cannot read input"},
      {{"--generate", "--duration", "0.1", "-o", "/nonexistent-dir/out.rec"},
       1,
       "cannot create output file"},
      {{"--generate", "--size", "321x240", "-o", out}, 1, "picture size"},
      {{"--list", garbage}, 1, "damaged"},
      {{"--generate"}, 2, "no output file"},
      {{"--frobnicate"}, 2, "unknown option --frobnicate"},
      {{"--generate", "--overlay", "1,2," + std::string(41, 'x'), "-o", out}, 2, "40"},
      {{"--generate", "--audio-codec", "mp3", "-o", out}, 2, "unknown audio codec"},
      {{garbage, "--gop", "10", "-o", out}, 2, "--gop applies only"},
      {{"--generate", "--start", "yesterday", "-o", out}, 2, "bad start time"},
      {{"--generate", "--detail", "11", "-o", out}, 2, "--detail"},
      {{garbage, "--detail", "3", "-o", out}, 2, "--detail applies only"},
      {{}, 2, "nothing to do"},
  };
  for (const TCase& c : cases) {
    std::string joined;
    for (const std::string& a : c.Args) joined += a + " ";
    SCOPED_TRACE(joined);
    test::TRunResult r = RunRecmake(c.Args);
    EXPECT_EQ(r.ExitCode, c.Exit) << r.Output;
    EXPECT_NE(r.Output.find(c.Text), std::string::npos) << r.Output;
    EXPECT_FALSE(test::FileExists(out));  // nothing half-made is left behind
  }
}

TEST(RecmakeCli, GeneratesWithOverlaysAndRotationAndListsThem) {
  TTempDir dir;
  std::string out = dir.Path("o.rec");
  test::TRunResult r =
      RunRecmake({"--generate", "--size", "352x288", "--duration", "0.5", "--start",
                  "2024-12-10 08:30:00", "--overlay", "16,32,Cam 1", "--overlay", "16,540,通道一",
                  "--rotate", "--audio-codec", "g721", "--no-file-head", "-q", "-o", out});
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_EQ(r.Output, "");  // quiet
  test::TRecordFile file = test::ReadRecordFile(out);
  ASSERT_EQ(file.Error, "");
  EXPECT_FALSE(file.HasFileHead);
  auto video = file.Video();
  ASSERT_EQ(video.size(), 13u);
  for (const TRecordFrame* v : video) {
    ASSERT_EQ(v->Overlays.size(), 2u);
    EXPECT_EQ(v->Head.OverlayEncoding, 1);
    EXPECT_EQ(v->Head.Rotation, 1);
    EXPECT_EQ(v->Overlays[1].X, 16);
    EXPECT_EQ(v->Overlays[1].Y, 540);
    EXPECT_STREQ(v->Overlays[1].Text, "通道一");
  }
  for (const TRecordFrame* a : file.Audio()) {
    EXPECT_EQ(a->Head.Codec, 0x88);
    EXPECT_TRUE(a->Overlays.empty());
    EXPECT_EQ(a->Head.Rotation, 0);
  }
  EXPECT_EQ(file.Frames.front().Head.Seconds, 1733819400);

  test::TRunResult list = RunRecmake({"--list", out});
  EXPECT_EQ(list.ExitCode, 0);
  EXPECT_NE(list.Output.find("file head: none"), std::string::npos);
  EXPECT_NE(list.Output.find("2024-12-10 08:30:00.000"), std::string::npos);
  EXPECT_NE(list.Output.find("\"通道一\""), std::string::npos);
  EXPECT_NE(list.Output.find("rotated"), std::string::npos);
}

TEST(RecmakeCli, OptionsMapOntoGeneratorAndFileSettings) {
  TRecmakeOptions o =
      ParseRecmakeArgs({"--generate", "-o",         "x.rec",         "--size=1920x1080",
                        "--fps",      "30000/1001", "--gop",         "60",
                        "--bitrate",  "800",        "--video-codec", "h265",
                        "-a",         "ulaw",       "--audio-rate",  "16000",
                        "--start",    "@100",       "--duration",    "2.5",
                        "--detail",   "4"});
  TGeneratorOptions g = MakeGeneratorOptions(o, 7);
  EXPECT_EQ(g.Width, 1920);
  EXPECT_EQ(g.Height, 1080);
  EXPECT_EQ(g.FrameRate.num, 30000);
  EXPECT_EQ(g.FrameRate.den, 1001);
  EXPECT_EQ(g.Video.Gop, 60);
  EXPECT_EQ(g.Video.BitrateKbit, 800);
  EXPECT_EQ(g.Video.Codec, EVideoCodec::H265);
  EXPECT_EQ(g.Audio, EAudioCodec::G711U);
  EXPECT_EQ(g.AudioRate, 16000);
  EXPECT_EQ(g.StartUs, 100000000);
  EXPECT_DOUBLE_EQ(g.DurationSec, 2.5);
  EXPECT_EQ(g.Detail, 4);
  EXPECT_EQ(MakeGeneratorOptions(ParseRecmakeArgs({"--generate", "-o", "x.rec"}), 7).Detail, 0);

  TRecmakeOptions c = ParseRecmakeArgs({"in.mp4", "-o", "x.rec", "--no-audio"});
  TFileSourceOptions f = MakeFileSourceOptions(c, 7);
  EXPECT_EQ(f.Path, "in.mp4");
  EXPECT_EQ(f.StartUs, 7);  // now, when not given
  EXPECT_FALSE(f.WithAudio);
  EXPECT_TRUE(f.WithVideo);
  EXPECT_EQ(f.MaxDurationSec, 0);
}

}  // namespace
}  // namespace recmake
