// A record file played entirely through the player library's exports, loaded with dlopen as
// any caller loads it: open with the index callback, play into a window, queries and seeks by
// position, time and frame, speed, pause with single steps both ways, JPEG and BMP snapshots,
// the encode information, audio at the decode callback, stop and close. The window is
// compared with a direct decode of the file and saved as PNG.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "platform/gdi.h"
#include "platform/messages.h"
#include "tests/picture_match.h"
#include "tests/support/test_files.h"
#include "tests/support/wait_until.h"
#include "tools/common/player_library.h"

namespace {

const std::string kFixture = std::string(QUVI_TEST_DATA_DIR) + "/h264_704x576_g711u.rec";
constexpr int32_t kPort = 60;

using quvi_test::WaitUntil;

std::atomic<int> g_index_calls{0};
std::atomic<ZR_USER> g_index_user{0};
std::atomic<std::thread::id> g_index_thread;
std::atomic<int> g_pictures{0};
std::atomic<int> g_audio_calls{0};
std::atomic<int> g_audio_rate{0};
std::atomic<int> g_audio_channels{0};
std::atomic<ZR_USER> g_decode_user{0};
std::atomic<int> g_source_buf_calls{0};

void OnIndex(int32_t port, ZR_USER user) {
  if (port != kPort) return;
  g_index_user = user;
  g_index_thread = std::this_thread::get_id();
  ++g_index_calls;
}

void OnDecode(int32_t port, const char*, int32_t size, const ZR_FRAME_INFO* info, ZR_USER user,
              int32_t) {
  if (port != kPort || info == nullptr) return;
  g_decode_user = user;
  if (info->nType == 3 && size == info->nWidth * info->nHeight * 3 / 2) ++g_pictures;
  if (info->nType == 100) {
    g_audio_channels = info->nWidth;
    g_audio_rate = info->nFrameRate;
    ++g_audio_calls;
  }
}

void OnSourceBuf(int32_t, uint32_t, ZR_USER, void*) {
  ++g_source_buf_calls;
}

std::string Head(const std::string& path, size_t n) {
  return quvi_test::ReadFile(path).substr(0, n);
}

TEST(RecordFileApiTest, AFilePlayedEntirelyThroughTheExports) {
  quvi_tools::TPlayerApi api;
  ASSERT_TRUE(api.Load(ZRPLAY_LIBRARY_PATH));
  quvi_test::TTempDir dir("record_file_api");
  const std::vector<quvi_test::TLumaPicture> pictures = quvi_test::DecodeRecordFileLuma(kFixture);
  const plat::HWND window = plat::CreateWindowHandle();
  ASSERT_TRUE(plat::MoveWindow(window, 0, 0, 704, 576));

  // Open, and the index callback on the index thread. The source buffer callback is kept
  // and never called (there is no source buffer to run low).
  ASSERT_EQ(api.Zr_Play_InitPlayerByFile(kPort, 0), 0);
  EXPECT_EQ(api.Zr_Play_SetSourceBufCallBack(kPort, 1, &OnSourceBuf, 7, nullptr), 1);
  EXPECT_EQ(api.Zr_Play_SetFileRefCallBack(kPort, &OnIndex, 4321), 1);
  ASSERT_EQ(api.Zr_Play_OpenFile(kPort, kFixture.c_str()), 1);
  ASSERT_TRUE(WaitUntil([] { return g_index_calls > 0; })) << "no index callback";
  EXPECT_EQ(g_index_calls.load(), 1);
  EXPECT_EQ(g_index_user.load(), 4321);
  EXPECT_NE(g_index_thread.load(), std::this_thread::get_id());
  EXPECT_EQ(api.Zr_Play_GetFileTotalFrames(kPort), 200);
  EXPECT_NEAR(api.Zr_Play_GetFileTotalMSec(kPort), 3960, 40);

  // Play into the window, with pictures and sound at the decode callback.
  EXPECT_EQ(api.Qel_Play_SetDecCallBackEx(kPort, &OnDecode, 99), 1);
  EXPECT_EQ(api.Zr_Play_SetDecCBStream(kPort, 3), 1);
  EXPECT_EQ(api.Zr_Play_OpenSound(kPort), 1);
  ASSERT_EQ(api.Zr_Play_Play(kPort, window), 1);
  ASSERT_TRUE(WaitUntil([] { return g_pictures > 5 && g_audio_calls > 2; }))
      << g_pictures << " pictures, " << g_audio_calls << " audio blocks";
  EXPECT_EQ(g_decode_user.load(), 99);
  EXPECT_EQ(g_audio_rate.load(), 8000);
  EXPECT_EQ(g_audio_channels.load(), 1);
  EXPECT_LT(quvi_test::DistanceToNearestPicture(window, pictures), 4.0);
  int32_t width = 0, height = 0;
  EXPECT_EQ(api.Zr_Play_GetPictureSize(kPort, &width, &height), 1);
  EXPECT_EQ(width, 704);
  EXPECT_EQ(height, 576);

  // Speed.
  EXPECT_EQ(api.Zr_Play_SetPlaySpeed(kPort, 0, 2), 1);
  EXPECT_EQ(api.Zr_Play_Slow(kPort), 1);
  EXPECT_EQ(api.Zr_Play_Fast(kPort), 1);
  EXPECT_EQ(api.Zr_Play_SetPlaySpeed(kPort, 2, 0), 1);

  // Paused, seeks land on the nearest key frame at or before the target (every 50th frame
  // of 200 index entries: 25 video frames a second, audio between them).
  EXPECT_EQ(api.Zr_Play_Pause(kPort, 1), 1);
  EXPECT_EQ(api.Zr_Play_SetCurrFrameNum(kPort, 120), 1);
  const int32_t at_frame = api.Zr_Play_GetCurrFrameNum(kPort);
  EXPECT_LE(at_frame, 120);
  EXPECT_GE(at_frame, 100);
  EXPECT_EQ(api.Zr_Play_SetPlayedPos(kPort, 0.5), 1);
  EXPECT_NEAR(api.Zr_Play_GetPlayedPos(kPort), 0.5, 0.26);
  EXPECT_EQ(api.Zr_Play_SetPlayedTimeEx(kPort, 1000), 1);
  EXPECT_NEAR(api.Zr_Play_GetPlayedTimeEx(kPort), 1000, 1000);
  EXPECT_GE(api.Zr_Play_GetKeyFramePos(kPort, 150, 1), 0) << "a key frame lies before frame 150";

  // Single steps: forward moves on, back moves back.
  const int32_t before = api.Zr_Play_GetCurrFrameNum(kPort);
  EXPECT_EQ(api.Zr_Play_OneByOneForward(kPort), 1);
  EXPECT_EQ(api.Zr_Play_OneByOneForward(kPort), 1);
  ASSERT_TRUE(WaitUntil([&] { return api.Zr_Play_GetCurrFrameNum(kPort) > before; }));
  const int32_t forward = api.Zr_Play_GetCurrFrameNum(kPort);
  api.Zr_Play_OneByOneBack(kPort);
  ASSERT_TRUE(WaitUntil([&] { return api.Zr_Play_GetCurrFrameNum(kPort) < forward; }));
  EXPECT_LT(quvi_test::DistanceToNearestPicture(window, pictures), 4.0);

  // Snapshots of the picture shown, and its encode information.
  for (const char* name : {"shot.jpg", "shot.bmp"}) {
    std::array<char, 512> chars{};
    const std::string path = dir.Path(name);
    std::memcpy(chars.data(), path.data(), path.size());
    EXPECT_EQ(api.Zr_Play_CaptureImage(kPort, chars.data()), 1) << name;
  }
  EXPECT_EQ(Head(dir.Path("shot.jpg"), 3), "\xFF\xD8\xFF");
  EXPECT_EQ(Head(dir.Path("shot.bmp"), 2), "BM");
  int32_t record[16] = {};
  int32_t size = sizeof record;
  EXPECT_EQ(api.Qel_Play_ReadChannelEncodeInfo(kPort, record, &size), 1);
  EXPECT_EQ(record[1], 704);
  EXPECT_EQ(record[2], 576);

  // Resume, then stop and close: the port's channel goes.
  EXPECT_EQ(api.Zr_Play_Pause(kPort, 0), 1);
  const int played = g_pictures;
  ASSERT_TRUE(WaitUntil([&] { return g_pictures > played + 3; })) << "playing again";
  ASSERT_TRUE(plat::SaveWindowPng(window, dir.Path("file.png")));
  if (const char* keep = std::getenv("QUVI_TEST_KEEP_PNG"))
    plat::SaveWindowPng(window, std::string(keep) + "/record_file_api.png");
  EXPECT_EQ(api.Zr_Play_Stop(kPort), 1);
  EXPECT_EQ(api.Zr_Play_CloseFile(kPort), 1);
  EXPECT_EQ(g_source_buf_calls.load(), 0);
  const std::vector<std::string> lines = quvi_tools::PlayerLogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "unreg channel<--port=60"), lines.end());
  plat::DestroyWindowHandle(window);
  api.Unload();
}

}  // namespace
