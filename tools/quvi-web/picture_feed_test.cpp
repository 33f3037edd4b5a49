// Window pictures as the page receives them: the encoder's JPEG decodes to the colours that
// were drawn (full range, any size, the header carried through), and the picture thread sends
// a window when it was drawn into, only then, and the latest picture when the page is slow.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/window.h"
#include "platform/window_pixels.h"
#include "tests/support/wait_until.h"
#include "tools/quvi-web/picture_encoder.h"
#include "tools/quvi-web/picture_feed.h"

namespace quvi_web {
namespace {

struct TDecoded {
  TPictureHeader Header;
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;  // R, G, B per pixel

  std::array<int, 3> At(int x, int y) const {
    const size_t o = (size_t(y) * Width + x) * 3;
    return {Rgb[o], Rgb[o + 1], Rgb[o + 2]};
  }
};

// The picture message decoded; Width 0 when it is not a picture.
TDecoded Decode(const std::string& message) {
  TDecoded d;
  if (!ReadPictureHeader(reinterpret_cast<const uint8_t*>(message.data()), message.size(),
                         &d.Header)) {
    return d;
  }
  tjhandle tj = tjInitDecompress();
  const auto* jpeg = reinterpret_cast<const unsigned char*>(message.data()) + kPictureHeaderSize;
  const unsigned long size = message.size() - kPictureHeaderSize;
  int w = 0, h = 0, sub = 0, space = 0;
  if (tjDecompressHeader3(tj, jpeg, size, &w, &h, &sub, &space) == 0) {
    d.Rgb.resize(size_t(w) * h * 3);
    if (tjDecompress2(tj, jpeg, size, d.Rgb.data(), w, 0, h, TJPF_RGB, 0) == 0) {
      d.Width = w;
      d.Height = h;
    }
  }
  tjDestroy(tj);
  return d;
}

uint32_t Pixel(const std::array<int, 3>& rgb) {
  return 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | uint32_t(rgb[2]);
}

bool Near(const std::array<int, 3>& a, const std::array<int, 3>& b, int tolerance = 8) {
  for (int k = 0; k < 3; ++k)
    if (std::abs(a[k] - b[k]) > tolerance) return false;
  return true;
}

// Black and white at the ends of the range show a conversion to studio range (16-235), which
// JPEG viewers would show washed out.
const std::array<std::array<int, 3>, 6> kBars = {
    {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {128, 64, 192}}};

TEST(PictureEncoderTest, PicturesOfAnySizeDecodeToTheDrawnColours) {
  struct TCase {
    int32_t Width, Height;
  };
  for (const TCase c : {TCase{704, 576}, TCase{97, 35}, TCase{48, 1}}) {
    SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height));
    // Vertical bars, each 1/6 of the width.
    std::vector<uint32_t> pixels(size_t(c.Width) * c.Height);
    for (int32_t y = 0; y < c.Height; ++y)
      for (int32_t x = 0; x < c.Width; ++x)
        pixels[size_t(y) * c.Width + x] = Pixel(kBars[size_t(x) * kBars.size() / c.Width]);
    TPictureEncoder encoder;
    TPictureHeader header;
    header.Control = 7;
    header.Sequence = 42;
    header.ArrivalMs = 1.7e12 + 0.25;
    const TDecoded d = Decode(encoder.Encode(header, pixels.data(), c.Width, c.Height));
    ASSERT_EQ(d.Width, c.Width);
    ASSERT_EQ(d.Height, c.Height);
    EXPECT_EQ(d.Header.Control, 7u);
    EXPECT_EQ(d.Header.Sequence, 42u);
    EXPECT_EQ(d.Header.Width, c.Width);
    EXPECT_EQ(d.Header.Height, c.Height);
    EXPECT_EQ(d.Header.ArrivalMs, header.ArrivalMs);
    EXPECT_GE(d.Header.EncodedMs, NowMs() - 60000);
    for (size_t bar = 0; bar < kBars.size(); ++bar) {
      // The middle of each bar, away from the blur at its edges.
      const int x = int((bar * 2 + 1) * c.Width / (kBars.size() * 2));
      const auto seen = d.At(x, c.Height / 2);
      if (c.Width / int(kBars.size()) >= 16) {
        EXPECT_TRUE(Near(seen, kBars[bar]))
            << "bar " << bar << ": " << seen[0] << "," << seen[1] << "," << seen[2];
      }
    }
  }
}

TEST(PictureEncoderTest, UnusablePicturesGiveNothing) {
  TPictureEncoder encoder;
  std::vector<uint32_t> pixels(16, 0xFF808080u);
  EXPECT_EQ(encoder.EncodeConverted({}), "");  // nothing converted yet
  EXPECT_EQ(encoder.Encode({}, nullptr, 4, 4), "");
  EXPECT_EQ(encoder.Encode({}, pixels.data(), 0, 4), "");
  EXPECT_EQ(encoder.Encode({}, pixels.data(), 4, -1), "");
  EXPECT_EQ(encoder.Encode({}, pixels.data(), 70000, 1), "");
  ASSERT_NE(encoder.Encode({}, pixels.data(), 4, 4), "");
  // A failed conversion leaves nothing behind to encode.
  EXPECT_FALSE(encoder.Convert(pixels.data(), 0, 0));
  EXPECT_EQ(encoder.EncodeConverted({}), "");
}

// A window of the host with the picture thread watching it, and the page's outbox.
class PictureFeedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = plat::CreateWindowHandle();
    ASSERT_TRUE(plat::MoveWindow(window_, 0, 0, 64, 48));
    Paint({0, 0, 0});
    outbox_->SetWake([] {});
  }
  void TearDown() override {
    feed_.reset();
    plat::DestroyWindowHandle(window_);
  }

  void Paint(const std::array<int, 3>& rgb) {
    plat::DrawWindowPixels(window_, [&](uint8_t* bits, int32_t w, int32_t h) {
      std::fill_n(reinterpret_cast<uint32_t*>(bits), size_t(w) * h, Pixel(rgb));
    });
  }
  // The next picture the page takes, waiting for one; Width 0 when none came.
  TDecoded NextPicture() {
    TPageOutbox::TMessage m;
    if (!quvi_test::WaitUntil([&] { return outbox_->Take(&m); }) || !m.Binary) return {};
    return Decode(m.Bytes);
  }

  plat::HWND window_ = 0;
  std::shared_ptr<TPageOutbox> outbox_ = std::make_shared<TPageOutbox>();
  std::shared_ptr<TArrivalLog> arrivals_ = std::make_shared<TArrivalLog>();
  std::unique_ptr<TPictureFeed> feed_ = std::make_unique<TPictureFeed>();
};

TEST_F(PictureFeedTest, AWindowIsSentWhenDrawnIntoAndOnlyThen) {
  // A package arrived, then its picture was drawn.
  arrivals_->Add(NowMs());
  Paint({0, 0, 0});
  feed_->Add(5, window_, outbox_, arrivals_);
  TDecoded first = NextPicture();  // what it showed already
  ASSERT_EQ(first.Width, 64);
  EXPECT_EQ(first.Header.Control, 5u);
  EXPECT_GT(first.Header.ArrivalMs, 0);
  EXPECT_TRUE(Near(first.At(32, 24), {0, 0, 0}));
  uint32_t sequence = first.Header.Sequence;
  for (const auto& colour : kBars) {
    Paint(colour);
    const TDecoded d = NextPicture();
    ASSERT_EQ(d.Width, 64);
    EXPECT_EQ(d.Header.Sequence, ++sequence);
    EXPECT_TRUE(Near(d.At(32, 24), colour)) << colour[0] << "," << colour[1] << "," << colour[2];
  }
  // Nothing drawn: nothing sent, however long the page waits.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  TPageOutbox::TMessage m;
  EXPECT_FALSE(outbox_->Take(&m));
  // Once removed, drawing sends nothing more.
  feed_->Remove(5);
  Paint({255, 255, 255});
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_FALSE(outbox_->Take(&m));
}

TEST_F(PictureFeedTest, APageThatDoesNotTakeItsPictureGetsTheLatestOnly) {
  feed_->Add(9, window_, outbox_, arrivals_);
  ASSERT_TRUE(quvi_test::WaitUntil([&] { return outbox_->PictureWaiting(9); }));
  // While the page takes nothing the window changes again and again: nothing is encoded for
  // the changes in between, and when the page reads on it gets the last drawing.
  for (const auto& colour : kBars) Paint(colour);
  const std::array<int, 3> last = kBars.back();
  uint32_t waiting_sequence = 0;
  for (;;) {
    const TDecoded d = NextPicture();
    ASSERT_EQ(d.Width, 64);
    if (Near(d.At(32, 24), last)) {
      // The one picture after the waiting one (or its replacement, had it waited long).
      EXPECT_LE(d.Header.Sequence, waiting_sequence + 1);
      break;
    }
    ASSERT_TRUE(Near(d.At(32, 24), {0, 0, 0})) << "a picture of a drawing in between";
    waiting_sequence = d.Header.Sequence;
  }
  TPageOutbox::TMessage m;
  EXPECT_FALSE(outbox_->Take(&m));
}

}  // namespace
}  // namespace quvi_web
