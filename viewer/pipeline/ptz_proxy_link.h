// TPtzProxyLink: where a preview model hands PTZ commands that go through the PTZ proxy
// (PTZConnectionType 2). The sending thread behind it belongs to the preview window; the
// model is given a factory and creates one link on first use, with the target it has then,
// and destroys it (which must end and wait for the sender) before anything else when the
// model goes. Post is called on the window thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace viewer {

// Taken once when the link is created; later changes of the model's settings do not reach it.
struct TPtzProxyTarget {
  std::string ProxyHost;
  int32_t ProxyPort = 0;
  int32_t ChannelNo = 0;
  std::string Token;
  int64_t DVRID = -1;
};

class TPtzProxyLink {
 public:
  virtual ~TPtzProxyLink() = default;
  // Queues one command with its value; a command still pending is replaced.
  virtual void Post(int32_t command, int32_t value) = 0;
};

using TPtzProxyFactory = std::function<std::unique_ptr<TPtzProxyLink>(const TPtzProxyTarget&)>;

}  // namespace viewer
