#include "tools/quvi-web/ui_thread.h"

#include <pthread.h>

#include <future>

#include "viewer/control/quvi_host.h"

namespace quvi_web {

namespace {
constexpr plat::UINT kWakeMessage = plat::WM_USER + 0x7E1;
}  // namespace

TUiThread::TUiThread(std::function<void()> on_idle) : on_idle_(std::move(on_idle)) {
  std::promise<plat::HWND> made;
  auto window = made.get_future();
  thread_ = std::thread([this, &made] {
    pthread_setname_np(pthread_self(), "quvi-web-ui");
    // The window belongs to this thread, so what is posted to it wakes this thread's pump.
    const plat::HWND wake = plat::CreateWindowHandle(
        [this](plat::HWND, plat::UINT message, plat::WPARAM, plat::LPARAM) -> intptr_t {
          if (message == kWakeMessage) RunTasks();
          return 0;
        });
    made.set_value(wake);
    Main();
    plat::DestroyWindowHandle(wake);
  });
  wake_ = window.get();
}

TUiThread::~TUiThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  plat::PostMessage(wake_, kWakeMessage, 0, 0);
  thread_.join();
}

void TUiThread::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  plat::PostMessage(wake_, kWakeMessage, 0, 0);
}

void TUiThread::Run(std::function<void()> task) {
  if (IsCurrent()) return task();
  std::promise<void> done;
  Post([&] {
    task();
    done.set_value();
  });
  done.get_future().wait();
}

void TUiThread::RunTasks() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

void TUiThread::Main() {
  for (;;) {
    QuviPumpMessages(kSliceMs);
    RunTasks();
    if (on_idle_) on_idle_();
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_ && tasks_.empty()) break;
  }
}

}  // namespace quvi_web
