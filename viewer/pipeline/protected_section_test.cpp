#include "viewer/pipeline/protected_section.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "tests/support/test_files.h"
#include "viewer/viewer_log.h"

namespace viewer {
namespace {

class TCountedPackage : public TAbstractPackage {
 public:
  explicit TCountedPackage(std::atomic<int>& destroyed) : destroyed_(destroyed) {}
  ~TCountedPackage() override { destroyed_.fetch_add(1); }
  void ReadFrom(TKvIPObject&) override {}

 private:
  std::atomic<int>& destroyed_;
};

using quvi_test::ReadFile;

TEST(ProtectedSectionTest, DestroyingItDestroysThePackagesStillQueued) {
  std::atomic<int> destroyed{0};
  auto section = std::make_unique<TProtectedSection>();
  for (int i = 0; i < 5; ++i) {
    section->BlockingQueue.PutOrRaise(std::make_unique<TCountedPackage>(destroyed));
  }
  section->BlockingQueue.Take();  // taken packages belong to the taker
  EXPECT_EQ(destroyed.load(), 1);
  EXPECT_EQ(section->BlockingQueue.Count(), 4);
  section.reset();
  EXPECT_EQ(destroyed.load(), 5);
}

TEST(ProtectedSectionTest, StartsWithAnEmptyQueueOfCapacityHundredAndNoThread) {
  TProtectedSection section;
  EXPECT_EQ(section.BlockingQueue.Capacity(), 100);
  EXPECT_EQ(section.BlockingQueue.Count(), 0);
  EXPECT_EQ(section.ConnectionThread, nullptr);
}

TEST(ProtectedSectionTest, CreationIsLoggedWithTheIdentifierInHexadecimal) {
  TProtectedSection section;
  std::ostringstream expected;
  // The low 32 bits of the address, as every identifier in the viewer's lines.
  expected << "@local:Create protected section " << std::hex << std::uppercase
           << static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&section)) << "\r\n";
  EXPECT_NE(ReadFile(ViewerLogPath()).find(expected.str()), std::string::npos) << expected.str();
}

}  // namespace
}  // namespace viewer
