#include "player/config/player_settings.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/ini_profile.h"
#include "platform/process.h"
#include "player/config/test_log_capture.h"
#include "tests/support/test_files.h"

namespace zrplay {
namespace {

// Every field as "Name=value", one per line, so a mismatch shows which field differs.
std::string Describe(const TPlayerSettings& s) {
  std::ostringstream o;
  o << std::hex << "EnableBufferOnLive=" << s.EnableBufferOnLive << "\nEnableOSD=" << s.EnableOSD
    << "\nEnableOSDColor=" << s.EnableOSDColor << "\nOSDColor=" << s.OSDColor
    << "\nAlarmColor=" << s.AlarmColor << "\nSetupColor=" << s.SetupColor
    << "\nShowAlarmZone=" << s.ShowAlarmZone << std::dec << "\nPenWidth=" << s.PenWidth
    << "\nDropDraw=" << s.DropDraw << "\nOSDFontSize=" << s.OSDFontSize << "\nMaxFPS=" << s.MaxFPS
    << "\nFontName=" << s.FontName << "\nOutputFileSortInfo=" << s.OutputFileSortInfo << std::hex
    << "\nWatermarkColor=" << s.WatermarkColor << "\nDrawBySDK=" << s.DrawBySDK
    << "\nUseKV=" << s.UseKV << std::dec << "\nDecodeType=" << s.DecodeType
    << "\nRenderType=" << s.RenderType << "\nAntiAliasEnable=" << s.AntiAliasEnable << "\n";
  return o.str();
}

// The documented defaults, written out here rather than taken from the header.
std::string DefaultsDescribed() {
  return "EnableBufferOnLive=1\nEnableOSD=1\nEnableOSDColor=0\nOSDColor=ffffff\n"
         "AlarmColor=ffff\nSetupColor=ff\nShowAlarmZone=1\nPenWidth=3\nDropDraw=0\n"
         "OSDFontSize=0\nMaxFPS=60\nFontName=\nOutputFileSortInfo=0\nWatermarkColor=c0c0c0\n"
         "DrawBySDK=0\nUseKV=0\nDecodeType=5\nRenderType=5\nAntiAliasEnable=0\n";
}

// A Describe() text without the line of one field.
std::string WithoutLine(const std::string& described, const std::string& key) {
  std::istringstream in(described);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.rfind(key + "=", 0) != 0) out += line + "\n";
  }
  return out;
}

constexpr char kCompleteFile[] =
    "[View]\r\nEnableBufferOnLive=1\r\nEnableOSD=1\r\nEnableOSDColor=0\r\nOSDColor=FFFFFF\r\n"
    "AlarmColor=00FFFF\r\nSetupColor=0000FF\r\nShowAlarmZone=1\r\nPenWidth=3\r\nDropDraw=0\r\n"
    "OSDFontSize=0\r\nMaxFPS=60\r\nFontName=\r\nOutputFileSortInfo=0\r\nWatermarkColor=C0C0C0\r\n"
    "DrawBySDK=0\r\nUseKV=0\r\n[Decoder]\r\nDecodeType=5\r\nRenderType=5\r\nAntiAliasEnable=0\r\n";

uint32_t Red(uint32_t c) {
  return c & 0xFF;
}
uint32_t Green(uint32_t c) {
  return (c >> 8) & 0xFF;
}
uint32_t Blue(uint32_t c) {
  return (c >> 16) & 0xFF;
}

class PlayerSettingsTest : public ::testing::Test {
 protected:
  void TearDown() override { ::chmod(file_.c_str(), 0644); }
  void Store(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }
  std::string Contents() const { return quvi_test::ReadFile(file_); }
  static int CountLinesStartingWith(const std::vector<std::string>& lines,
                                    const std::string& start) {
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; }));
  }
  quvi_test::TTempDir temp_{"quvi_settings"};
  const std::string dir_ = temp_.Path();
  const std::string file_ = temp_.Path("OrnConfig.ini");
};

TEST_F(PlayerSettingsTest, FirstLoadCreatesTheCompleteFileWithDefaults) {
  TLogCapture log;
  const TPlayerSettings s = ReadPlayerSettings(file_);
  EXPECT_EQ(Describe(s), DefaultsDescribed());
  EXPECT_EQ(Contents(), kCompleteFile);
  const auto lines = log.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "font name = ");
  EXPECT_EQ(CountLinesStartingWith(lines, "cannot write"), 0);

  // Loading again reads the same values and leaves the file alone.
  EXPECT_EQ(Describe(ReadPlayerSettings(file_)), DefaultsDescribed());
  EXPECT_EQ(Contents(), kCompleteFile);
}

TEST_F(PlayerSettingsTest, HandWrittenKeyKeepsItsValueAndPlaceAndTheOthersAreAdded) {
  Store("[View]\r\nMaxFPS=30\r\n");
  const TPlayerSettings s = ReadPlayerSettings(file_);
  EXPECT_EQ(s.MaxFPS, 30);
  const std::vector<std::string> view = plat::ReadProfileKeys(file_, "View");
  const std::vector<std::string> expected_view = {
      "MaxFPS",      "EnableBufferOnLive", "EnableOSD",          "EnableOSDColor", "OSDColor",
      "AlarmColor",  "SetupColor",         "ShowAlarmZone",      "PenWidth",       "DropDraw",
      "OSDFontSize", "FontName",           "OutputFileSortInfo", "WatermarkColor", "DrawBySDK",
      "UseKV"};
  EXPECT_EQ(view, expected_view);
  const std::vector<std::string> decoder = {"DecodeType", "RenderType", "AntiAliasEnable"};
  EXPECT_EQ(plat::ReadProfileKeys(file_, "Decoder"), decoder);
  EXPECT_EQ(plat::ReadProfileString(file_, "View", "MaxFPS", ""), "30");
}

// One hand-edited key at a time; every other field must keep its default.
TEST_F(PlayerSettingsTest, StoredValuesAreConvertedPerType) {
  using Field = std::function<int64_t(const TPlayerSettings&)>;
  struct Case {
    const char* section;
    const char* key;
    const char* stored;
    Field field;
    int64_t expected;
  };
  const Field osd_color = [](const TPlayerSettings& s) { return s.OSDColor; };
  const Field enable_osd = [](const TPlayerSettings& s) { return s.EnableOSD; };
  const Case cases[] = {
      {"View", "OSDColor", "0000FF", osd_color, 0x0000FF},  // red
      {"View", "OSDColor", "zz", osd_color, 0},
      {"View", "OSDColor", "", osd_color, 0},
      {"View", "OSDColor", "00ffff", osd_color, 0x00FFFF},
      {"View", "OSDColor", "1FF0000", osd_color, 0xFF0000},  // kept to 24 bits
      {"View", "AlarmColor", "$12", [](auto& s) { return s.AlarmColor; }, 0},
      {"View", "WatermarkColor", "808080", [](auto& s) { return s.WatermarkColor; }, 0x808080},
      {"View", "EnableOSD", "0", enable_osd, 0},
      {"View", "EnableOSD", "2", enable_osd, 1},
      {"View", "EnableOSD", "yes", enable_osd, 1},  // unconvertible: default
      {"View", "EnableBufferOnLive", "0", [](auto& s) { return s.EnableBufferOnLive; }, 0},
      {"View", "MaxFPS", "abc", [](auto& s) { return s.MaxFPS; }, 60},
      {"View", "MaxFPS", "$19", [](auto& s) { return s.MaxFPS; }, 25},
      {"View", "PenWidth", "-2", [](auto& s) { return s.PenWidth; }, -2},
      {"View", "OutputFileSortInfo", "3", [](auto& s) { return s.OutputFileSortInfo; }, 1},
      {"View", "DrawBySDK", "1", [](auto& s) { return s.DrawBySDK; }, 1},
      {"Decoder", "DecodeType", "0", [](auto& s) { return s.DecodeType; }, 0},
      {"Decoder", "AntiAliasEnable", "-1", [](auto& s) { return s.AntiAliasEnable; }, 1},
      {"View", "UseKV", "1", [](auto& s) { return s.UseKV; }, 1},
      {"Decoder", "MaxFPS", "30", [](auto& s) { return s.MaxFPS; }, 60},  // wrong section
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key + "=" + c.stored);
    Store(std::string("[") + c.section + "]\r\n" + c.key + "=" + c.stored + "\r\n");
    const TPlayerSettings s = ReadPlayerSettings(file_);
    EXPECT_EQ(c.field(s), c.expected);
    EXPECT_EQ(WithoutLine(Describe(s), c.key), WithoutLine(DefaultsDescribed(), c.key));
  }
}

TEST_F(PlayerSettingsTest, OsdColourIsStoredBlueGreenRed) {
  Store("[View]\r\nEnableOSDColor=1\r\nOSDColor=0000FF\r\nAlarmColor=FF0000\r\n");
  const TPlayerSettings s = ReadPlayerSettings(file_);
  EXPECT_TRUE(s.EnableOSDColor);
  EXPECT_EQ(Red(s.OSDColor), 0xFFu);
  EXPECT_EQ(Green(s.OSDColor), 0u);
  EXPECT_EQ(Blue(s.OSDColor), 0u);
  EXPECT_EQ(Red(s.AlarmColor), 0u);
  EXPECT_EQ(Blue(s.AlarmColor), 0xFFu);
  // The default set-up colour is red too, the alarm default yellow, the watermark grey.
  EXPECT_EQ(Describe(ReadPlayerSettings(dir_ + "/fresh.ini")), DefaultsDescribed());
}

TEST_F(PlayerSettingsTest, ConfiguredFontNameIsLogged) {
  Store("[View]\r\nFontName=Noto Sans CJK SC\r\n");
  TLogCapture log;
  EXPECT_EQ(ReadPlayerSettings(file_).FontName, "Noto Sans CJK SC");
  const auto lines = log.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "font name = Noto Sans CJK SC");
}

// A file that cannot be written: every key that is there is read, every missing key keeps
// its default, and the failure is logged once.
TEST_F(PlayerSettingsTest, UnwritableFolderKeepsEveryDefaultAndLogsOnce) {
  TLogCapture log;
  const std::string path = dir_ + "/missing/OrnConfig.ini";
  EXPECT_EQ(Describe(ReadPlayerSettings(path)), DefaultsDescribed());
  EXPECT_FALSE(plat::FileExists(path));
  const auto lines = log.Lines();
  EXPECT_EQ(CountLinesStartingWith(lines, "cannot write"), 1);
  EXPECT_EQ(CountLinesStartingWith(lines, "cannot write 19 missing key(s) to " + path), 1);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "font name = ");
}

TEST_F(PlayerSettingsTest, ReadOnlyFileKeepsItsValuesAndEveryOtherDefault) {
  const std::string text = "[View]\r\nMaxFPS=25\r\n";
  Store(text);
  ASSERT_EQ(::chmod(file_.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
  // The whole load, judged in one place so it can also run in a child process.
  const auto load_keeps_values = [&]() -> std::string {
    TLogCapture log;
    TPlayerSettings s = ReadPlayerSettings(file_);
    if (s.MaxFPS != 25) return "MaxFPS " + std::to_string(s.MaxFPS);
    s.MaxFPS = 60;
    if (Describe(s) != DefaultsDescribed()) return "settings:\n" + Describe(s);
    if (Contents() != text) return "file changed:\n" + Contents();
    if (CountLinesStartingWith(log.Lines(), "cannot write 18 missing key(s)") != 1)
      return "write-back failure not logged once";
    return "";
  };
  if (::access(file_.c_str(), W_OK) != 0) {
    EXPECT_EQ(load_keeps_values(), "");
    return;
  }
  if (::geteuid() != 0) GTEST_SKIP() << "this user can write a read-only file";
  // Root writes read-only files anyway: load as an unprivileged user in a child process.
  EXPECT_EXIT(
      {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(2);
        const std::string failure = load_keeps_values();
        if (!failure.empty()) std::fprintf(stderr, "%s\n", failure.c_str());
        _exit(failure.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// The library's load hook reads the file beside the host program after the log has started.
TEST(PlayerSettingsLoad, LoadingTheLibraryLoadsTheSettingsAfterTheLogStarts) {
  // The library writes its own log file; read the lines it wrote there.
  ::unlink(PlayerLogPath().c_str());
  const std::string lib = plat::HostExeDir() + "/../lib/libZrPlay_Standard.so";
  void* h = ::dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << ::dlerror();
  std::vector<std::string> lines;
  {
    std::istringstream all(quvi_test::ReadFile(PlayerLogPath()));
    std::string line;
    while (std::getline(all, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto at = line.find("@local:");
      if (at != std::string::npos) lines.push_back(line.substr(at + 7));
    }
  }
  ::dlclose(h);
  EXPECT_TRUE(plat::FileExists(PlayerSettingsPath()));
  EXPECT_EQ(PlayerSettingsPath(), plat::HostExeDir() + "/OrnConfig.ini");
  EXPECT_EQ(plat::ReadProfileKeys(PlayerSettingsPath(), "Decoder").size(), 3u);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("font name = ", 0), 0u) << lines.back();

  // The same entry point, linked in here, fills the process-wide settings from that file.
  LoadPlayerSettings();
  EXPECT_EQ(Describe(PlayerSettings), Describe(ReadPlayerSettings(PlayerSettingsPath())));
}

}  // namespace
}  // namespace zrplay
