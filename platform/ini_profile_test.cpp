#include "platform/ini_profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "tests/support/test_files.h"

namespace plat {
namespace {

class IniProfileTest : public ::testing::Test {
 protected:
  std::string Contents() const { return quvi_test::ReadFile(file_); }
  quvi_test::TTempDir temp_{"quvi_ini"};
  const std::string dir_ = temp_.Path();
  std::string file_ = temp_.Path("sub/test.ini");
};

TEST_F(IniProfileTest, MissingFileGivesDefaultAndWriteCannotCreateMissingFolder) {
  EXPECT_EQ(ReadProfileString(file_, "View", "MaxFPS", "25"), "25");
  EXPECT_FALSE(WriteProfileString(file_, "View", "MaxFPS", "25"));
}

TEST_F(IniProfileTest, WritesCreateFileAndSectionsAndUpdateInPlace) {
  file_ = dir_ + "/test.ini";
  ASSERT_TRUE(WriteProfileString(file_, "View", "A", "1"));
  ASSERT_TRUE(WriteProfileString(file_, "Decoder", "B", "2"));
  ASSERT_TRUE(WriteProfileString(file_, "view", "C", "3"));  // appended to its section
  ASSERT_TRUE(WriteProfileString(file_, "VIEW", "a", "9"));  // updated in place, spelling kept
  EXPECT_EQ(Contents(), "[View]\r\nA=9\r\nC=3\r\n[Decoder]\r\nB=2\r\n");
  EXPECT_EQ(ReadProfileString(file_, "decoder", "b", ""), "2");
  EXPECT_TRUE(ProfileKeyExists(file_, "View", "c"));
  EXPECT_FALSE(ProfileKeyExists(file_, "Decoder", "C"));
  EXPECT_EQ(ReadProfileKeys(file_, "View"), (std::vector<std::string>{"A", "C"}));
}

TEST_F(IniProfileTest, ReadsForeignFormattingAndComments) {
  file_ = dir_ + "/test.ini";
  std::ofstream(file_) << "; comment\n[ View ]\n  Name = Song Ti  \n\n[Other]\nName=x\n";
  EXPECT_EQ(ReadProfileString(file_, "View", "name", "d"), "Song Ti");
  EXPECT_EQ(ReadProfileString(file_, "View", "Missing", "d"), "d");
  ASSERT_TRUE(WriteProfileString(file_, "View", "New", "1"));
  EXPECT_EQ(ReadProfileKeys(file_, "View"), (std::vector<std::string>{"Name", "New"}));
  EXPECT_EQ(ReadProfileString(file_, "Other", "Name", ""), "x");
}

TEST_F(IniProfileTest, OnePairOfMatchingSurroundingQuotesIsStripped) {
  file_ = dir_ + "/test.ini";
  std::ofstream(file_) << "[View]\n"
                          "FontName=\"Noto Sans\"\n"
                          "Single = ' padded '\n"
                          "Twice=\"\"x\"\"\n"
                          "Mixed=\"x'\n"
                          "Inner=a \"b\" c\n"
                          "Lone=\"\n"
                          "Empty=\"\"\n";
  struct TCase {
    const char* key;
    const char* value;
  };
  for (const TCase c : {TCase{"FontName", "Noto Sans"}, TCase{"Single", " padded "},
                        TCase{"Twice", "\"x\""}, TCase{"Mixed", "\"x'"},
                        TCase{"Inner", "a \"b\" c"}, TCase{"Lone", "\""}, TCase{"Empty", ""}}) {
    EXPECT_EQ(ReadProfileString(file_, "View", c.key, "?"), c.value) << c.key;
  }
}

}  // namespace
}  // namespace plat
