#include "player/record/file_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "player/channel/frame_head.h"
#include "player/record/test_record_file.h"

namespace zrplay {
namespace {

using TFrame = TTestRecordFile::TFrame;

constexpr int32_t kT0 = 1700000000;  // 2023-11-14 22:13:20

TFrame Video(int32_t seconds, int32_t microseconds = 0, uint32_t payload = 100) {
  return {.type = 1, .seconds = seconds, .microseconds = microseconds, .payload = payload};
}
TFrame Audio(int32_t seconds, uint32_t payload = 32) {
  return {.type = kFrameTypeAudio, .seconds = seconds, .payload = payload};
}

// A reader whose diagnostic lines are collected, over one scratch file.
class FileReaderTest : public ::testing::Test {
 protected:
  FileReaderTest() {
    reader_.SetLogSink([this](const std::string& line) { log_.push_back(line); });
  }
  bool Index(const TTestRecordFile& file) {
    file.Save(path_);
    EXPECT_TRUE(reader_.Open(path_));
    return reader_.BuildIndex();
  }
  std::vector<int64_t> Starts() const {
    std::vector<int64_t> starts;
    for (int i = 0; i < reader_.FrameCount(); ++i) starts.push_back(reader_.FrameStart(i));
    return starts;
  }

  TTempDir dir_;
  std::string path_ = dir_.Path("rec.dat");
  TFileReader reader_;
  std::vector<std::string> log_;
};

TEST_F(FileReaderTest, IndexStartsBehindTheFileHeadOnlyWhenTheSecondBlockIsAFrameHead) {
  struct Case {
    bool file_head;
    std::vector<int64_t> starts;
  };
  for (const Case& c : {Case{false, {0, 164, 328}}, Case{true, {64, 228, 392}}}) {
    SCOPED_TRACE(c.file_head);
    TTestRecordFile file;
    if (c.file_head) file.FileHead();
    file.Frame(Video(kT0)).Frame(Video(kT0 + 1)).Frame(Video(kT0 + 2));
    EXPECT_TRUE(Index(file));
    EXPECT_EQ(Starts(), c.starts);
    EXPECT_EQ(reader_.FrameSize(0), 164);
    EXPECT_EQ(reader_.DurationMs(), 2000);
    EXPECT_TRUE(log_.empty());
  }
}

TEST_F(FileReaderTest, AudioBeforeTheFirstVideoFrameIsLeftOutLaterAudioTakesTheVideoTime) {
  TTestRecordFile file;
  file.FileHead()
      .Frame(Audio(kT0 - 5))
      .Frame(Audio(kT0 - 4))
      .Frame(Video(kT0, 40000))
      .Frame(Audio(kT0 + 30))
      .Frame(Video(kT0 + 1, 80000));
  ASSERT_TRUE(Index(file));
  ASSERT_EQ(reader_.FrameCount(), 3);
  EXPECT_EQ(reader_.FrameStart(0), 64 + 2 * 96);
  EXPECT_EQ(reader_.FrameType(1), kFrameTypeAudio);
  EXPECT_EQ(reader_.FrameTime(0), UnixToDateTime(kT0, 40000));
  EXPECT_EQ(reader_.FrameTime(1), UnixToDateTime(kT0, 40000));
  EXPECT_EQ(reader_.FrameTime(2), UnixToDateTime(kT0 + 1, 80000));
  EXPECT_EQ(reader_.DurationMs(), 1040);
}

TEST_F(FileReaderTest, EmptyFramesAreSkippedAndOverlayRecordsBelongToTheirFrame) {
  TTestRecordFile file;
  TFrame with_overlays = Video(kT0);
  with_overlays.overlay_count = 2;
  file.Frame(Video(kT0 - 1, 0, 0)).Frame(with_overlays).Frame(Video(kT0 - 1, 0, 0));
  file.Frame(Video(kT0, 40000, 10));
  ASSERT_TRUE(Index(file));
  // The leading empty frame makes the second block a frame head, as a file head would.
  EXPECT_EQ(Starts(), (std::vector<int64_t>{64, 64 + 252 + 64}));
  EXPECT_EQ(reader_.FrameSize(0), 64 + 100 + 2 * 44);
  EXPECT_EQ(reader_.DurationMs(), 40);
  EXPECT_TRUE(log_.empty());
}

TEST_F(FileReaderTest, OneIndexedFrameGivesDurationZero) {
  TTestRecordFile file;
  file.FileHead().Frame(Audio(kT0)).Frame(Video(kT0 + 7));
  ASSERT_TRUE(Index(file));
  EXPECT_EQ(reader_.FrameCount(), 1);
  EXPECT_EQ(reader_.DurationMs(), 0);
}

// Frame times are calendar doubles; a truncated difference would make 40 ms read as 39.
TEST_F(FileReaderTest, FramesFortyMillisecondsApartStayExactlyFortyApartOverALongFile) {
  constexpr int kFrames = 10000;
  TTestRecordFile file;
  file.FileHead();
  for (int i = 0; i < kFrames; ++i) {
    const int64_t ms = int64_t{i} * 40;
    file.Frame(Video(kT0 + static_cast<int32_t>(ms / 1000), (ms % 1000) * 1000, 8));
  }
  ASSERT_TRUE(Index(file));
  ASSERT_EQ(reader_.FrameCount(), kFrames);
  EXPECT_EQ(reader_.DurationMs(), (kFrames - 1) * 40);
  int off = 0;
  for (int i = 1; i < kFrames; ++i) {
    off += MillisecondsBetween(reader_.FrameTime(i - 1), reader_.FrameTime(i)) != 40;
  }
  EXPECT_EQ(off, 0);
}

TEST_F(FileReaderTest, GarbageBetweenTwoFramesIsSkippedByResynchronisation) {
  struct Case {
    bool file_head;
    int64_t first;
  };
  for (const Case& c : {Case{true, 64}, Case{false, 0}}) {
    SCOPED_TRACE(c.file_head);
    log_.clear();
    TTestRecordFile file;
    if (c.file_head) file.FileHead();
    file.Frame(Video(kT0)).Raw("0123456789").Frame(Video(kT0 + 1, 0, 50));
    ASSERT_TRUE(Index(file));
    const int64_t damage = c.first + 164;
    // The search starts just after the first frame's head and so runs over its payload.
    EXPECT_EQ(log_, (std::vector<std::string>{"read failed on pos " + std::to_string(damage),
                                              "skip 110 bytes"}));
    EXPECT_EQ(Starts(), (std::vector<int64_t>{c.first, damage + 10}));
    EXPECT_EQ(reader_.FrameSize(1), 114);
  }
}

TEST_F(FileReaderTest, DamageBehindAnEmptyFrameIsPassedWithoutFindingThatFrameAgain) {
  TTestRecordFile file;
  file.FileHead().Frame(Video(kT0)).Frame(Video(kT0, 0, 0)).Raw("garbage").Frame(Video(kT0 + 2));
  ASSERT_TRUE(Index(file));
  EXPECT_EQ(Starts(), (std::vector<int64_t>{64, 64 + 164 + 64 + 7}));
  EXPECT_EQ(log_, (std::vector<std::string>{"read failed on pos 292", "skip 7 bytes"}));
}

TEST_F(FileReaderTest, DamageBeforeAnyFrameWithPayloadEndsTheIndex) {
  struct Case {
    const char* name;
    TTestRecordFile file;
    int64_t damage;
  };
  std::vector<Case> cases;
  // The second block is no frame head, so the scan starts at 0, in the file head.
  cases.push_back({"damaged first head", {}, 0});
  cases.back().file.FileHead().Raw(std::string(64, 'x')).Frame(Video(kT0));
  cases.push_back({"behind an empty frame", {}, 128});
  cases.back().file.FileHead().Frame(Video(kT0, 0, 0)).Raw("junk").Frame(Video(kT0));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.clear();
    EXPECT_FALSE(Index(c.file));
    EXPECT_EQ(reader_.FrameCount(), 0);
    EXPECT_EQ(log_, std::vector<std::string>{"read failed on pos " + std::to_string(c.damage)});
  }
}

TEST_F(FileReaderTest, OnlyTypesOneTwoAndTwentyOneAreKeyFrames) {
  TTestRecordFile file;
  file.FileHead();
  for (int type = 0; type <= 30; ++type) {
    file.Frame({.type = static_cast<uint8_t>(type), .seconds = kT0 + type, .payload = 4});
  }
  ASSERT_TRUE(Index(file));
  ASSERT_EQ(reader_.FrameCount(), 31);
  for (int type = 0; type <= 30; ++type) {
    SCOPED_TRACE(type);
    EXPECT_EQ(reader_.FrameType(type), type);
    EXPECT_EQ(reader_.IsKeyFrame(type), type == 1 || type == 2 || type == 21);
  }
}

TEST_F(FileReaderTest, ListingOfATwoEntryIndex) {
  TTestRecordFile file;
  file.FileHead().Frame(Video(kT0, 123456)).Frame({.type = 2, .seconds = kT0 + 3661, .payload = 8});
  ASSERT_TRUE(Index(file));
  EXPECT_EQ(reader_.IndexListing(),
            "frame index list below:\r\n"
            "001:  start pos=64, stop pos=228, size=164, time=2023-11-14 22:13:20.123, type=1\r\n"
            "002:  start pos=228, stop pos=300, size=72, time=2023-11-14 23:14:21.000, type=2\r\n");
}

TEST_F(FileReaderTest, ALastFrameCutShortIsIndexedAndReadsZerosPastTheEnd) {
  TTestRecordFile file;
  file.FileHead().Frame(Video(kT0)).Frame(Video(kT0 + 1)).DropTail(70);
  ASSERT_TRUE(Index(file));
  ASSERT_EQ(reader_.FrameCount(), 2);
  EXPECT_EQ(reader_.FrameStart(1), 228);
  EXPECT_EQ(reader_.FrameSize(1), 164);

  std::vector<char> buf(164, '\xAA');
  ASSERT_TRUE(reader_.ReadFrame(buf.data(), 1));
  const std::string& bytes = file.Bytes();
  EXPECT_EQ(std::string(buf.data(), 94), bytes.substr(228, 94));
  EXPECT_EQ(std::string(buf.data() + 94, 70), std::string(70, '\0'));
}

TEST_F(FileReaderTest, ReadFrameCopiesHeadPayloadAndOverlayRecords) {
  TTestRecordFile file;
  TFrame with_overlays = Video(kT0 + 1, 0, 20);
  with_overlays.overlay_count = 1;
  file.FileHead().Frame(Video(kT0)).Frame(with_overlays).Frame(Video(kT0 + 2));
  ASSERT_TRUE(Index(file));
  ASSERT_EQ(reader_.FrameSize(1), 64 + 20 + 44);
  std::vector<char> buf(static_cast<size_t>(reader_.FrameSize(1)));
  ASSERT_TRUE(reader_.ReadFrame(buf.data(), 1));
  EXPECT_EQ(std::string(buf.data(), buf.size()), file.Bytes().substr(228, buf.size()));
}

TEST_F(FileReaderTest, QueriesOutsideTheIndexGiveNeutralValues) {
  TTestRecordFile file;
  file.FileHead().Frame(Video(kT0)).Frame(Video(kT0 + 1));
  // Before any file, after indexing (outside the range) and after Close.
  auto expect_neutral = [this](int i) {
    SCOPED_TRACE(i);
    char buf[256];
    EXPECT_EQ(reader_.FrameStart(i), -1);
    EXPECT_EQ(reader_.FrameSize(i), 0);
    EXPECT_EQ(reader_.FrameTime(i), 0.0);
    EXPECT_EQ(reader_.FrameType(i), -1);
    EXPECT_FALSE(reader_.IsKeyFrame(i));
    EXPECT_FALSE(reader_.ReadFrame(buf, i));
  };
  expect_neutral(0);
  EXPECT_EQ(reader_.FrameCount(), 0);
  EXPECT_FALSE(reader_.BuildIndex());
  ASSERT_TRUE(Index(file));
  for (int i : {-1, 2, 1 << 30}) expect_neutral(i);
  reader_.Close();
  expect_neutral(0);
  EXPECT_EQ(reader_.FrameCount(), 0);
  EXPECT_EQ(reader_.DurationMs(), 0);
  EXPECT_EQ(reader_.IndexListing(), "frame index list below:\r\n");
}

TEST_F(FileReaderTest, OpenKeepsTheCurrentFileForAMissingPathAndClosesItOtherwise) {
  TTestRecordFile file;
  file.FileHead().Frame(Video(kT0)).Frame(Video(kT0 + 1));
  ASSERT_TRUE(Index(file));

  ::mkdir(dir_.Path("folder").c_str(), 0700);
  for (const std::string& path : {std::string(), dir_.Path("missing"), dir_.Path("folder")}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(reader_.Open(path));
    EXPECT_EQ(reader_.FrameCount(), 2);
  }

  struct Case {
    const char* name;
    std::string bytes;
    bool opens;
  };
  const Case cases[] = {
      {"empty", "", false},
      {"63 bytes", std::string(63, 'x'), false},
      {"64 bytes", std::string(64, 'x'), true},
      {"a whole frame", TTestRecordFile().Frame(Video(kT0)).Bytes(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(reader_.Open(path_));
    ASSERT_TRUE(reader_.BuildIndex());
    const std::string other = dir_.Path(c.name);
    TTestRecordFile().Raw(c.bytes).Save(other);
    EXPECT_EQ(reader_.Open(other), c.opens);
    EXPECT_EQ(reader_.FrameCount(), 0);
    EXPECT_EQ(reader_.BuildIndex(), c.bytes.size() > 64);
  }
}

TEST_F(FileReaderTest, AFileThatCannotBeOpenedFailsAfterClosingTheCurrentOne) {
  TTestRecordFile file;
  file.FileHead().Frame(Video(kT0));
  ASSERT_TRUE(Index(file));
  // No new descriptor allowed: the open itself fails, even for the super-user.
  rlimit old_limit;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old_limit), 0);
  rlimit no_more = old_limit;
  no_more.rlim_cur = 0;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &no_more), 0);
  const bool opened = reader_.Open(path_);
  ::setrlimit(RLIMIT_NOFILE, &old_limit);
  EXPECT_FALSE(opened);
  EXPECT_EQ(reader_.FrameCount(), 0);
  EXPECT_FALSE(reader_.BuildIndex());
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_EQ(log_[0].rfind("open record file failed: " + path_, 0), 0u) << log_[0];
}

// Payload lengths are 32-bit, so a frame may carry the file past 2 GiB; the reader walks
// and reads it with 64-bit positions and keeps the 32-bit answers honest.
TEST_F(FileReaderTest, FramesBeyondTwoGibibytesAreIndexedAndRead) {
  constexpr uint32_t kBig = 0x90000000u;  // 2.25 GiB payload, left as a hole in the file
  TTestRecordFile head;
  head.FileHead().Frame(Video(kT0, 0, 0));
  TFrameHead big = MakeFrameHead();
  big.FrameType = 1;
  big.Seconds = kT0;
  big.PayloadLength = kBig;
  const std::string tail = TTestRecordFile().Frame(Video(kT0 + 60, 0, 16)).Bytes();
  const int64_t far = 64 + 64 + kBig;
  {
    const int fd = ::open(path_.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, head.Bytes().data(), 128, 0), 128);
    ASSERT_EQ(::pwrite(fd, &big, 64, 128), 64);
    ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), far + 64), static_cast<ssize_t>(tail.size()));
    ::close(fd);
  }
  ASSERT_TRUE(reader_.Open(path_));
  ASSERT_TRUE(reader_.BuildIndex());
  ASSERT_EQ(reader_.FrameCount(), 2);
  EXPECT_EQ(reader_.FrameStart(0), 128);
  EXPECT_EQ(reader_.FrameSize(0), 0);  // too large to hand out
  EXPECT_EQ(reader_.FrameStart(1), -1);
  EXPECT_EQ(reader_.FrameStart64(1), far + 64);
  EXPECT_EQ(reader_.DurationMs(), 60000);
  std::vector<char> buf(static_cast<size_t>(reader_.FrameSize(1)));
  ASSERT_EQ(buf.size(), tail.size());
  ASSERT_TRUE(reader_.ReadFrame(buf.data(), 1));
  EXPECT_EQ(std::string(buf.data(), buf.size()), tail);
}

TEST_F(FileReaderTest, KeyFrameAndTimeLookupsWalkTheIndex) {
  // Types 2 (key), 3, 5 (audio), 21 (key), 3 at 0, 40, 40, 80 and 1120 ms.
  TTestRecordFile file;
  file.FileHead()
      .Frame({.type = 2, .seconds = kT0})
      .Frame({.type = 3, .seconds = kT0, .microseconds = 40000})
      .Frame(Audio(kT0))
      .Frame({.type = 21, .seconds = kT0, .microseconds = 80000})
      .Frame({.type = 3, .seconds = kT0 + 1, .microseconds = 120000});
  ASSERT_TRUE(Index(file));
  ASSERT_EQ(reader_.FrameCount(), 5);
  struct TKey {
    int at, key;
  };
  for (const TKey c : {TKey{0, 0}, TKey{2, 0}, TKey{3, 3}, TKey{4, 3}, TKey{99, 3}, TKey{-1, -1}}) {
    EXPECT_EQ(reader_.NearestKeyFrame(c.at), c.key) << c.at;
  }
  struct TTime {
    int64_t ms;
    int index;
  };
  for (const TTime c : {TTime{-1, -1}, TTime{0, 0}, TTime{39, 0}, TTime{40, 2}, TTime{80, 3},
                        TTime{1119, 3}, TTime{1120, 4}, TTime{100000, 4}}) {
    EXPECT_EQ(reader_.FrameIndexAtTime(c.ms), c.index) << c.ms;
  }
  // An empty index has neither.
  TFileReader empty;
  EXPECT_EQ(empty.NearestKeyFrame(3), -1);
  EXPECT_EQ(empty.FrameIndexAtTime(0), -1);
  // No key frame at all.
  ASSERT_TRUE(Index(TTestRecordFile().FileHead().Frame({.type = 3}).Frame({.type = 3})));
  EXPECT_EQ(reader_.NearestKeyFrame(1), -1);
}

TEST_F(FileReaderTest, OnlyFramesTheFileHoldsInFullLieInIt) {
  // The last head claims a megabyte the file does not have.
  ASSERT_TRUE(Index(TTestRecordFile()
                        .FileHead()
                        .Frame(Video(kT0))
                        .Frame(Video(kT0 + 1))
                        .Frame(Video(kT0 + 2, 0, 1 << 20))
                        .DropTail((1 << 20) - 10)));
  ASSERT_EQ(reader_.FrameCount(), 3);
  EXPECT_TRUE(reader_.FrameLiesInFile(0));
  EXPECT_TRUE(reader_.FrameLiesInFile(1));
  EXPECT_FALSE(reader_.FrameLiesInFile(2));
  EXPECT_FALSE(reader_.FrameLiesInFile(3));
  EXPECT_FALSE(reader_.FrameLiesInFile(-1));
}

}  // namespace
}  // namespace zrplay
