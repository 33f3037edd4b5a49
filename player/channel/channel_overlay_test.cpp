// Overlays drawn by a playing channel into real decoded pictures: overlay records near their
// position, the watermark over the whole picture, scene lines, alarm and setup zones, colours,
// record text encodings, rotation, and texts changed while a stream plays.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/gdi.h"
#include "player/channel/overlay_text.h"
#include "player/channel/test_picture_support.h"
#include "player/channel/text_line.h"
#include "player/imaging/yv12_font.h"

namespace zrplay {
namespace {

constexpr int32_t kWidth = 704;
constexpr int32_t kHeight = 576;
constexpr size_t kFrames = 3;

// Luma pixels that differ between two pictures of one size.
struct TChange {
  int32_t x, y;
};
std::vector<TChange> ChangedLuma(const TPicture& a, const TPicture& b) {
  std::vector<TChange> out;
  for (int32_t y = 0; y < a.height; ++y) {
    for (int32_t x = 0; x < a.width; ++x) {
      if (a.Luma(x, y) != b.Luma(x, y)) out.push_back({x, y});
    }
  }
  return out;
}

struct TBox {
  int32_t left, top, right, bottom;  // right and bottom outside
  bool Holds(const TChange& c) const {
    return c.x >= left && c.x < right && c.y >= top && c.y < bottom;
  }
};

class ChannelOverlayTest : public ::testing::Test {
 protected:
  // The fixture's first video frames with the given overlays, played through a new channel.
  std::vector<TPicture> Play(const TOverlaySpec& spec,
                             const std::function<void(TChannel&)>& before_play = {},
                             const std::string& fixture = "h264_704x576_g711u.rec") {
    std::vector<std::vector<uint8_t>> blocks;
    for (const TFixtureFrame& f : FixtureVideo(fixture, kFrames))
      blocks.push_back(Rewrite(f, spec));
    TPlayedChannel played(before_play);
    return played.FeedAll(blocks);
  }
  const std::vector<TPicture>& Plain() {
    if (plain_.empty()) plain_ = Play({});
    return plain_;
  }

  TSettingsScope settings_;
  std::vector<TPicture> plain_;
};

TEST_F(ChannelOverlayTest, OverlayRecordsOfTheFixtureChangePixelsNearTheirPositionsOnly) {
  // The fixture carries "Camera 01" at (16, 16) and a Chinese line at (16, 540) on every frame.
  const std::string fixture = "h264_704x576_overlay.rec";
  const std::vector<TFixtureFrame> frames = FixtureVideo(fixture, kFrames);
  ASSERT_EQ(frames.size(), kFrames);
  ASSERT_EQ(frames[0].head.OverlayCount, 2);
  std::vector<std::vector<uint8_t>> with;
  std::vector<std::vector<uint8_t>> without;
  for (const TFixtureFrame& f : frames) {
    with.push_back(f.block);
    without.push_back(Rewrite(f, {}));
  }
  std::vector<TPicture> drawn;
  std::vector<TPicture> plain;
  {
    TPlayedChannel played;
    drawn = played.FeedAll(with);
  }
  {
    TPlayedChannel played;
    plain = played.FeedAll(without);
  }
  ASSERT_EQ(drawn.size(), kFrames);
  ASSERT_EQ(plain.size(), kFrames);
  SavePicture(drawn[0], "overlay_fixture");

  // Where the two lines land: the first at its place, the second (y beyond 535) at the bottom.
  TYV12Font camera;
  TYV12Font chinese;
  std::vector<uint8_t> scratch(YV12Size(kWidth, kHeight), 128);
  camera.DrawText(16, 16, scratch.data(), "Camera 01", kWidth, kHeight, kWidth);
  chinese.DrawText(16, 540, scratch.data(), "通道一 大门", kWidth, kHeight, kWidth);
  const TBox first{16, 16, 16 + camera.RasterWidth(), 16 + camera.RasterHeight()};
  const TBox second{16, kHeight - chinese.RasterHeight(), 16 + chinese.RasterWidth(), kHeight};

  for (size_t i = 0; i < kFrames; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(drawn[i].width, kWidth);
    const std::vector<TChange> changes = ChangedLuma(drawn[i], plain[i]);
    size_t in_first = 0;
    size_t in_second = 0;
    for (const TChange& c : changes) {
      ASSERT_TRUE(first.Holds(c) || second.Holds(c)) << c.x << "," << c.y;
      in_first += first.Holds(c) ? 1 : 0;
      in_second += second.Holds(c) ? 1 : 0;
    }
    EXPECT_GT(in_first, 200u);
    EXPECT_GT(in_second, 200u);
  }
}

TEST_F(ChannelOverlayTest, OverlayPositionsAreScaledFromTheReferencePictureToTheFullHdPicture) {
  constexpr int32_t kFullWidth = 1920;
  constexpr int32_t kFullHeight = 1080;
  const std::string fixture = "h264_1920x1080_aac.rec";
  const std::vector<TPicture> drawn = Play({{Record(352, 288, "Camera 01")}}, {}, fixture);
  const std::vector<TPicture> plain = Play({}, {}, fixture);
  ASSERT_EQ(drawn.size(), kFrames);
  ASSERT_EQ(plain.size(), kFrames);
  SavePicture(drawn[0], "overlay_1080p");
  // The middle of the reference picture is the middle of this one.
  TYV12Font font;
  std::vector<uint8_t> scratch(YV12Size(kFullWidth, kFullHeight), 128);
  font.DrawText(352, 288, scratch.data(), "Camera 01", kFullWidth, kFullHeight, kFullWidth);
  const TBox box{960, 540, 960 + font.RasterWidth(), 540 + font.RasterHeight()};
  for (size_t i = 0; i < kFrames; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(drawn[i].width, kFullWidth);
    const std::vector<TChange> changes = ChangedLuma(drawn[i], plain[i]);
    EXPECT_GT(changes.size(), 500u);
    for (const TChange& c : changes) ASSERT_TRUE(box.Holds(c)) << c.x << "," << c.y;
  }
}

// The picture as the channel should draw it: the plain picture with fonts drawn by hand.
using TCompose = std::function<void(uint8_t* picture, int32_t width, int32_t height)>;

TEST_F(ChannelOverlayTest, EachOverlayKindDrawsExactlyWhatItsFontDraws) {
  struct TCase {
    const char* name;
    TOverlaySpec spec;
    std::function<void(TChannel&)> setup;
    std::function<void()> settings;
    TCompose compose;  // nothing drawn when empty
  };
  const auto scene_a_b = [](uint8_t* p, int32_t w, int32_t h) {
    TYV12Font second, first;
    second.DrawText(0, 500, p, "B", w, h, w);  // the last line first, at the bottom
    first.DrawText(0, 450, p, "A", w, h, w);
  };
  const auto zone = [](uint32_t colour, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    return [=](uint8_t* p, int32_t w, int32_t h) {
      TYV12Font font;
      font.SetColor(colour);
      font.DrawZone(x1, y1, x2, y2, p, w, h);
    };
  };
  const TCase cases[] = {
      {"scene lines", {}, [](TChannel& c) { c.SetSceneInfo("A\\B"); }, nullptr, scene_a_b},
      {"empty scene line takes no step",
       {},
       [](TChannel& c) { c.SetSceneInfo("A\\\\B"); },
       nullptr,
       scene_a_b},
      {"record and scene line",
       {{Record(200, 100, "Gate")}},
       [](TChannel& c) { c.SetSceneInfo("Lobby"); },
       nullptr,
       [](uint8_t* p, int32_t w, int32_t h) {
         TYV12Font record, scene;
         record.DrawText(200, 100, p, "Gate", w, h, w);
         scene.DrawText(0, 500, p, "Lobby", w, h, w);
       }},
      {"alarm zone",
       {{Record(-200, 0, "10,20,110,120")}},
       nullptr,
       nullptr,
       zone(PlayerSettings.AlarmColor, 10, 20, 110, 120)},
      {"setup zone",
       {{Record(-100, 0, "300,200,500,400")}},
       nullptr,
       nullptr,
       zone(PlayerSettings.SetupColor, 300, 200, 500, 400)},
      {"zone of two numbers is the empty rectangle",
       {{Record(-200, 0, "10,20")}},
       nullptr,
       nullptr,
       zone(PlayerSettings.AlarmColor, 0, 0, 0, 0)},
      {"zones hidden",
       {{Record(-200, 0, "10,20,110,120"), Record(-100, 0, "1,2,300,400")}},
       nullptr,
       [] { PlayerSettings.ShowAlarmZone = false; },
       nullptr},
      {"OSD colour",
       {{Record(100, 200, "Red 12")}},
       nullptr,
       [] {
         PlayerSettings.EnableOSDColor = true;
         PlayerSettings.OSDColor = 0x0000FF;
       },
       [](uint8_t* p, int32_t w, int32_t h) {
         TYV12Font font;
         font.SetColor(0x0000FF);
         font.SingleColor = true;
         font.DrawText(100, 200, p, "Red 12", w, h, w);
       }},
      {"OSD off",
       {{Record(100, 200, "Hidden")}},
       [](TChannel& c) { c.SetSceneInfo("Hidden"); },
       [] { PlayerSettings.EnableOSD = false; },
       nullptr},
      {"watermark",
       {},
       [](TChannel& c) { c.SetWatermark("QUVI 2024"); },
       nullptr,
       [](uint8_t* p, int32_t w, int32_t h) {
         TYV12Font font;
         font.WatermarkMode = true;
         font.SetColor(TTextLine::kWatermarkColour);
         font.SingleColor = true;
         font.DrawText(16, 100, p, "QUVI 2024", w, h, w);
       }},
  };
  const std::vector<TPicture>& plain = Plain();
  ASSERT_EQ(plain.size(), kFrames);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TSettingsScope scope;
    if (c.settings) c.settings();
    const std::vector<TPicture> drawn = Play(c.spec, c.setup);
    ASSERT_EQ(drawn.size(), kFrames);
    SavePicture(drawn[0], std::string("overlay_") + c.name);
    for (size_t i = 0; i < kFrames; ++i) {
      TPicture expected = plain[i];
      if (c.compose) c.compose(expected.yv12.data(), expected.width, expected.height);
      ASSERT_EQ(drawn[i].width, kWidth);
      ASSERT_EQ(drawn[i].height, kHeight);
      ASSERT_TRUE(drawn[i].yv12 == expected.yv12) << "picture " << i;
      if (c.compose) {
        ASSERT_FALSE(drawn[i].yv12 == plain[i].yv12) << "nothing drawn";
      }
    }
  }
}

TEST_F(ChannelOverlayTest, AnAlarmZoneIsAnOutlineAndTheWatermarkCoversThePicture) {
  const std::vector<TPicture>& plain = Plain();
  const TPicture zone = Play({{Record(-200, 0, "10,20,110,120")}})[0];
  TYV12Font alarm;
  alarm.SetColor(PlayerSettings.AlarmColor);
  // Edges in the colour, the inside and the outside untouched.
  EXPECT_EQ(zone.Luma(60, 20), alarm.Y());
  EXPECT_EQ(zone.Luma(10, 70), alarm.Y());
  EXPECT_EQ(zone.Luma(60, 70), plain[0].Luma(60, 70));
  EXPECT_EQ(zone.Luma(300, 300), plain[0].Luma(300, 300));

  const TPicture watermark = Play({}, [](TChannel& c) { c.SetWatermark("QUVI"); })[0];
  SavePicture(watermark, "watermark");
  // Every cell of a 3 x 3 grid over the picture has changed pixels.
  size_t cells[3][3] = {};
  for (const TChange& c : ChangedLuma(watermark, plain[0])) {
    ++cells[c.y * 3 / kHeight][c.x * 3 / kWidth];
  }
  for (int r = 0; r < 3; ++r) {
    for (int k = 0; k < 3; ++k) EXPECT_GT(cells[r][k], 100u) << r << "," << k;
  }
}

TEST_F(ChannelOverlayTest, ChineseTextDrawsTheSameInUtf8AndInTheRecordersCodePage) {
  const std::string utf8 = "通道一 大门";
  const std::string gb18030 = "\xCD\xA8\xB5\xC0\xD2\xBB \xB4\xF3\xC3\xC5";
  ASSERT_EQ(Gb18030ToUtf8(gb18030), utf8);
  const std::vector<TPicture> from_utf8 = Play({{Record(200, 200, utf8)}, 1});
  const std::vector<TPicture> from_code_page = Play({{Record(200, 200, gb18030)}, 0});
  // ASCII and valid UTF-8 text with encoding 0 draws as it is.
  const std::vector<TPicture> utf8_marked_code_page = Play({{Record(200, 200, utf8)}, 0});
  ASSERT_EQ(from_utf8.size(), kFrames);
  SavePicture(from_code_page[0], "gb18030");
  for (size_t i = 0; i < kFrames; ++i) {
    EXPECT_TRUE(from_utf8[i].yv12 == from_code_page[i].yv12) << i;
    EXPECT_TRUE(from_utf8[i].yv12 == utf8_marked_code_page[i].yv12) << i;
    EXPECT_FALSE(from_utf8[i].yv12 == Plain()[i].yv12) << i;
  }

  // Bytes that are neither: drawn (as replacement characters) in both encodings.
  const std::string invalid = "\xFF\xFE\x80\xC0 ok \x81";
  for (uint8_t encoding : {0, 1}) {
    SCOPED_TRACE(int(encoding));
    const std::vector<TPicture> drawn = Play({{Record(200, 200, invalid)}, encoding});
    ASSERT_EQ(drawn.size(), kFrames);
    EXPECT_FALSE(drawn[0].yv12 == Plain()[0].yv12);
  }
}

TEST_F(ChannelOverlayTest, ATurnedStreamReachesTheCallbackTurnedAndRepaintsTheWindowOnce) {
  PlayerSettings.UseKV = true;
  const plat::HWND window = plat::CreateWindowHandle();
  ASSERT_TRUE(plat::MoveWindow(window, 0, 0, 320, 240));
  std::vector<std::vector<uint8_t>> blocks;
  for (const TFixtureFrame& f : FixtureVideo("h264_704x576_g711u.rec", kFrames)) {
    blocks.push_back(Rewrite(f, {.records = {}, .rotation = 1}));
  }
  std::vector<TPicture> turned;
  uint32_t repaints = 0;
  {
    TPlayedChannel played({}, window);
    turned = played.FeedAll(blocks);
    repaints = played.Channel().RepaintCount();
  }
  plat::DestroyWindowHandle(window);
  ASSERT_EQ(turned.size(), kFrames);
  SavePicture(turned[0], "turned");
  for (size_t i = 0; i < kFrames; ++i) {
    EXPECT_EQ(turned[i].width, kHeight);
    EXPECT_EQ(turned[i].height, kWidth);
    std::vector<uint8_t> expected(YV12Size(kWidth, kHeight));
    RotateYV12(expected.data(), Plain()[i].yv12.data(), kWidth, kHeight);
    EXPECT_TRUE(turned[i].yv12 == expected) << i;
  }
  EXPECT_EQ(repaints, 1u);
}

TEST_F(ChannelOverlayTest, TextsChangedWhileAStreamPlaysAreDrawnWithoutARace) {
  const std::vector<TFixtureFrame> frames = FixtureVideo("h264_704x576_g711u.rec", 25);
  std::vector<std::vector<uint8_t>> blocks;
  for (const TFixtureFrame& f : frames) blocks.push_back(Rewrite(f, {{Record(20, 20, "REC")}}));
  TPlayedChannel played;
  std::atomic<bool> done{false};
  std::thread changer([&] {
    for (int n = 0; !done; ++n) {
      const std::string number = std::to_string(n % 7);
      const std::string mark = n % 5 == 0 ? "" : "mark " + number;
      const std::string scene = "line " + number + (n % 2 ? "\\second" : "");
      played.Channel().SetWatermark(mark.c_str());
      played.Channel().SetSceneInfo(scene.c_str());
    }
  });
  const std::vector<TPicture> pictures = played.FeedAll(blocks);
  done = true;
  changer.join();
  EXPECT_EQ(pictures.size(), blocks.size());
  played.Channel().Stop();
  EXPECT_FALSE(played.Channel().Overlays().TextLineCount().has_value()) << "freed by stop";
  EXPECT_FALSE(played.Channel().Overlays().HasWatermark());
  EXPECT_EQ(played.Channel().Overlays().SceneText().size() >= 1, true) << "kept until destroyed";
}

TEST(OverlayTextTest, RecordTextsAndSceneLines) {
  struct TCase {
    std::string bytes;
    uint8_t encoding;
    std::string text;
  };
  const TCase cases[] = {
      {"Camera 01", 0, "Camera 01"},
      {"Camera 01", 1, "Camera 01"},
      {"\xCD\xA8\xB5\xC0", 0, "通道"},
      {"\xCD\xA8\xB5\xC0", 1, "\xCD\xA8\xB5\xC0"},  // UTF-8 is passed on as it is
      {"a\xFF"
       "b",
       0,
       "a\xEF\xBF\xBD"
       "b"},
      {"ab\x81", 0, "ab\xEF\xBF\xBD"},                  // cut off at the end
      {std::string(40, 'x'), 0, std::string(40, 'x')},  // no nul: all 40 bytes
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(OverlayRecordText(Record(0, 0, c.bytes), c.encoding), c.text);
  }
  TOverlayRecord cut = Record(0, 0, "ab");
  cut.Text[3] = 'z';  // behind the nul
  EXPECT_EQ(OverlayRecordText(cut, 1), "ab");

  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));

  using L = std::vector<std::string>;
  EXPECT_EQ(SplitSceneText("A\\B"), (L{"A", "B"}));
  EXPECT_EQ(SplitSceneText("A\\\\B"), (L{"A", "", "B"}));
  EXPECT_EQ(SplitSceneText("A\\"), (L{"A"}));
  EXPECT_EQ(SplitSceneText(""), L{});
}

TEST(TextLineTest, ZoneTextsGiveTheirRectangle) {
  using Z = std::array<int32_t, 4>;
  EXPECT_EQ(ParseZoneText("10,20,110,120"), (Z{10, 20, 110, 120}));
  EXPECT_EQ(ParseZoneText(" 10, -20 ,x,120,9"), (Z{10, -20, 0, 120}));
  EXPECT_EQ(ParseZoneText("10,20,30"), (Z{0, 0, 0, 0}));
  EXPECT_EQ(ParseZoneText(""), (Z{0, 0, 0, 0}));
  EXPECT_EQ(ParseZoneText("1,2,3,99999999999"), (Z{1, 2, 3, 0}));
}

TEST(TextLineTest, ALineThatChangesKindGetsAFreshFont) {
  TTextLine line(TTextLine::kWatermarkX, TTextLine::kWatermarkX);
  line.SetText("W");
  ASSERT_NE(line.Font(), nullptr);
  EXPECT_TRUE(line.Font()->WatermarkMode);
  line.SetPosition(10, 10);
  line.SetText("T");
  ASSERT_NE(line.Font(), nullptr);
  EXPECT_FALSE(line.Font()->WatermarkMode);
  EXPECT_FALSE(line.Font()->SingleColor);
}

}  // namespace
}  // namespace zrplay
