#include "common/viewer_utils.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(ViewerUtilsTest, DottedQuadsAcceptedAndRefused) {
  struct Case {
    const char* text;
    bool valid;
    uint32_t host_order;
  } cases[] = {
      {"192.168.1.20", true, 0xC0A80114},
      {"0.0.0.0", true, 0},
      {"255.255.255.255", true, 0xFFFFFFFF},
      {"10.0.0", false, 0},
      {"10.0.0.256", false, 0},
      {"10..0.1", false, 0},
      {"10.0.0.1.5", false, 0},
      {"10.0.0.1.", false, 0},
      {"", false, 0},
      {"host.example", false, 0},
      {"1.2.3.-4", false, 0},
      {" 1.2.3.4", false, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsDottedQuad(c.text), c.valid) << c.text;
    EXPECT_EQ(DottedQuadToAddress(c.text, false), c.host_order) << c.text;
    EXPECT_EQ(DottedQuadToAddress(c.text, true), __builtin_bswap32(c.host_order)) << c.text;
  }
  EXPECT_EQ(AddressToDottedQuad(0xC0A80114, false), "192.168.1.20");
  EXPECT_EQ(AddressToDottedQuad(0x1401A8C0, true), "192.168.1.20");
}

TEST(ViewerUtilsTest, ResolveHostAddressKeepsQuadsAndResolvesNames) {
  std::string quad = "10.1.2.3";
  EXPECT_TRUE(ResolveHostAddress(quad));
  EXPECT_EQ(quad, "10.1.2.3");
  std::string name = "localhost";
  EXPECT_TRUE(ResolveHostAddress(name));
  EXPECT_TRUE(IsDottedQuad(name)) << name;
  std::string bad = "no-such-host.invalid";
  EXPECT_FALSE(ResolveHostAddress(bad));
  EXPECT_EQ(bad, "no-such-host.invalid");
}

TEST(ViewerUtilsTest, PatchLengthOfATwentyBytePacket) {
  TMemoryStream s;
  WritePacketPrefix(s, 0x00050101, "10.0.0.1", "192.168.1.20", true);
  const auto bytes = PatchLengthAndGetBytes(s);
  const std::vector<uint8_t> expected = {0x00, 0x00, 0x00, 0x14, 0x00, 0x05, 0x01, 0x01, 0, 0,
                                         0,    1,    10,   0,    0,    1,    192,  168,  1, 20};
  EXPECT_EQ(bytes, expected);

  TMemoryStream direct;
  WritePacketPrefix(direct, 0x00050101, "10.0.0.1", "192.168.1.20", false);
  const auto d = PatchLengthAndGetBytes(direct);
  EXPECT_EQ(std::vector<uint8_t>(d.begin() + 12, d.end()), std::vector<uint8_t>(8, 0));
}

TEST(ViewerUtilsTest, BigEndianWritersAndFixedStrings) {
  TMemoryStream s;
  WriteUInt16BE(s, 0x1234);
  WriteUInt32BE(s, 0xA1B2C3D4);
  WriteUInt64BE(s, 0xFFFFFFFFFFFFFFFEull);
  WriteFixedString(s, "abc", 5);
  WriteFixedString(s, "abcdefgh", 4);
  const std::vector<uint8_t> expected = {0x12, 0x34, 0xA1, 0xB2, 0xC3, 0xD4, 0xFF, 0xFF,
                                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 'a',  'b',
                                         'c',  0,    0,    'a',  'b',  'c',  'd'};
  EXPECT_EQ(s.Bytes(), expected);
  const uint8_t raw[4] = {0x00, 0x00, 0x01, 0x02};
  EXPECT_EQ(ReadUInt32(raw, true), 0x102u);
  EXPECT_EQ(ReadUInt32(raw, false), 0x02010000u);
}

TEST(ViewerUtilsTest, CapturePaths) {
  setenv("QUVI_DATA_ROOT", "/data", 1);
  const TDateTime t = EncodeDateTime({2024, 12, 10, 9, 5, 7, 0});
  struct Case {
    int channel, kind;
    const char* folder;
    bool with_name;
    const char* expected;
  } cases[] = {
      {3, 2, "", true, "/data/DVRDat/20241210/4/PB/3-2-20241210090507.BMP"},
      {0, 0, "  ", true, "/data/DVRDat/20241210/1/CC/0-0-20241210090507.MPG"},
      {0, 1, "", false, "/data/DVRDat/20241210/1/AC/"},
      {7, 3, "", true, "/data/DVRDat/20241210/8/RB/7-3-20241210090507.BMP"},
      {2, 5, "", true, "/data/DVRDat/20241210/3/2-5-20241210090507.MPG"},
      {2, 2, "/snap", true, "/snap/2-2-20241210090507.BMP"},
      {2, 0, "/rec/", false, "/rec/"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BuildCapturePathAt(c.channel, c.kind, c.folder, c.with_name, t), c.expected);
  EXPECT_EQ(DateDigits(t), "20241210");
  EXPECT_EQ(TimeDigits(t), "090507");
  const std::string name = BuildMediaFileName(4, 5);
  EXPECT_EQ(name.rfind("4-5-", 0), 0u);
  EXPECT_EQ(name.size(), 4u + 14u);
  unsetenv("QUVI_DATA_ROOT");
}

TEST(ViewerUtilsTest, ElapsedTicksAcrossTheWrap) {
  struct Case {
    uint32_t start, now;
    int64_t elapsed;
  } cases[] = {
      {100, 350, 250},
      {0, 0, 0},
      {0xFFFFFFF0u, 0x10u, 0xF + 0x10},
      {0xFFFFFFFFu, 0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ElapsedTicksBetween(c.start, c.now), c.elapsed);
  EXPECT_GE(ElapsedTicks(0), 0);
}
