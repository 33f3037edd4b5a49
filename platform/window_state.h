// What the window registry (messages.cpp) keeps about a window besides its queue, procedure and
// surface: family, visibility, position, paint state and the per-window values of window.cpp.
// Internal to the platform library. Any thread reads or writes it under `mutex`.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/messages.h"

namespace plat {

struct TWindowState {
  std::mutex mutex;
  uint64_t thread_id = 0;  // the owning thread
  HWND parent = 0;
  std::string class_name;  // empty for a bare handle of CreateWindowHandle
  bool visible = true;
  bool enabled = true;
  int32_t x = 0;
  int32_t y = 0;
  bool erase_pending = false;
  intptr_t user_data = 0;
  int32_t cursor = 0;  // the window's cursor number (cursor.h), 0 the default
};

// Creates a window of the calling thread; the bare handles of CreateWindowHandle are made the
// same way with an empty class name.
HWND RegisterWindow(TWindowProc proc, HWND parent, const std::string& class_name, bool visible);
// Null for 0 or an unknown window.
std::shared_ptr<TWindowState> WindowStateOf(HWND hwnd);
// Live windows whose parent is `hwnd`, oldest first.
std::vector<HWND> ChildrenOf(HWND hwnd);
// Replaces the window's procedure; false for an unknown window.
bool ReplaceWindowProc(HWND hwnd, TWindowProc proc);
// Marks the window for a WM_PAINT that its thread's message loop delivers when no posted
// message waits; ClearInvalid takes the mark back. Both false for an unknown window.
bool MarkInvalid(HWND hwnd);
bool ClearInvalid(HWND hwnd);
bool IsInvalid(HWND hwnd);

}  // namespace plat
