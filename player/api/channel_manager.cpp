#include "player/api/channel_manager.h"

#include <exception>
#include <utility>

#include "player/player_log.h"

namespace zrplay {

TChannelManager::TChannelManager(TVideoDecoder& decoder) : decoder_(decoder) {}

TChannelManager::~TChannelManager() {
  std::vector<std::shared_ptr<TChannel>> channels;
  {
    std::lock_guard lock(lock_);
    channels.swap(channels_);
  }
  // Destroyed outside the lock, in registration order.
  for (auto& channel : channels) channel.reset();
}

std::shared_ptr<TChannel> TChannelManager::Adopt(TChannel* channel) {
  TVideoDecoder* decoder = &decoder_;
  return std::shared_ptr<TChannel>(channel, [decoder](TChannel* c) {
    const int32_t vendor_port = c->VendorPort();
    delete c;
    decoder->ReleasePort(vendor_port);
  });
}

std::shared_ptr<TChannel> TChannelManager::Lookup(int32_t port) {
  std::lock_guard lock(lock_);
  for (const auto& channel : channels_) {
    if (channel->Port() == port) return channel;
  }
  int32_t vendor_port = -1;
  if (!decoder_.GetFreePort(vendor_port)) {
    WriteLogF("reg channel failed, port=%d", port);
    return nullptr;
  }
  std::shared_ptr<TChannel> channel;
  try {
    channel = Adopt(new TChannel(port, vendor_port, decoder_));
  } catch (...) {
    decoder_.ReleasePort(vendor_port);
    throw;
  }
  channels_.push_back(channel);
  return channel;
}

void TChannelManager::Unregister(int32_t port) {
  WriteLogF("unreg channel-->port=%d", port);
  std::shared_ptr<TChannel> removed;
  try {
    std::lock_guard lock(lock_);
    for (auto it = channels_.begin(); it != channels_.end(); ++it) {
      if ((*it)->Port() == port) {
        removed = std::move(*it);
        channels_.erase(it);
        break;
      }
    }
  } catch (const std::exception& e) {
    WriteLogF("unreg channel failed, port=%d, e=%s", port, e.what());
  }
  // Destroyed here unless a call on another thread still holds it; then when that returns.
  try {
    removed.reset();
  } catch (const std::exception& e) {
    WriteLogF("unreg channel failed, port=%d, e=%s", port, e.what());
  }
  WriteLogF("unreg channel<--port=%d", port);
}

size_t TChannelManager::Count() const {
  std::lock_guard lock(lock_);
  return channels_.size();
}

namespace {
std::mutex g_manager_lock;
std::atomic<TChannelManager*> g_manager{nullptr};
}  // namespace

TChannelManager& ChannelManager() {
  if (TChannelManager* m = g_manager.load(std::memory_order_acquire)) return *m;
  std::lock_guard lock(g_manager_lock);
  if (TChannelManager* m = g_manager.load(std::memory_order_relaxed)) return *m;
  auto* m = new TChannelManager();
  g_manager.store(m, std::memory_order_release);
  return *m;
}

void DestroyChannelManager() {
  std::lock_guard lock(g_manager_lock);
  delete g_manager.exchange(nullptr);
}

}  // namespace zrplay
