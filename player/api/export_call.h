// The shape every export of the player library shares: the export attribute, and the call
// of a channel operation behind the port conventions (look the port up or register it, give
// the failure value when no channel can be had, never let an exception out). Caller threads.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <utility>

#include "player/api/channel_manager.h"
#include "player/api/zrplay_api.h"
#include "player/player_log.h"

#define ZRPLAY_EXPORT extern "C" __attribute__((visibility("default")))

// Every export declared from the one list, so a definition that strays from it fails to build.
#define ZRPLAY_DECLARE_EXPORT(ret, name, params, args, fail) ZRPLAY_EXPORT ret name params;
ZRPLAY_EXPORTS(ZRPLAY_DECLARE_EXPORT)
#undef ZRPLAY_DECLARE_EXPORT

namespace zrplay {

// Runs op(channel) for the port's channel and returns its result; `fail` when no channel can
// be had or anything is thrown. The channel stays alive until op returns, whatever another
// thread closes meanwhile.
template <typename R, typename Op>
R CallChannel(int32_t port, R fail, Op&& op) noexcept {
  try {
    const std::shared_ptr<TChannel> channel = ChannelManager().Lookup(port);
    if (!channel) return fail;
    return static_cast<R>(std::forward<Op>(op)(*channel));
  } catch (...) {
    return fail;
  }
}

// As CallChannel, but an exception's message is handed to log(message) first.
template <typename R, typename Log, typename Op>
R CallChannelLogged(int32_t port, R fail, Log&& log, Op&& op) noexcept {
  try {
    const std::shared_ptr<TChannel> channel = ChannelManager().Lookup(port);
    if (!channel) return fail;
    return static_cast<R>(std::forward<Op>(op)(*channel));
  } catch (const std::exception& e) {
    try {
      log(e.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      log("unknown");
    } catch (...) {
    }
  }
  return fail;
}

}  // namespace zrplay
