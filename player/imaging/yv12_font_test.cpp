#include "player/imaging/yv12_font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "player/config/player_settings.h"
#include "player/imaging/font_raster.h"
#include "player/imaging/yv12_picture.h"
#include "player/player_log.h"

namespace zrplay {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kBlue = 0xFF0000;

// A one-colour YV12 picture followed by guard bytes that no drawing may touch.
struct TPicture {
  static constexpr size_t kGuard = 64;
  int32_t width, height;
  std::vector<uint8_t> bytes;

  TPicture(int32_t w, int32_t h, uint8_t y = 128, uint8_t u = 128, uint8_t v = 128)
      : width(w), height(h), bytes(YV12Size(w, h) + kGuard, 0xA5) {
    std::fill_n(bytes.begin(), size_t(w) * h, y);
    std::fill_n(bytes.begin() + ptrdiff_t(w) * h, ChromaSize(), v);
    std::fill_n(bytes.begin() + ptrdiff_t(w) * h + ChromaSize(), ChromaSize(), u);
  }
  size_t ChromaSize() const { return size_t(width / 2) * (height / 2); }
  uint8_t* data() { return bytes.data(); }
  uint8_t& Y(int32_t x, int32_t y) { return bytes[size_t(y) * width + x]; }
  uint8_t& V(int32_t cx, int32_t cy) {
    return bytes[size_t(width) * height + size_t(cy) * (width / 2) + cx];
  }
  uint8_t& U(int32_t cx, int32_t cy) {
    return bytes[size_t(width) * height + ChromaSize() + size_t(cy) * (width / 2) + cx];
  }
  bool GuardIntact() const {
    return std::all_of(bytes.end() - kGuard, bytes.end(), [](uint8_t b) { return b == 0xA5; });
  }
};

using TPixels = std::set<std::pair<int32_t, int32_t>>;

TPixels ChangedLuma(const TPicture& before, const TPicture& after) {
  TPixels changed;
  for (int32_t y = 0; y < before.height; ++y)
    for (int32_t x = 0; x < before.width; ++x)
      if (before.bytes[size_t(y) * before.width + x] != after.bytes[size_t(y) * after.width + x])
        changed.insert({x, y});
  return changed;
}

// The luma pixels a text block at (x, y) must change on a flat picture below the bright
// level: those with coverage in 2 x 2 blocks that are drawn (weight (sum of four) div 2 above
// zero, inside the picture, the rightmost two columns excepted).
TPixels ExpectedBlock(const TYV12Font& font, int32_t x, int32_t y, int32_t width, int32_t height) {
  TPixels expected;
  for (int32_t r = 0; r + 1 < font.RasterHeight(); r += 2) {
    if (y + r + 1 >= height) break;
    for (int32_t i = 0; i < font.RasterWidth(); i += 2) {
      if (x + i + 2 >= width) break;
      const int32_t sum = font.Coverage(i, r) + font.Coverage(i + 1, r) + font.Coverage(i, r + 1) +
                          font.Coverage(i + 1, r + 1);
      if (sum / 2 == 0) continue;
      for (int32_t dy = 0; dy < 2; ++dy)
        for (int32_t dx = 0; dx < 2; ++dx)
          if (font.Coverage(i + dx, r + dy) > 0) expected.insert({x + i + dx, y + r + dy});
    }
  }
  return expected;
}

// Keeps the process-wide settings a case changes, and restores them.
class YV12FontTest : public ::testing::Test {
 protected:
  void TearDown() override { PlayerSettings = saved_; }
  TPlayerSettings saved_ = PlayerSettings;
};

TEST_F(YV12FontTest, StartsWhiteAtTheDefaultSizeWithTheConfiguredPen) {
  PlayerSettings.PenWidth = 7;
  TYV12Font font;
  EXPECT_EQ(font.Y(), 235);
  EXPECT_EQ(font.U(), 128);
  EXPECT_EQ(font.V(), 128);
  EXPECT_EQ(font.FontSize(), 200);
  EXPECT_EQ(font.SizeKey(), 140);
  EXPECT_EQ(font.PenWidth, 7);
  EXPECT_EQ(font.Rasterisations(), 0u);
}

TEST_F(YV12FontTest, ConvertsColoursToYuv) {
  struct Case {
    const char* name;
    uint32_t colour;
    int32_t y, u, v;
  } cases[] = {
      {"white", kWhite, 235, 128, 128},   {"black", 0x000000, 16, 128, 128},
      {"red", kRed, 81, 90, 239},         {"blue", kBlue, 40, 239, 109},
      {"yellow", 0x00FFFF, 210, 16, 146},
  };
  for (const auto& c : cases) {
    TYV12Font font;
    font.SetColor(kRed);  // so that white is a change too
    font.SetColor(c.colour);
    EXPECT_EQ(font.Y(), c.y) << c.name;
    EXPECT_EQ(font.U(), c.u) << c.name;
    EXPECT_EQ(font.V(), c.v) << c.name;
  }
}

TEST_F(YV12FontTest, ChoosesTheSizeFromThePictureWidth) {
  struct Case {
    int32_t configured, width, size;
  } cases[] = {{0, 704, 350}, {0, 1920, 480},  {0, 176, 100}, {0, 800, 400},
               {0, 801, 160}, {120, 704, 120}, {1, 1920, 100}};
  for (const auto& c : cases) {
    PlayerSettings.OSDFontSize = c.configured;
    TYV12Font font;
    TPicture picture(c.width, 64);
    font.DrawText(0, 0, picture.data(), "A", c.width, 64, c.width);
    EXPECT_EQ(font.FontSize(), c.size) << c.configured << " " << c.width;
    EXPECT_EQ(font.SizeKey(), 64);
    // The raster is one eighth of the cell.
    EXPECT_EQ(font.RasterHeight(), c.size / 8) << c.width;
  }
}

TEST_F(YV12FontTest, ChangesOnlyTheTextsPixelsAtTheScaledPlace) {
  struct Case {
    const char* name;
    int32_t x, y;
    int32_t px, py;  // -1: the far edge
  } cases[] = {
      {"origin", 0, 0, 0, 0},
      {"centre of the reference frame", 352, 288, 176, 144},
      {"half rounds to even: 1.5 -> 2, 0.5 -> 0", 3, 1, 2, 0},
      {"x 664 right-aligns", 664, 10, -1, 5},
      {"x -1 right-aligns", -1, 10, -1, 5},
      {"y 536 bottom-aligns", 10, 536, 5, -1},
      {"y -5 bottom-aligns", 10, -5, 5, -1},
  };
  for (const auto& c : cases) {
    TYV12Font font;
    TPicture picture(352, 288);
    const TPicture before = picture;
    font.DrawText(c.x, c.y, picture.data(), "Hi 42", 352, 288, 352);
    ASSERT_GT(font.RasterWidth(), 0);
    const int32_t px = c.px < 0 ? 352 - font.RasterWidth() : c.px;
    const int32_t py = c.py < 0 ? 288 - font.RasterHeight() : c.py;
    const TPixels expected = ExpectedBlock(font, px, py, 352, 288);
    EXPECT_FALSE(expected.empty()) << c.name;
    EXPECT_EQ(ChangedLuma(before, picture), expected) << c.name;
    // Chroma changes only under the block.
    for (int32_t cy = 0; cy < 144; ++cy)
      for (int32_t cx = 0; cx < 176; ++cx)
        if (picture.V(cx, cy) != 128 || picture.U(cx, cy) != 128)
          ADD_FAILURE() << c.name << ": chroma at " << cx << "," << cy;
    EXPECT_TRUE(picture.GuardIntact());
  }
}

TEST_F(YV12FontTest, BlendsTheColourIntoLumaAndChroma) {
  struct Case {
    const char* name;
    uint32_t colour;
    int v_direction, u_direction;  // sign of the change where text lies
  } cases[] = {{"white", kWhite, 0, 0}, {"red", kRed, 1, -1}, {"blue", kBlue, -1, 1}};
  for (const auto& c : cases) {
    TYV12Font font;
    font.SingleColor = true;
    font.SetColor(c.colour);
    TPicture picture(704, 576);
    font.DrawText(0, 0, picture.data(), "HH", 704, 576, 704);
    bool full_block = false;
    int v_moved = 0, u_moved = 0;
    for (int32_t r = 0; r + 1 < font.RasterHeight(); r += 2) {
      for (int32_t i = 0; i < font.RasterWidth(); i += 2) {
        const int32_t cover[4] = {font.Coverage(i, r), font.Coverage(i + 1, r),
                                  font.Coverage(i, r + 1), font.Coverage(i + 1, r + 1)};
        const int32_t s = (cover[0] + cover[1] + cover[2] + cover[3]) / 2;
        if (s == 0) continue;
        const int v = picture.V(i / 2, r / 2) - 128, u = picture.U(i / 2, r / 2) - 128;
        v_moved += (v > 0) - (v < 0);
        u_moved += (u > 0) - (u < 0);
        EXPECT_EQ(picture.V(i / 2, r / 2), ((128 - s) * 128 + s * font.V()) / 128) << c.name;
        if (s == 128) {
          // Fully covered: the colour itself, luma and chroma.
          full_block = true;
          EXPECT_EQ(picture.Y(i, r), font.Y()) << c.name;
          EXPECT_EQ(picture.V(i / 2, r / 2), font.V()) << c.name;
          EXPECT_EQ(picture.U(i / 2, r / 2), font.U()) << c.name;
        }
      }
    }
    EXPECT_TRUE(full_block) << c.name;
    EXPECT_EQ(v_moved > 0, c.v_direction > 0) << c.name;
    EXPECT_EQ(v_moved < 0, c.v_direction < 0) << c.name;
    EXPECT_EQ(u_moved > 0, c.u_direction > 0) << c.name;
    EXPECT_EQ(u_moved < 0, c.u_direction < 0) << c.name;
  }
}

TEST_F(YV12FontTest, WhiteTextRaisesLumaAndKeepsChromaNeutral) {
  TYV12Font font;
  TPicture picture(352, 288);
  const TPicture before = picture;
  font.DrawText(0, 0, picture.data(), "Text", 352, 288, 352);
  const TPixels changed = ChangedLuma(before, picture);
  ASSERT_FALSE(changed.empty());
  for (const auto& [x, y] : changed) EXPECT_GT(picture.Y(x, y), 128) << x << "," << y;
  for (int32_t cy = 0; cy < 144; ++cy)
    for (int32_t cx = 0; cx < 176; ++cx) {
      EXPECT_EQ(picture.V(cx, cy), 128);
      EXPECT_EQ(picture.U(cx, cy), 128);
    }
}

TEST_F(YV12FontTest, RasterisesAgainOnlyWhenTextColourOrSizeChange) {
  TYV12Font font;
  TPicture picture(352, 288);
  font.DrawText(0, 0, picture.data(), "abc", 352, 288, 352);
  const uint64_t first = font.Rasterisations();
  EXPECT_EQ(first, 1u);
  font.DrawText(10, 10, picture.data(), "abc", 352, 288, 352);
  font.SetColor(kWhite);  // the same colour
  font.DrawText(0, 0, picture.data(), "abc", 352, 288, 352);
  font.SetText("abc");
  EXPECT_EQ(font.Rasterisations(), first);

  font.DrawText(0, 0, picture.data(), "abd", 352, 288, 352);
  EXPECT_EQ(font.Rasterisations(), first + 1);
  font.SetColor(kRed);
  font.DrawText(0, 0, picture.data(), "abd", 352, 288, 352);
  EXPECT_EQ(font.Rasterisations(), first + 2);
  TPicture other(704, 576);
  font.DrawText(0, 0, other.data(), "abd", 704, 576, 704);
  EXPECT_EQ(font.Rasterisations(), first + 3);
  EXPECT_EQ(font.SizeKey(), 576);
  font.SetText("xyz");  // rasterises at once
  EXPECT_EQ(font.Rasterisations(), first + 4);
  font.DrawText(0, 0, other.data(), "xyz", 704, 576, 704);
  EXPECT_EQ(font.Rasterisations(), first + 4);
}

TEST_F(YV12FontTest, ClipsAtThePictureEdgesWithoutWritingOutside) {
  const std::string long_text = "A long line of text that never fits 0123456789";
  struct Case {
    int32_t width, height, x, y;
  } cases[] = {{352, 288, 600, 500}, {40, 30, 0, 0}, {40, 30, 650, 530}, {7, 5, 0, 0},
               {3, 3, 100, 100},     {1, 1, 0, 0},   {2, 9, 700, 0},     {9, 2, 0, 575},
               {33, 17, -1, -1},     {352, 4, 0, 0}};
  for (const auto& c : cases) {
    for (bool single : {false, true}) {
      TYV12Font font;
      font.SingleColor = single;
      TPicture picture(c.width, c.height, 230);  // bright, so the dark rule runs too
      const TPicture before = picture;
      font.DrawText(c.x, c.y, picture.data(), long_text, c.width, c.height, c.width);
      EXPECT_TRUE(picture.GuardIntact()) << c.width << "x" << c.height;
      // Pairs of columns reaching the right edge are never drawn.
      for (const auto& [x, y] : ChangedLuma(before, picture))
        EXPECT_LT(x, c.width - 1) << c.width << "x" << c.height;
    }
  }
}

TEST_F(YV12FontTest, HonoursTheClipRectangle) {
  TYV12Font font;
  TPicture picture(352, 288);
  const TPicture before = picture;
  font.DrawText(0, 0, picture.data(), "WWWWWW", 352, 288, 352, TClipRect{20, 0, 41, 288});
  const TPixels changed = ChangedLuma(before, picture);
  ASSERT_FALSE(changed.empty());
  // Pairs start at even columns 20..38 (38 + 2 <= 41, 40 + 2 > 41).
  for (const auto& [x, y] : changed) {
    EXPECT_GE(x, 20);
    EXPECT_LE(x, 39);
  }
}

TEST_F(YV12FontTest, RendersChineseText) {
  TYV12Font font;
  TPicture picture(704, 576);
  const auto coverage_of = [&](const std::string& text) {
    font.DrawText(0, 0, picture.data(), text, 704, 576, 704);
    std::vector<uint8_t> map;
    for (int32_t r = 0; r < font.RasterHeight(); ++r)
      for (int32_t c = 0; c < font.RasterWidth(); ++c) map.push_back(font.Coverage(c, r));
    return map;
  };
  const auto zhong = coverage_of("中");
  const auto wen = coverage_of("文");
  const auto sum = [](const std::vector<uint8_t>& map) {
    int64_t total = 0;
    for (uint8_t v : map) total += v;
    return total;
  };
  EXPECT_GT(sum(zhong), 0);
  EXPECT_GT(sum(wen), 0);
  // Real glyphs, not the same missing-glyph box twice.
  EXPECT_NE(zhong, wen);
  // Two CJK characters need about twice the room of one.
  coverage_of("中文");
  EXPECT_GT(font.RasterWidth(), 36);
}

TEST_F(YV12FontTest, InvalidUtf8AndControlBytesStillDrawSafely) {
  const std::string cases[] = {std::string("\xff\xfe\xc0\x80\xed\xa0\x80", 7),
                               std::string("a\0b\n\tc", 6), std::string("\xe4\xb8", 2)};
  for (const auto& text : cases) {
    TYV12Font font;
    TPicture picture(64, 48);
    font.DrawText(0, 0, picture.data(), text, 64, 48, 64);
    EXPECT_TRUE(picture.GuardIntact());
  }
}

// The coverage runs of ink columns, i.e. the characters, as [start, end) columns.
std::vector<std::pair<int32_t, int32_t>> InkRuns(const TYV12Font& font) {
  std::vector<std::pair<int32_t, int32_t>> runs;
  for (int32_t c = 0; c < font.RasterWidth();) {
    bool ink = false;
    for (int32_t r = 0; r < font.RasterHeight() && !ink; ++r) ink = font.Coverage(c, r) > 0;
    if (!ink) {
      ++c;
      continue;
    }
    if (!runs.empty() && runs.back().second == c) {
      ++runs.back().second;
    } else {
      runs.push_back({c, c + 1});
    }
    ++c;
  }
  return runs;
}

TEST_F(YV12FontTest, CharactersTouchingBrightAreasTurnDarkWhole) {
  for (bool single : {false, true}) {
    TYV12Font font;
    font.SingleColor = single;
    TPicture probe(704, 576);
    font.DrawText(0, 0, probe.data(), "I I I", 704, 576, 704);
    const auto runs = InkRuns(font);
    ASSERT_EQ(runs.size(), 3u);
    // Sky (Y 230) over the left half of the second character only.
    const int32_t sky_end = (runs[1].first + runs[1].second) / 2;
    TPicture picture(704, 576);
    for (int32_t y = 0; y < 576; ++y)
      for (int32_t x = 0; x < sky_end; ++x) picture.Y(x, y) = 230;
    const TPicture before = picture;
    font.DrawText(0, 0, picture.data(), "I I I", 704, 576, 704);
    EXPECT_EQ(font.Rasterisations(), 1u);
    int32_t darker_under_grey = 0;
    for (const auto& [x, y] : ChangedLuma(before, picture)) {
      const uint8_t was = before.bytes[size_t(y) * 704 + x];
      const uint8_t now = picture.Y(x, y);
      const bool first_two = x < runs[1].second;
      if (single || !first_two) {
        EXPECT_GT(now, was) << single << " at " << x << "," << y;
      } else {
        EXPECT_LT(now, was) << "at " << x << "," << y;
        if (x >= sky_end) ++darker_under_grey;
      }
    }
    // The second character's grey half went dark with its sky half.
    if (!single) {
      EXPECT_GT(darker_under_grey, 0);
    }
  }
}

TEST_F(YV12FontTest, WatermarkTilesNineTimesOnA704x576Picture) {
  TYV12Font font;
  font.WatermarkMode = true;
  font.SingleColor = true;
  TPicture picture(704, 576);
  const TPicture before = picture;
  font.DrawText(0, 0, picture.data(), "WM", 704, 576, 704);
  ASSERT_GT(font.RasterHeight(), 200);
  TPixels expected;
  const int32_t top = font.RasterHeight() / 4;
  for (int32_t y : {top, top + 192, top + 384})
    for (int32_t x : {0, 234, 468}) {
      const TPixels tile = ExpectedBlock(font, x, y, 704, 576);
      EXPECT_FALSE(tile.empty()) << x << "," << y;
      expected.insert(tile.begin(), tile.end());
    }
  EXPECT_EQ(ChangedLuma(before, picture), expected);
  EXPECT_TRUE(picture.GuardIntact());

  TPicture narrow(2, 64);
  const TPicture narrow_before = narrow;
  font.DrawText(0, 0, narrow.data(), "WM", 2, 64, 2);
  EXPECT_EQ(narrow.bytes, narrow_before.bytes);
}

// Luma pixels painted by a zone: full rows over a column range and full columns over a row
// range.
TPixels ZonePixels(std::vector<int32_t> rows, int32_t x_from, int32_t x_to,
                   std::vector<int32_t> columns, int32_t y_from, int32_t y_to) {
  TPixels pixels;
  for (int32_t y : rows)
    for (int32_t x = x_from; x <= x_to; ++x) pixels.insert({x, y});
  for (int32_t x : columns)
    for (int32_t y = y_from; y <= y_to; ++y) pixels.insert({x, y});
  return pixels;
}

TEST_F(YV12FontTest, DrawsZonesWithThePenWidth) {
  struct Case {
    const char* name;
    int32_t pen;
    int32_t x1, y1, x2, y2;
    TPixels painted;
  } cases[] = {
      {"whole frame, pen 3: clamped to fit", 3, 0, 0, 704, 576,
       ZonePixels({0, 1, 2, 284, 285, 286}, 0, 347, {0, 1, 2, 348, 349, 350}, 0, 286)},
      {"pen 1 clamps with 2", 1, 0, 0, 704, 576, ZonePixels({0, 285}, 0, 348, {0, 349}, 0, 285)},
      {"inner zone, pen 2", 2, 176, 144, 528, 432,
       ZonePixels({72, 73, 216, 217}, 88, 263, {88, 89, 264, 265}, 72, 217)},
      {"pen 0 draws nothing", 0, 0, 0, 704, 576, {}},
      {"pen -1 draws nothing", -1, 0, 0, 704, 576, {}},
  };
  for (const auto& c : cases) {
    TYV12Font font;
    font.SetColor(kRed);
    font.PenWidth = c.pen;
    TPicture picture(352, 288);
    const TPicture before = picture;
    font.DrawZone(c.x1, c.y1, c.x2, c.y2, picture.data(), 352, 288);
    EXPECT_EQ(ChangedLuma(before, picture), c.painted) << c.name;
    for (const auto& [x, y] : c.painted) ASSERT_EQ(picture.Y(x, y), 81) << c.name;
    // Chroma takes the colour near the painted edges only.
    int32_t chroma_painted = 0;
    for (int32_t cy = 0; cy < 144; ++cy)
      for (int32_t cx = 0; cx < 176; ++cx) {
        if (picture.V(cx, cy) == 128 && picture.U(cx, cy) == 128) continue;
        EXPECT_EQ(picture.V(cx, cy), 239) << c.name;
        EXPECT_EQ(picture.U(cx, cy), 90) << c.name;
        bool near = false;
        for (int32_t dy = -2; dy <= 3 && !near; ++dy)
          for (int32_t dx = -2; dx <= 3 && !near; ++dx)
            near = c.painted.count({2 * cx + dx, 2 * cy + dy}) > 0;
        EXPECT_TRUE(near) << c.name << " chroma at " << cx << "," << cy;
        ++chroma_painted;
      }
    EXPECT_EQ(chroma_painted > 0, !c.painted.empty()) << c.name;
    EXPECT_TRUE(picture.GuardIntact());
  }
}

TEST_F(YV12FontTest, ZonesOnTinyPicturesStayInside) {
  struct Case {
    int32_t width, height, pen;
  } cases[] = {{1, 1, 3}, {2, 2, 3}, {3, 5, 10}, {5, 3, 1}, {4, 4, 1000000}};
  for (const auto& c : cases) {
    TYV12Font font;
    font.PenWidth = c.pen;
    TPicture picture(c.width, c.height);
    font.DrawZone(-100, -100, 5000, 5000, picture.data(), c.width, c.height);
    font.DrawZone(0, 0, 704, 576, picture.data(), c.width, c.height);
    EXPECT_TRUE(picture.GuardIntact()) << c.width << "x" << c.height;
  }
}

TEST_F(YV12FontTest, ChannelsDrawOnTheirOwnThreadsAtOnce) {
  // Each channel thread owns its font; fonts made at once share the one face choice.
  const auto draw = [](const std::string& text) {
    TYV12Font font;
    TPicture picture(352, 288);
    for (int32_t i = 0; i < 3; ++i)
      font.DrawText(0, 0, picture.data(), text + std::to_string(i), 352, 288, 352);
    return picture.bytes;
  };
  std::vector<uint8_t> results[4];
  std::vector<std::thread> threads;
  for (int32_t i = 0; i < 4; ++i)
    threads.emplace_back([&, i] { results[i] = draw(i % 2 ? "通道 " : "Camera "); });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(results[0], draw("Camera "));
  EXPECT_EQ(results[1], draw("通道 "));
  EXPECT_EQ(results[0], results[2]);
  EXPECT_EQ(results[1], results[3]);
  EXPECT_NE(results[0], results[1]);
}

TEST(FontFaceTest, TheChoiceIsLoggedAsOneLineWithTheFaceName) {
  std::vector<std::string> lines;
  SetLogListener([&](const std::string& line) { lines.push_back(line); });
  const TFontFace face = FindFontFace();
  SetLogListener(nullptr);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(),
            "font charset = " + std::to_string(face.charset) + ", name = " + face.name);
}

}  // namespace
}  // namespace zrplay
