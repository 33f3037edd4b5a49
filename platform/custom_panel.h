// The custom panel: a child window that paints a background colour, an optional bevel and
// border, and one caption line in its font, aligned left, right or centred; it turns the
// window's mouse messages into mouse events (down, up, move, click, double click, leave).
// Controls derive from it and add their own messages through WndProc and their own painting
// through Paint. Threads: made, used and destroyed on one user-interface thread, whose message
// loop delivers its messages; the object owns its window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/cursor.h"
#include "platform/platform_api.h"
#include "platform/text_out.h"
#include "platform/window.h"

namespace plat {

enum TAlignment : int32_t { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
enum TBorderStyle : int32_t { bsNone = 0, bsSingle = 1 };
enum TAlign : int32_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TMouseButton : int32_t { mbLeft = 0, mbRight = 1, mbMiddle = 2 };
// Shift state of mouse events, a set of these bits.
using TShiftState = uint32_t;
constexpr TShiftState ssShift = 0x01;
constexpr TShiftState ssAlt = 0x02;
constexpr TShiftState ssCtrl = 0x04;
constexpr TShiftState ssLeft = 0x08;
constexpr TShiftState ssRight = 0x10;
constexpr TShiftState ssMiddle = 0x20;
constexpr TShiftState ssDouble = 0x40;

// Colours the panel paints its frame with.
constexpr COLORREF clBtnHighlight = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF clBtnShadow = RGB(0xA0, 0xA0, 0xA0);
constexpr COLORREF clWindowFrame = RGB(0x64, 0x64, 0x64);
constexpr COLORREF clBtnFace = RGB(0xF0, 0xF0, 0xF0);

class QUVI_PLATFORM_API TCustomPanel {
 public:
  using TNotifyEvent = std::function<void(TCustomPanel& sender)>;
  using TMouseEvent = std::function<void(TCustomPanel& sender, TMouseButton button,
                                         TShiftState shift, int32_t x, int32_t y)>;
  using TMouseMoveEvent =
      std::function<void(TCustomPanel& sender, TShiftState shift, int32_t x, int32_t y)>;

  // The window class every panel's window belongs to.
  static constexpr const char* kClassName = "TPanel";

  // Makes the panel's window on the calling thread as a child of `parent` (0: a top window),
  // visible, 185 × 41 pixels, face-coloured, with a raised bevel.
  explicit TCustomPanel(HWND parent);
  virtual ~TCustomPanel();
  TCustomPanel(const TCustomPanel&) = delete;
  TCustomPanel& operator=(const TCustomPanel&) = delete;

  HWND Handle() const { return handle_; }
  HWND Parent() const { return GetParent(handle_); }

  COLORREF Color() const { return color_; }
  void SetColor(COLORREF value);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle value);
  // The raised outer bevel; controls that show pictures switch it off.
  bool BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(bool value);
  TAlign Align() const { return align_; }
  // alClient fills the parent's client area; the other values are kept.
  void SetAlign(TAlign value);
  bool Visible() const;
  void SetVisible(bool value);
  bool Enabled() const;
  void SetEnabled(bool value);
  // Kept for the host; painting is the same either way.
  bool ParentBackground() const { return parent_background_; }
  void SetParentBackground(bool value) { parent_background_ = value; }
  bool DoubleBuffered() const { return double_buffered_; }
  void SetDoubleBuffered(bool value) { double_buffered_ = value; }

  const TFontSpec& Font() const { return font_; }
  void SetFont(const TFontSpec& value);
  void SetFontName(const std::string& value);
  void SetFontSize(int32_t value);
  void SetFontColor(COLORREF value);

  TCursor Cursor() const { return GetWindowCursor(handle_); }
  void SetCursor(TCursor value) { SetWindowCursor(handle_, value); }

  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  int32_t Width() const;
  int32_t Height() const;

  // Due for painting with the background erased first.
  void Invalidate();
  // Invalidate and paint at once.
  void Repaint();

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnMouseLeave;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

 protected:
  // Every message of the window comes here; a control handles its own and passes the rest on.
  virtual intptr_t WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Background, bevel, border and caption.
  virtual void Paint(HDC dc, const RECT& client);
  // The answer to WM_ERASEBKGND: nonzero when the background counts as erased. The panel fills
  // its colour.
  virtual intptr_t EraseBackground(HDC dc);
  virtual void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void MouseMove(TShiftState shift, int32_t x, int32_t y);
  virtual void Click();
  virtual void DblClick();
  virtual void MouseLeave();

 private:
  static intptr_t ClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void HandlePaint();
  void HandleMouse(UINT message, WPARAM wParam, LPARAM lParam);

  HWND handle_ = 0;
  COLORREF color_ = clBtnFace;
  std::string caption_;
  TAlignment alignment_ = taCenter;
  TBorderStyle border_style_ = bsNone;
  bool bevel_outer_ = true;
  TAlign align_ = alNone;
  bool parent_background_ = false;
  bool double_buffered_ = false;
  TFontSpec font_;
  // A press inside the window that an up may turn into a click.
  bool left_pressed_ = false;
};

}  // namespace plat
