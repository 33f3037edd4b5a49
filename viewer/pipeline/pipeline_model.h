// TPipelineModel: what the stream pipeline (communicator, connection thread, play thread and
// player) needs from the play model that owns a view. The play model implements it; tests
// use small models of their own. Members are called from the connection and play threads
// while the window thread changes the model, so implementations keep them thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace viewer {

class TPipelineModel {
 public:
  virtual ~TPipelineModel() = default;

  // Identity of the view, read at the moment a request is sent or a line is logged.
  virtual std::string DVRID() = 0;
  virtual int32_t LinkMode() = 0;
  virtual int32_t PortNo() = 0;
  virtual int32_t ChannelNo() = 0;

  // True while the view plays; every pipeline loop ends when it turns false.
  virtual bool Playing() = 0;
  // The preview models drop the whole backlog when the queue is full.
  virtual bool DropWhenFull() = 0;

  // Last time (tick count) the play thread fed a package; MarkDataTime stores now.
  virtual uint32_t LastDataTick() = 0;
  virtual void MarkDataTime() = 0;

  // Fatal status of the connection thread (-2, 104, 9999), read by the host.
  virtual void SetStatus(int32_t status) = 0;
  // The model's status listener, called on the connection thread with each posted code.
  virtual void NotifyStatus(int32_t status) = 0;
  // The view's play-end event; the model fires it at most once per view.
  virtual void FirePlayEnd() = 0;

  // Sound follows a new stream when the view's sound is on.
  virtual bool AudioPlaying() = 0;
  // True when the port's sound was opened.
  virtual bool OpenSound() = 0;

  // Hook run when a connection cycle has started (empty in preview).
  virtual void OnConnectedHook() {}

  // Where the view's player stands, handed to the communicator after a reconnection so a
  // replay continues there. A live view has no play position: both stay 0.
  virtual void CurrentPlayTime(int32_t& first, int32_t& second) {
    first = 0;
    second = 0;
  }
};

}  // namespace viewer
