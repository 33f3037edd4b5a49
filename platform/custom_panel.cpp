#include "platform/custom_panel.h"

#include <mutex>

namespace plat {

namespace {

constexpr int32_t kDefaultWidth = 185;
constexpr int32_t kDefaultHeight = 41;
// Space kept between the caption and the panel's sides when it is aligned left or right.
constexpr int32_t kCaptionMargin = 2;

TShiftState ShiftOf(WPARAM keys) {
  TShiftState shift = 0;
  if (keys & MK_SHIFT) shift |= ssShift;
  if (keys & MK_CONTROL) shift |= ssCtrl;
  if (keys & MK_LBUTTON) shift |= ssLeft;
  if (keys & MK_RBUTTON) shift |= ssRight;
  if (keys & MK_MBUTTON) shift |= ssMiddle;
  return shift;
}

}  // namespace

TCustomPanel::TCustomPanel(HWND parent) {
  static std::once_flag registered;
  std::call_once(registered, [] { RegisterClass(WNDCLASS{kClassName, &ClassProc, CLR_NONE}); });
  handle_ = CreateWindow(kClassName, parent, 0, 0, kDefaultWidth, kDefaultHeight, true);
  SetWindowUserData(handle_, reinterpret_cast<intptr_t>(this));
}

TCustomPanel::~TCustomPanel() {
  // The object is going: no message may reach it through the class procedure any more.
  SetWindowUserData(handle_, 0);
  DestroyWindow(handle_);
}

intptr_t TCustomPanel::ClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* panel = reinterpret_cast<TCustomPanel*>(GetWindowUserData(hwnd));
  if (panel == nullptr) return DefWindowProc(hwnd, message, wParam, lParam);
  return panel->WndProc(message, wParam, lParam);
}

intptr_t TCustomPanel::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      HandlePaint();
      return 0;
    case WM_ERASEBKGND:
      return EraseBackground(static_cast<HDC>(wParam));
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
      HandleMouse(message, wParam, lParam);
      return 0;
    case WM_MOUSELEAVE:
      MouseLeave();
      return 0;
    default:
      return DefWindowProc(handle_, message, wParam, lParam);
  }
}

void TCustomPanel::HandlePaint() {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(handle_, &paint);
  if (dc == 0) return;
  Paint(dc, paint.rcPaint);
  EndPaint(handle_, &paint);
}

intptr_t TCustomPanel::EraseBackground(HDC dc) {
  RECT client;
  GetClientRect(handle_, &client);
  FillRect(dc, &client, color_);
  return 1;
}

void TCustomPanel::Paint(HDC dc, const RECT& client) {
  FillRect(dc, &client, color_);
  RECT inner = client;
  if (border_style_ == bsSingle) {
    FrameRect(dc, &inner, clWindowFrame);
    inner = RECT{inner.left + 1, inner.top + 1, inner.right - 1, inner.bottom - 1};
  }
  if (bevel_outer_) {
    const RECT top{inner.left, inner.top, inner.right, inner.top + 1};
    const RECT left{inner.left, inner.top, inner.left + 1, inner.bottom};
    const RECT bottom{inner.left, inner.bottom - 1, inner.right, inner.bottom};
    const RECT right{inner.right - 1, inner.top, inner.right, inner.bottom};
    FillRect(dc, &top, clBtnHighlight);
    FillRect(dc, &left, clBtnHighlight);
    FillRect(dc, &bottom, clBtnShadow);
    FillRect(dc, &right, clBtnShadow);
    inner = RECT{inner.left + 1, inner.top + 1, inner.right - 1, inner.bottom - 1};
  }
  if (caption_.empty()) return;
  const RECT text_rect{inner.left + kCaptionMargin, inner.top, inner.right - kCaptionMargin,
                       inner.bottom};
  UINT format = DT_SINGLELINE | DT_VCENTER;
  if (alignment_ == taCenter) format |= DT_CENTER;
  if (alignment_ == taRightJustify) format |= DT_RIGHT;
  DrawText(dc, caption_, text_rect, format, font_);
}

void TCustomPanel::HandleMouse(UINT message, WPARAM wParam, LPARAM lParam) {
  const int32_t x = GET_X_LPARAM(lParam);
  const int32_t y = GET_Y_LPARAM(lParam);
  TShiftState shift = ShiftOf(wParam);
  switch (message) {
    case WM_MOUSEMOVE:
      MouseMove(shift, x, y);
      return;
    case WM_LBUTTONDBLCLK:
      DblClick();
      MouseDown(mbLeft, shift | ssDouble, x, y);
      return;
    case WM_LBUTTONDOWN:
      left_pressed_ = true;
      MouseDown(mbLeft, shift, x, y);
      return;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      MouseDown(mbRight, shift | (message == WM_RBUTTONDBLCLK ? ssDouble : 0), x, y);
      return;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      MouseDown(mbMiddle, shift | (message == WM_MBUTTONDBLCLK ? ssDouble : 0), x, y);
      return;
    case WM_LBUTTONUP: {
      // A click is a press and a release of the left button inside the window.
      const bool click = left_pressed_ && x >= 0 && y >= 0 && x < Width() && y < Height();
      left_pressed_ = false;
      if (click) Click();
      MouseUp(mbLeft, shift, x, y);
      return;
    }
    case WM_RBUTTONUP:
      MouseUp(mbRight, shift, x, y);
      return;
    case WM_MBUTTONUP:
      MouseUp(mbMiddle, shift, x, y);
      return;
    default:
      return;
  }
}

void TCustomPanel::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (OnMouseDown) OnMouseDown(*this, button, shift, x, y);
}
void TCustomPanel::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (OnMouseUp) OnMouseUp(*this, button, shift, x, y);
}
void TCustomPanel::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  if (OnMouseMove) OnMouseMove(*this, shift, x, y);
}
void TCustomPanel::Click() {
  if (OnClick) OnClick(*this);
}
void TCustomPanel::DblClick() {
  if (OnDblClick) OnDblClick(*this);
}
void TCustomPanel::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(*this);
}

void TCustomPanel::SetColor(COLORREF value) {
  if (value == color_) return;
  color_ = value;
  Invalidate();
}
void TCustomPanel::SetCaption(const std::string& value) {
  if (value == caption_) return;
  caption_ = value;
  Invalidate();
}
void TCustomPanel::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Invalidate();
}
void TCustomPanel::SetBorderStyle(TBorderStyle value) {
  if (value == border_style_) return;
  border_style_ = value;
  Invalidate();
}
void TCustomPanel::SetBevelOuter(bool value) {
  if (value == bevel_outer_) return;
  bevel_outer_ = value;
  Invalidate();
}
void TCustomPanel::SetAlign(TAlign value) {
  align_ = value;
  RECT parent;
  if (value == alClient && GetClientRect(Parent(), &parent))
    SetBounds(0, 0, parent.right, parent.bottom);
}
bool TCustomPanel::Visible() const {
  return IsWindowVisible(handle_);
}
void TCustomPanel::SetVisible(bool value) {
  ShowWindow(handle_, value);
}
bool TCustomPanel::Enabled() const {
  return IsWindowEnabled(handle_);
}
void TCustomPanel::SetEnabled(bool value) {
  EnableWindow(handle_, value);
}
void TCustomPanel::SetFont(const TFontSpec& value) {
  font_ = value;
  Invalidate();
}
void TCustomPanel::SetFontName(const std::string& value) {
  font_.name = value;
  Invalidate();
}
void TCustomPanel::SetFontSize(int32_t value) {
  font_.size = value;
  Invalidate();
}
void TCustomPanel::SetFontColor(COLORREF value) {
  font_.color = value;
  Invalidate();
}
void TCustomPanel::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  MoveWindow(handle_, left, top, width, height);
}
int32_t TCustomPanel::Width() const {
  RECT client;
  return GetClientRect(handle_, &client) ? client.right : 0;
}
int32_t TCustomPanel::Height() const {
  RECT client;
  return GetClientRect(handle_, &client) ? client.bottom : 0;
}
void TCustomPanel::Invalidate() {
  InvalidateRect(handle_, nullptr, true);
}
void TCustomPanel::Repaint() {
  Invalidate();
  UpdateWindow(handle_);
}

}  // namespace plat
