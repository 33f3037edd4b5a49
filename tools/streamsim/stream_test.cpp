// Streams as a client sees them: record files byte for byte in play packages, loops with
// capture times going on, channels with their own sources to clients at the same time, the
// generator, keep-alives between packages, and real-time pacing.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/viewer_utils.h"
#include "tools/streamsim/test_support.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/wire_format.h"

namespace streamsim {
namespace {

using test::MediaOf;
using test::TBytes;
using test::TRunningServer;
using test::TTestFile;
using test::TViewerClient;
namespace wire = viewer::wire;

TBytes Slice(const TBytes& bytes, size_t offset, size_t size) {
  return TBytes(bytes.begin() + offset, bytes.begin() + offset + size);
}

// Frame types the packages of the test file carry: key video, audio, video, audio, video.
const int32_t kFileTypes[] = {1, 8, 2, 8, 2};

// Reads one pass of the test file's frames and checks each package against the file.
void ExpectFramesOfFile(TViewerClient& client, const TTestFile& file) {
  for (size_t i = 0; i < file.Frames.size(); ++i) {
    auto p = client.ReadPackage();
    ASSERT_EQ(p->PackType, wire::kPlayPackage) << i;
    EXPECT_EQ(p->FrameType, kFileTypes[i]) << i;
    EXPECT_EQ(MediaOf(*p), Slice(file.Bytes, file.Spans[i].first, file.Spans[i].second)) << i;
    EXPECT_EQ(p->PackLength, static_cast<int32_t>(28 + file.Spans[i].second)) << i;
  }
}

class Streams : public ::testing::Test {
 protected:
  test::TTempDir dir_;
};

TEST_F(Streams, RecordFileGoesOutByteForByteAfterItsHeadAndEndsWithoutLooping) {
  for (bool file_head : {true, false}) {
    SCOPED_TRACE(file_head ? "with file head" : "without file head");
    const TTestFile file = test::WriteTestFile(dir_.Path("a.rec"), file_head);
    TServerOptions o = test::FastFileOptions(file.Path);
    o.Loop = false;
    TRunningServer server(o);
    TViewerClient client(server.Port());
    ASSERT_TRUE(client.OpenLive(1));

    auto head = client.ReadPackage();
    EXPECT_EQ(head->FrameType, wire::kFrameStreamHead);
    const TBytes expected_head =
        file_head ? Slice(file.Bytes, 0, 64)
                  : TBytes(zrplay::kDefaultStreamHead, zrplay::kDefaultStreamHead + 64);
    EXPECT_EQ(MediaOf(*head), expected_head);
    ExpectFramesOfFile(client, file);
    EXPECT_THROW(client.ReadPackage(), viewer::EReadPackageHead);
    EXPECT_FALSE(server.Log()
                     .WaitFor({"stream_end", "\"packages\":6", "\"reason\":\"end of file\""})
                     .empty());
  }
}

TEST_F(Streams, LoopsRepeatTheFramesWithCaptureTimesMovedOnBySpanAndStep) {
  const TTestFile file = test::WriteTestFile(dir_.Path("a.rec"), true, 40000);
  TRunningServer server(test::FastFileOptions(file.Path));
  TViewerClient client(server.Port());
  ASSERT_TRUE(client.OpenLive(1));
  ASSERT_EQ(client.ReadPackage()->FrameType, wire::kFrameStreamHead);
  ExpectFramesOfFile(client, file);
  // Span 80 ms plus one video step of 40 ms per pass; nothing else changes.
  for (int pass = 1; pass <= 2; ++pass) {
    for (size_t i = 0; i < file.Frames.size(); ++i) {
      auto p = client.ReadPackage();
      ASSERT_EQ(p->FrameType, kFileTypes[i]) << "no second stream head";
      recmake::TRecordFrame expected = file.Frames[i];
      recmake::SetCaptureTime(expected.Head, expected.TimeUs() + pass * 120000);
      EXPECT_EQ(MediaOf(*p), expected.Serialize()) << pass << "/" << i;
    }
  }
}

TEST_F(Streams, ChannelsServeTheirOwnSourcesToClientsAtTheSameTime) {
  const TTestFile a = test::WriteTestFile(dir_.Path("a.rec"), true, 40000, 0x10);
  const TTestFile b = test::WriteTestFile(dir_.Path("b.rec"), false, 40000, 0x60);
  TServerOptions o = test::FastFileOptions(a.Path);
  o.Channels[2] = {TSourceSpec::EKind::File, b.Path};
  TRunningServer server(o);

  struct TViewer {
    int32_t Channel;
    const TTestFile* File;
  };
  const TViewer viewers[] = {{2, &b}, {1, &a}, {2, &b}, {7, &a}};
  std::vector<std::unique_ptr<TViewerClient>> clients;
  for (const TViewer& v : viewers) {
    clients.push_back(std::make_unique<TViewerClient>(server.Port()));
    ASSERT_TRUE(clients.back()->OpenLive(v.Channel));
  }
  // Every stream is open before any is read; each is read on its own thread.
  std::vector<std::thread> readers;
  std::atomic<int> good{0};
  for (size_t i = 0; i < clients.size(); ++i) {
    readers.emplace_back([&, i] {
      TViewerClient& c = *clients[i];
      const TTestFile& f = *viewers[i].File;
      c.ReadPackage();  // stream head
      bool same = true;
      for (int pass = 0; pass < 3; ++pass) {
        for (size_t k = 0; k < f.Frames.size(); ++k) {
          const TBytes media = MediaOf(*c.ReadPackage());
          // The payload bytes lie after the 64-byte head in both the file and the package.
          same = same && Slice(media, 64, media.size() - 64) ==
                             Slice(f.Bytes, f.Spans[k].first + 64, f.Spans[k].second - 64);
        }
      }
      if (same) ++good;
    });
  }
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(good.load(), 4);
}

TEST_F(Streams, GeneratorStreamsH264KeyFramesAndG711AudioInWholeFrames) {
  TServerOptions o;
  o.RealTime = false;
  o.KeepAliveMs = 0;
  o.Generator.Width = 160;
  o.Generator.Height = 120;
  TRunningServer server(o);
  TViewerClient client(server.Port());
  ASSERT_TRUE(client.OpenLive(0));
  EXPECT_EQ(MediaOf(*client.ReadPackage()),
            TBytes(zrplay::kDefaultStreamHead, zrplay::kDefaultStreamHead + 64));
  int video = 0, audio = 0;
  bool first_video_key = false;
  for (int i = 0; i < 40; ++i) {
    auto p = client.ReadPackage();
    const TBytes media = MediaOf(*p);
    ASSERT_GE(media.size(), 64u);
    ASSERT_TRUE(zrplay::HasFrameMagic(media.data(), media.size()));
    const zrplay::TFrameHead h = zrplay::ReadFrameHead(media.data());
    EXPECT_EQ(media.size(), 64u + h.PayloadLength + h.OverlayCount * 44u);
    if (p->FrameType == wire::kFrameAudio) {
      ++audio;
      EXPECT_EQ(h.Codec, zrplay::kCodecG711U);
    } else {
      if (video++ == 0) {
        first_video_key = p->FrameType == wire::kFrameVideo;
        // Annex-B with the sequence parameter set first.
        ASSERT_GE(media.size(), 69u);
        EXPECT_EQ(Slice(media, 64, 4), (TBytes{0, 0, 0, 1}));
        EXPECT_EQ(media[68] & 0x1F, 7);
      } else {
        EXPECT_EQ(p->FrameType, 2);
      }
      EXPECT_EQ(h.Codec, zrplay::kCodecH264);
    }
  }
  EXPECT_TRUE(first_video_key);
  EXPECT_GT(video, 10);
  EXPECT_GT(audio, 10);
}

TEST_F(Streams, KeepAlivesGoBetweenPackagesWithoutBreakingTheFraming) {
  const TTestFile file = test::WriteTestFile(dir_.Path("a.rec"));
  TServerOptions o = test::FastFileOptions(file.Path);
  o.KeepAliveMs = 1;
  TRunningServer server(o);
  TViewerClient client(server.Port());
  ASSERT_TRUE(client.OpenLive(1));
  int keep_alives = 0, media = 0;
  // The loop streams without end; a keep-alive falls due every millisecond.
  while (keep_alives < 3 && media < 200000) {
    auto p = client.ReadPackage();
    if (p->PackType == wire::kNoMediaPackage) {
      EXPECT_EQ(p->PackLength, 8);
      ++keep_alives;
    } else {
      ASSERT_EQ(p->PackType, wire::kPlayPackage);
      ++media;
    }
  }
  EXPECT_EQ(keep_alives, 3);
}

TEST_F(Streams, RealTimePacingSendsNoFrameBeforeItsCaptureTimeIsDue) {
  const TTestFile file = test::WriteTestFile(dir_.Path("a.rec"), true, 100000);
  TServerOptions o = test::FastFileOptions(file.Path);
  o.RealTime = true;
  o.Loop = false;
  TRunningServer server(o);
  TViewerClient client(server.Port());
  const auto asked = std::chrono::steady_clock::now();
  ASSERT_TRUE(client.OpenLive(1));
  client.ReadPackage();  // stream head
  const int64_t first_us = file.Frames[0].TimeUs();
  for (const recmake::TRecordFrame& f : file.Frames) {
    client.ReadPackage();
    const auto waited = std::chrono::steady_clock::now() - asked;
    // Only a lower bound: a busy machine makes packages later, never earlier.
    EXPECT_GE(std::chrono::duration_cast<std::chrono::microseconds>(waited).count(),
              f.TimeUs() - first_us);
  }
}

}  // namespace
}  // namespace streamsim
