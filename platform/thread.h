// TThread: a worker thread created suspended, started once, asked to end with Terminate and
// waited for with WaitFor. Subclasses put their work in Execute. The owner must WaitFor the
// thread before destroying it, unless FreeOnTerminate is set, in which case the thread
// deletes itself when Execute returns and nobody may touch it after Start.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/platform_api.h"
#include "platform/sync.h"

namespace plat {

class QUVI_PLATFORM_API TThread {
 public:
  // The thread is always created suspended; Start (or Resume) runs it.
  TThread();
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts the thread; a second call does nothing. Returns false if the thread could not
  // be created.
  bool Start();
  bool Resume() { return Start(); }
  // Asks Execute to end; Execute polls Terminated.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  // Waits until Execute has returned; returns ReturnValue. Returns at once if never started.
  int WaitFor();
  // Waits up to timeout_ms; true when the thread has ended (or never started).
  bool WaitFor(uint32_t timeout_ms);
  bool Finished() const { return finished_.load(); }
  bool Started() const { return started_.load(); }

  bool FreeOnTerminate = false;
  int ReturnValue = 0;
  // Kernel thread id once started, 0 before.
  uint64_t ThreadID() const { return thread_id_.load(); }

 protected:
  virtual void Execute() = 0;

 private:
  void Run();

  std::thread thread_;
  bool self_free_ = false;
  std::atomic<bool> started_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<uint64_t> thread_id_{0};
  TEvent done_{true, false};
  // Set once Start has stored and (for self-freeing threads) detached the handle, so a
  // thread that ends at once cannot free itself while Start still touches it.
  TEvent launched_{true, false};
};

// Id of the calling thread, as TThread::ThreadID reports it.
QUVI_PLATFORM_API uint64_t GetCurrentThreadId();

}  // namespace plat
