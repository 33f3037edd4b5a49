// TProtectedSection: the shared state of one started view. Its lock serialises the
// pipeline's few shared actions (the open request, the fatal status, the player's stop
// message); BlockingQueue carries play packages from the connection thread to the play
// thread. Created by the play model at each start and destroyed after both threads ended;
// it owns the queue and with it every package still queued, not the connection thread.
#pragma once

#include "platform/sync.h"
#include "viewer/pipeline/blocking_queue.h"
#include "viewer/protocol/packages.h"

namespace viewer {

class TConnectionThread;

using TPackageQueue = TObjectBlockingQueue<TAbstractPackage>;

class TProtectedSection {
 public:
  static constexpr int32_t kQueueCapacity = 100;

  TProtectedSection();
  TProtectedSection(const TProtectedSection&) = delete;
  TProtectedSection& operator=(const TProtectedSection&) = delete;

  void Enter() { lock_.Enter(); }
  void Leave() { lock_.Leave(); }
  // So std::lock_guard can hold the section for a scope.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  // Declared first so that it outlives the queue.
  plat::TCriticalSection lock_;

 public:
  TPackageQueue BlockingQueue{kQueueCapacity};
  // Set by the play model once it has created the view's connection thread; not owned.
  TConnectionThread* ConnectionThread = nullptr;
};

}  // namespace viewer
