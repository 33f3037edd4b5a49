// TPlayThread: the play thread of one started view. It takes play packages out of the view's
// queue, opens the player with the first stream head (giving up when five packages came
// without one), feeds every later package, offering a refused one again for a short while,
// and at its end always stops the player it opened and fires the model's play-end event.
// Created suspended by the play model, which sets Model and ProtectedSection, resumes it,
// and on stop clears the player's Active, terminates it, unblocks the queue and waits for
// it before destroying it. Owns the player and the package being fed.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/thread.h"

namespace viewer {

class TAbstractPackage;
class TPipelineModel;
class TPlayer;
class TProtectedSection;

class TPlayThread : public plat::TThread {
 public:
  // Packages without a stream head after which the view is given up.
  static constexpr int32_t kMaxHeadMisses = 5;
  // Further offers of a refused package, 1 ms apart, before it is dropped.
  static constexpr int32_t kMaxRetries = 100;

  explicit TPlayThread(std::unique_ptr<TPlayer> player);
  // Waits for the thread (the owner has unblocked the queue), then frees the player.
  ~TPlayThread() override;

  TPlayer* Player() const { return player_.get(); }

  TPipelineModel* Model = nullptr;                // not owned
  TProtectedSection* ProtectedSection = nullptr;  // not owned

 protected:
  void Execute() override;

 private:
  bool Running();
  // The loop of Execute; any failure leaves it as an exception.
  void PlayPackages();
  // Frees the current package and takes the next one; null when the queue gave none.
  void Dequeue();
  // Offers the current package until the player takes it, the view stops, or the retries
  // run out.
  void Feed();
  // Asks the window to stop the view and logs the failure by its class.
  void ReportFailure(const char* format, const std::string* message);
  // Stops the player it opened and fires the model's play-end event.
  void InternalStop();
  int32_t ChannelNo();

  std::unique_ptr<TPlayer> player_;
  std::unique_ptr<TAbstractPackage> current_;
};

}  // namespace viewer
