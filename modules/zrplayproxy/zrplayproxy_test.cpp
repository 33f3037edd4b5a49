// The proxy module, loaded for real, forwarding to the recording stand-in of the player.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "modules/zrplayproxy/port_pool.h"
#include "modules/zrplayproxy/testing/zrplay_recorder.h"
#include "player/api/zrplay_api.h"

namespace {

TEST(PortPoolTest, AcquiresTheSmallestFreePortAndReusesReleasedOnes) {
  TPortPool pool;
  pool.Hold(1);
  pool.Hold(-5);
  EXPECT_EQ(pool.Acquire(), 0);
  EXPECT_EQ(pool.Acquire(), 2);
  pool.Release(0);
  EXPECT_EQ(pool.Acquire(), 0);
  EXPECT_TRUE(pool.Held(-5));
  EXPECT_FALSE(pool.Held(3));
}

// The proxy binds its player once and keeps it, and retries while none is found, so one
// process walks through the three situations in order: no player, a library that is not a
// player, and the recording player.
class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    proxy_ = dlopen(ZRPLAYPROXY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(proxy_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (proxy_) dlclose(proxy_);
    unsetenv("ZRPLAYPROXY_PLAYER");
  }
  template <typename Fn>
  Fn Get(const char* name) {
    return reinterpret_cast<Fn>(dlsym(proxy_, name));
  }
  void* proxy_ = nullptr;
};

TEST_F(ProxyTest, FailsWithoutAPlayerRefusesANonPlayerThenForwardsAndFetchesFreePorts) {
  const uint8_t head[64] = {0x40, 0, 0, 0, 0xA9};
  auto init = Get<int32_t (*)(int32_t, const uint8_t*, int32_t)>("Zr_Play_InitPlayer");
  auto fetch = Get<int32_t (*)(int32_t*, const uint8_t*, int32_t)>("Zr_Play_InitPlayer_FetchPort");
  auto input = Get<int32_t (*)(int32_t, const uint8_t*, int32_t)>("Zr_Play_InputData");
  auto close = Get<int32_t (*)(int32_t)>("Zr_Play_CloseStream");
  auto stop = Get<int32_t (*)(int32_t)>("Zr_Play_Stop");
  auto factory = Get<int32_t (*)()>("Zr_Play_Player_FACTORYID");
  auto pos = Get<double (*)(int32_t)>("Zr_Play_GetPlayedPos");
  ASSERT_TRUE(init && fetch && input && close && stop && factory && pos);

  // No player library: every call gives its failure value, FetchPort writes nothing.
  setenv("ZRPLAYPROXY_PLAYER", "NoSuchPlayerModule", 1);
  EXPECT_EQ(init(1, head, 64), -1);
  EXPECT_EQ(input(1, head, 64), 0);
  EXPECT_EQ(pos(1), -1.0);
  int32_t port = -1;
  EXPECT_EQ(fetch(&port, head, 64), -1);
  EXPECT_EQ(port, -1);

  // A library without the player's factory id is not taken for one.
  setenv("ZRPLAYPROXY_PLAYER", "libm.so.6", 1);
  EXPECT_EQ(factory(), 0);
  EXPECT_EQ(stop(1), 0);

  // The recording player.
  setenv("ZRPLAYPROXY_PLAYER", ZRPLAYRECORDER_PATH, 1);
  EXPECT_EQ(factory(), 29);
  EXPECT_EQ(init(0, head, 64), 0);  // port 0 is now held by an explicit caller
  int32_t a = -1, b = -1;
  EXPECT_EQ(fetch(&a, head, 64), 0);
  EXPECT_EQ(fetch(&b, head, 64), 0);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(input(a, head, 64), 1);
  EXPECT_EQ(close(a), 1);
  int32_t c = -1;
  EXPECT_EQ(fetch(&c, head, 64), 0);
  EXPECT_EQ(c, 1);  // released by the close, so free again

  void* recorder = dlopen(ZRPLAYRECORDER_PATH, RTLD_NOLOAD | RTLD_NOW);
  ASSERT_NE(recorder, nullptr);
  auto calls = reinterpret_cast<ZrRecorder_CallsFn>(dlsym(recorder, "ZrRecorder_Calls"));
  EXPECT_EQ(std::string(calls()),
            "Zr_Play_Player_FACTORYID()\n"  // the proxy's own check when it loads the player
            "Zr_Play_Player_FACTORYID()\n"
            "Zr_Play_InitPlayer(0,len=64,head=40.0.0.0)\n"
            "Zr_Play_InitPlayer(1,len=64,head=40.0.0.0)\n"
            "Zr_Play_InitPlayer(2,len=64,head=40.0.0.0)\n"
            "Zr_Play_InputData(1,len=64,head=40.0.0.0)\n"
            "Zr_Play_CloseStream(1)\n"
            "Zr_Play_InitPlayer(1,len=64,head=40.0.0.0)\n");

  // A refused head gives no port and holds none.
  auto set_result =
      reinterpret_cast<ZrRecorder_SetResultFn>(dlsym(recorder, "ZrRecorder_SetResult"));
  set_result("Zr_Play_InitPlayer", -1);
  int32_t d = -7;
  EXPECT_EQ(fetch(&d, head, 64), -1);
  EXPECT_EQ(d, -7);
  set_result("Zr_Play_InitPlayer", 0);
  EXPECT_EQ(fetch(&d, head, 64), 0);
  EXPECT_EQ(d, 3);
  dlclose(recorder);
}

// Without a name given, the proxy finds the player library beside itself and forwards to it.
TEST_F(ProxyTest, FindsThePlayerLibraryBesideItselfAndForwardsToIt) {
  unsetenv("ZRPLAYPROXY_PLAYER");
  auto factory = Get<int32_t (*)()>("Zr_Play_Player_FACTORYID");
  auto init = Get<int32_t (*)(int32_t, const uint8_t*, int32_t)>("Zr_Play_InitPlayer");
  auto fetch = Get<int32_t (*)(int32_t*, const uint8_t*, int32_t)>("Zr_Play_InitPlayer_FetchPort");
  auto last_error = Get<int32_t (*)(int32_t)>("Zr_Play_GetLastError");
  auto close = Get<int32_t (*)(int32_t)>("Zr_Play_CloseStream");
  ASSERT_TRUE(factory && init && fetch && last_error && close);
  EXPECT_EQ(factory(), 29);
  const uint8_t head[64] = {0x40, 0, 0, 0, 0xA9, 0xCA, 0xAF, 0x11, 0xBD, 0x2F, 0x10, 0xEE};
  const uint8_t bad[64] = {0x40, 0, 0, 0, 0xA9};
  EXPECT_EQ(init(3, bad, 64), -1) << "the library checks the stream head";
  int32_t port = -1;
  EXPECT_EQ(fetch(&port, head, 64), 0);
  EXPECT_EQ(port, 0);
  EXPECT_EQ(last_error(port), -1) << "only the real library answers -1 for a known port";
  EXPECT_EQ(close(port), 1);
  void* player = dlopen("libZrPlay_Standard.so", RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(player, nullptr) << "the library beside the proxy was loaded";
  if (player) dlclose(player);
}

}  // namespace
