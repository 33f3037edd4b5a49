#include "platform/window.h"

#include <strings.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/surface.h"
#include "platform/thread.h"
#include "platform/window_state.h"

namespace plat {

namespace {

struct TCaseless {
  bool operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  }
};

std::mutex g_class_mutex;
std::map<std::string, std::shared_ptr<WNDCLASS>, TCaseless> g_classes;

std::shared_ptr<WNDCLASS> ClassOf(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_class_mutex);
  auto it = g_classes.find(name);
  return it == g_classes.end() ? nullptr : it->second;
}

bool OwnedByThisThread(const TWindowState& state) {
  return state.thread_id == GetCurrentThreadId();
}

// The window the injected mouse is over; a move elsewhere tells it the mouse left.
std::mutex g_hover_mutex;
HWND g_hover = 0;

bool AcceptsInput(HWND hwnd) {
  return IsWindow(hwnd) && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd);
}

// A hidden window and its children are not painted: their due paints are dropped.
void ValidateFamily(HWND hwnd) {
  ValidateRect(hwnd, nullptr);
  for (HWND child : ChildrenOf(hwnd)) ValidateFamily(child);
}

}  // namespace

bool RegisterClass(const WNDCLASS& window_class) {
  if (window_class.lpszClassName.empty() || !window_class.lpfnWndProc) return false;
  std::lock_guard<std::mutex> lock(g_class_mutex);
  return g_classes.emplace(window_class.lpszClassName, std::make_shared<WNDCLASS>(window_class))
      .second;
}

bool IsClassRegistered(const std::string& class_name) {
  return ClassOf(class_name) != nullptr;
}

HWND CreateWindow(const std::string& class_name, HWND parent, int32_t x, int32_t y, int32_t width,
                  int32_t height, bool visible) {
  auto window_class = ClassOf(class_name);
  if (!window_class || (parent != 0 && !IsWindow(parent))) return 0;
  if (width < 0 || height < 0 || int64_t{width} * height > kMaxSurfacePixels) return 0;
  const HWND hwnd =
      RegisterWindow(window_class->lpfnWndProc, parent, window_class->lpszClassName, visible);
  if (auto state = WindowStateOf(hwnd)) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->x = x;
    state->y = y;
  }
  MoveWindow(hwnd, x, y, width, height);
  SendMessage(hwnd, WM_CREATE, 0, 0);
  if (visible) InvalidateRect(hwnd, nullptr, true);
  return hwnd;
}

bool DestroyWindow(HWND hwnd) {
  auto state = WindowStateOf(hwnd);
  if (!state) return false;
  std::vector<HWND> children = ChildrenOf(hwnd);
  for (auto it = children.rbegin(); it != children.rend(); ++it) DestroyWindow(*it);
  SendMessage(hwnd, WM_DESTROY, 0, 0);
  {
    std::lock_guard<std::mutex> lock(g_hover_mutex);
    if (g_hover == hwnd) g_hover = 0;
  }
  DestroyWindowHandle(hwnd);
  return true;
}

HWND GetParent(HWND hwnd) {
  auto state = WindowStateOf(hwnd);
  if (!state) return 0;
  std::lock_guard<std::mutex> lock(state->mutex);
  return state->parent;
}

std::string GetClassName(HWND hwnd) {
  auto state = WindowStateOf(hwnd);
  if (!state) return "";
  std::lock_guard<std::mutex> lock(state->mutex);
  return state->class_name;
}

intptr_t SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto state = WindowStateOf(hwnd);
  if (!state) return 0;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    if (!OwnedByThisThread(*state)) return 0;
  }
  return DispatchMessage(TMsg{hwnd, message, wParam, lParam});
}

intptr_t DefWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message != WM_ERASEBKGND) return 0;
  auto window_class = ClassOf(GetClassName(hwnd));
  if (!window_class || window_class->hbrBackground == CLR_NONE) return 0;
  RECT client;
  GetClientRect(hwnd, &client);
  FillRect(static_cast<HDC>(wParam), &client, window_class->hbrBackground);
  return 1;
}

intptr_t GetWindowUserData(HWND hwnd) {
  auto state = WindowStateOf(hwnd);
  if (!state) return 0;
  std::lock_guard<std::mutex> lock(state->mutex);
  return state->user_data;
}

bool SetWindowUserData(HWND hwnd, intptr_t value) {
  auto state = WindowStateOf(hwnd);
  if (!state) return false;
  std::lock_guard<std::mutex> lock(state->mutex);
  state->user_data = value;
  return true;
}

bool ShowWindow(HWND hwnd, bool visible) {
  auto state = WindowStateOf(hwnd);
  if (!state) return false;
  bool was = false;
  bool own = false;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    was = state->visible;
    state->visible = visible;
    own = OwnedByThisThread(*state);
  }
  if (was != visible) {
    if (own) {
      SendMessage(hwnd, WM_SHOWWINDOW, visible ? 1 : 0, 0);
    } else {
      PostMessage(hwnd, WM_SHOWWINDOW, visible ? 1 : 0, 0);
    }
  }
  if (visible) {
    InvalidateRect(hwnd, nullptr, true);
    for (HWND child : ChildrenOf(hwnd))
      if (IsWindowVisible(child)) InvalidateRect(child, nullptr, true);
  } else {
    ValidateFamily(hwnd);
  }
  return was;
}

bool IsWindowVisible(HWND hwnd) {
  for (int depth = 0; hwnd != 0 && depth < 256; ++depth) {
    auto state = WindowStateOf(hwnd);
    if (!state) return false;
    std::lock_guard<std::mutex> lock(state->mutex);
    if (!state->visible) return false;
    hwnd = state->parent;
  }
  return true;
}

bool EnableWindow(HWND hwnd, bool enabled) {
  auto state = WindowStateOf(hwnd);
  if (!state) return false;
  bool was_disabled = false;
  bool own = false;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    was_disabled = !state->enabled;
    state->enabled = enabled;
    own = OwnedByThisThread(*state);
  }
  if (was_disabled == enabled) {
    if (own) {
      SendMessage(hwnd, WM_ENABLE, enabled ? 1 : 0, 0);
    } else {
      PostMessage(hwnd, WM_ENABLE, enabled ? 1 : 0, 0);
    }
  }
  return was_disabled;
}

bool IsWindowEnabled(HWND hwnd) {
  auto state = WindowStateOf(hwnd);
  if (!state) return false;
  std::lock_guard<std::mutex> lock(state->mutex);
  return state->enabled;
}

bool GetWindowRect(HWND hwnd, RECT* rect) {
  auto state = WindowStateOf(hwnd);
  RECT client;
  if (!state || !rect || !GetClientRect(hwnd, &client)) return false;
  std::lock_guard<std::mutex> lock(state->mutex);
  *rect = RECT{state->x, state->y, state->x + client.right, state->y + client.bottom};
  return true;
}

bool InvalidateRect(HWND hwnd, const RECT* /*rect*/, bool erase) {
  auto state = WindowStateOf(hwnd);
  if (!state) return false;
  if (!IsWindowVisible(hwnd)) return true;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->erase_pending = state->erase_pending || erase;
  }
  return MarkInvalid(hwnd);
}

bool ValidateRect(HWND hwnd, const RECT* /*rect*/) {
  auto state = WindowStateOf(hwnd);
  if (!state) return false;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->erase_pending = false;
  }
  return ClearInvalid(hwnd);
}

bool UpdateWindow(HWND hwnd) {
  if (!IsPaintDue(hwnd)) return IsWindow(hwnd);
  auto state = WindowStateOf(hwnd);
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    if (!OwnedByThisThread(*state)) return false;
  }
  SendMessage(hwnd, WM_PAINT, 0, 0);
  return true;
}

bool IsPaintDue(HWND hwnd) {
  return IsInvalid(hwnd);
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint) {
  auto state = WindowStateOf(hwnd);
  if (!state || !paint) return 0;
  bool erase = false;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    erase = std::exchange(state->erase_pending, false);
  }
  ClearInvalid(hwnd);
  *paint = PAINTSTRUCT{};
  paint->hdc = GetDC(hwnd);
  GetClientRect(hwnd, &paint->rcPaint);
  if (erase) paint->fErase = SendMessage(hwnd, WM_ERASEBKGND, paint->hdc, 0) == 0;
  return paint->hdc;
}

bool EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
  return paint && ReleaseDC(hwnd, paint->hdc) == 1;
}

bool FillRect(HDC dc, const RECT* rect, COLORREF colour) {
  auto surface = TargetOfDC(dc);
  if (!surface || !rect) return false;
  std::lock_guard<std::mutex> lock(surface->mutex);
  const int32_t left = std::max(rect->left, 0);
  const int32_t top = std::max(rect->top, 0);
  const int32_t right = std::min(rect->right, surface->width);
  const int32_t bottom = std::min(rect->bottom, surface->height);
  const uint32_t pixel = PixelOf(colour);
  for (int32_t y = top; y < bottom; ++y)
    std::fill(surface->pixels.begin() + int64_t{y} * surface->width + left,
              surface->pixels.begin() + int64_t{y} * surface->width + right, pixel);
  surface->MarkChanged();
  return true;
}

bool FrameRect(HDC dc, const RECT* rect, COLORREF colour) {
  if (!rect || rect->right <= rect->left || rect->bottom <= rect->top) return false;
  const RECT edges[] = {
      {rect->left, rect->top, rect->right, rect->top + 1},
      {rect->left, rect->bottom - 1, rect->right, rect->bottom},
      {rect->left, rect->top, rect->left + 1, rect->bottom},
      {rect->right - 1, rect->top, rect->right, rect->bottom},
  };
  bool drawn = true;
  for (const RECT& edge : edges) drawn = FillRect(dc, &edge, colour) && drawn;
  return drawn;
}

bool InjectMouseMove(HWND hwnd, int32_t x, int32_t y, WPARAM keys) {
  if (!AcceptsInput(hwnd)) return false;
  HWND left = 0;
  {
    std::lock_guard<std::mutex> lock(g_hover_mutex);
    if (g_hover != hwnd) left = std::exchange(g_hover, hwnd);
  }
  if (left != 0) PostMessage(left, WM_MOUSELEAVE, 0, 0);
  return PostMessage(hwnd, WM_MOUSEMOVE, keys, MAKELPARAM(x, y));
}

bool InjectMouseButton(HWND hwnd, TMouseButtonId button, bool down, int32_t x, int32_t y,
                       WPARAM keys) {
  if (!AcceptsInput(hwnd)) return false;
  UINT message = 0;
  switch (button) {
    case TMouseButtonId::Left:
      message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
      keys = down ? (keys | MK_LBUTTON) : (keys & ~MK_LBUTTON);
      break;
    case TMouseButtonId::Right:
      message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
      keys = down ? (keys | MK_RBUTTON) : (keys & ~MK_RBUTTON);
      break;
    case TMouseButtonId::Middle:
      message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
      keys = down ? (keys | MK_MBUTTON) : (keys & ~MK_MBUTTON);
      break;
  }
  {
    std::lock_guard<std::mutex> lock(g_hover_mutex);
    g_hover = hwnd;
  }
  return PostMessage(hwnd, message, keys, MAKELPARAM(x, y));
}

bool InjectClick(HWND hwnd, int32_t x, int32_t y) {
  return InjectMouseButton(hwnd, TMouseButtonId::Left, true, x, y) &&
         InjectMouseButton(hwnd, TMouseButtonId::Left, false, x, y);
}

bool InjectDoubleClick(HWND hwnd, int32_t x, int32_t y) {
  if (!InjectClick(hwnd, x, y)) return false;
  return PostMessage(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y)) &&
         InjectMouseButton(hwnd, TMouseButtonId::Left, false, x, y);
}

bool InjectMouseLeave(HWND hwnd) {
  if (!IsWindow(hwnd)) return false;
  {
    std::lock_guard<std::mutex> lock(g_hover_mutex);
    if (g_hover == hwnd) g_hover = 0;
  }
  return PostMessage(hwnd, WM_MOUSELEAVE, 0, 0);
}

}  // namespace plat
