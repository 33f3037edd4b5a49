#include "viewer/protocol/socket_client.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/support/wait_until.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/loopback_peer.h"

namespace viewer {
namespace {

using test_support::ConnectClient;
using test_support::TLoopbackListener;
using test_support::TLoopbackPeer;
using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// The receive time-out the kernel really applies to a socket, in milliseconds.
long SocketRecvTimeoutMs(int fd) {
  timeval tv{};
  socklen_t len = sizeof tv;
  if (::getsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, &len) != 0) return -1;
  return tv.tv_sec * 1000 + tv.tv_usec / 1000;
}

// Runs f and returns the message of the exception of type E it raises ("" when none).
template <class E, class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "";
}

// A client connected over loopback to a peer inside the test.
class ConnectedClient : public ::testing::Test {
 protected:
  void SetUp() override {
    peer_ = ConnectClient(client_, listener_);
    ASSERT_NE(peer_, nullptr);
  }

  TLoopbackListener listener_;
  TKvTCPClientObj client_;
  std::unique_ptr<TLoopbackPeer> peer_;
};

TEST_F(ConnectedClient, ReadInt32JoinsAnIntegerSplitOverTwoSegments) {
  struct Case {
    uint8_t bytes[4];
    bool big_endian;
    int32_t expected;
  };
  const Case cases[] = {
      {{0x00, 0x00, 0x01, 0x02}, true, 258},
      {{0xFF, 0xFF, 0xFF, 0xFE}, true, -2},
      {{0x80, 0x05, 0x01, 0x02}, true, static_cast<int32_t>(0x80050102u)},
      {{0x02, 0x01, 0x00, 0x00}, false, 258},
  };
  for (const Case& c : cases) {
    std::thread sender([&] {
      peer_->Send(c.bytes, 2);
      // Let the reader take the first half on its own before the rest arrives.
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      peer_->Send(c.bytes + 2, 2);
    });
    EXPECT_EQ(client_.ReadInt32(c.big_endian), c.expected);
    sender.join();
  }
}

TEST_F(ConnectedClient, PeerClosingMidReadRaisesSocketClosedAndLeavesTheSocketOpen) {
  // Peer closes after three of four bytes.
  const uint8_t three[3] = {1, 2, 3};
  peer_->Send(three, 3);
  peer_->Close();
  EXPECT_EQ(MessageOf<EPmSocketClosedException>([&] { client_.ReadInt32(true); }), "socket closed");
  EXPECT_TRUE(client_.IsSocketOpen());
  EXPECT_TRUE(client_.Connected());
}

TEST_F(ConnectedClient, SilencePastTheReceiveTimeoutRaisesRecvTimeout) {
  client_.SetRecvTimeout(200);
  uint8_t buffer[16];
  EXPECT_EQ(MessageOf<EPmTimeoutException>([&] { client_.ReadBuffer(buffer, sizeof buffer); }),
            "recv timeout");
  EXPECT_TRUE(client_.IsSocketOpen());
}

TEST_F(ConnectedClient, ResetByPeerRaisesConnReset) {
  peer_->Reset();
  std::string message;
  try {
    client_.ReadInt32(true);
  } catch (const EPmSocketClosedException&) {
    message = "wrong class: socket closed";
  } catch (const EViewerException& e) {
    message = e.Message();
  }
  EXPECT_EQ(message, "conn reset");
}

TEST(SocketClientTest, ReadOnAClientThatNeverConnectedReportsTheErrorCode) {
  TKvTCPClientObj client;
  uint8_t b[4];
  EXPECT_EQ(MessageOf<EViewerException>([&] { client.ReadBuffer(b, 4); }),
            "read data failed, e=" + std::to_string(ENOTCONN));
}

TEST_F(ConnectedClient, ReadBufferReturnsOnlyWhenTheWholeBufferIsFilled) {
  std::vector<uint8_t> sent(300000);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 7 + i / 251);
  std::thread sender([&] {
    for (size_t at = 0; at < sent.size(); at += 1000) peer_->Send(&sent[at], 1000);
  });
  std::vector<uint8_t> got(sent.size());
  client_.ReadBuffer(got.data(), got.size());
  sender.join();
  EXPECT_EQ(got, sent);
}

TEST_F(ConnectedClient, SendBufferDeliversEverythingAndFailsQuietlyOnceThePeerIsGone) {
  std::vector<uint8_t> sent(4 << 20);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i ^ (i >> 9));
  std::vector<uint8_t> got(sent.size());
  std::thread receiver([&] { peer_->Receive(got.data(), got.size()); });
  EXPECT_TRUE(client_.SendBuffer(sent.data(), sent.size()));
  receiver.join();
  EXPECT_EQ(got, sent);
  EXPECT_EQ(client_.Send("abc", 3), 3);

  peer_->Reset();
  // The reset reaches the client asynchronously; a send must then fail, never signal.
  EXPECT_TRUE(quvi_test::WaitUntil([&] { return !client_.SendBuffer("x", 1); }));
  EXPECT_EQ(client_.Send("x", 1), -1);
}

TEST_F(ConnectedClient, ConnectOnAConnectedClientKeepsItsSocket) {
  const int handle = client_.Handle();
  EXPECT_TRUE(client_.Connect());
  EXPECT_EQ(client_.Handle(), handle);
  EXPECT_TRUE(client_.Connected());
}

TEST_F(ConnectedClient, DisconnectFromAnotherThreadBreaksABlockingRead) {
  client_.SetRecvTimeout(30000);
  std::string message;
  std::thread reader([&] {
    try {
      client_.ReadInt32(true);
    } catch (const EViewerException& e) {
      message = e.Message();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const int handle = client_.Handle();
  client_.Disconnect();
  reader.join();
  EXPECT_FALSE(message.empty());
  EXPECT_FALSE(client_.Connected());
  EXPECT_FALSE(client_.IsSocketOpen());
  // Released to the system once the read has left, not leaked.
  EXPECT_EQ(::fcntl(handle, F_GETFD), -1);
}

TEST(SocketClientTest, FreshClientOwnsASocketWithTenSecondReceiveTimeout) {
  TKvTCPClientObj client;
  EXPECT_TRUE(SocketLibraryStarted());
  ASSERT_TRUE(client.IsSocketOpen());
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(client.RecvTimeout(), 10000);
  EXPECT_EQ(SocketRecvTimeoutMs(client.Handle()), 10000);
  EXPECT_EQ(client.ConnectTimeout, 2000);
}

TEST(SocketClientTest, DisconnectOnANeverConnectedClientLeavesItsSocketOpen) {
  TKvTCPClientObj client;
  const int handle = client.Handle();
  client.Disconnect();
  EXPECT_TRUE(client.IsSocketOpen());
  EXPECT_EQ(client.Handle(), handle);
}

TEST(SocketClientTest, SetRecvTimeoutAppliesOnlyChangedPositiveValues) {
  struct Case {
    int32_t value;
    long expected;
  };
  const Case cases[] = {{10000, 10000}, {0, 10000}, {-5, 10000}, {1500, 1500}, {500, 500}};
  TKvTCPClientObj client;
  for (const Case& c : cases) {
    client.SetRecvTimeout(c.value);
    EXPECT_EQ(client.RecvTimeout(), c.expected) << c.value;
    EXPECT_EQ(SocketRecvTimeoutMs(client.Handle()), c.expected) << c.value;
  }
  client.CloseSocket();
  client.SetRecvTimeout(700);  // no socket: nothing to apply, value still kept
  EXPECT_EQ(client.RecvTimeout(), 700);
}

TEST(SocketClientTest, EveryReconnectedSocketGetsTenSecondsAgain) {
  TLoopbackListener listener;
  TKvTCPClientObj client;
  client.Host = "127.0.0.1";
  client.Port = listener.Port();
  // Once with a time-out changed before the reconnect, once with the default left alone.
  for (int32_t before_reconnect : {300, 0}) {
    ASSERT_TRUE(client.Connect());
    TLoopbackPeer peer(listener.Accept());
    client.SetRecvTimeout(before_reconnect);
    client.Disconnect();
    EXPECT_FALSE(client.IsSocketOpen());
    ASSERT_TRUE(client.Connect());
    TLoopbackPeer peer2(listener.Accept());
    EXPECT_EQ(client.RecvTimeout(), 10000);
    EXPECT_EQ(SocketRecvTimeoutMs(client.Handle()), 10000);
    client.Disconnect();
  }
}

TEST(SocketClientTest, FailedConnectsReturnFalseAndLeaveNoSocket) {
  int closed_port = 0;
  {
    TLoopbackListener gone;
    closed_port = gone.Port();
  }
  struct Case {
    const char* name;
    std::string host;
    int port;
  };
  const Case cases[] = {
      {"host name", "localhost", closed_port},
      {"not a dotted quad", "127.0.0", closed_port},
      {"refused", "127.0.0.1", closed_port},
  };
  for (const Case& c : cases) {
    TKvTCPClientObj client;
    client.Host = c.host;
    client.Port = c.port;
    EXPECT_FALSE(client.Connect()) << c.name;
    EXPECT_FALSE(client.IsSocketOpen()) << c.name;
    EXPECT_FALSE(client.Connected()) << c.name;
  }
}

TEST(SocketClientTest, PortUsesOnlyItsLowSixteenBits) {
  TLoopbackListener listener;
  TKvTCPClientObj client;
  client.Host = "127.0.0.1";
  client.Port = listener.Port() + 0x30000;
  EXPECT_TRUE(client.Connect());
}

// A listener whose accept queue is full drops new handshakes, so a connect stays pending.
class PendingConnect : public ::testing::Test {
 protected:
  void SetUp() override {
    listener_.FillAcceptQueue();
    client_.Host = "127.0.0.1";
    client_.Port = listener_.Port();
  }
  TLoopbackListener listener_{0};
  TKvTCPClientObj client_;
};

// A busy machine only makes a connect end later, so the lower bounds are exact and the upper
// ones sit just below the wait an uncut time-out would give.
TEST_F(PendingConnect, TimeoutBelowOneSecondFailsAtOnce) {
  client_.ConnectTimeout = 999;
  const auto start = Clock::now();
  EXPECT_FALSE(client_.Connect());
  EXPECT_LT(ElapsedMs(start), 990) << "waited the 999 ms instead of none";
  EXPECT_FALSE(client_.IsSocketOpen());
}

TEST_F(PendingConnect, TimeoutIsCutToWholeSeconds) {
  client_.ConnectTimeout = 2999;
  const auto start = Clock::now();
  EXPECT_FALSE(client_.Connect());
  const long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 1999);
  EXPECT_LT(elapsed, 2990) << "waited the 2999 ms instead of 2 s";
  EXPECT_FALSE(client_.IsSocketOpen());
}

TEST_F(PendingConnect, AbortFromAnotherThreadEndsItAtOnce) {
  client_.ConnectTimeout = 20000;
  std::atomic<bool> done{false};
  bool connected = true;
  const auto start = Clock::now();
  std::thread connecting([&] {
    connected = client_.Connect();
    done = true;
  });
  // The connect may not have made its socket yet when the first Abort comes.
  while (!done) {
    client_.Abort();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  connecting.join();
  EXPECT_FALSE(connected);
  EXPECT_LT(ElapsedMs(start), 10000) << "instead of the 20 s connect wait";
  EXPECT_FALSE(client_.Connected());
  EXPECT_FALSE(client_.IsSocketOpen());
  // The client is usable again.
  TLoopbackListener other(0);
  client_.Port = other.Port();
  EXPECT_TRUE(client_.Connect());
}

}  // namespace
}  // namespace viewer
