// TCreateRefThread: a short-lived thread that builds a record file's frame index and then
// runs a completion handler (the channel's index-complete handler). It starts at once; no
// channel waits for it, but the library keeps every one it started and waits for them all at
// unload (WaitForAll), so none runs on in an unloaded library. It shares ownership of the
// reader, so the reader stays alive while it builds even when the channel closes the file or
// goes away; the handler must itself cope with that (for example by holding a weak
// reference).
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
  // Waits for every thread Run started to end. The library's unload runs this after its
  // channels are gone (they end the builds still running over their files).
  static void WaitForAll();

 protected:
  void Execute() override;

 private:
  TCreateRefThread(std::shared_ptr<TFileReader> reader, TCompletion on_complete);

  std::shared_ptr<TFileReader> reader_;
  TCompletion on_complete_;
};

}  // namespace zrplay
