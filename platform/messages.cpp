#include "platform/messages.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "platform/surface.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace plat {

namespace {

struct ThreadQueue {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<TMsg> messages;
};

struct Window {
  std::shared_ptr<ThreadQueue> queue;
  std::shared_ptr<TWindowProc> proc;
  // What the window shows; sized by MoveWindow (gdi.cpp), drawn through device contexts.
  std::shared_ptr<TSurface> surface;
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

}  // namespace

HWND CreateWindowHandle(TWindowProc proc) {
  auto queue = QueueOfThisThread();
  std::lock_guard<std::mutex> lock(g_mutex);
  const HWND h = g_next_handle;
  g_next_handle += 0x10;
  g_windows[h] =
      Window{queue, std::make_shared<TWindowProc>(std::move(proc)), std::make_shared<TSurface>()};
  return h;
}

void DestroyWindowHandle(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_windows.erase(hwnd);
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
  auto ready = [&] { return !queue->messages.empty(); };
  if (timeout_ms == INFINITE) {
    queue->cv.wait(lock, ready);
  } else if (!queue->cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) {
    return false;
  }
  *msg = queue->messages.front();
  queue->messages.pop_front();
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
