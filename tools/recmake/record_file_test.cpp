#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tools/recmake/record_file_reader.h"
#include "tools/recmake/record_file_writer.h"
#include "tools/recmake/test_support.h"

namespace recmake {
namespace {

using test::TTempDir;

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

TRecordFrame VideoFrame(int64_t time_us, size_t payload, bool key) {
  TRecordFrame f;
  f.Head = MakeVideoHead(zrplay::kCodecH264, key, time_us);
  f.Payload.assign(payload, 0xAB);
  f.SyncLengths();
  return f;
}

TEST(RecordFileWriter, LaysOutFileHeadFrameHeadPayloadAndOverlaysByteForByte) {
  TTempDir dir;
  std::string path = dir.Path("a.rec");
  TRecordFrame f = VideoFrame(1733819400LL * 1000000 + 123456, 5, true);
  f.Overlays.push_back(MakeOverlayRecord(-3, 500, "cam 1"));
  f.Overlays.push_back(MakeOverlayRecord(10, 20, std::string(40, 'x')));
  f.Head.OverlayEncoding = 1;
  f.Head.Rotation = 1;
  {
    TRecordFileWriter w(path);
    w.Write(f);
    w.Close();
    EXPECT_EQ(w.FramesWritten(), 1u);
    EXPECT_EQ(w.BytesWritten(), 64u + 64 + 5 + 88);
  }
  std::vector<uint8_t> b = ReadBytes(path);
  ASSERT_EQ(b.size(), 64u + 64 + 5 + 88);
  // File head: the default stream head.
  const uint8_t head12[] = {0x40, 0, 0, 0, 0xA9, 0xCA, 0xAF, 0x11, 0xBD, 0x2F, 0x10, 0xEE};
  EXPECT_TRUE(std::equal(head12, head12 + 12, b.begin()));
  EXPECT_TRUE(std::all_of(b.begin() + 12, b.begin() + 64, [](uint8_t v) { return v == 0; }));
  // Frame head at 64.
  EXPECT_TRUE(std::equal(head12, head12 + 12, b.begin() + 64));
  EXPECT_EQ(U32(b, 64 + 12), 5u);           // payload length
  EXPECT_EQ(b[64 + 24], 4);                 // codec
  EXPECT_EQ(b[64 + 26], 2);                 // key frame
  EXPECT_EQ(U32(b, 64 + 32), 1733819400u);  // seconds
  EXPECT_EQ(U32(b, 64 + 36), 123456u);      // microseconds
  EXPECT_EQ(b[64 + 48], 2);                 // overlay count
  EXPECT_EQ(b[64 + 49], 44);                // overlay size
  EXPECT_EQ(b[64 + 50], 1);                 // UTF-8
  EXPECT_EQ(b[64 + 51], 1);                 // rotation
  EXPECT_EQ(b[128], 0xAB);
  // Overlay records: 16-bit little-endian x and y, then 40 text bytes.
  size_t r0 = 128 + 5;
  EXPECT_EQ(b[r0], 0xFD);
  EXPECT_EQ(b[r0 + 1], 0xFF);  // -3
  EXPECT_EQ(b[r0 + 2] | (b[r0 + 3] << 8), 500);
  EXPECT_EQ(std::string(b.begin() + r0 + 4, b.begin() + r0 + 9), "cam 1");
  EXPECT_EQ(b[r0 + 9], 0);
  size_t r1 = r0 + 44;
  EXPECT_EQ(std::string(b.begin() + r1 + 4, b.begin() + r1 + 44), std::string(40, 'x'));
}

TEST(RecordFileWriter, WithoutFileHeadStartsWithTheFirstFrame) {
  TTempDir dir;
  std::string path = dir.Path("b.rec");
  TRecordFileWriter w(path, false);
  w.Write(VideoFrame(0, 3, true));
  w.Close();
  std::vector<uint8_t> b = ReadBytes(path);
  ASSERT_EQ(b.size(), 67u);
  EXPECT_EQ(U32(b, 12), 3u);
  std::ifstream in(path, std::ios::binary);
  TRecordFileReader reader(in);
  EXPECT_FALSE(reader.HasFileHead());
  TRecordFrame f;
  ASSERT_EQ(reader.Next(f), TRecordFileReader::EResult::Frame);
  EXPECT_EQ(f.Payload.size(), 3u);
  EXPECT_EQ(reader.Next(f), TRecordFileReader::EResult::End);
}

TEST(RecordFileWriter, UnwritablePathThrowsNamingIt) {
  try {
    TRecordFileWriter w("/nonexistent-dir/x.rec");
    FAIL() << "no error";
  } catch (const TRecmakeError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent-dir/x.rec"), std::string::npos);
  }
}

TEST(OverlayRecord, TextOfFortyBytesFitsWithoutNulAndLongerIsRefused) {
  zrplay::TOverlayRecord r = MakeOverlayRecord(1, 2, std::string(40, 'a'));
  EXPECT_EQ(std::string(r.Text, 40), std::string(40, 'a'));
  EXPECT_THROW(MakeOverlayRecord(1, 2, std::string(41, 'a')), TRecmakeError);
  EXPECT_THROW(MakeOverlayRecord(40000, 2, "x"), TRecmakeError);
}

// A record stream in memory: file head and two frames.
std::string TwoFrameFile() {
  std::string s(reinterpret_cast<const char*>(zrplay::kDefaultStreamHead), 64);
  for (int i = 0; i < 2; ++i) {
    TRecordFrame f = VideoFrame(i * 40000, 10, i == 0);
    if (i == 1) f.Overlays.push_back(MakeOverlayRecord(0, 0, "t"));
    std::vector<uint8_t> b = f.Serialize();
    s.append(b.begin(), b.end());
  }
  return s;  // 64 + 74 + 118 bytes
}

TEST(RecordFileReader, ReadsCleanFileToItsEnd) {
  std::istringstream in(TwoFrameFile());
  TRecordFileReader reader(in);
  EXPECT_TRUE(reader.HasFileHead());
  TRecordFrame f;
  ASSERT_EQ(reader.Next(f), TRecordFileReader::EResult::Frame);
  EXPECT_EQ(reader.FrameOffset(), 64u);
  EXPECT_TRUE(f.IsKey());
  ASSERT_EQ(reader.Next(f), TRecordFileReader::EResult::Frame);
  EXPECT_EQ(reader.FrameOffset(), 138u);
  ASSERT_EQ(f.Overlays.size(), 1u);
  EXPECT_EQ(f.TimeUs(), 40000);
  EXPECT_EQ(reader.Next(f), TRecordFileReader::EResult::End);
}

TEST(RecordFileReader, ReportsDamageWithItsOffset) {
  struct TCase {
    const char* Name;
    std::function<void(std::string&)> Damage;
    uint64_t Offset;
    const char* Text;
  };
  const std::vector<TCase> cases = {
      {"cut inside the second head", [](std::string& s) { s.resize(138 + 30); }, 138, "head"},
      {"cut inside the payload", [](std::string& s) { s.resize(138 + 64 + 4); }, 138, "payload"},
      {"cut inside the overlays", [](std::string& s) { s.resize(s.size() - 1); }, 138, "overlay"},
      {"bad magic", [](std::string& s) { s[138 + 5] ^= 1; }, 138, "magic"},
      {"huge payload length", [](std::string& s) { s[138 + 15] = static_cast<char>(0x7F); }, 138,
       "payload"},
      {"overlay size 40", [](std::string& s) { s[138 + 49] = 40; }, 138, "size 40"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string bytes = TwoFrameFile();
    c.Damage(bytes);
    std::istringstream in(bytes);
    TRecordFileReader reader(in);
    TRecordFrame f;
    ASSERT_EQ(reader.Next(f), TRecordFileReader::EResult::Frame);
    EXPECT_EQ(reader.Next(f), TRecordFileReader::EResult::Error);
    EXPECT_EQ(reader.FrameOffset(), c.Offset);
    EXPECT_NE(reader.ErrorText().find(c.Text), std::string::npos) << reader.ErrorText();
    EXPECT_EQ(reader.Next(f), TRecordFileReader::EResult::Error);  // stays failed
  }
}

TEST(CaptureTime, ParsesWallClockAndRawSeconds) {
  EXPECT_EQ(ParseStartTime("1970-01-01 00:00:00"), 0);
  EXPECT_EQ(ParseStartTime("2024-12-10 08:30:00.25"), 1733819400LL * 1000000 + 250000);
  EXPECT_EQ(ParseStartTime("2024-12-10T08:30:00.000001"), 1733819400LL * 1000000 + 1);
  EXPECT_EQ(ParseStartTime("@1733819400.5"), 1733819400LL * 1000000 + 500000);
  for (const char* bad :
       {"", "2024-12-10", "2024-02-30 00:00:00", "2024-12-10 24:00:00", "2024-12-10 08:30:00.",
        "2024-12-10 08:30:00x", "@", "@12x", "@99999999999"}) {
    EXPECT_THROW(ParseStartTime(bad), TRecmakeError) << bad;
  }
  EXPECT_EQ(FormatCaptureTime(ParseStartTime("2024-12-10 08:30:00.040")),
            "2024-12-10 08:30:00.040");
}

TEST(CaptureTime, HeadTakesSecondsAndMicrosecondsAndRefusesWhatDoesNotFit) {
  zrplay::TFrameHead h = zrplay::MakeFrameHead();
  SetCaptureTime(h, -1);  // just before 1970: seconds -1, microseconds 999999
  EXPECT_EQ(h.Seconds, -1);
  EXPECT_EQ(h.Microseconds, 999999);
  SetCaptureTime(h, 1733819400LL * 1000000 + 40000);
  EXPECT_EQ(h.Seconds, 1733819400);
  EXPECT_EQ(h.Microseconds, 40000);
  EXPECT_THROW(SetCaptureTime(h, (int64_t{INT32_MAX} + 1) * 1000000), TRecmakeError);
}

}  // namespace
}  // namespace recmake
