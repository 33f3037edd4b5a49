// quvi-web's command line: options parsed into settings, refusals with their exit code, and
// the program run as a user runs it (the URL as the first line, the warning for a bind
// address other machines reach, the help).
#include "tools/quvi-web/web_options.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "tests/support/test_files.h"

namespace quvi_web {
namespace {

TEST(WebOptionsTest, ParsesEveryOption) {
  const TWebOptions o = ParseWebArgs({"--port",
                                      "0",
                                      "--bind",
                                      "0.0.0.0",
                                      "--token",
                                      "abcdefABCDEF0123-_",
                                      "--web",
                                      "/w",
                                      "--out=/o",
                                      "-d",
                                      "HostIP=127.0.0.1",
                                      "--default",
                                      "HostPort=3000",
                                      "--default",
                                      "Caption=a=b",
                                      "--channels",
                                      "0,1,2",
                                      "--max-controls",
                                      "4",
                                      "--max-connections",
                                      "2"});
  EXPECT_EQ(o.Port, 0);
  EXPECT_EQ(o.Bind, "0.0.0.0");
  EXPECT_EQ(o.Token, "abcdefABCDEF0123-_");
  EXPECT_EQ(o.WebDir, "/w");
  EXPECT_EQ(o.OutDir, "/o");
  using TPair = std::pair<std::string, std::string>;
  EXPECT_EQ(o.Defaults, (std::vector<TPair>{
                            {"HostIP", "127.0.0.1"}, {"HostPort", "3000"}, {"Caption", "a=b"}}));
  EXPECT_EQ(o.Channels, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(o.MaxControls, 4);
  EXPECT_EQ(o.MaxConnections, 2);
  const TWebOptions d = ParseWebArgs({});
  EXPECT_EQ(d.Bind, "127.0.0.1");
  EXPECT_EQ(d.MaxControls, 9);
  EXPECT_EQ(d.MaxConnections, 4);
  EXPECT_TRUE(ParseWebArgs({"--help"}).Help);
  // Every option of the table is taken with its example.
  for (const auto& [name, example] : WebOptionExamples()) {
    SCOPED_TRACE(name);
    std::vector<std::string> args{"--" + name};
    if (!example.empty()) args.push_back(example);
    EXPECT_NO_THROW(ParseWebArgs(args));
  }
}

TEST(WebOptionsTest, RefusesWhatCannotRun) {
  const std::vector<std::vector<std::string>> cases = {
      {"--port", "65536"},
      {"--port", "x"},
      {"--token", "short"},
      {"--token", "has space in it!!"},
      {"--default", "NoValue"},
      {"--default", "=1"},
      {"--channels", "1,,2"},
      {"--channels", "300"},
      {"--max-controls", "0"},
      {"--max-connections", "0"},
      {"--bogus"},
      {"stray"},
      {"--port", "1", "--port", "2"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
    EXPECT_THROW(ParseWebArgs(args), cli::TOptionError);
  }
}

TEST(WebOptionsTest, TokensAndAddresses) {
  const std::string a = RandomToken();
  EXPECT_TRUE(std::regex_match(a, std::regex("[0-9a-f]{32}"))) << a;
  EXPECT_NE(a, RandomToken());
  EXPECT_TRUE(IsUsableToken(a));
  EXPECT_TRUE(IsLoopbackAddress("127.0.0.1"));
  EXPECT_TRUE(IsLoopbackAddress("127.3.2.1"));
  EXPECT_TRUE(IsLoopbackAddress("::1"));
  EXPECT_TRUE(IsLoopbackAddress("localhost"));
  EXPECT_FALSE(IsLoopbackAddress("0.0.0.0"));
  EXPECT_FALSE(IsLoopbackAddress("192.168.1.2"));
  EXPECT_FALSE(IsLoopbackAddress("::"));
}

// quvi-web started with the arguments; its standard output and error are read line by line.
class TWebProcess {
 public:
  explicit TWebProcess(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      std::vector<char*> argv{const_cast<char*>(QUVI_WEB_EXE)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(QUVI_WEB_EXE, argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_ = ::fdopen(out[0], "r");
    err_ = ::fdopen(err[0], "r");
  }
  ~TWebProcess() {
    if (pid_ > 0 && status_ < 0) Stop();
    if (out_) ::fclose(out_);
    if (err_) ::fclose(err_);
  }
  std::string OutLine() { return Line(out_); }
  std::string ErrLine() { return Line(err_); }
  // SIGTERM; the exit status.
  int Stop() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

 private:
  static std::string Line(FILE* f) {
    char line[1024] = {};
    return f && std::fgets(line, sizeof line, f) ? line : "";
  }
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  FILE* err_ = nullptr;
  int status_ = -1;
};

TEST(WebCommandLineTest, PrintsTheUrlFirstAndStopsCleanly) {
  quvi_test::TTempDir dir("web_cli_test");
  ::setenv("QUVI_REGISTRY_FILE", dir.Path("registry.ini").c_str(), 1);
  const std::string token = "fedcba9876543210fedcba9876543210";
  {
    TWebProcess web(
        {"--port", "0", "--token", token, "--web", dir.Path(""), "--out", dir.Path("out")});
    const std::string url = web.OutLine();
    EXPECT_TRUE(
        std::regex_match(url, std::regex("http://127\\.0\\.0\\.1:[0-9]+/\\?token=" + token + "\n")))
        << url;
    EXPECT_EQ(web.ErrLine().find("warning"), std::string::npos);
    EXPECT_EQ(web.Stop(), 0);
  }
  {
    TWebProcess web({"--port", "0", "--bind", "0.0.0.0", "--web", dir.Path("")});
    const std::string url = web.OutLine();
    EXPECT_TRUE(
        std::regex_match(url, std::regex("http://127\\.0\\.0\\.1:[0-9]+/\\?token=[0-9a-f]{32}\n")))
        << url;
    const std::string warning = web.ErrLine();
    EXPECT_NE(warning.find("warning"), std::string::npos) << warning;
    EXPECT_NE(warning.find("0.0.0.0"), std::string::npos) << warning;
    EXPECT_EQ(web.Stop(), 0);
  }
}

TEST(WebCommandLineTest, RefusalsHaveTheirExitCodes) {
  quvi_test::TTempDir dir("web_cli_test");
  ::setenv("QUVI_REGISTRY_FILE", dir.Path("registry.ini").c_str(), 1);
  struct Case {
    std::string args;
    int exit_code;
    std::string in_output;
  };
  const Case cases[] = {
      {"--help", 0, "--max-controls"},
      {"--bogus", 2, "unknown option"},
      {"--port 70000", 2, "--port"},
      {"--web " + dir.Path("missing"), 1, "no page folder"},
      {"--bind 203.0.113.1 --port 0 --web " + dir.Path(""), 1, "cannot listen"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string out = dir.Path("out.txt");
    const int status =
        std::system((std::string(QUVI_WEB_EXE) + " " + c.args + " >" + out + " 2>&1").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.exit_code);
    EXPECT_NE(quvi_test::ReadFile(out).find(c.in_output), std::string::npos)
        << quvi_test::ReadFile(out);
  }
}

}  // namespace
}  // namespace quvi_web
