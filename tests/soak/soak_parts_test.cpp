// The soak's judges: the log line check, the verdicts on a view's history, and the process
// figures it compares between cycles.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/soak/fault_plan.h"
#include "tests/soak/log_check.h"
#include "tests/soak/process_figures.h"

namespace soak {
namespace {

TEST(LogCheck, AcceptsOnlyWholeLinesInTheLogFormat) {
  struct TCase {
    const char* Text;
    int64_t Lines;
    int64_t Bad;
  };
  const TCase cases[] = {
      {"", 0, 0},
      {"2026-12-10 9:05:07 042@local:do execute-->\r\n", 1, 0},
      {"2026-12-10 21:05:07 042@HWD(800):Log Start-->2026-12-10 21:05:07\r\n", 1, 0},
      {"2026-12-10 21:05:07 042@local:\r\n2026-12-10 21:05:07 043@local:b\r\n", 2, 0},
      // A line break inside a text, a line without its CR, an unfinished last line.
      {"2026-12-10 21:05:07 042@local:a\nb\r\n", 1, 1},
      {"2026-12-10 21:05:07 042@local:a\n2026-12-10 21:05:07 042@local:b\r\n", 1, 1},
      {"2026-12-10 21:05:07 042@local:a\r\n2026-12-10 21:05", 2, 1},
      // Stamps and sources of other shapes.
      {"2026-12-10 21:05:07 42@local:a\r\n", 1, 1},
      {"2026-12-10 21:5:07 042@local:a\r\n", 1, 1},
      {"2026-12-10 21:05:07 042@remote:a\r\n", 1, 1},
      {"2026-12-10 21:05:07 042@HWD():a\r\n", 1, 1},
      {"2026-12-10 21:05:07 042local:a\r\n", 1, 1},
  };
  for (const TCase& c : cases) {
    const TLogCheck check = CheckLogText(c.Text);
    EXPECT_EQ(check.Lines, c.Lines) << c.Text;
    EXPECT_EQ(check.BadLines, c.Bad) << c.Text;
    EXPECT_EQ(check.FirstBad.empty(), c.Bad == 0) << c.Text;
  }
}

// A history from codes; P is a picture, 10 ms apart starting at t0.
constexpr int32_t P = TMark::kPicture;
constexpr int32_t D = TMark::kDisconnected;
const TClock::time_point t0{};

std::vector<TMark> History(const std::vector<int32_t>& codes) {
  std::vector<TMark> h;
  for (size_t i = 0; i < codes.size(); ++i) {
    h.push_back({codes[i], t0 + std::chrono::milliseconds(10 * static_cast<int>(i))});
  }
  return h;
}

std::vector<int32_t> Pictures(size_t n) {
  return std::vector<int32_t>(n, P);
}

std::vector<int32_t> Join(std::initializer_list<std::vector<int32_t>> parts) {
  std::vector<int32_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(Verdicts, AFaultIsMetOnlyWhenTheViewShowsItsOwnSigns) {
  struct TCase {
    const char* Name;
    EStrike Strike;
    std::vector<int32_t> Codes;
    bool Struck;
  };
  const TCase cases[] = {
      {"kill: the connection broke", EStrike::ConnectionLost, {P, -7}, true},
      {"kill: still connected", EStrike::ConnectionLost, {P, P, -6}, false},
      {"refused: open answered, then broken", EStrike::HandshakeRefused, {-7, D, -1, -7}, true},
      {"refused: pictures in between do not hide it",
       EStrike::HandshakeRefused,
       {-7, -1, P, -7},
       true},
      {"refused: the switch alone is no refusal", EStrike::HandshakeRefused, {-6, P, -7}, false},
      {"refused: an accepted open", EStrike::HandshakeRefused, {-7, -1, -5, -7}, false},
      {"read fails: switch, open, broken", EStrike::ReadFails, {-7, -1, -5, P, -7}, true},
      {"read fails: only the switch", EStrike::ReadFails, {-7, -1, -5, P}, false},
      {"read fails: a refusal is no read failure", EStrike::ReadFails, {-7, -1, -7}, false},
      {"read fails: a connection dropped without a status",
       EStrike::ReadFails,
       {-7, D, -1, -5, P, D},
       true},
      {"video through: enough pictures", EStrike::VideoThrough,
       Join({{-7, -1, -5}, Pictures(kPicturesForVideo)}), true},
      {"video through: pictures before the open do not count", EStrike::VideoThrough,
       Join({{-7}, Pictures(kPicturesForVideo), {-1, -5, P}}), false},
      {"video through: broken again", EStrike::VideoThrough,
       Join({{-7, -1, -5}, Pictures(kPicturesForVideo), {-7}}), false},
  };
  for (const TCase& c : cases) {
    const std::vector<TMark> h = History(c.Codes);
    EXPECT_EQ(Struck(c.Strike, h, 0, h.back().Time), c.Struck) << c.Name;
  }
}

TEST(Verdicts, PicturesStopWhenAStandingConnectionDrawsNothingForAWhile) {
  const std::vector<TMark> h = History({-7, -1, -5, P, P});
  const TClock::time_point last = h.back().Time;
  EXPECT_FALSE(Struck(EStrike::PicturesStop, h, 0, last + kPicturesStopWait / 2));
  EXPECT_TRUE(Struck(EStrike::PicturesStop, h, 0, last + kPicturesStopWait));
  // The marks before the fault began are not looked at.
  EXPECT_FALSE(Struck(EStrike::PicturesStop, h, 1, last + kPicturesStopWait));
  const std::vector<TMark> broken = History({-7, -1, -5, P, -7});
  EXPECT_FALSE(Struck(EStrike::PicturesStop, broken, 0, broken.back().Time + kPicturesStopWait));
}

TEST(Verdicts, RecoveryIsAStandingConnectionWithPicturesAfterTheLift) {
  EXPECT_TRUE(Recovered(History(Join({{-7, -1, -5, -6}, Pictures(kPicturesForVideo)})), 0));
  EXPECT_FALSE(Recovered(History(Join({{-7, -1, -5}, Pictures(kPicturesForVideo - 1)})), 0));
  EXPECT_FALSE(Recovered(History(Join({{-1, -5}, Pictures(kPicturesForVideo), {-7}})), 0));
  EXPECT_FALSE(Recovered(History(Join({{-1, -5}, Pictures(kPicturesForVideo), {D}})), 0));
  // A connection opened before the lift is not the recovery.
  const std::vector<TMark> before = History(Join({{-5}, Pictures(kPicturesForVideo)}));
  EXPECT_FALSE(Recovered(before, 1));
}

TEST(ProcessFigures, CountThreadsAndDescriptorsAsTheyComeAndGo) {
  // A sanitizer starts a helper thread of its own with the first thread a program makes.
  std::thread([] {}).join();
  const TProcessFigures before = ReadProcessFigures();
  EXPECT_GT(before.Threads, 0);
  EXPECT_GT(before.Descriptors, 2);
  EXPECT_GT(before.RssMiB, 0);

  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  std::mutex lock;
  std::condition_variable cv;
  bool release = false;
  std::thread worker([&] {
    std::unique_lock hold(lock);
    cv.wait(hold, [&] { return release; });
  });
  const TProcessFigures during = ReadProcessFigures();
  {
    std::lock_guard hold(lock);
    release = true;
  }
  cv.notify_one();
  worker.join();
  ::close(fd);
  EXPECT_EQ(during.Threads, before.Threads + 1);
  EXPECT_EQ(during.Descriptors, before.Descriptors + 1);
  const TProcessFigures after = ReadProcessFigures();
  EXPECT_EQ(after.Threads, before.Threads);
  EXPECT_EQ(after.Descriptors, before.Descriptors);
  EXPECT_EQ(CompareFigures({3, 7, 10.04}, {4, 7, 12.5}),
            "threads 3->4 fds 7->7 rss 10.0->12.5 MiB");
}

}  // namespace
}  // namespace soak
