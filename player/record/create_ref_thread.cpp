#include "player/record/create_ref_thread.h"

#include <utility>

namespace zrplay {

TCreateRefThread::TCreateRefThread(std::shared_ptr<TFileReader> reader, TCompletion on_complete)
    : reader_(std::move(reader)), on_complete_(std::move(on_complete)) {
  FreeOnTerminate = true;
}

bool TCreateRefThread::Run(std::shared_ptr<TFileReader> reader, TCompletion on_complete) {
  auto* thread = new TCreateRefThread(std::move(reader), std::move(on_complete));
  if (thread->Start()) return true;  // the thread owns itself from here on
  delete thread;
  return false;
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
}

}  // namespace zrplay
