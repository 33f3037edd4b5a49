// The small parts on their own: the command line (every documented option accepted, bad
// ones refused with a clear message), the log line's escaping, and the pacer's schedule.
#include <gtest/gtest.h>

#include "tools/streamsim/event_log.h"
#include "tools/streamsim/pacer.h"
#include "tools/streamsim/sim_options.h"

namespace streamsim {
namespace {

TEST(CommandLine, EveryDocumentedOptionIsAcceptedWithItsExample) {
  for (const auto& [name, example] : SimOptionExamples()) {
    std::vector<std::string> args{"--" + name};
    if (!example.empty()) args.push_back(example);
    EXPECT_NO_THROW(ParseSimArgs(args)) << name;
    if (!example.empty()) {
      EXPECT_NO_THROW(ParseSimArgs({"--" + name + "=" + example})) << name;
    }
  }
}

TEST(CommandLine, SettingsLandInTheServerOptions) {
  const TSimCommandLine cl = ParseSimArgs({"-p",
                                           "7100",
                                           "-f",
                                           "all.rec",
                                           "-c",
                                           "3=three.rec",
                                           "--channel=4=generate",
                                           "--fast",
                                           "--no-loop",
                                           "--keepalive-ms",
                                           "0",
                                           "--token",
                                           "t",
                                           "--login-status",
                                           "-4",
                                           "--video-params",
                                           "1,-2,3,400",
                                           "--open-status",
                                           "-5",
                                           "--garbage-after",
                                           "7",
                                           "--audio-only",
                                           "--size",
                                           "320x240"});
  const TServerOptions& s = cl.Server;
  EXPECT_EQ(s.Port, 7100);
  EXPECT_EQ(s.DefaultSource.Path, "all.rec");
  ASSERT_EQ(s.Channels.size(), 2u);
  EXPECT_EQ(s.Channels.at(3).Path, "three.rec");
  EXPECT_EQ(s.Channels.at(4).Kind, TSourceSpec::EKind::Generator);
  EXPECT_FALSE(s.RealTime);
  EXPECT_FALSE(s.Loop);
  EXPECT_EQ(s.KeepAliveMs, 0);
  EXPECT_EQ(s.Accounts.Token, "t");
  EXPECT_EQ(s.Accounts.LoginStatus, -4);
  ASSERT_TRUE(s.VideoParams.has_value());
  EXPECT_EQ(s.VideoParams->Contrast, -2);
  EXPECT_EQ(s.VideoParams->Hue, 400);
  EXPECT_EQ(s.Faults.OpenStatus, -5);
  EXPECT_EQ(s.Faults.GarbageAfter, 7);
  EXPECT_EQ(s.Faults.CloseAfter, -1);
  EXPECT_TRUE(s.Faults.AudioOnly);
  EXPECT_EQ(s.Generator.Width, 320);
}

TEST(CommandLine, BadLinesAreRefusedSayingWhatIsWrong) {
  struct TCase {
    std::vector<std::string> Args;
    const char* Message;
  };
  const TCase cases[] = {
      {{"stray"}, "unexpected argument \"stray\""},
      {{"-x"}, "unknown option -x"},
      {{"--port"}, "--port needs a value PORT"},
      {{"--fast=1"}, "--fast takes no value"},
      {{"--fast", "--fast"}, "--fast given twice"},
      {{"--port", "12x"}, "--port wants a whole number from 0 to 65535, not \"12x\""},
      {{"--bind", "localhost"}, "--bind wants an IPv4 address"},
      {{"--size", "321x240"}, "--size wants even numbers"},
      {{"--size", "big"}, "--size wants WIDTHxHEIGHT"},
      {{"--channel", "70000=a.rec"}, "--channel wants a whole number from 0 to 65535"},
      {{"-c", "1=a.rec", "-c", "1=b.rec"}, "channel 1 is given twice"},
      {{"--channel", "1="}, "--channel wants CH=FILE or CH=generate"},
      {{"--refuse-status", "0"}, "--refuse-status 0 would accept every login"},
      {{"--client-address", "1.2.3"}, "--client-address wants an IPv4 address"},
      {{"--video-params", "1,2,3,4,"}, "four numbers"},
      {{"--video-params", "1,2,3,4", "--no-video-params"}, "contradict"},
      {{"-f", "a.rec", "--fps", "30"}, "--fps applies only to the generator"},
      {{"--stall-after", "x"}, "--stall-after wants a whole number"},
  };
  for (const TCase& c : cases) {
    try {
      ParseSimArgs(c.Args);
      ADD_FAILURE() << "accepted " << c.Args[0];
    } catch (const TUsageError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
    }
  }
}

TEST(CommandLine, HelpAndVersionStopParsing) {
  EXPECT_EQ(ParseSimArgs({"--help", "--bogus"}).Mode, TSimCommandLine::EMode::Help);
  EXPECT_EQ(ParseSimArgs({"--version"}).Mode, TSimCommandLine::EMode::Version);
}

TEST(LogLine, KeepsEveryByteOfATextReadable) {
  const std::string raw("a\"b\\c\0d\x7F\xC3\xA9\n", 11);
  EXPECT_EQ(TLogLine("e").Add("t", raw).Add("n", int64_t{-3}).AddCode("c", 0x8005010Au).Text(),
            "{\"event\":\"e\",\"t\":\"a\\\"b\\\\c\\u0000d\\u007f\\u00c3\\u00a9\\u000a\","
            "\"n\":-3,\"c\":\"0x8005010A\"}");
}

TEST(Pacer, FollowsCaptureTimesCappingGapsAndIgnoringLateFrames) {
  using std::chrono::microseconds;
  TPacer pacer(true);
  const auto before = TClock::now();
  const TClock::time_point first = pacer.Due(1000000);
  const auto after = TClock::now();
  EXPECT_GE(first, before);
  EXPECT_LE(first, after);
  EXPECT_EQ(pacer.Due(1040000) - first, microseconds(40000));
  // An earlier frame (audio behind video) goes at once and leaves the schedule alone.
  EXPECT_LE(pacer.Due(1020000), first + microseconds(40000));
  EXPECT_EQ(pacer.Due(1080000) - first, microseconds(80000));
  // A jump of an hour counts as the cap.
  EXPECT_EQ(pacer.Due(1080000 + 3600000000LL) - first, microseconds(80000 + TPacer::kMaxGapUs));

  TPacer fast(false);
  fast.Due(0);
  const TClock::time_point due = fast.Due(3600000000LL);
  EXPECT_LE(due, TClock::now());
}

}  // namespace
}  // namespace streamsim
