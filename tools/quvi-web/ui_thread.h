// The user-interface thread of the web host: it pumps the thread's messages (the controls'
// windows, their painting and their events) through the host interface, runs the tasks other
// threads hand it in order, and calls an idle function between pump slices. A posted task
// wakes the pump at once through a hidden window of the thread. Owns the thread; Post and Run
// may be called from any other thread.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/messages.h"

namespace quvi_web {

class TUiThread {
 public:
  // on_idle runs on the thread after every pump slice (at most kSliceMs apart).
  explicit TUiThread(std::function<void()> on_idle = nullptr);
  // Stops the thread after the tasks posted so far ran.
  ~TUiThread();
  TUiThread(const TUiThread&) = delete;
  TUiThread& operator=(const TUiThread&) = delete;

  void Post(std::function<void()> task);
  // Runs the task on the thread and waits until it ran.
  void Run(std::function<void()> task);
  // Whether the caller is the thread.
  bool IsCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

  static constexpr uint32_t kSliceMs = 20;

 private:
  void Main();
  void RunTasks();

  std::function<void()> on_idle_;
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
  bool stop_ = false;
  plat::HWND wake_ = 0;  // set before the constructor returns
  std::thread thread_;
};

}  // namespace quvi_web
