// The PTZ proxy thread: the request's bytes, commands as the stream server's PTZ proxy
// listener decodes them, a pending command replaced while the proxy is down, the pauses and
// processor time an absent proxy costs, and ending the thread while its connect hangs.
#include "viewer/control/send_ptz_command_thread.h"

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/wait_until.h"
#include "tools/streamsim/test_support.h"
#include "viewer/protocol/loopback_peer.h"

namespace viewer {
namespace {

using streamsim::test::TByteWriter;
using streamsim::test::TRunningServer;
using test_support::TLoopbackListener;

TPtzProxyTarget Target(int port) {
  TPtzProxyTarget target;
  target.ProxyHost = "127.0.0.1";
  target.ProxyPort = port;
  target.ChannelNo = 3;
  target.Token = "proxy-token";
  target.DVRID = 0x0123456789ABCDEFll;
  return target;
}

double ProcessCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

TEST(SendPTZCommandThread, RequestIsTheProxysHundredAndSixtyBytes) {
  TPtzProxyTarget target = Target(1);
  target.Token = std::string(130, 't');  // cut at 128 bytes
  target.ChannelNo = 70000;              // the low 16 bits travel
  const std::vector<uint8_t> bytes = TSendPTZCommandThread::BuildRequest(target, 300, 257);
  TByteWriter expected;
  expected.BE32(160).BE32(0x00090002).BE32(1).BE32(0).BE32(0);
  expected.Text(std::string(128, 't'), 128);
  expected.BE32(0x01234567).BE32(0x89ABCDEF);  // the full 64-bit identifier
  expected.BE16(70000 & 0xFFFF).U8(300 & 0xFF).U8(257 & 0xFF);
  EXPECT_EQ(bytes, expected.Bytes());
}

TEST(SendPTZCommandThread, CommandsArriveAtTheProxyAsSent) {
  streamsim::TServerOptions options;
  options.PtzProxyPort = 0;
  TRunningServer server(options);
  TSendPTZCommandThread thread(Target(server.PtzProxyPort()));
  ASSERT_TRUE(thread.Start());
  thread.Post(21, 5);
  const std::string line = server.Log().WaitFor({"ptz_proxy_request", "\"command\":21"});
  ASSERT_FALSE(line.empty());
  EXPECT_NE(line.find("\"length\":160"), std::string::npos) << line;
  EXPECT_NE(line.find("\"token\":\"proxy-token\",\"dvrid\":81985529216486895,\"channel\":3,"
                      "\"command\":21,\"value\":5"),
            std::string::npos)
      << line;
  // One connection per command.
  thread.Post(3, 0);
  EXPECT_FALSE(server.Log().WaitFor({"ptz_proxy_request", "\"command\":3,"}).empty());
  EXPECT_FALSE(server.Log().WaitFor({"\"conn\":2"}).empty());
}

TEST(SendPTZCommandThread, AbsentProxyCostsLittleAndTheLastCommandArrivesOnceItIsBack) {
  // A port nobody listens on: every connect is refused at once.
  int port = 0;
  {
    TLoopbackListener reserved;
    port = reserved.Port();
  }
  TSendPTZCommandThread thread(Target(port));
  ASSERT_TRUE(thread.Start());
  const double cpu_before = ProcessCpuSeconds();
  const auto posted = std::chrono::steady_clock::now();
  thread.Post(2, 1);
  // Six refused connects come no sooner than the five pauses between them (50 ms doubling);
  // a busy machine only makes them later.
  ASSERT_TRUE(quvi_test::WaitUntil([&] { return thread.FailedConnects() >= 6; }));
  const auto waited = std::chrono::steady_clock::now() - posted;
  const double cpu_used = ProcessCpuSeconds() - cpu_before;
  EXPECT_GE(waited, std::chrono::milliseconds(50 + 100 + 200 + 400 + 800))
      << "retried without pausing in between";
  // Waiting out a pause by spinning would keep a core busy for all of it.
  EXPECT_LT(cpu_used, 0.5) << "processor seconds over 1.55 s with the proxy down";
  EXPECT_EQ(thread.PendingCommand(), 2);

  // A newer command replaces the pending one; the proxy comes back on the same port.
  thread.Post(3, 1);
  streamsim::TServerOptions options;
  options.PtzProxyPort = port;
  TRunningServer server(options);
  ASSERT_FALSE(server.Log().WaitFor({"ptz_proxy_request", "\"command\":3,"}).empty());
  // Commands go one after another: once a later one arrived, no copy of 3 can follow.
  thread.Post(4, 0);
  ASSERT_FALSE(server.Log().WaitFor({"ptz_proxy_request", "\"command\":4,"}).empty());
  int threes = 0, twos = 0;
  for (const std::string& l : server.Log().Lines()) {
    threes += l.find("\"command\":3,") != std::string::npos;
    twos += l.find("\"command\":2,") != std::string::npos;
  }
  EXPECT_EQ(threes, 1);
  EXPECT_EQ(twos, 0) << "the replaced command is never sent";
}

TEST(SendPTZCommandThread, EndsPromptlyWhileItsConnectHangs) {
  // A listener whose queue is full lets new connects hang (their SYNs are dropped).
  TLoopbackListener listener(0);
  listener.FillAcceptQueue();
  auto thread = std::make_unique<TSendPTZCommandThread>(Target(listener.Port()));
  ASSERT_TRUE(thread->Start());
  thread->Post(0, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(thread->FailedConnects(), 0u) << "the connect is still waiting";
  const auto start = std::chrono::steady_clock::now();
  thread.reset();
  // The connect would wait 20 s by itself.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
}  // namespace viewer
