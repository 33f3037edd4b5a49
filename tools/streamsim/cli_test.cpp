// The streamsim program itself: its help, the exits on bad command lines, missing or
// damaged files and a port in use, and a run that serves a client and stops on SIGTERM.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "tests/support/wait_until.h"
#include "tools/streamsim/sim_options.h"
#include "tools/streamsim/test_support.h"
#include "viewer/protocol/wire_format.h"

extern char** environ;

namespace streamsim {
namespace {

using test::TViewerClient;

// The program started with arguments, its standard output and error on pipes.
class TChild {
 public:
  explicit TChild(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    std::vector<std::string> all{STREAMSIM_EXE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int r = posix_spawn(&pid_, STREAMSIM_EXE, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
    if (r != 0) throw std::runtime_error("cannot start streamsim");
  }
  ~TChild() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
    close(err_);
  }

  // The next line of standard output; "" at the end or when the hang guard passes.
  std::string ReadLine() {
    constexpr int kGuardMs = std::chrono::milliseconds(quvi_test::kHangGuard).count();
    std::string line;
    char c;
    while (true) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, kGuardMs) != 1 || read(out_, &c, 1) != 1) return line;
      if (c == '\n') return line;
      line += c;
    }
  }
  // Waits for the exit; the exit status, or -1 when it ended otherwise.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Signal(int sig) { kill(pid_, sig); }
  // Everything the stream holds until the program closes it (or the hang guard passes).
  std::string Drain(int fd) {
    std::string text;
    char buf[4096];
    const auto until = std::chrono::steady_clock::now() + quvi_test::kHangGuard;
    while (std::chrono::steady_clock::now() < until) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 1000) != 1) continue;
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
    return text;
  }
  std::string Out() { return Drain(out_); }
  std::string Err() { return Drain(err_); }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

struct TResult {
  int Exit;
  std::string Out, Err;
};

TResult RunProgram(const std::vector<std::string>& args) {
  TChild child(args);
  TResult r;
  r.Out = child.Out();
  r.Err = child.Err();
  r.Exit = child.Wait();
  return r;
}

TEST(Program, HelpDocumentsEveryOptionTheParserTakes) {
  const TResult r = RunProgram({"--help"});
  EXPECT_EQ(r.Exit, 0);
  for (const auto& [name, example] : SimOptionExamples()) {
    EXPECT_NE(r.Out.find("--" + name), std::string::npos) << name;
  }
}

TEST(Program, BadInputEndsWithAClearMessageAndANonZeroStatus) {
  test::TTempDir dir;
  {
    std::ofstream(dir.Path("junk.rec")) << std::string(300, 'j');
    std::ofstream(dir.Path("empty.rec"), std::ios::binary)
        .write(reinterpret_cast<const char*>(zrplay::kDefaultStreamHead), 64);
  }
  TServerOptions o;
  o.DefaultSource = {TSourceSpec::EKind::File, test::WriteTestFile(dir.Path("a.rec")).Path};
  test::TRunningServer busy(o);
  const std::string busy_port = std::to_string(busy.Port());

  struct TCase {
    std::vector<std::string> Args;
    int Exit;
    std::string Message;
  };
  const TCase cases[] = {
      {{"--bogus"}, 2, "unknown option --bogus"},
      {{"--port", "70000"}, 2, "--port wants a whole number from 0 to 65535"},
      {{"--close-after", "-1"}, 2, "--close-after wants a whole number"},
      {{"--channel", "3"}, 2, "--channel wants CH=FILE"},
      {{"--audio", "mp3"}, 2, "unknown audio codec \"mp3\""},
      {{"-f", dir.Path("a.rec"), "--size", "320x240"}, 2, "applies only to the generator"},
      {{"--video-params", "1,2,3"}, 2, "four numbers"},
      {{"-f", dir.Path("missing.rec")},
       1,
       "cannot open the record file \"" + dir.Path("missing.rec")},
      {{"--channel", "2=" + dir.Path("junk.rec")}, 1, "is no readable record stream file"},
      {{"-f", dir.Path("empty.rec")}, 1, "holds no audio or video frames"},
      {{"-f", dir.Path("a.rec"), "--port", busy_port}, 1, "port " + busy_port + " is in use"},
      {{"-f", dir.Path("a.rec"), "--ptz-proxy-port", busy_port}, 1, "is in use"},
      {{"-f", dir.Path("a.rec"), "--log", dir.Path("no/such/dir/log")},
       1,
       "cannot open the log file"},
  };
  for (const TCase& c : cases) {
    const TResult r = RunProgram(c.Args);
    EXPECT_EQ(r.Exit, c.Exit) << c.Args[0] << " " << r.Err;
    EXPECT_NE(r.Err.find(c.Message), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "") << c.Args[0];
  }
}

TEST(Program, PrintsItsPortsServesAndStopsOnSigterm) {
  test::TTempDir dir;
  const test::TTestFile file = test::WriteTestFile(dir.Path("a.rec"));
  TChild child({"-f", file.Path, "--fast", "--ptz-proxy-port", "0", "--user", "u", "--password",
                "p", "--log", dir.Path("log")});
  const int port = std::stoi(child.ReadLine());
  const int proxy_port = std::stoi(child.ReadLine());
  EXPECT_GT(port, 0);
  EXPECT_GT(proxy_port, 0);
  {
    TViewerClient client(port);
    client.SendRequest(viewer::TLoginRequest{"u", "p"});
    EXPECT_EQ(client.ReadMessage().size(), 152u + 1);  // the token and the user name "u"
    ASSERT_TRUE(client.OpenLive(5));
    EXPECT_EQ(client.ReadPackage()->FrameType, viewer::wire::kFrameStreamHead);
    EXPECT_EQ(client.ReadPackage()->FrameType, viewer::wire::kFrameVideo);
  }
  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(), 0);
  const test::TBytes bytes = test::ReadFile(dir.Path("log"));
  const std::string log(bytes.begin(), bytes.end());
  EXPECT_NE(log.find("\"request\":\"login\""), std::string::npos) << log;
  EXPECT_NE(log.find("\"request\":\"open_live\""), std::string::npos) << log;
  EXPECT_NE(log.find("{\"event\":\"stopped\",\"signal\":15}"), std::string::npos) << log;
}

}  // namespace
}  // namespace streamsim
