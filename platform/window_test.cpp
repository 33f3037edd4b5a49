// The window layer: classes and families of windows, the paint cycle, the custom panel's
// painting (looked at as PNG files in the test temporary folder), mouse input turned into
// events, cursors and the host's dialog callbacks.
#include "platform/window.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/cursor.h"
#include "platform/custom_panel.h"
#include "platform/dialogs.h"
#include "platform/font_raster.h"

namespace plat {
namespace {

// Where the pictures of these tests are left for a person to look at.
std::string PngPath(const std::string& name) {
  return ::testing::TempDir() + "window_test_" + name + ".png";
}

struct TSeen {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
};

// A class whose procedure records every message; erase answers `erase_answer`.
class WindowClassTest : public ::testing::Test {
 protected:
  static std::vector<TSeen>& Seen() {
    static std::vector<TSeen> seen;
    return seen;
  }
  static intptr_t& EraseAnswer() {
    static intptr_t answer = 1;
    return answer;
  }
  static bool& LastErase() {
    static bool erase = false;
    return erase;
  }
  static void SetUpTestSuite() {
    RegisterClass(WNDCLASS{"RecordingWindow", [](HWND h, UINT m, WPARAM w, LPARAM l) -> intptr_t {
                             Seen().push_back({h, m, w});
                             if (m == WM_ERASEBKGND) return EraseAnswer();
                             if (m == WM_PAINT) {
                               PAINTSTRUCT paint;
                               BeginPaint(h, &paint);
                               LastErase() = paint.fErase;
                               EndPaint(h, &paint);
                             }
                             return DefWindowProc(h, m, w, l);
                           }});
  }
  void SetUp() override {
    Seen().clear();
    EraseAnswer() = 1;
  }
  std::vector<UINT> MessagesOf(HWND hwnd) {
    std::vector<UINT> out;
    for (const TSeen& s : Seen())
      if (s.hwnd == hwnd) out.push_back(s.message);
    return out;
  }
};

TEST_F(WindowClassTest, ChildWindowsBelongToTheirParentAndDieWithIt) {
  EXPECT_EQ(CreateWindow("NoSuchClass", 0, 0, 0, 10, 10, true), 0);
  EXPECT_FALSE(RegisterClass(WNDCLASS{"recordingwindow", [](HWND, UINT, WPARAM, LPARAM) {
                                        return intptr_t{0};
                                      }}));  // names match without case
  const HWND parent = CreateWindow("RecordingWindow", 0, 0, 0, 100, 80, true);
  const HWND child = CreateWindow("RecordingWindow", parent, 10, 20, 30, 40, true);
  ASSERT_NE(child, 0);
  EXPECT_EQ(CreateWindow("RecordingWindow", INVALID_HWND, 0, 0, 1, 1, true), 0);
  EXPECT_EQ(GetParent(child), parent);
  EXPECT_EQ(GetClassName(child), "RecordingWindow");
  RECT r;
  ASSERT_TRUE(GetWindowRect(child, &r));
  EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.right, r.bottom}),
            (std::vector<int32_t>{10, 20, 40, 60}));
  EXPECT_EQ(MessagesOf(child).front(), WM_CREATE);
  // Hiding the parent hides the child; neither is painted while hidden.
  ShowWindow(parent, false);
  EXPECT_FALSE(IsWindowVisible(child));
  Seen().clear();
  InvalidateRect(child, nullptr, true);
  PumpMessages(20);
  EXPECT_TRUE(MessagesOf(child).empty());
  ASSERT_TRUE(DestroyWindow(parent));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(MessagesOf(child).back(), WM_DESTROY);
  EXPECT_FALSE(PostMessage(child, WM_USER, 0, 0));
}

TEST_F(WindowClassTest, PaintComesOnceAfterThePostedMessagesAndAsksForErasing) {
  const HWND w = CreateWindow("RecordingWindow", 0, 0, 0, 20, 20, true);
  PumpMessages(20);  // the first paint of a new window
  Seen().clear();
  InvalidateRect(w, nullptr, false);
  InvalidateRect(w, nullptr, true);
  PostMessage(w, WM_USER + 1, 0, 0);
  EXPECT_TRUE(IsPaintDue(w));
  PumpMessages(20);
  EXPECT_EQ(MessagesOf(w), (std::vector<UINT>{WM_USER + 1, WM_PAINT, WM_ERASEBKGND}));
  EXPECT_FALSE(LastErase());  // erase answered 1: done
  EraseAnswer() = 0;
  Seen().clear();
  InvalidateRect(w, nullptr, true);
  EXPECT_TRUE(UpdateWindow(w));  // at once, without the loop
  EXPECT_EQ(MessagesOf(w), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
  EXPECT_TRUE(LastErase());
  EXPECT_FALSE(IsPaintDue(w));
  DestroyWindow(w);
}

TEST_F(WindowClassTest, OtherThreadsInvalidateAndPostButOnlyTheOwnerSends) {
  const HWND w = CreateWindow("RecordingWindow", 0, 0, 0, 20, 20, true);
  PumpMessages(20);
  Seen().clear();
  intptr_t sent = -1;
  std::thread other([&] {
    sent = SendMessage(w, WM_USER + 2, 0, 0);
    InvalidateRect(w, nullptr, false);
  });
  other.join();
  EXPECT_EQ(sent, 0);
  TMsg msg;
  ASSERT_TRUE(GetMessage(&msg, 1000));  // woken by the invalidation
  EXPECT_EQ(msg.message, WM_PAINT);
  DispatchMessage(msg);
  EXPECT_EQ(MessagesOf(w), (std::vector<UINT>{WM_PAINT}));
  DestroyWindow(w);
}

// ---- The custom panel ----

int CountPixels(HWND hwnd, uint32_t pixel, int32_t from_x = 0, int32_t to_x = 1 << 20) {
  std::vector<uint32_t> pixels;
  int32_t width = 0, height = 0;
  GetWindowPixels(hwnd, &pixels, &width, &height);
  int count = 0;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = std::max(from_x, 0); x < std::min(to_x, width); ++x)
      count += pixels[size_t(y) * width + x] == pixel;
  return count;
}

std::vector<uint32_t> Pixels(HWND hwnd) {
  std::vector<uint32_t> pixels;
  int32_t width = 0, height = 0;
  GetWindowPixels(hwnd, &pixels, &width, &height);
  return pixels;
}

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    panel_.SetBounds(0, 0, 240, 60);
    panel_.SetColor(RGB(0, 0, 0));
    panel_.SetBevelOuter(false);
    panel_.SetFontColor(RGB(255, 255, 255));
    panel_.SetFontSize(14);
  }
  void Paint() { PumpMessages(20); }

  TCustomPanel panel_{0};
  const uint32_t white_ = PixelOf(RGB(255, 255, 255));
};

TEST_F(PanelTest, ChineseCaptionShowsRealGlyphsOfACjkFace) {
  const TFontFace face = FindFontFace("", false);
  ASSERT_TRUE(face.found) << "no CJK-capable font: scripts/setup installs fonts-wqy-microhei";
  panel_.SetCaption("正在连接...");
  Paint();
  SaveWindowPng(panel_.Handle(), PngPath("caption_connecting"));
  const std::vector<uint32_t> connecting = Pixels(panel_.Handle());
  EXPECT_GT(CountPixels(panel_.Handle(), white_), 150);
  // Other characters of the same count draw other pixels: glyphs, not missing-glyph boxes.
  panel_.SetCaption("等待数据...");
  Paint();
  SaveWindowPng(panel_.Handle(), PngPath("caption_waiting"));
  EXPECT_NE(Pixels(panel_.Handle()), connecting);
  EXPECT_GT(CountPixels(panel_.Handle(), white_), 150);
}

TEST_F(PanelTest, CaptionFollowsAlignmentFontAndColour) {
  struct TCase {
    TAlignment alignment;
    int32_t from_x, to_x;  // where the caption's pixels must all lie
  };
  const std::vector<TCase> cases = {
      {taLeftJustify, 0, 120}, {taCenter, 60, 180}, {taRightJustify, 120, 240}};
  panel_.SetCaption("Caption");
  for (const TCase& c : cases) {
    panel_.SetAlignment(c.alignment);
    Paint();
    SaveWindowPng(panel_.Handle(), PngPath("align_" + std::to_string(c.alignment)));
    const int all = CountPixels(panel_.Handle(), white_);
    EXPECT_GT(all, 50) << c.alignment;
    EXPECT_EQ(CountPixels(panel_.Handle(), white_, c.from_x, c.to_x), all) << c.alignment;
  }
  // A bigger font covers more; another colour paints in that colour.
  panel_.SetAlignment(taCenter);
  Paint();
  const int at14 = CountPixels(panel_.Handle(), white_);
  panel_.SetFontSize(24);
  panel_.SetFontColor(RGB(255, 0, 0));
  Paint();
  SaveWindowPng(panel_.Handle(), PngPath("font_24_red"));
  EXPECT_EQ(CountPixels(panel_.Handle(), white_), 0);
  EXPECT_GT(CountPixels(panel_.Handle(), PixelOf(RGB(255, 0, 0))), at14 * 2);
}

TEST_F(PanelTest, CaptionFontNameChoosesTheFace) {
  const TFontFace named = FindFontFace("DejaVu Sans", false);
  const TFontFace standard = FindFontFace("", false);
  EXPECT_TRUE(standard.default_cjk);
  EXPECT_EQ(named.name, "DejaVu Sans");
  if (named.file == standard.file) GTEST_SKIP() << "no second face installed to tell apart";
  panel_.SetCaption("Quick brown fox");
  Paint();
  const std::vector<uint32_t> by_default = Pixels(panel_.Handle());
  panel_.SetFontName("DejaVu Sans");
  Paint();
  SaveWindowPng(panel_.Handle(), PngPath("font_dejavu"));
  EXPECT_EQ(panel_.Font().name, "DejaVu Sans");
  EXPECT_NE(Pixels(panel_.Handle()), by_default);
  EXPECT_GT(CountPixels(panel_.Handle(), white_), 50);
}

TEST_F(PanelTest, BorderBevelColourAndVisibility) {
  panel_.SetColor(RGB(0, 0, 255));
  panel_.SetBorderStyle(bsSingle);
  Paint();
  SaveWindowPng(panel_.Handle(), PngPath("border_single"));
  std::vector<uint32_t> pixels = Pixels(panel_.Handle());
  EXPECT_EQ(pixels[0], PixelOf(clWindowFrame));
  EXPECT_EQ(pixels[241], PixelOf(RGB(0, 0, 255)));
  panel_.SetBorderStyle(bsNone);
  panel_.SetBevelOuter(true);
  Paint();
  pixels = Pixels(panel_.Handle());
  EXPECT_EQ(pixels[0], PixelOf(clBtnHighlight));
  EXPECT_EQ(pixels.back(), PixelOf(clBtnShadow));
  // Hidden: changes are not painted until it shows again.
  panel_.SetVisible(false);
  EXPECT_FALSE(panel_.Visible());
  panel_.SetColor(RGB(0, 255, 0));
  Paint();
  EXPECT_EQ(Pixels(panel_.Handle())[120 + 30 * 240], PixelOf(RGB(0, 0, 255)));
  panel_.SetVisible(true);
  Paint();
  EXPECT_EQ(Pixels(panel_.Handle())[120 + 30 * 240], PixelOf(RGB(0, 255, 0)));
}

TEST_F(PanelTest, InjectedMouseInputBecomesEvents) {
  std::vector<std::string> events;
  const auto name = [](TMouseButton b) { return std::to_string(int(b)); };
  panel_.OnMouseMove = [&](TCustomPanel&, TShiftState s, int32_t x, int32_t y) {
    events.push_back("move " + std::to_string(x) + "," + std::to_string(y) +
                     ((s & ssLeft) ? " left" : ""));
  };
  panel_.OnMouseDown = [&](TCustomPanel&, TMouseButton b, TShiftState s, int32_t x, int32_t) {
    events.push_back("down " + name(b) + ((s & ssDouble) ? " double" : "") + " " +
                     std::to_string(x));
  };
  panel_.OnMouseUp = [&](TCustomPanel&, TMouseButton b, TShiftState, int32_t, int32_t) {
    events.push_back("up " + name(b));
  };
  panel_.OnClick = [&](TCustomPanel&) { events.push_back("click"); };
  panel_.OnDblClick = [&](TCustomPanel&) { events.push_back("dblclick"); };
  panel_.OnMouseLeave = [&](TCustomPanel&) { events.push_back("leave"); };
  TCustomPanel other(0);

  ASSERT_TRUE(InjectMouseMove(panel_.Handle(), 5, -3, MK_LBUTTON));
  ASSERT_TRUE(InjectClick(panel_.Handle(), 7, 8));
  ASSERT_TRUE(InjectMouseButton(panel_.Handle(), TMouseButtonId::Right, true, 9, 9));
  ASSERT_TRUE(InjectMouseButton(panel_.Handle(), TMouseButtonId::Right, false, 9, 9));
  ASSERT_TRUE(InjectDoubleClick(panel_.Handle(), 1, 1));
  ASSERT_TRUE(InjectMouseMove(other.Handle(), 1, 1));  // moved away: leave
  PumpMessages(20);
  EXPECT_EQ(events, (std::vector<std::string>{"move 5,-3 left", "down 0 7", "click", "up 0",
                                              "down 1 9", "up 1", "down 0 1", "click", "up 0",
                                              "dblclick", "down 0 double 1", "up 0", "leave"}));
  // A release outside the window is no click; a disabled window takes no input.
  events.clear();
  InjectMouseButton(panel_.Handle(), TMouseButtonId::Left, true, 5, 5);
  InjectMouseButton(panel_.Handle(), TMouseButtonId::Left, false, 500, 5);
  panel_.SetEnabled(false);
  EXPECT_FALSE(panel_.Enabled());
  EXPECT_FALSE(InjectClick(panel_.Handle(), 5, 5));
  PumpMessages(20);
  EXPECT_EQ(events, (std::vector<std::string>{"down 0 5", "up 0"}));
}

// ---- Cursors ----

TEST(CursorTest, DirectionCursorsAreBuiltInUnderTheirResourceNames) {
  std::set<HCURSOR> handles;
  // Hot spots sit at the arrow's tip, towards the direction's side of the 32 x 32 picture.
  const int32_t dx[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
  const int32_t dy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
  const HWND sheet = CreateWindowHandle();
  MoveWindow(sheet, 0, 0, 8 * 34, 2 * 34);
  const HDC dc = GetDC(sheet);
  for (int n = 1; n <= 8; ++n) {
    for (const char* look : {"Cursor_Up_", "Cursor_Down_"}) {
      const HCURSOR cursor = LoadCursor(0, look + std::to_string(n));
      ASSERT_NE(cursor, 0) << look << n;
      handles.insert(cursor);
      TCursorImage image;
      ASSERT_TRUE(GetCursorImage(cursor, &image));
      ASSERT_EQ(image.width, 32);
      EXPECT_EQ((image.hot_x > 18) - (image.hot_x < 13), dx[n - 1]) << look << n;
      EXPECT_EQ((image.hot_y > 18) - (image.hot_y < 13), dy[n - 1]) << look << n;
      const bool down = look[7] == 'D';
      for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x)
          if (uint32_t p = image.pixels[size_t(y) * 32 + x]; p >> 24) {
            const RECT dot{(n - 1) * 34 + x, (down ? 34 : 0) + y, (n - 1) * 34 + x + 1,
                           (down ? 34 : 0) + y + 1};
            FillRect(dc, &dot, RGB(uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)));
          }
    }
  }
  ReleaseDC(sheet, dc);
  SaveWindowPng(sheet, PngPath("direction_cursors"));
  DestroyWindowHandle(sheet);
  EXPECT_EQ(handles.size(), 16u);
  EXPECT_EQ(LoadCursor(0, "CURSOR_UP_3"), LoadCursor(0, "cursor_up_3"));
  EXPECT_EQ(CursorName(LoadCursor(0, "cursor_down_8")), "CURSOR_DOWN_8");
  EXPECT_EQ(LoadCursor(0, "Cursor_Up_9"), 0);
}

TEST(CursorTest, ScreenCursorOverridesTheWindowCursor) {
  const HWND w = CreateWindowHandle();
  const HCURSOR up2 = LoadCursor(0, "Cursor_Up_2");
  SetScreenCursorEntry(3, up2);
  EXPECT_EQ(CursorShownOver(w), StandardCursor(crArrow));
  SetWindowCursor(w, crCross);
  EXPECT_EQ(CursorShownOver(w), StandardCursor(crCross));
  SetScreenCursor(3);
  EXPECT_EQ(CursorShownOver(w), up2);
  SetScreenCursor(crDefault);
  EXPECT_EQ(CursorShownOver(w), StandardCursor(crCross));
  EXPECT_NE(StandardCursor(crHandPoint), StandardCursor(crCross));
  DestroyWindowHandle(w);
}

// ---- Dialogs ----

TEST(DialogTest, HeadlessDialogsCancelAndHostCallbacksAnswer) {
  TSaveDialogRequest request{"3-5-20241210.mp4", "Video Files|*.*", "", ""};
  EXPECT_FALSE(GetSaveFileName(0, request));
  EXPECT_EQ(request.file_name, "3-5-20241210.mp4");
  EXPECT_EQ(MessageBox(0, "恢复正常播放失败！", "", MB_OK), IDCANCEL);

  std::string shown;
  SetMessageBoxHandler([&](HWND, const std::string& text, const std::string&, UINT) {
    shown = text;
    return IDOK;
  });
  SetSaveFileDialogHandler([](HWND, TSaveDialogRequest& r) {
    EXPECT_EQ(r.filter, "Video Files|*.*");
    r.file_name = "/tmp/chosen.mp4";
    return true;
  });
  EXPECT_EQ(MessageBox(0, "text", "", MB_OK), IDOK);
  EXPECT_EQ(shown, "text");
  EXPECT_TRUE(GetSaveFileName(0, request));
  EXPECT_EQ(request.file_name, "/tmp/chosen.mp4");
  SetMessageBoxHandler(nullptr);
  SetSaveFileDialogHandler(nullptr);
  EXPECT_EQ(MessageBox(0, "again", "", MB_OK), IDCANCEL);
}

}  // namespace
}  // namespace plat
