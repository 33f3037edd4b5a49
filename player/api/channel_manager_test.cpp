// The channel registry over the real vendor decoder: one channel per port, vendor ports
// given back, the failure when the decoder has no port left, and channels that stay alive
// while a call on another thread still uses them (also through the exports themselves).
#include "player/api/channel_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "player/api/zrplay_api.h"
#include "player/channel/frame_head.h"
#include "player/player_log.h"

extern "C" {
#define DECLARE_EXPORT(ret, name, params, args, fail) ret name params;
ZRPLAY_EXPORTS(DECLARE_EXPORT)
#undef DECLARE_EXPORT
}

namespace zrplay {
namespace {

// Collects the player log's lines while it lives.
class TLines {
 public:
  TLines() {
    SetLogListener([this](const std::string& line) {
      std::lock_guard lock(lock_);
      lines_.push_back(line);
    });
  }
  ~TLines() { SetLogListener(nullptr); }
  std::vector<std::string> Get() {
    std::lock_guard lock(lock_);
    return lines_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> lines_;
};

// The vendor port the decoder would hand out next (taken and given back at once).
int32_t NextFreeVendorPort() {
  int32_t port = -1;
  if (!VDEC_GetFreePort(&port)) return -1;
  VDEC_ReleasePort(port);
  return port;
}

TEST(ChannelManagerTest, OneChannelPerPortAndUnregisterGivesItsVendorPortBack) {
  TChannelManager manager;
  const int32_t first_free = NextFreeVendorPort();
  const auto a = manager.Lookup(-3);
  const auto b = manager.Lookup(1 << 30);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(manager.Lookup(-3), a) << "a registered port is found, not registered again";
  EXPECT_EQ(a->Port(), -3);
  EXPECT_EQ(a->VendorPort(), first_free);
  EXPECT_NE(b->VendorPort(), a->VendorPort());
  EXPECT_EQ(manager.Count(), 2u);

  TLines lines;
  const int32_t vendor_a = a->VendorPort();
  std::weak_ptr<TChannel> watch = a;
  manager.Unregister(-3);
  manager.Unregister(99);  // unknown: nothing to do, no registration either
  EXPECT_EQ(manager.Count(), 1u);
  EXPECT_FALSE(watch.expired()) << "this test still holds it";
  EXPECT_NE(NextFreeVendorPort(), vendor_a) << "its vendor port is still in use";
  const_cast<std::shared_ptr<TChannel>&>(a).reset();
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(NextFreeVendorPort(), vendor_a);
  const std::vector<std::string> got = lines.Get();
  EXPECT_EQ(got.front(), "unreg channel-->port=-3");
  EXPECT_NE(std::find(got.begin(), got.end(), "unreg channel<--port=99"), got.end());
}

TEST(ChannelManagerTest, NoFreeVendorPortGivesNoChannelAndLogsIt) {
  std::vector<int32_t> taken;
  int32_t port = -1;
  while (VDEC_GetFreePort(&port)) taken.push_back(port);
  ASSERT_EQ(taken.size(), static_cast<size_t>(VDEC_MAX_PORTS));
  {
    TChannelManager manager;
    TLines lines;
    EXPECT_EQ(manager.Lookup(7), nullptr);
    EXPECT_EQ(manager.Count(), 0u);
    EXPECT_EQ(lines.Get(), std::vector<std::string>{"reg channel failed, port=7"});
    VDEC_ReleasePort(taken.back());
    taken.pop_back();
    EXPECT_NE(manager.Lookup(7), nullptr) << "a port given back is used again";
  }
  for (int32_t p : taken) VDEC_ReleasePort(p);
}

TEST(ChannelManagerTest, DestroyingTheRegistryDestroysEveryChannelAndFreesTheirPorts) {
  const int32_t first_free = NextFreeVendorPort();
  std::weak_ptr<TChannel> watch;
  {
    TChannelManager manager;
    for (int32_t p = 0; p < 5; ++p) ASSERT_NE(manager.Lookup(p), nullptr);
    watch = manager.Lookup(4);
  }
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(NextFreeVendorPort(), first_free);
}

// Per-port calls on several threads race closes of the same port through the exports: each
// call works on a channel that stays whole until it returns (the sanitizer builds check the
// "whole"), and when all is done the port has no channel and no vendor port left.
TEST(ChannelManagerTest, CallsRacingCloseStreamOnTheSamePortNeverSeeADestroyedChannel) {
  constexpr int32_t kPort = 4242;
  const int32_t first_free = NextFreeVendorPort();
  std::vector<uint8_t> frame(kFrameHeadSize + 16, 0);
  TFrameHead head = MakeFrameHead();
  head.PayloadLength = 16;
  head.Codec = kCodecH264;
  head.FrameType = 1;
  std::memcpy(frame.data(), &head, sizeof head);

  std::atomic<bool> stop{false};
  std::atomic<int> calls{0};
  std::vector<std::thread> users;
  for (int t = 0; t < 3; ++t) {
    users.emplace_back([&, t] {
      while (!stop) {
        int32_t w = 0, h = 0;
        switch (t) {
          case 0:
            Zr_Play_OpenStream(kPort, kDefaultStreamHead, 64, 1 << 16);
            Zr_Play_Play(kPort, 0);
            Zr_Play_InputData(kPort, frame.data(), static_cast<int32_t>(frame.size()));
            break;
          case 1:
            Zr_Play_GetPictureSize(kPort, &w, &h);
            Zr_Play_RefreshPlay(kPort);
            Zr_Play_ThrowBFrame(kPort, 1);
            break;
          default:
            Zr_Play_Stop(kPort);
            Zr_Play_GetLastError(kPort);
            break;
        }
        ++calls;
      }
    });
  }
  int closes = 0;
  while (closes < 200 || calls < 600) {
    Zr_Play_CloseStream(kPort);
    ++closes;
  }
  stop = true;
  for (auto& u : users) u.join();
  Zr_Play_CloseStream(kPort);
  EXPECT_EQ(ChannelManager().Count(), 0u);
  EXPECT_EQ(NextFreeVendorPort(), first_free);
}

}  // namespace
}  // namespace zrplay
