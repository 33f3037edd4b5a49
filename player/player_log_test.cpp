#include "player/player_log.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <vector>

#include "platform/process.h"
#include "tests/support/test_files.h"

namespace zrplay {
namespace {

using quvi_test::ReadFile;

// Runs in a scratch current folder, where "nodebug.ini" may be placed.
class PlayerLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[4096];
    old_cwd_ = ::getcwd(cwd, sizeof cwd);
    ASSERT_EQ(::chdir(dir_.Path().c_str()), 0);
    ::unlink(PlayerLogPath().c_str());
  }
  void TearDown() override {
    StopPlayerLog();
    ::chdir(old_cwd_.c_str());
  }
  quvi_test::TTempDir dir_{"quvi_plog"};
  std::string old_cwd_;
};

TEST_F(PlayerLogTest, LogIsNamedAfterTheHostProgram) {
  EXPECT_EQ(PlayerLogPath(), plat::HostExePath() + "_ZrPlay_Standard.log");
}

TEST_F(PlayerLogTest, NodebugIniSwitchesLoggingOffAndHexDumpFormatsSixteenPerLine) {
  std::ofstream("nodebug.ini") << "";
  StartPlayerLog();
  WriteLog("dropped");
  EXPECT_FALSE(plat::FileExists(PlayerLogPath()));
  ::unlink("nodebug.ini");

  StartPlayerLog();
  unsigned char bytes[18];
  for (int i = 0; i < 18; ++i) bytes[i] = static_cast<unsigned char>(0xF0 + i);
  HexDumpToLog(bytes, 18);
  WriteLogF("n=%d", 42);
  StopPlayerLog();
  const std::string text = ReadFile(PlayerLogPath());
  EXPECT_NE(text.find("@local:F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF \r\n"),
            std::string::npos);
  EXPECT_NE(text.find("@local:00 01 \r\n"), std::string::npos);
  EXPECT_NE(text.find("@local:n=42\r\n"), std::string::npos);
  EXPECT_EQ(text.find("dropped"), std::string::npos);
}

TEST_F(PlayerLogTest, ListenerSeesEveryLineEvenWithTheFileSwitchedOff) {
  std::ofstream("nodebug.ini") << "";
  StartPlayerLog();
  std::vector<std::string> seen;
  SetLogListener([&](const std::string& text) { seen.push_back(text); });
  WriteLog("plain");
  WriteLogF("n=%d", 7);
  const unsigned char bytes[17] = {0xAB};
  HexDumpToLog(bytes, 17);
  SetLogListener(nullptr);
  WriteLog("after");
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "plain", "n=7", "AB 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ", "00 "}));
  EXPECT_FALSE(plat::FileExists(PlayerLogPath()));
  ::unlink("nodebug.ini");
}

TEST_F(PlayerLogTest, LoadingTheLibraryStartsTheLogAndUnloadingStopsIt) {
  const std::string lib = plat::HostExeDir() + "/../lib/libZrPlay_Standard.so";
  std::ofstream("nodebug.ini") << "";
  void* h = ::dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << ::dlerror();
  ::dlclose(h);
  EXPECT_FALSE(plat::FileExists(PlayerLogPath()));
  ::unlink("nodebug.ini");

  h = ::dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << ::dlerror();
  EXPECT_NE(ReadFile(PlayerLogPath()).find("@HWD(800):Log Start-->"), std::string::npos);
  ::dlclose(h);
  const std::string text = ReadFile(PlayerLogPath());
  EXPECT_TRUE(
      std::regex_search(text, std::regex(R"(Log Start-->[^\r]*\r\n(?:[^\r]*@local:[^\r]*\r\n)*)"
                                         R"([^\r]*@HWD\(800\):Log Stop-->)")))
      << text;
}

}  // namespace
}  // namespace zrplay
