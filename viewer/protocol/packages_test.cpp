#include "viewer/protocol/packages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/loopback_peer.h"
#include "viewer/protocol/responses.h"
#include "viewer/protocol/socket_client.h"

namespace viewer {
namespace {

using test_support::BE32;
using test_support::ConnectClient;
using test_support::Join;
using test_support::TLoopbackListener;
using test_support::TLoopbackPeer;
using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 31 + 7);
  return b;
}

constexpr int32_t kMarker = 0x5A5A1234;

// A client reading packages from a peer inside the test that sends from its own thread.
class PackageReading : public ::testing::Test {
 protected:
  void SetUp() override {
    peer_ = ConnectClient(client_, listener_);
    ASSERT_NE(peer_, nullptr);
  }
  void TearDown() override {
    if (sender_.joinable()) sender_.join();
  }
  // Sends the bytes and then the marker word, which must be the next thing the client reads.
  void PeerSends(Bytes bytes, bool then_close = false) {
    sender_ = std::thread([this, bytes = std::move(bytes), then_close] {
      peer_->Send(bytes);
      if (then_close)
        peer_->Close();
      else
        peer_->Send(BE32(kMarker));
    });
  }
  // Reads one package that must fail with E, a network read failure; returns E's message.
  template <class E>
  std::string ReadFailure() {
    TOstraPreviewPlayPackage package;
    try {
      package.ReadFrom(client_);
    } catch (const ENetwork& e) {
      if (dynamic_cast<const E*>(&e) == nullptr) return "(other class) " + e.Message();
      // A broken read keeps no body.
      return package.Data ? "(kept data) " + e.Message() : e.Message();
    } catch (const std::exception& e) {
      return std::string("(outside the network family) ") + e.what();
    }
    return "(no error)";
  }

  TLoopbackListener listener_;
  TKvTCPClientObj client_;
  std::unique_ptr<TLoopbackPeer> peer_;
  std::thread sender_;
};

TEST(PackageTest, FreshPackageIsEmpty) {
  TOstraPreviewPlayPackage p;
  EXPECT_EQ(p.PackLength, 0);
  EXPECT_EQ(p.PackType, 0u);
  EXPECT_EQ(p.FrameType, 0);
  EXPECT_EQ(p.FrameLength, 0);
  EXPECT_EQ(p.Data, nullptr);
  EXPECT_EQ(p.DataSize, 0u);
}

TEST_F(PackageReading, AcceptedPackagesAreReadWholeWithTheirFrameWords) {
  struct Case {
    const char* name;
    Bytes wire;
    uint32_t pack_type;
    int32_t frame_type;
    size_t media_size;  // play packages only
  };
  const Bytes head = Pattern(40);
  const Bytes max_media = Pattern(0x100000 - 28);
  const uint32_t words[3] = {0x11111111, 0x22222222, 0x33333333};
  const Case cases[] = {
      {"keep-alive of 8 bytes", Join({BE32(8), BE32(0xCAFE0001)}), 0xCAFE0001, 0, 0},
      {"keep-alive with payload", Join({BE32(108), BE32(0xCAFE0001), Pattern(100)}), 0xCAFE0001, 0,
       0},
      {"open-live answer", EncodeOpenLiveResponse(0, TVideoParams{1, 2, 3, 4}), 0x80050101, 0, 0},
      {"stream head", EncodePlayPackage(128, head.data(), head.size(), words), 0x80050102, 128,
       head.size()},
      {"empty audio frame", EncodePlayPackage(8, nullptr, 0), 0x80050102, 8, 0},
      {"largest package", EncodePlayPackage(1, max_media.data(), max_media.size()), 0x80050102, 1,
       max_media.size()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PeerSends(c.wire);
    TOstraPreviewPlayPackage p;
    p.ReadFrom(client_);
    sender_.join();
    EXPECT_EQ(p.PackLength, static_cast<int32_t>(c.wire.size()));
    EXPECT_EQ(p.PackType, c.pack_type);
    ASSERT_EQ(p.DataSize, c.wire.size() - 8);
    EXPECT_TRUE(std::equal(c.wire.begin() + 8, c.wire.end(), p.Data.get()));
    EXPECT_EQ(p.FrameType, c.frame_type);
    EXPECT_EQ(p.FrameLength, static_cast<int32_t>(c.media_size));
    if (c.pack_type == 0x80050102 && c.media_size > 0) {
      EXPECT_EQ(0, std::memcmp(p.Media(), c.wire.data() + 28, c.media_size));
    }
    EXPECT_EQ(client_.ReadInt32(true), kMarker);  // nothing more and nothing less was read
  }
  TOstraPreviewPlayPackage with_words;
  PeerSends(EncodePlayPackage(128, head.data(), head.size(), words));
  with_words.ReadFrom(client_);
  EXPECT_EQ(with_words.Words[0], words[0]);
  EXPECT_EQ(with_words.Words[1], words[1]);
  EXPECT_EQ(with_words.Words[2], words[2]);
}

TEST_F(PackageReading, ImpossibleHeadsAreRejectedBeforeTheBodyIsRead) {
  struct Case {
    int32_t length;
    uint32_t code;
    const char* message;
  };
  const Case cases[] = {
      {0x100001, 0x80050102, "Invalid pack size: 1048577"},
      {-5, 0x80050102, "Invalid pack size: -5"},
      {7, 0xCAFE0001, "Invalid pack size: 7"},
      {100, 0x80060305, "Invalid pack frame type: 0x80060305"},
      {100, 0x00050101, "Invalid pack frame type: 0x50101"},
      // A play package too short for its frame words.
      {27, 0x80050102, "Invalid pack size: 27"},
      {8, 0x80050102, "Invalid pack size: 8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    PeerSends(Join({BE32(static_cast<uint32_t>(c.length)), BE32(c.code)}));
    TOstraPreviewPlayPackage p;
    try {
      p.ReadFrom(client_);
      ADD_FAILURE() << "accepted";
    } catch (const EInvalidPackageLength& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    sender_.join();
    // The rest of the message stays in the socket: the next word is the marker.
    EXPECT_EQ(client_.ReadInt32(true), kMarker);
  }
}

TEST_F(PackageReading, FrameLengthMustFitInThePackage) {
  struct Case {
    uint32_t frame_length;
    const char* message;
  };
  const Case cases[] = {{11, "Invalid frame length: 11"},
                        {0xFFFFFFFF, "Invalid frame length: -1"},
                        {0x7FFFFFFF, "Invalid frame length: 2147483647"}};
  for (const Case& c : cases) {
    Bytes wire = EncodePlayPackage(1, Pattern(10).data(), 10);
    const Bytes length = BE32(c.frame_length);
    std::copy(length.begin(), length.end(), wire.begin() + 24);
    PeerSends(wire);
    TOstraPreviewPlayPackage p;
    try {
      p.ReadFrom(client_);
      ADD_FAILURE() << "accepted " << c.frame_length;
    } catch (const EInvalidPackageLength& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    sender_.join();
    EXPECT_EQ(client_.ReadInt32(true), kMarker);  // the body was consumed
  }
}

TEST_F(PackageReading, SocketFailuresAreWrappedWithTheirMessage) {
  // Head cut after six bytes, body cut short, silence past the receive time-out.
  PeerSends(Bytes{0, 0, 0, 40, 0x80, 0x05}, true);
  EXPECT_EQ(ReadFailure<EReadPackageHead>(), "socket closed");
}

TEST_F(PackageReading, BodyCutShortRaisesReadPackage) {
  PeerSends(Join({BE32(100), BE32(0x80050102), Pattern(30)}), true);
  EXPECT_EQ(ReadFailure<EReadPackage>(), "socket closed");
}

TEST_F(PackageReading, SilenceRaisesReadPackageHeadWithRecvTimeout) {
  client_.SetRecvTimeout(150);
  EXPECT_EQ(ReadFailure<EReadPackageHead>(), "recv timeout");
}

}  // namespace
}  // namespace viewer
