#include "player/config/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <fstream>

#include "tests/support/test_files.h"

namespace zrplay {
namespace {

class KVIniFileTest : public ::testing::Test {
 protected:
  void Store(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }
  std::string Contents() const { return quvi_test::ReadFile(file_); }
  quvi_test::TTempDir temp_{"quvi_kvini"};
  const std::string dir_ = temp_.Path();
  const std::string file_ = temp_.Path("test.ini");
};

TEST_F(KVIniFileTest, MissingKeysAreWrittenBackInTheirStoredForm) {
  TKVIniFile ini(file_);
  EXPECT_TRUE(ini.ReadBool("S", "B", true));
  EXPECT_FALSE(ini.ReadBool("S", "B0", false));
  EXPECT_EQ(ini.ReadInteger("S", "I", -7), -7);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "F", 1.5), 1.5);
  EXPECT_EQ(ini.ReadString("T", "Text", "a b"), "a b");
  EXPECT_EQ(ini.ReadString("T", "Empty", ""), "");
  EXPECT_EQ(Contents(), "[S]\r\nB=1\r\nB0=0\r\nI=-7\r\nF=1.5\r\n[T]\r\nText=a b\r\nEmpty=\r\n");
  EXPECT_EQ(ini.FailedWriteBacks(), 0);

  // A second reader finds them all and changes nothing.
  TKVIniFile again(file_);
  EXPECT_TRUE(again.ReadBool("s", "b", false));
  EXPECT_EQ(again.ReadInteger("S", "i", 0), -7);
  EXPECT_DOUBLE_EQ(again.ReadFloat("S", "F", 0), 1.5);
  EXPECT_EQ(again.ReadString("t", "TEXT", "x"), "a b");
  EXPECT_EQ(again.ReadString("T", "Empty", "x"), "");  // present though empty
  EXPECT_EQ(Contents(), "[S]\r\nB=1\r\nB0=0\r\nI=-7\r\nF=1.5\r\n[T]\r\nText=a b\r\nEmpty=\r\n");
}

// Present values: how the integer and boolean reads convert them. Unconvertible text gives
// the default, and the file is left as it was.
TEST_F(KVIniFileTest, PresentValuesConvertOrGiveTheDefault) {
  struct Case {
    const char* stored;
    bool converts;
    int value;
  };
  const Case cases[] = {
      {"7", true, 7},
      {"0", true, 0},
      {"-3", true, -3},
      {"+12", true, 12},
      {"$1F", true, 31},
      {"0x10", true, 16},
      {"$FFFFFFFF", true, -1},
      {"2147483647", true, INT_MAX},
      {"-2147483648", true, INT_MIN},
      {"2147483648", false, 0},
      {"$100000000", false, 0},
      {"abc", false, 0},
      {"12abc", false, 0},
      {"1.5", false, 0},
      {"$", false, 0},
      {"-", false, 0},
      {"", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("stored \"") + c.stored + "\"");
    const std::string text = std::string("[S]\r\nKey=") + c.stored + "\r\n";
    Store(text);
    TKVIniFile ini(file_);
    EXPECT_EQ(ini.ReadInteger("S", "Key", 42), c.converts ? c.value : 42);
    EXPECT_EQ(ini.ReadBool("S", "Key", true), c.converts ? c.value != 0 : true);
    EXPECT_EQ(ini.ReadBool("S", "Key", false), c.converts ? c.value != 0 : false);
    EXPECT_EQ(Contents(), text);
  }
}

TEST_F(KVIniFileTest, FloatReadsConvertWholeTextOnly) {
  Store("[S]\r\nA=2.25\r\nB=-1e3\r\nC=2.5x\r\nD=\r\n");
  TKVIniFile ini(file_);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "A", 9), 2.25);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "B", 9), -1000);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "C", 9), 9);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "D", 9), 9);
}

TEST_F(KVIniFileTest, FailedWriteBackKeepsTheDefaultAndIsCounted) {
  TKVIniFile ini(dir_ + "/no/such/folder/test.ini");
  EXPECT_EQ(ini.ReadInteger("S", "I", 5), 5);
  EXPECT_TRUE(ini.ReadBool("S", "B", true));
  EXPECT_EQ(ini.ReadString("S", "T", "x"), "x");
  EXPECT_EQ(ini.FailedWriteBacks(), 3);
  EXPECT_FALSE(ini.WriteInteger("S", "I", 1));
}

}  // namespace
}  // namespace zrplay
