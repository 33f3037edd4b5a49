#include "viewer/viewer_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "tests/support/test_files.h"

namespace viewer {
namespace {

using quvi_test::ReadFile;

TEST(ViewerLogTest, FirstMessageCreatesTheLogBesideTheHostWithItsStartLine) {
  const std::string marker = "viewer log marker " + std::to_string(::getpid());
  WriteLog(marker);
  const std::string text = ReadFile(ViewerLogPath());
  ASSERT_EQ(ViewerLogPath().substr(ViewerLogPath().size() - 14), "/VideoCtrl.Log");
  const auto at = text.find("@local:" + marker + "\r\n");
  ASSERT_NE(at, std::string::npos);
  const auto start = text.rfind("@HWD(800):Log Start-->", at);
  EXPECT_NE(start, std::string::npos);
  ShutdownViewerLog();
  EXPECT_NE(ReadFile(ViewerLogPath()).find("@HWD(800):Log Stop-->", at), std::string::npos);
}

TEST(ViewerLogTest, ListenerSeesEachLineUntilRemoved) {
  std::vector<std::string> seen;
  SetLogListener([&](const std::string& text) { seen.push_back(text); });
  WriteLog("first");
  WriteLogF("CH%d play %s", 7, "thread");
  SetLogListener(nullptr);
  WriteLog("second");
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "CH7 play thread"}));
}

}  // namespace
}  // namespace viewer
