// The quvi-probe program run as an operator runs it: its help, its exits on bad command
// lines, and logins and right checks against the center service (node-soap).
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

#include "tests/center/center_server.h"
#include "tools/quvi-probe/probe_options.h"
#include "tools/streamsim/test_support.h"

namespace probe {
namespace {

struct TRun {
  int Exit = -1;
  std::string Out;
  std::string Err;
};

// Runs the program to its end with standard output and error on pipes.
TRun RunProbe(const std::vector<std::string>& args) {
  int out[2], err[2];
  EXPECT_EQ(pipe(out), 0);
  EXPECT_EQ(pipe(err), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  std::vector<std::string> all{QUVI_PROBE_EXE};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int r = posix_spawn(&pid, QUVI_PROBE_EXE, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  TRun run;
  if (r == 0) {
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&run.Out, &run.Err};
    int open = 2;
    while (open > 0 && poll(fds, 2, 60000) > 0) {
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buf[4096];
        const ssize_t n = read(fds[i].fd, buf, sizeof buf);
        if (n <= 0) {
          fds[i].fd = -1;
          --open;
        } else {
          texts[i]->append(buf, static_cast<size_t>(n));
        }
      }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  close(out[0]);
  close(err[0]);
  return run;
}

TEST(ProbeCli, HelpDocumentsEveryOptionAndEachExampleParses) {
  const TRun help = RunProbe({"--help"});
  EXPECT_EQ(help.Exit, 0);
  for (const auto& [name, example] : ProbeOptionExamples()) {
    EXPECT_NE(help.Out.find("--" + name), std::string::npos) << name;
  }
  // Each example value is accepted, beside the options it needs.
  const std::set<std::string> kViewOptions = {"host",   "port",      "user",   "password",
                                              "dvrid",  "link-mode", "relay",  "relay-id",
                                              "record", "capture",   "seconds"};
  for (const auto& [name, example] : ProbeOptionExamples()) {
    if (name == "help" || name == "version" || name == "members") continue;
    std::vector<std::string> args = {"--" + name, example};
    if (name == "center") {
      args.insert(args.end(), {"--login", "a:b"});
    } else if (name == "login") {
      args.insert(args.end(), {"--center", "h:1/"});
    } else if (kViewOptions.count(name)) {
      if (name != "host") args.insert(args.end(), {"--host", "h"});
      if (name == "relay-id") args.insert(args.end(), {"--relay", "r:1"});
    } else {
      args.insert(args.end(), {"--center", "h:1/"});
      if (name != "check-right") args.insert(args.end(), {"--check-right", "1"});
      if (name != "token") args.insert(args.end(), {"--token", "t"});
    }
    SCOPED_TRACE(name);
    EXPECT_NO_THROW(ParseProbeArgs(args));
  }
}

TEST(ProbeCli, MembersListsTheControlsMembersWithTheirDispids) {
  const TRun run = RunProbe({"--members"});
  EXPECT_EQ(run.Exit, 0) << run.Err;
  for (const char* text : {"interface IPmOstraNvPreviewWindowX {6D31F58B-F778-4947-8560-"
                           "108670D6111D} dual\n",
                           "  0xE7   HostIP                             get/put          BSTR\n",
                           "  -514   Enabled                            get/put          "
                           "VARIANT_BOOL\n",
                           "98 members\n", "7 events\n",
                           "enum TxMouseButton {C2C337B2-97BB-482C-8DA8-AB49661893D1}: mbLeft = "
                           "0, mbRight = 1, mbMiddle = 2\n"}) {
    EXPECT_NE(run.Out.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(run.Err, "");
}

TEST(ProbeCli, BadCommandLinesExitWithTwoAndSayWhy) {
  const struct {
    std::vector<std::string> Args;
    const char* Text;
  } cases[] = {
      {{}, "nothing to do"},
      {{"--frobnicate"}, "unknown option --frobnicate"},
      {{"--center", "no-port/sc/", "--login", "a:b"}, "ADDR:PORT/PATH/"},
      {{"--center", "h:0/sc/", "--login", "a:b"}, "--center"},
      {{"--center", "h:x/sc/", "--login", "a:b"}, "--center"},
      {{"--login", "a:b"}, "need --center"},
      {{"--center", "h:1/"}, "needs --login or --check-right"},
      {{"--center", "h:1/", "--login", "nocolon"}, "USER:PASSWORD"},
      {{"--center", "h:1/", "--check-right", "40", "--token", "t"}, "--check-right"},
      {{"--center", "h:1/", "--check-right", "3"}, "needs --token or --login"},
      {{"--center", "h:1/", "--login", "a:b", "--token", "t"}, "both give the token"},
      {{"--center", "h:1/", "--login", "a:b", "--device", "3"}, "applies only to --check-right"},
      {{"--channel", "3"}, "--channel needs --center, --host or --relay"},
      {{"--port", "6001"}, "need --host or --relay"},
      {{"--host", "h", "--port", "0"}, "--port"},
      {{"--host", "h", "--seconds", "x"}, "--seconds"},
      {{"--host", "h", "--relay", "nocolon"}, "HOST:PORT"},
      {{"--host", "h", "--relay-id", "d"}, "applies only to --relay"},
      {{"--relay", "r:1"}, "--relay needs --host"},
      {{"--host", "h", "--center", "h:1/", "--login", "a:b"}, "separate runs"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const std::string& a : c.Args) joined += a + " ";
    SCOPED_TRACE(joined);
    const TRun run = RunProbe(c.Args);
    EXPECT_EQ(run.Exit, 2);
    EXPECT_NE(run.Err.find(c.Text), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out, "");
  }
}

TEST(ProbeCli, CenterAddressSplitsIntoTheClientsSettings) {
  const struct {
    const char* Text;
    const char* Addr;
    int32_t Port;
    const char* Path;
  } cases[] = {{"10.0.0.5:8080/sc/", "10.0.0.5", 8080, "/sc/"},
               {"center.local:80", "center.local", 80, "/"},
               {"h:1/a/b", "h", 1, "/a/b/"}};
  for (const auto& c : cases) {
    const viewer::TCenterSettings s = ParseCenterAddress(c.Text);
    EXPECT_EQ(s.Addr, c.Addr);
    EXPECT_EQ(s.Port, c.Port);
    EXPECT_EQ(s.ServicePath, c.Path);
  }
}

TEST(ProbeCli, LogsInAndChecksRightsAtTheCenter) {
  center_test::TCenterServer server({"--path", "/sc/"});
  const std::string center = "127.0.0.1:" + std::to_string(server.Port()) + "/sc/";

  TRun run = RunProbe({"--center", center, "--login", "operator:secret", "--check-right", "15",
                       "--device", "1234"});
  EXPECT_EQ(run.Exit, 0) << run.Err;
  EXPECT_EQ(run.Out, "token: tok-operator\nperson: 张三\nlogin: 0\ncheck-right 15: 0\n");
  EXPECT_EQ(server.NextCall()->Operation, "createToken");
  EXPECT_EQ(server.NextCall()->Operation, "validateToken");
  const std::optional<center_test::TRecordedCall> check = server.NextCall();
  ASSERT_TRUE(check);
  EXPECT_EQ(check->Operation, "checkPermission");
  EXPECT_EQ(check->Args.at("_tokenKey"), "tok-operator");
  EXPECT_EQ(check->Args.at("_subjectId"), "1234");
  EXPECT_EQ(check->Args.at("_actionIndex"), "14");

  run = RunProbe({"--center", center, "--check-right", "0", "--token", "deny", "--channel", "3"});
  EXPECT_EQ(run.Exit, 1);
  EXPECT_EQ(run.Out, "check-right 0: -1\n");
  EXPECT_EQ(server.NextCall()->Args.at("_channelCode"), "3");

  run = RunProbe({"--center", center, "--login", "operator:wrong"});
  EXPECT_EQ(run.Exit, 1);
  EXPECT_EQ(run.Out, "token: \nperson: \nlogin: -999\n");
  EXPECT_EQ(server.NextCall()->Args.at("_password"), "wrong");
}

// A live view through the control against streamsim, as an operator runs it: the status
// lines, the video information, the statistics, and the exit status telling whether video
// arrived.
class ProbeViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ::setenv("QUVI_PLAYER_PROXY", ZRPLAYPROXY_PATH, 1); }
  std::unique_ptr<streamsim::test::TRunningServer> Serve(streamsim::TFaultSettings faults) {
    streamsim::TServerOptions options;
    options.DefaultSource = {streamsim::TSourceSpec::EKind::File,
                             std::string(QUVI_TEST_DATA_DIR) + "/h264_704x576_g711u.rec"};
    options.Faults = faults;
    return std::make_unique<streamsim::test::TRunningServer>(options);
  }
  // The lines' texts without their time stamps.
  static std::vector<std::string> Events(const std::string& out) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < out.size()) {
      const size_t end = out.find('\n', at);
      std::string line = out.substr(at, end - at);
      if (line.size() > 11 && line[0] == '[' && line[9] == ']') line = line.substr(11);
      lines.push_back(line);
      at = end == std::string::npos ? out.size() : end + 1;
    }
    return lines;
  }
  static bool Has(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& l : lines)
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }
  streamsim::test::TTempDir dir_{"probe_view_test"};
};

TEST_F(ProbeViewTest, ViewPrintsStatusesVideoAndStatisticsAndExitsZero) {
  auto server = Serve({});
  const std::string capture = dir_.Path("snap.bmp");
  const std::string record = dir_.Path("view.rec");
  const TRun run =
      RunProbe({"--host", "127.0.0.1", "--port", std::to_string(server->Port()), "--channel", "2",
                "--dvrid", "7", "--seconds", "2", "--capture", capture, "--record", record});
  EXPECT_EQ(run.Exit, 0) << run.Out << run.Err;
  const std::vector<std::string> lines = Events(run.Out);
  // Connecting, connected, playing, in the control's order.
  std::vector<std::string> statuses;
  for (const std::string& l : lines)
    if (l.rfind("status ", 0) == 0 || l == "connected") statuses.push_back(l);
  ASSERT_GE(statuses.size(), 4u) << run.Out;
  EXPECT_EQ(statuses[0], "status -1");
  EXPECT_EQ(statuses[1], "connected");
  EXPECT_EQ(statuses[2], "status -5");
  EXPECT_EQ(statuses[3], "status -6");
  EXPECT_TRUE(Has(lines, "video codec 4 704x576")) << run.Out;
  EXPECT_TRUE(Has(lines, "bitrate ")) << run.Out;
  EXPECT_TRUE(Has(lines, "capture " + capture + ": saved")) << run.Out;
  EXPECT_TRUE(Has(lines, "disconnected")) << run.Out;
  EXPECT_EQ(lines.back(), "video arrived");
  EXPECT_GT(std::filesystem::file_size(capture), 704u * 576u * 3u);
  EXPECT_GT(std::filesystem::file_size(record), 1000u);
  // The probe asked for what it was told.
  EXPECT_NE(server->Log().WaitFor({"open_live", "\"dvrid\":7", "\"channel\":2"}), "");
}

// Through a relay the control speaks to the relay and names the recorder behind it.
TEST_F(ProbeViewTest, ViewThroughARelayNamesTheRecorder) {
  auto relay = Serve({});
  const TRun run =
      RunProbe({"--host", "10.1.2.3", "--relay", "127.0.0.1:" + std::to_string(relay->Port()),
                "--relay-id", "dvr-7", "--link-mode", "1", "--seconds", "1"});
  EXPECT_EQ(run.Exit, 0) << run.Out << run.Err;
  EXPECT_EQ(Events(run.Out).back(), "video arrived");
  EXPECT_NE(relay->Log().WaitFor({"open_live", "\"target_address\":\"10.1.2.3\""}), "");
}

// A refused stream never brings video; a stream the server closes brings some, then the
// control reports the loss. Whether the first picture is decoded before the close comes is a
// race with the decoder, so the video information is looked for anywhere in the output.
TEST_F(ProbeViewTest, FaultyStreamsShowTheirStatusesAndExitAccordingly) {
  streamsim::TFaultSettings refused, closed;
  refused.OpenStatus = -2;
  closed.CloseAfter = 30;
  const struct {
    const char* Name;
    streamsim::TFaultSettings Faults;
    int Exit;
    std::vector<std::string> Lines;  // each must appear, in this order
    std::string Video;               // "" : no video information line
    std::string Last;
  } cases[] = {
      {"open refused", refused, 1, {"status -1", "status -7"}, "", "no video"},
      {"closed after 30 packages",
       closed,
       0,
       {"status -1", "connected", "status -7", "disconnected"},
       "video codec 4 704x576",
       "video arrived"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto server = Serve(c.Faults);
    const TRun run = RunProbe(
        {"--host", "127.0.0.1", "--port", std::to_string(server->Port()), "--seconds", "2"});
    EXPECT_EQ(run.Exit, c.Exit) << run.Out << run.Err;
    const std::vector<std::string> lines = Events(run.Out);
    auto at = lines.begin();
    for (const std::string& expected : c.Lines) {
      at = std::find(at, lines.end(), expected);
      EXPECT_NE(at, lines.end()) << expected << " in\n" << run.Out;
    }
    EXPECT_EQ(Has(lines, "video codec "), !c.Video.empty()) << run.Out;
    if (!c.Video.empty()) {
      EXPECT_TRUE(Has(lines, c.Video)) << run.Out;
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), c.Last);
  }
}

}  // namespace
}  // namespace probe
