// Snapshots of a playing channel (JPEG or BMP of the picture it decoded, now or when the first
// picture comes, through the decoder when it draws), refused names, and the encode information.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/process.h"
#include "platform/time.h"
#include "player/channel/test_picture_support.h"
#include "player/imaging/yv12_picture.h"

namespace zrplay {
namespace {

using ::testing::ElementsAre;

constexpr int32_t kWidth = 704;
constexpr int32_t kHeight = 576;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}

// The pixels of a 24-bit bottom-up BMP file as top-down B, G, R rows; empty when it is none.
std::vector<uint8_t> BmpPixels(const std::vector<uint8_t>& file, int32_t& width, int32_t& height) {
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M' || Le32(file, 14) != 40 ||
      (Le32(file, 28) & 0xFFFF) != 24 || Le32(file, 2) != file.size()) {
    return {};
  }
  width = int32_t(Le32(file, 18));
  height = int32_t(Le32(file, 22));
  const size_t row = (size_t(width) * 3 + 3) / 4 * 4;
  const size_t offset = Le32(file, 10);
  if (file.size() < offset + row * size_t(height)) return {};
  std::vector<uint8_t> pixels;
  for (int32_t y = height - 1; y >= 0; --y) {
    const uint8_t* at = &file[offset + size_t(y) * row];
    pixels.insert(pixels.end(), at, at + size_t(width) * 3);
  }
  return pixels;
}

// A JPEG decoded to R, G, B rows; false when libjpeg cannot read it.
bool DecodeJpeg(const std::vector<uint8_t>& file, int& width, int& height,
                std::vector<uint8_t>& rgb) {
  if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return false;
  jpeg_decompress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  width = int(info.output_width);
  height = int(info.output_height);
  rgb.resize(size_t(width) * size_t(height) * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = &rgb[size_t(info.output_scanline) * size_t(width) * 3];
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

class ChannelSnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ::testing::TempDir() + "snapshot_test_" + std::to_string(getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::vector<std::vector<uint8_t>> Blocks(size_t count) {
    std::vector<std::vector<uint8_t>> blocks;
    for (const TFixtureFrame& f : FixtureVideo("h264_704x576_overlay.rec", count)) {
      blocks.push_back(f.block);
    }
    return blocks;
  }
  std::vector<std::string> Lines(int32_t vendor_port) const {
    return log_.LinesAfter("ch5(" + std::to_string(vendor_port) + ")-->");
  }

  TSettingsScope settings_;
  TLogLines log_;
  std::string folder_;
};

TEST_F(ChannelSnapshotTest, JpegForJpgNamesInAnyCaseAndBmpForEveryOtherName) {
  TPlayedChannel played;
  const std::vector<TPicture> pictures = played.FeedAll(Blocks(3));
  ASSERT_EQ(pictures.size(), 3u);
  const std::unique_ptr<TBitmap24> expected =
      YV12ToBitmap24(pictures.back().yv12.data(), kWidth, kHeight);

  // A new folder three levels deep.
  const std::string jpeg_name = folder_ + "/a/b/c/snap.JPG";
  log_.Clear();
  ASSERT_EQ(played.Channel().CaptureImage(jpeg_name.c_str()), 1);
  EXPECT_THAT(Lines(played.VendorPort()),
              ElementsAre("do snapshost, file=" + jpeg_name + "-->",
                          "do snapshot, file=" + jpeg_name, "snap to file " + jpeg_name));
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(DecodeJpeg(ReadFile(jpeg_name), width, height, rgb));
  EXPECT_EQ(width, kWidth);
  EXPECT_EQ(height, kHeight);
  double error = 0;
  for (size_t i = 0; i < rgb.size(); i += 3) {
    for (size_t k = 0; k < 3; ++k)
      error += std::abs(int(rgb[i + k]) - int(expected->pixels[i + 2 - k]));
  }
  EXPECT_LT(error / double(rgb.size()), 3.0) << "mean error per sample";

  for (const char* name : {"/snap.bmp", "/snap.png", "/snap", "/jpg.d/snap.jpeg"}) {
    SCOPED_TRACE(name);
    const std::string path = folder_ + name;
    ASSERT_EQ(played.Channel().CaptureImage(path.c_str()), 1);
    int32_t bmp_width = 0;
    int32_t bmp_height = 0;
    const std::vector<uint8_t> pixels = BmpPixels(ReadFile(path), bmp_width, bmp_height);
    EXPECT_EQ(bmp_width, kWidth);
    EXPECT_EQ(bmp_height, kHeight);
    EXPECT_TRUE(pixels == expected->pixels);
  }
}

TEST_F(ChannelSnapshotTest, ASnapshotAskedBeforeTheFirstPictureIsWrittenByIt) {
  TPlayedChannel played;
  const std::string path = folder_ + "/first.bmp";
  ASSERT_EQ(played.Channel().CaptureImage(path.c_str()), 1);
  EXPECT_FALSE(plat::FileExists(path));
  const std::vector<TPicture> pictures = played.FeedAll(Blocks(2));
  ASSERT_EQ(pictures.size(), 2u);
  // Taken before the callbacks of the first picture, overlays drawn.
  int32_t width = 0;
  int32_t height = 0;
  const std::vector<uint8_t> pixels = BmpPixels(ReadFile(path), width, height);
  EXPECT_TRUE(pixels == YV12ToBitmap24(pictures[0].yv12.data(), kWidth, kHeight)->pixels);
  // After stop the frame buffer still holds the last picture.
  const std::string later = folder_ + "/later.bmp";
  played.Channel().Stop();
  ASSERT_EQ(played.Channel().CaptureImage(later.c_str()), 1);
  EXPECT_TRUE(plat::FileExists(later)) << "the last picture is still there";
}

TEST_F(ChannelSnapshotTest, NamesThatCannotBeWrittenAreRefusedWithOneLine) {
  TPlayedChannel played;
  played.FeedAll(Blocks(1));
  ASSERT_TRUE(plat::ForceDirectories(folder_));
  const std::string plain_file = folder_ + "/file";
  std::ofstream(plain_file) << "x";
  const std::string too_long = folder_ + "/" + std::string(5000, 'n') + ".bmp";
  for (const std::string& name : {too_long, plain_file + "/sub/snap.bmp", std::string()}) {
    SCOPED_TRACE(name.substr(0, 80));
    log_.Clear();
    EXPECT_EQ(played.Channel().CaptureImage(name.c_str()), 0);
    EXPECT_THAT(Lines(played.VendorPort()), ElementsAre("do snapshost, file=" + name + "-->"));
  }
  EXPECT_EQ(played.Channel().CaptureImage(nullptr), 0);
  EXPECT_FALSE(plat::DirectoryExists(plain_file + "/sub"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1)
      << "nothing written";
}

TEST_F(ChannelSnapshotTest, EncodeInformationNeeds28BytesAndAPicture) {
  TPlayedChannel played;
  uint8_t record[40];
  std::memset(record, 0xEE, sizeof record);
  int32_t size = 20;
  EXPECT_EQ(played.Channel().ReadChannelEncodeInfo(record, &size), 0);
  EXPECT_EQ(size, 28);
  size = 40;
  EXPECT_EQ(played.Channel().ReadChannelEncodeInfo(record, &size), 0) << "no picture yet";
  EXPECT_EQ(played.Channel().ReadChannelEncodeInfo(record, nullptr), 0);

  played.FeedAll(Blocks(1));
  size = 40;
  ASSERT_EQ(played.Channel().ReadChannelEncodeInfo(record, &size), 1);
  EXPECT_EQ(size, 28);
  int32_t fields[3];
  std::memcpy(fields, record, sizeof fields);
  EXPECT_EQ(fields[0], kCodecH264);
  EXPECT_EQ(fields[1], kWidth);
  EXPECT_EQ(fields[2], kHeight);
  for (size_t i = 12; i < 28; ++i) EXPECT_EQ(record[i], 0) << i;
  for (size_t i = 28; i < 40; ++i) EXPECT_EQ(record[i], 0xEE) << "untouched " << i;
}

// The vendor decoder, except that it reports another picture size.
class TResizedDecoder final : public TVideoDecoder {
 public:
  int32_t width = 0;  // 0: the real size
  int32_t height = 0;
  TVideoDecoder& d = VendorVideoDecoder();

  bool GetFreePort(int32_t& p) override { return d.GetFreePort(p); }
  bool ReleasePort(int32_t p) override { return d.ReleasePort(p); }
  bool SetStreamOpenMode(int32_t p, uint32_t m) override { return d.SetStreamOpenMode(p, m); }
  bool OpenStream(int32_t p, uint32_t s) override { return d.OpenStream(p, s); }
  bool InputData(int32_t p, const uint8_t* b, uint32_t s) override { return d.InputData(p, b, s); }
  bool CloseStream(int32_t p) override { return d.CloseStream(p); }
  bool SetEngine(int32_t p, int32_t a, int32_t b) override { return d.SetEngine(p, a, b); }
  bool Play(int32_t p, VDEC_HWND w) override { return d.Play(p, w); }
  bool AntiAliasEnable(int32_t p, bool e) override { return d.AntiAliasEnable(p, e); }
  bool SetDecCBStream(int32_t p, uint32_t s) override { return d.SetDecCBStream(p, s); }
  bool SetDecodeCallBack(int32_t p, TDecodeHook h, void* u) override {
    return d.SetDecodeCallBack(p, h, u);
  }
  bool Stop(int32_t p) override { return d.Stop(p); }
  bool Pause(int32_t p, bool b) override { return d.Pause(p, b); }
  bool Fast(int32_t p) override { return d.Fast(p); }
  bool Slow(int32_t p) override { return d.Slow(p); }
  bool SetDisplayRegion(int32_t p, uint32_t r, const VDEC_RECT& s, VDEC_HWND w, bool e) override {
    return d.SetDisplayRegion(p, r, s, w, e);
  }
  bool GetPictureSize(int32_t p, int32_t& w, int32_t& h) override {
    const bool r = d.GetPictureSize(p, w, h);
    if (width > 0) {
      w = width;
      h = height;
    }
    return r;
  }
  bool GetPicJPEG(int32_t p, uint8_t* b, uint32_t s, uint32_t& produced, int32_t q) override {
    return d.GetPicJPEG(p, b, s, produced, q);
  }
};

TEST_F(ChannelSnapshotTest, WhenTheDecoderDrawsItWritesTheJpegAndATooSmallBufferFails) {
  PlayerSettings.DrawBySDK = true;
  PlayerSettings.EnableBufferOnLive = false;
  TResizedDecoder decoder;
  int32_t vendor_port = -1;
  ASSERT_TRUE(decoder.GetFreePort(vendor_port));
  {
    TChannel channel(5, vendor_port, decoder);
    const std::string early = folder_ + "/early.jpg";
    EXPECT_EQ(channel.CaptureImage(early.c_str()), 0) << "no picture yet";
    ASSERT_EQ(channel.Play(0), 1);
    for (const std::vector<uint8_t>& b : Blocks(3)) {
      ASSERT_EQ(channel.InputData(b.data(), int32_t(b.size())), 1);
    }
    // The decoder draws by itself: its picture size tells when the first picture is there.
    int32_t w = 0;
    int32_t h = 0;
    for (int i = 0; i < 120000 && !VDEC_GetPictureSize(vendor_port, &w, &h); ++i) plat::Sleep(1);
    ASSERT_EQ(w, kWidth);

    const std::string path = folder_ + "/sdk.bmp";  // a JPEG whatever the name
    log_.Clear();
    ASSERT_EQ(channel.CaptureImage(path.c_str()), 1);
    EXPECT_THAT(Lines(vendor_port),
                ElementsAre("do snapshost, file=" + path + "-->",
                            "snap by sdk, width=704, height=576", "do snapshot, file=" + path));
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(DecodeJpeg(ReadFile(path), width, height, rgb));
    EXPECT_EQ(width, kWidth);
    EXPECT_EQ(height, kHeight);

    // A picture size too small for the JPEG: the decoder refuses the buffer.
    decoder.width = 8;
    decoder.height = 8;
    const std::string small = folder_ + "/small.jpg";
    EXPECT_EQ(channel.CaptureImage(small.c_str()), 0);
    EXPECT_FALSE(plat::FileExists(small));

    // The encode information asks the decoder for the size.
    decoder.width = 0;
    uint8_t record[28];
    int32_t size = 28;
    EXPECT_EQ(channel.ReadChannelEncodeInfo(record, &size), 1);
    int32_t fields[3];
    std::memcpy(fields, record, sizeof fields);
    EXPECT_EQ(fields[1], kWidth);
  }
  decoder.ReleasePort(vendor_port);
}

}  // namespace
}  // namespace zrplay
