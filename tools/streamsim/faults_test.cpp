// Each fault option as a viewer sees it, read with the viewer's own package reader, plus
// the real preview communicator's handshake against the server's answers.
#include <gtest/gtest.h>

#include <chrono>
#include <typeinfo>

#include "platform/messages.h"
#include "tools/streamsim/play_packages.h"
#include "tools/streamsim/test_support.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/preview_communicator.h"
#include "viewer/protocol/wire_format.h"

namespace streamsim {
namespace {

using test::MediaOf;
using test::TBytes;
using test::TRunningServer;
using test::TViewerClient;
namespace wire = viewer::wire;

class Faults : public ::testing::Test {
 protected:
  // A server on the test file with the given faults; a client that has opened channel 1.
  TViewerClient& Open(const TFaultSettings& faults, int keep_alive_ms = 0) {
    TServerOptions o = test::FastFileOptions(file_.Path);
    o.Faults = faults;
    o.KeepAliveMs = keep_alive_ms;
    server_ = std::make_unique<TRunningServer>(o);
    client_ = std::make_unique<TViewerClient>(server_->Port());
    EXPECT_TRUE(client_->OpenLive(1));
    return *client_;
  }
  std::string FaultLine(const std::string& fault) {
    return server_->Log().WaitFor({"\"event\":\"fault\"", "\"fault\":\"" + fault + "\""});
  }

  test::TTempDir dir_;
  test::TTestFile file_ = test::WriteTestFile(dir_.Path("a.rec"));
  std::unique_ptr<TRunningServer> server_;
  std::unique_ptr<TViewerClient> client_;
};

TEST_F(Faults, OpenStatusRefusesTheViewAndClosesTheConnection) {
  TServerOptions o = test::FastFileOptions(file_.Path);
  o.Faults.OpenStatus = -5;
  TRunningServer server(o);
  TViewerClient client(server.Port());
  client.SendRequest(viewer::TOpenLiveRequest{});
  EXPECT_EQ(client.ReadMessage(), test::TByteWriter()
                                      .BE32(24)
                                      .BE32(wire::kOpenLiveResponse)
                                      .BE32(0)
                                      .BE32(0)
                                      .BE32(0)
                                      .BE32(static_cast<uint32_t>(-5))
                                      .Bytes());
  EXPECT_THROW(client.ReadPackage(), viewer::EReadPackageHead);
}

TEST_F(Faults, CloseAfterEndsTheConnectionAfterThatManyPackages) {
  for (int64_t n : {0, 3}) {
    TFaultSettings f;
    f.CloseAfter = n;
    TViewerClient& client = Open(f);
    for (int64_t i = 0; i < n; ++i) client.ReadPackage();
    EXPECT_THROW(client.ReadPackage(), viewer::EReadPackageHead) << n;
    EXPECT_EQ(FaultLine("close"),
              "{\"event\":\"fault\",\"conn\":1,\"fault\":\"close\",\"packages\":" +
                  std::to_string(n) + "}");
  }
}

TEST_F(Faults, StallAfterLeavesTheConnectionOpenAndSilentKeepAlivesIncluded) {
  TFaultSettings f;
  f.StallAfter = 2;
  TViewerClient& client = Open(f, 5);
  EXPECT_EQ(client.ReadPackage()->FrameType, wire::kFrameStreamHead);
  // Keep-alives fall due while the server is slow to send the second package; none follow it.
  auto second = client.ReadPackage();
  for (int i = 0; i < 10000 && second->PackType == wire::kNoMediaPackage; ++i)
    second = client.ReadPackage();
  EXPECT_EQ(second->FrameType, wire::kFrameVideo);
  // Sixty keep-alive intervals of silence.
  client.Socket().SetRecvTimeout(300);
  try {
    client.ReadPackage();
    FAIL() << "a package after the stall";
  } catch (const viewer::EReadPackageHead& e) {
    EXPECT_EQ(std::string(e.what()), "recv timeout");
  }
  EXPECT_FALSE(FaultLine("stall").empty());
}

TEST_F(Faults, MediaStallAfterSendsOnlyKeepAlives) {
  TFaultSettings f;
  f.MediaStallAfter = 1;
  TViewerClient& client = Open(f, 5);
  EXPECT_EQ(client.ReadPackage()->FrameType, wire::kFrameStreamHead);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(client.ReadPackage()->PackType, wire::kNoMediaPackage);
  EXPECT_FALSE(FaultLine("media_stall").empty());
}

TEST_F(Faults, GarbageAfterSendsTheFixedGarbageThatTheReaderRejects) {
  TFaultSettings f;
  f.GarbageAfter = 2;
  {
    TViewerClient& client = Open(f);
    client.ReadPackage();
    client.ReadPackage();
    TBytes raw(256);
    client.Socket().ReadBuffer(raw.data(), raw.size());
    EXPECT_EQ(raw, GarbageBytes());
    // The stream goes on after the garbage.
    EXPECT_EQ(client.ReadPackage()->FrameType, wire::kFrameAudio);
  }
  TViewerClient& client = Open(f);
  client.ReadPackage();
  client.ReadPackage();
  EXPECT_THROW(client.ReadPackage(), viewer::EInvalidPackageLength);
}

TEST_F(Faults, OversizeAfterSendsOnePackageOneByteOverTheLimit) {
  TFaultSettings f;
  f.OversizeAfter = 1;
  TViewerClient& client = Open(f);
  EXPECT_EQ(client.ReadPackage()->FrameType, wire::kFrameStreamHead);
  try {
    client.ReadPackage();
    FAIL() << "oversized package accepted";
  } catch (const viewer::EInvalidPackageLength& e) {
    EXPECT_EQ(std::string(e.what()), "Invalid pack size: 1048577");
  }
  // The reader stopped after the head; the whole package is there, then the stream goes on.
  TBytes rest(1048577 - 8);
  client.Socket().ReadBuffer(rest.data(), rest.size());
  EXPECT_EQ(client.ReadPackage()->FrameType, wire::kFrameVideo);
}

TEST_F(Faults, CutAfterLeavesTheReaderInsideAPackageOnAnOpenConnection) {
  for (int64_t n : {0, 2}) {
    TFaultSettings f;
    f.CutAfter = n;
    TViewerClient& client = Open(f);
    for (int64_t i = 0; i < n; ++i) client.ReadPackage();
    client.Socket().SetRecvTimeout(300);
    // The head word came, the rest of the package never does; the server does not close.
    try {
      client.ReadPackage();
      ADD_FAILURE() << n << ": a whole package after the cut";
    } catch (const viewer::EReadPackage& e) {
      EXPECT_EQ(std::string(e.what()), "recv timeout") << n;
    }
    EXPECT_EQ(FaultLine("cut"), "{\"event\":\"fault\",\"conn\":1,\"fault\":\"cut\",\"packages\":" +
                                    std::to_string(n) + "}");
    for (const std::string& line : server_->Log().Lines()) {
      EXPECT_EQ(line.find("stream_end"), std::string::npos) << n << ": " << line;
    }
  }
}

TEST_F(Faults, TrickleSendsAnswersAndPackagesUnchangedAtTheGivenRate) {
  constexpr int32_t kRate = 2000;
  TFaultSettings f;
  f.TrickleBytesPerSecond = kRate;
  TViewerClient& client = Open(f);
  const auto start = std::chrono::steady_clock::now();
  auto head = client.ReadPackage();
  auto first = client.ReadPackage();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(head->FrameType, wire::kFrameStreamHead);
  EXPECT_EQ(MediaOf(*first),
            TBytes(file_.Bytes.begin() + 64, file_.Bytes.begin() + 64 + file_.Spans[0].second));
  // No faster than the rate allows, give or take the millisecond the sender may run ahead.
  const int64_t bytes = int64_t{head->PackLength} + first->PackLength;
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(),
            bytes * 1000 / kRate - 2)
      << bytes << " bytes";
  EXPECT_NE(server_->Log().WaitFor({"\"fault\":\"trickle\"", "\"bytes_per_second\":2000"}), "");
}

TEST_F(Faults, AudioOnlyLeavesEveryVideoFrameOut) {
  TFaultSettings f;
  f.AudioOnly = true;
  TViewerClient& client = Open(f);
  EXPECT_EQ(client.ReadPackage()->FrameType, wire::kFrameStreamHead);
  for (int i = 0; i < 6; ++i) {
    auto p = client.ReadPackage();
    EXPECT_EQ(p->FrameType, wire::kFrameAudio);
    EXPECT_EQ(zrplay::ReadFrameHead(MediaOf(*p).data()).Codec, zrplay::kCodecG711U);
  }
}

TEST_F(Faults, NoStreamHeadStartsWithTheFirstFrame) {
  TFaultSettings f;
  f.NoStreamHead = true;
  TViewerClient& client = Open(f);
  auto p = client.ReadPackage();
  EXPECT_EQ(p->FrameType, wire::kFrameVideo);
  EXPECT_EQ(MediaOf(*p),
            TBytes(file_.Bytes.begin() + 64, file_.Bytes.begin() + 64 + file_.Spans[0].second));
}

// The viewer's own preview communicator against the server: the handshake's verdict on each
// open status, and on success the picture settings message and packages that pass its checks.
class Handshake : public ::testing::Test {
 protected:
  void Connect(const TServerOptions& o) {
    server_ = std::make_unique<TRunningServer>(o);
    client_.Host = "127.0.0.1";
    client_.Port = server_->Port();
    ASSERT_TRUE(client_.Connect());
    comm_.Client = &client_;
    comm_.ProtectedSection = &section_;
    comm_.WindowHandle = window_;
    comm_.ChannelNo = 1;
  }
  void TearDown() override { plat::DestroyWindowHandle(window_); }

  test::TTempDir dir_;
  test::TTestFile file_ = test::WriteTestFile(dir_.Path("a.rec"));
  std::unique_ptr<TRunningServer> server_;
  viewer::TKvTCPClientObj client_;
  viewer::TProtectedSection section_;
  viewer::TOstraNvPreviewCommunicator comm_;
  plat::HWND window_ = plat::CreateWindowHandle();
};

TEST_F(Handshake, RefusalsRaiseTheViewersExceptionForEachStatus) {
  struct TCase {
    int32_t Status;
    const std::type_info* Raised;
    const char* Message;
  };
  const TCase cases[] = {{-1, &typeid(viewer::EHaveNoRight), "no right"},
                         {-2, &typeid(viewer::ETokenInvalid), "invalid token"},
                         {-5, &typeid(viewer::EFileNotFound), "file not found"},
                         {-7, &typeid(viewer::EUnknown), "unknown status -7"}};
  for (const TCase& c : cases) {
    TServerOptions o = test::FastFileOptions(file_.Path);
    o.Faults.OpenStatus = c.Status;
    client_.Disconnect();
    Connect(o);
    try {
      comm_.GetPlayRight();
      ADD_FAILURE() << c.Status << " accepted";
    } catch (const std::exception& e) {
      EXPECT_EQ(typeid(e).name(), std::string(c.Raised->name())) << c.Status;
      EXPECT_EQ(std::string(e.what()), c.Message);
    }
  }
}

TEST_F(Handshake, AcceptedViewPostsThePictureSettingsAndItsPackagesPassTheChecks) {
  TServerOptions o = test::FastFileOptions(file_.Path);
  o.KeepAliveMs = 1;
  Connect(o);
  comm_.GetPlayRight();
  plat::TMsg msg;
  ASSERT_TRUE(plat::GetMessage(&msg, 5000));
  EXPECT_EQ(msg.message, viewer::kVideoParamsMessage);
  EXPECT_EQ(msg.wParam, static_cast<plat::WPARAM>(70 * 256 + 75));
  EXPECT_EQ(msg.lParam, static_cast<plat::LPARAM>(85 * 256 + 127));

  int media = 0;
  for (int i = 0; i < 50; ++i) {
    auto p = comm_.ReadPackage();
    if (!comm_.IsMediaPackage(p->PackType)) continue;
    comm_.CheckPackage();
    if (media++ == 0) {
      EXPECT_EQ(p->FrameType, wire::kFrameStreamHead);
    }
  }
  EXPECT_GT(media, 0);
}

}  // namespace
}  // namespace streamsim
