// TChannelManager: the registry that maps each caller port of the player API to its channel.
// Lookup finds the port's channel or registers a new one on a fresh vendor port; Unregister
// takes it out of the registry. Channels are handed out as shared pointers, so a call still
// working on a channel keeps it alive: a channel unregistered (or left at unload) while
// another thread uses it is destroyed, and its vendor port released, only when that call
// returns. The registry's lock guards the list only, never a channel's work.
// Any thread; owns the list's references to the channels. ChannelManager() is the library's
// one registry, made on first use; DestroyChannelManager ends it at unload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "player/channel/channel.h"
#include "player/media/video_decoder.h"

namespace zrplay {

class TChannelManager {
 public:
  explicit TChannelManager(TVideoDecoder& decoder = VendorVideoDecoder());
  // Drops the registry's references: every channel nobody is using is stopped and destroyed.
  ~TChannelManager();
  TChannelManager(const TChannelManager&) = delete;
  TChannelManager& operator=(const TChannelManager&) = delete;

  // The port's channel; registers one when there is none. Null (after logging "reg channel
  // failed, port=") when the decoder has no free vendor port.
  std::shared_ptr<TChannel> Lookup(int32_t port);
  // Takes the port's channel out of the registry (no registration); logs its steps.
  void Unregister(int32_t port);
  size_t Count() const;

 private:
  // Destroys the channel, then gives its vendor port back.
  std::shared_ptr<TChannel> Adopt(TChannel* channel);

  TVideoDecoder& decoder_;
  mutable std::mutex lock_;
  std::vector<std::shared_ptr<TChannel>> channels_;
};

// The library's registry, created by the first call.
TChannelManager& ChannelManager();
// Ends the library's registry (a later call would make a new one). Run at unload.
void DestroyChannelManager();

}  // namespace zrplay
