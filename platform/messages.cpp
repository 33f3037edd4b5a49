#include "platform/messages.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/surface.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "platform/window_state.h"

namespace plat {

namespace {

struct ThreadQueue {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<TMsg> messages;
  // Windows waiting for WM_PAINT; it comes after every posted message, as on the desktop.
  std::set<HWND> invalid;
};

struct Window {
  std::shared_ptr<ThreadQueue> queue;
  std::shared_ptr<TWindowProc> proc;
  // What the window shows; sized by MoveWindow (gdi.cpp), drawn through device contexts.
  std::shared_ptr<TSurface> surface;
  std::shared_ptr<TWindowState> state;
};

std::mutex g_mutex;
std::map<uint64_t, std::shared_ptr<ThreadQueue>> g_queues;  // by thread id
std::map<HWND, Window> g_windows;
HWND g_next_handle = 0x10000;

std::shared_ptr<ThreadQueue> QueueOfThisThread() {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto& q = g_queues[GetCurrentThreadId()];
  if (!q) q = std::make_shared<ThreadQueue>();
  return q;
}

std::shared_ptr<ThreadQueue> QueueOf(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(hwnd);
  return it == g_windows.end() ? nullptr : it->second.queue;
}

}  // namespace

HWND RegisterWindow(TWindowProc proc, HWND parent, const std::string& class_name, bool visible) {
  auto queue = QueueOfThisThread();
  auto state = std::make_shared<TWindowState>();
  state->thread_id = GetCurrentThreadId();
  state->parent = parent;
  state->class_name = class_name;
  state->visible = visible;
  std::lock_guard<std::mutex> lock(g_mutex);
  const HWND h = g_next_handle;
  g_next_handle += 0x10;
  g_windows[h] = Window{queue, std::make_shared<TWindowProc>(std::move(proc)),
                        std::make_shared<TSurface>(), std::move(state)};
  return h;
}

HWND CreateWindowHandle(TWindowProc proc) {
  return RegisterWindow(std::move(proc), 0, "", true);
}

void DestroyWindowHandle(HWND hwnd) {
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_windows.find(hwnd);
    if (it == g_windows.end()) return;
    queue = it->second.queue;
    g_windows.erase(it);
  }
  std::lock_guard<std::mutex> lock(queue->mutex);
  queue->invalid.erase(hwnd);
}

std::shared_ptr<TWindowState> WindowStateOf(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(hwnd);
  return it == g_windows.end() ? nullptr : it->second.state;
}

std::vector<HWND> ChildrenOf(HWND hwnd) {
  std::vector<std::shared_ptr<TWindowState>> states;
  std::vector<HWND> handles;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const auto& [h, w] : g_windows) {
      handles.push_back(h);
      states.push_back(w.state);
    }
  }
  std::vector<HWND> children;
  for (size_t i = 0; i < handles.size(); ++i) {
    std::lock_guard<std::mutex> lock(states[i]->mutex);
    if (hwnd != 0 && states[i]->parent == hwnd) children.push_back(handles[i]);
  }
  return children;
}

bool ReplaceWindowProc(HWND hwnd, TWindowProc proc) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(hwnd);
  if (it == g_windows.end()) return false;
  it->second.proc = std::make_shared<TWindowProc>(std::move(proc));
  return true;
}

bool MarkInvalid(HWND hwnd) {
  auto queue = QueueOf(hwnd);
  if (!queue) return false;
  {
    std::lock_guard<std::mutex> lock(queue->mutex);
    queue->invalid.insert(hwnd);
  }
  queue->cv.notify_one();
  return true;
}

bool ClearInvalid(HWND hwnd) {
  auto queue = QueueOf(hwnd);
  if (!queue) return false;
  std::lock_guard<std::mutex> lock(queue->mutex);
  queue->invalid.erase(hwnd);
  return true;
}

bool IsInvalid(HWND hwnd) {
  auto queue = QueueOf(hwnd);
  if (!queue) return false;
  std::lock_guard<std::mutex> lock(queue->mutex);
  return queue->invalid.count(hwnd) != 0;
}

bool IsWindow(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_windows.count(hwnd) != 0;
}

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_windows.find(hwnd);
    if (hwnd == 0 || it == g_windows.end()) return false;
    queue = it->second.queue;
  }
  {
    std::lock_guard<std::mutex> lock(queue->mutex);
    queue->messages.push_back(TMsg{hwnd, message, wParam, lParam});
  }
  queue->cv.notify_one();
  return true;
}

bool GetMessage(TMsg* msg, uint32_t timeout_ms) {
  auto queue = QueueOfThisThread();
  std::unique_lock<std::mutex> lock(queue->mutex);
  auto ready = [&] { return !queue->messages.empty() || !queue->invalid.empty(); };
  if (timeout_ms == INFINITE) {
    queue->cv.wait(lock, ready);
  } else if (!queue->cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) {
    return false;
  }
  if (!queue->messages.empty()) {
    *msg = queue->messages.front();
    queue->messages.pop_front();
    return true;
  }
  // The paint stays due until the dispatch of this message validates it.
  *msg = TMsg{*queue->invalid.begin(), WM_PAINT, 0, 0};
  return true;
}

intptr_t DispatchMessage(const TMsg& msg) {
  std::shared_ptr<TWindowProc> proc;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_windows.find(msg.hwnd);
    if (it == g_windows.end()) return 0;
    proc = it->second.proc;
  }
  // The paint is validated as it is handed out (what BeginPaint does on the desktop), so a
  // procedure that ignores WM_PAINT does not get it again and again, and one that invalidates
  // while painting gets another.
  if (msg.message == WM_PAINT) ClearInvalid(msg.hwnd);
  return (proc && *proc) ? (*proc)(msg.hwnd, msg.message, msg.wParam, msg.lParam) : 0;
}

std::shared_ptr<TSurface> WindowSurface(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(hwnd);
  return it == g_windows.end() ? nullptr : it->second.surface;
}

int PumpMessages(uint32_t timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int count = 0;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    TMsg msg;
    if (!GetMessage(&msg, left > 0 ? static_cast<uint32_t>(left) : 0)) break;
    DispatchMessage(msg);
    ++count;
  }
  return count;
}

}  // namespace plat
