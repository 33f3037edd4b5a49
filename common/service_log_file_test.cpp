#include "common/service_log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "tests/support/test_files.h"

namespace {

using quvi_test::ReadFile;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", start)) {
    out.push_back(text.substr(start, p - start));
    start = p + 2;
  }
  return out;
}

int64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

class ServiceLogFileTest : public ::testing::Test {
 protected:
  quvi_test::TTempDir temp_{"quvi_log"};
  const std::string dir_ = temp_.Path();
  const std::string path_ = temp_.Path("host_ZrPlay_Standard.log");
};

const char* const kStamp = R"(\d{4}-\d{2}-\d{2} (?:1?\d|2[0-3]):\d{2}:\d{2} \d{3})";

TEST(LogTimeStampTest, FormatsHourWithoutLeadingZeroAndMilliseconds) {
  EXPECT_EQ(FormatLogTimeStamp({2024, 3, 5, 7, 4, 9, 45}), "2024-03-05 7:04:09 045");
  EXPECT_EQ(FormatLogTimeStamp({2024, 12, 31, 23, 59, 0, 999}), "2024-12-31 23:59:00 999");
  EXPECT_EQ(FormatLogTimeStamp({2024, 1, 1, 0, 0, 0, 0}), "2024-01-01 0:00:00 000");
}

TEST_F(ServiceLogFileTest, WritesStartLineMessageLinesAndStopLine) {
  {
    TServiceLogFile log(path_);
    log.Write(0, "dropped before start");
    log.Start();
    log.Start();  // a second start adds nothing
    log.Write(0, "abc");
    log.Write(5, "tagged");
  }
  const auto lines = Lines(ReadFile(path_));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(
      std::regex_match(lines[0], std::regex(std::string(kStamp) + R"(@HWD\(800\):Log Start-->.+)")))
      << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(std::string(kStamp) + "@local:abc")))
      << lines[1];
  EXPECT_TRUE(std::regex_match(lines[2], std::regex(std::string(kStamp) + R"(@HWD\(5\):tagged)")));
  EXPECT_TRUE(
      std::regex_match(lines[3], std::regex(std::string(kStamp) + R"(@HWD\(800\):Log Stop-->.+)")));
  // Every line ends in CR LF, including the last.
  EXPECT_EQ(ReadFile(path_).substr(ReadFile(path_).size() - 2), "\r\n");
}

TEST_F(ServiceLogFileTest, RollsOverOnlyPastTheMaximumKeepingOneBackup) {
  TServiceLogFile log(path_);
  log.Start();
  const int64_t start_size = FileSize(path_);
  log.MaxSize = start_size;  // exactly the maximum: no roll-over
  log.Write(0, "first");
  EXPECT_FALSE(plat::FileExists(dir_ + "/host_ZrPlay_Standard.Bak"));
  const std::string after_first = ReadFile(path_);
  log.MaxSize = FileSize(path_) - 1;  // one byte past the maximum
  log.Write(0, "second");
  EXPECT_EQ(ReadFile(dir_ + "/host_ZrPlay_Standard.Bak"), after_first);
  auto lines = Lines(ReadFile(path_));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("@local:second"), std::string::npos);

  log.MaxSize = 0;
  log.Write(0, "third");  // replaces the backup: only the newest generation survives
  EXPECT_NE(ReadFile(dir_ + "/host_ZrPlay_Standard.Bak").find("second"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ + "/host_ZrPlay_Standard.Bak").find("first"), std::string::npos);
  lines = Lines(ReadFile(path_));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("third"), std::string::npos);
}

// A log whose file cannot be re-created under its own name (held by another program).
class LockedNameLog : public TServiceLogFile {
 public:
  LockedNameLog(const std::string& path, int failures)
      : TServiceLogFile(path), failures_(failures) {}
  int calls = 0;

 protected:
  bool CreateEmptyFile(const std::string& path) override {
    ++calls;
    if (calls > 1 && failures_ > 0) {  // the first call is the creation at start
      --failures_;
      return false;
    }
    return TServiceLogFile::CreateEmptyFile(path);
  }

 private:
  int failures_;
};

TEST_F(ServiceLogFileTest, FallsBackToTimeStampedNameWhenRecreationFails) {
  LockedNameLog log(path_, 1);
  log.Start();
  log.MaxSize = 0;
  log.Write(0, "after roll-over");
  const std::string name = log.FileName();
  EXPECT_TRUE(std::regex_match(name, std::regex(dir_ + R"(/host_ZrPlay_Standard_\d{9}\.log)")))
      << name;
  EXPECT_TRUE(log.Started());
  EXPECT_NE(ReadFile(name).find("@local:after roll-over"), std::string::npos);
}

TEST_F(ServiceLogFileTest, StopsWhenNeitherNameCanBeCreated) {
  LockedNameLog log(path_, 2);
  log.Start();
  log.MaxSize = 0;
  log.Write(0, "lost");
  EXPECT_FALSE(log.Started());
  log.Write(0, "also lost");
}

TEST_F(ServiceLogFileTest, UnwritableFolderLeavesTheLogStoppedWithoutError) {
  TServiceLogFile log(dir_ + "/missing/folder/x.log");
  log.Start();
  EXPECT_FALSE(log.Started());
  log.Write(0, "dropped");
  EXPECT_FALSE(plat::FileExists(dir_ + "/missing/folder/x.log"));
}

TEST_F(ServiceLogFileTest, ConcurrentWritersNeverInterleaveLines) {
  constexpr int kThreads = 4, kLines = 500;
  {
    TServiceLogFile log(path_);
    log.Start();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&log, t] {
        for (int i = 0; i < kLines; ++i)
          log.Write(0, "thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                           std::string(50, 'a' + t));
      });
    for (auto& th : threads) th.join();
  }
  const auto lines = Lines(ReadFile(path_));
  ASSERT_EQ(lines.size(), 2u + kThreads * kLines);
  const std::regex line_re(std::string(kStamp) + R"(@local:thread (\d) line \d+ ([a-d])\2{49})");
  std::vector<int> next(kThreads, 0);
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, line_re)) << lines[i];
    const int t = std::stoi(m[1]);
    EXPECT_NE(lines[i].find("line " + std::to_string(next[t]++) + " "), std::string::npos);
  }
}

}  // namespace
