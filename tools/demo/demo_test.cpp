// Runs the demo program as scripts/demo does, for a few seconds.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/process.h"
#include "tests/support/test_files.h"

namespace {

TEST(DemoTest, PlaysTheGeneratedStreamIntoTheWindowAndSavesItOnceASecond) {
  quvi_test::TTempDir dir("quvi_demo_test");
  const std::string command =
      std::string("'") + QUVI_DEMO_EXE + "' --seconds 3 --out '" + dir.Path() + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buf[1024];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) output += buf;
  const int status = ::pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  for (const char* text : {"writing into ", "status -1\n", "status -5\n", "status -6\n",
                           "  3 s: ", "video drawn", "stopped; 3 PNG files"})
    EXPECT_NE(output.find(text), std::string::npos) << text << "\n" << output;
  for (const char* png : {"/window-001.png", "/window-002.png", "/window-003.png"})
    EXPECT_TRUE(plat::FileExists(dir.Path() + png)) << png;
  // The stream server it started is gone again: its log ends with the disconnect.
  EXPECT_NE(quvi_test::ReadFile(dir.Path("streamsim.log")).find("disconnect"), std::string::npos);
}

}  // namespace
