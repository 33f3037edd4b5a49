// The binding through the real proxy module, which forwards to the recording player.
#include <gtest/gtest.h>

#include <string>

#include "viewer/player/player_binding.h"
#include "viewer/player/testing/player_test_support.h"

namespace viewer {
namespace {

using testing::TRecorder;

class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TRecorder::Attach());
    TRecorder::Reset();
  }
};

TEST(FileNameToCharArrayTest, CopiesTheNameAndZeroFillsOrCutsAt512) {
  struct Case {
    size_t length;
    bool terminated;
  };
  for (const Case& c :
       {Case{0, true}, Case{3, true}, Case{511, true}, Case{512, false}, Case{600, false}}) {
    std::string name(c.length, 'x');
    for (size_t i = 0; i < name.size(); ++i) name[i] = static_cast<char>('a' + i % 26);
    const TFileNameArray chars = FileNameToCharArray(name);
    const size_t copied = std::min(c.length, kFileNameArraySize);
    EXPECT_EQ(std::string(chars.data(), copied), name.substr(0, copied)) << c.length;
    for (size_t i = copied; i < kFileNameArraySize; ++i) ASSERT_EQ(chars[i], 0) << c.length;
    EXPECT_EQ(std::find(chars.begin(), chars.end(), '\0') != chars.end(), c.terminated) << c.length;
  }
}

TEST_F(BindingTest, CaptureTakesNamesBelow512CharactersAndRefusesLongerOnes) {
  const std::string fits = "/tmp/" + std::string(506, 's');  // 511 characters
  EXPECT_EQ(CaptureImageToFile(4, fits), 1);
  EXPECT_EQ(TRecorder::Calls(),
            std::vector<std::string>{"Zr_Play_CaptureImage(4,\"" + fits + "\")"});
  TRecorder::Reset();
  EXPECT_EQ(CaptureImageToFile(4, fits + "s"), 0);
  EXPECT_TRUE(TRecorder::Calls().empty());
}

TEST_F(BindingTest, WrappersPassArgumentsAndResultsThrough) {
  TRecorder::SetResult("Zr_Play_GetVolume", 0x5A5A);
  TRecorder::SetResult("Zr_Play_OpenStream", 0);
  const uint8_t head[8] = {0x40, 1, 2, 3};
  EXPECT_EQ(proxy::Zr_Play_GetVolume(6), 0x5A5A);
  EXPECT_EQ(proxy::Zr_Play_OpenStream(6, head, 8, 1048576), 0);
  EXPECT_EQ(proxy::Zr_Play_ThrowBFrame(6, 2), 1);
  EXPECT_EQ(proxy::Qel_Play_SetWatermark(6, "mark"), 1);
  EXPECT_EQ(proxy::Zr_Play_Play(6, 0x1234), 1);
  EXPECT_EQ(TRecorder::Calls(), (std::vector<std::string>{
                                    "Zr_Play_GetVolume(6)",
                                    "Zr_Play_OpenStream(6,len=8,head=40.1.2.3,pool=1048576)",
                                    "Zr_Play_ThrowBFrame(6,2)",
                                    "Qel_Play_SetWatermark(6,\"mark\")",
                                    "Zr_Play_Play(6,4660)",
                                }));
}

}  // namespace
}  // namespace viewer
