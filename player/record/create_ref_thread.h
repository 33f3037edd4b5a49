// TCreateRefThread: a short-lived thread that builds a record file's frame index and then
// runs a completion handler (the channel's index-complete handler). It starts at once and
// frees itself when done; nobody waits for it. It shares ownership of the reader, so the
// reader stays alive while it builds even when the channel closes the file or goes away;
// the handler must itself cope with that (for example by holding a weak reference).
#pragma once

#include <functional>
#include <memory>

#include "platform/thread.h"
#include "player/record/file_reader.h"

namespace zrplay {

class TCreateRefThread : public plat::TThread {
 public:
  // Runs with the result of BuildIndex (false also when it failed or threw).
  using TCompletion = std::function<void(bool indexed)>;

  // Starts a thread over reader; false when the thread could not be created (then no
  // handler runs). Several threads over one reader build one after the other.
  static bool Run(std::shared_ptr<TFileReader> reader, TCompletion on_complete);

 protected:
  void Execute() override;

 private:
  TCreateRefThread(std::shared_ptr<TFileReader> reader, TCompletion on_complete);

  std::shared_ptr<TFileReader> reader_;
  TCompletion on_complete_;
};

}  // namespace zrplay
