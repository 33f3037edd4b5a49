// Clips of record files: a file made by recmake (128 frames, key frames at 0, 50 and 100),
// directly and through a channel that opened it, and a handmade one with a frame larger than
// the work buffer, frames before any key frame and a damaged last head.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include "player/channel/channel.h"
#include "player/channel/record_clip.h"
#include "player/channel/test_channel_support.h"

namespace zrplay {
namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class RecordClipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ::testing::TempDir() + "record_clip_test_" + std::to_string(getpid());
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // Four seconds at 32 frames a second, video only, a key frame every 50 frames.
  std::string Recording() {
    const std::string path = folder_ + "/source.rec";
    const std::string command = std::string("'") + RECMAKE_EXE +
                                "' --generate --no-audio --threads 1 --quiet --size 176x144"
                                " --fps 32 --duration 4 --gop 50 --start '2024-12-10 08:30:00'"
                                " -o '" +
                                path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
  }

  std::string folder_;
};

TEST_F(RecordClipTest, ClipsStartAtTheKeyFrameAtOrBeforeTheFirstIndexAndHoldTheFramesAsStored) {
  const std::string source = Recording();
  TFileReader reader;
  ASSERT_TRUE(reader.Open(source));
  ASSERT_TRUE(reader.BuildIndex());
  ASSERT_EQ(reader.FrameCount(), 128);
  std::vector<int> keys;
  for (int i = 0; i < reader.FrameCount(); ++i) {
    if (reader.IsKeyFrame(i)) keys.push_back(i);
  }
  ASSERT_EQ(keys, (std::vector<int>{0, 50, 100}));
  const std::vector<uint8_t> file = ReadBytes(source);

  struct TCase {
    int32_t first, last;
    int from, to;  // frames expected in the clip; to < from: an empty file
  };
  for (const TCase c :
       {TCase{57, 120, 50, 120}, TCase{100, 100, 100, 100}, TCase{0, 0, 0, 0}, TCase{49, 51, 0, 51},
        TCase{120, 100000, 100, 127}, TCase{57, 40, 50, 49}}) {
    SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last));
    const std::string clip = folder_ + "/clip.rec";
    ASSERT_EQ(ClipRecordFile(reader, c.first, c.last, clip), EClipResult::Written);
    const std::vector<uint8_t> bytes = ReadBytes(clip);
    if (c.to < c.from) {
      EXPECT_TRUE(bytes.empty());
      continue;
    }
    const size_t begin = static_cast<size_t>(reader.FrameStart(c.from));
    const size_t end = static_cast<size_t>(reader.FrameStart(c.to) + reader.FrameSize(c.to));
    ASSERT_EQ(bytes.size(), end - begin);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), file.begin() + ptrdiff_t(begin)))
        << "byte for byte, no stream head";

    TFileReader clipped;
    ASSERT_TRUE(clipped.Open(clip));
    ASSERT_TRUE(clipped.BuildIndex());
    ASSERT_EQ(clipped.FrameCount(), c.to - c.from + 1);
    EXPECT_TRUE(clipped.IsKeyFrame(0));
    for (int i = 0; i < clipped.FrameCount(); ++i) {
      ASSERT_EQ(clipped.FrameTime(i), reader.FrameTime(c.from + i)) << i;
    }
  }
}

// Where the file-index callback tells that the index is built.
struct TIndexBuilt {
  std::promise<void> built;
  static void Callback(int32_t, ZR_USER user) {
    reinterpret_cast<TIndexBuilt*>(user)->built.set_value();
  }
};

TEST_F(RecordClipTest, AChannelClipsTheRecordFileItHasOpen) {
  const std::string source = Recording();
  TFakeVideoDecoder decoder;
  TChannel channel(8, 3, decoder);
  const std::string clip = folder_ + "/channel_clip.rec";
  EXPECT_EQ(channel.Clip(57, 120, clip.c_str()), 0) << "no record file";
  EXPECT_FALSE(std::filesystem::exists(clip));

  TIndexBuilt index;
  channel.SetFileRefCallBack(&TIndexBuilt::Callback, reinterpret_cast<ZR_USER>(&index));
  ASSERT_EQ(channel.OpenFile(source.c_str()), 1);
  ASSERT_EQ(index.built.get_future().wait_for(std::chrono::seconds(120)),
            std::future_status::ready);
  while (channel.BuildingIndex()) std::this_thread::yield();
  ASSERT_EQ(channel.Clip(57, 120, clip.c_str()), 1);
  TFileReader reader;
  ASSERT_TRUE(reader.Open(source));
  ASSERT_TRUE(reader.BuildIndex());
  const std::vector<uint8_t> file = ReadBytes(source);
  const auto begin = file.begin() + reader.FrameStart(50);
  const auto end = file.begin() + reader.FrameStart(120) + reader.FrameSize(120);
  EXPECT_TRUE(ReadBytes(clip) == std::vector<uint8_t>(begin, end));
  EXPECT_EQ(channel.Clip(57, 120, nullptr), 0);

  channel.CloseFile();
  std::filesystem::remove(clip);
  EXPECT_EQ(channel.Clip(57, 120, clip.c_str()), 0) << "closed";
  EXPECT_FALSE(std::filesystem::exists(clip));
}

TEST_F(RecordClipTest, NothingIsWrittenBeforeAnyKeyFrameAndLargeFramesAreCopiedWhole) {
  // Types 3, 3, then a key frame of 600 KiB with an overlay record, then 3.
  const std::string source = folder_ + "/handmade.rec";
  std::vector<std::vector<uint8_t>> blocks;
  {
    std::ofstream out(source, std::ios::binary);
    out.write(reinterpret_cast<const char*>(kDefaultStreamHead), kFrameHeadSize);
    const TBlockSpec specs[] = {
        {.type = 3},
        At({.type = 3}, 40),
        At({.type = 2, .payload = 600 * 1024, .overlays = {TOverlayRecord{5, 6, "big"}}}, 80),
        At({.type = 3, .payload = 7}, 120),
        // A damaged last head that claims a gigabyte the file does not hold.
        At({.type = 3, .payload = 10, .declared = 1 << 30}, 160),
    };
    for (const TBlockSpec& s : specs) {
      blocks.push_back(MakeBlock(s));
      out.write(reinterpret_cast<const char*>(blocks.back().data()),
                std::streamsize(blocks.back().size()));
    }
  }
  TFileReader reader;
  ASSERT_TRUE(reader.Open(source));
  ASSERT_TRUE(reader.BuildIndex());
  ASSERT_EQ(reader.FrameCount(), 5);

  const std::string none = folder_ + "/none.rec";
  EXPECT_EQ(ClipRecordFile(reader, 1, 3, none), EClipResult::NoKeyFrame);
  EXPECT_FALSE(std::filesystem::exists(none));

  const std::string clip = folder_ + "/big.rec";
  ASSERT_EQ(ClipRecordFile(reader, 3, 4, clip), EClipResult::Written);
  std::vector<uint8_t> expected = blocks[2];
  expected.insert(expected.end(), blocks[3].begin(), blocks[3].end());
  EXPECT_TRUE(ReadBytes(clip) == expected) << "the damaged frame is left out";

  EXPECT_EQ(ClipRecordFile(reader, 3, 3, folder_ + "/no/such/folder/clip.rec"),
            EClipResult::Failed);
}

}  // namespace
}  // namespace zrplay
