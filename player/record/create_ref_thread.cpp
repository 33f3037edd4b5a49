#include "player/record/create_ref_thread.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/module_object.h"

namespace zrplay {

namespace {

// The index threads started and not yet reaped. Ended ones are freed when the next starts.
class TIndexThreads {
 public:
  void Add(std::unique_ptr<plat::TThread> thread) {
    std::lock_guard lock(lock_);
    std::erase_if(threads_, [](const auto& t) { return t->Finished(); });
    threads_.push_back(std::move(thread));
  }
  void WaitForAll() {
    std::vector<std::unique_ptr<plat::TThread>> threads;
    {
      std::lock_guard lock(lock_);
      threads.swap(threads_);
    }
    for (auto& t : threads) t->WaitFor();
  }

 private:
  std::mutex lock_;
  std::vector<std::unique_ptr<plat::TThread>> threads_;
};

plat::TModuleObject<TIndexThreads> g_threads;

// A program ending without unloading the library (or holding it linked in) joins its index
// threads too, before anything they use is destroyed. Made at the first start, so its end is
// among the first of the program's end.
struct TJoinAtExit {
  ~TJoinAtExit() { TCreateRefThread::WaitForAll(); }
};

}  // namespace

TCreateRefThread::TCreateRefThread(std::shared_ptr<TFileReader> reader, TCompletion on_complete)
    : reader_(std::move(reader)), on_complete_(std::move(on_complete)) {}

bool TCreateRefThread::Run(std::shared_ptr<TFileReader> reader, TCompletion on_complete) {
  std::unique_ptr<TCreateRefThread> thread(
      new TCreateRefThread(std::move(reader), std::move(on_complete)));
  static TJoinAtExit join_at_exit;
  if (!thread->Start()) return false;
  g_threads.Get().Add(std::move(thread));
  return true;
}

void TCreateRefThread::WaitForAll() {
  g_threads.Get().WaitForAll();
  g_threads.Destroy();
}

void TCreateRefThread::Execute() {
  bool indexed = false;
  try {
    if (reader_) indexed = reader_->BuildIndex();
  } catch (...) {
    // A failed build still completes: the channel must stop waiting for the index.
  }
  try {
    if (on_complete_) on_complete_(indexed);
  } catch (...) {
  }
  // The thread object waits to be reaped; what it shares goes now.
  on_complete_ = nullptr;
  reader_.reset();
}

}  // namespace zrplay
