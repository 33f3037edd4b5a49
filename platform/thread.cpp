#include "platform/thread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

namespace plat {

uint64_t GetCurrentThreadId() {
  return static_cast<uint64_t>(::syscall(SYS_gettid));
}

TThread::TThread() = default;

TThread::~TThread() {
  if (thread_.joinable()) {
    Terminate();
    thread_.join();
  }
}

bool TThread::Start() {
  bool expected = false;
  if (!started_.compare_exchange_strong(expected, true)) return true;
  self_free_ = FreeOnTerminate;
  const bool self_free = self_free_;
  try {
    thread_ = std::thread(&TThread::Run, this);
  } catch (const std::system_error&) {
    started_ = false;
    return false;
  }
  // A self-freeing thread owns itself; nobody joins it.
  if (self_free) thread_.detach();
  launched_.Set();
  return true;
}

void TThread::Run() {
  launched_.WaitFor(INFINITE);
  thread_id_ = GetCurrentThreadId();
  try {
    Execute();
  } catch (...) {
    // No exception leaves a thread; subclasses log their own failures.
  }
  if (self_free_) {
    delete this;
    return;
  }
  finished_ = true;
  done_.Set();
}

int TThread::WaitFor() {
  if (!started_) return ReturnValue;
  done_.WaitFor(INFINITE);
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  return ReturnValue;
}

bool TThread::WaitFor(uint32_t timeout_ms) {
  if (!started_) return true;
  if (done_.WaitFor(timeout_ms) != WAIT_OBJECT_0) return false;
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  return true;
}

}  // namespace plat
