// With no proxy module present: every wrapper gives its missing result, and a view fails
// to open its stream, ending its play thread cleanly.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/messages.h"
#include "viewer/pipeline/play_thread.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/player/ostra_nv_preview_player.h"
#include "viewer/player/player_binding.h"
#include "viewer/player/testing/player_test_support.h"
#include "viewer/protocol/exceptions.h"

namespace viewer {
namespace {

using testing::MakePlayPackage;
using testing::TaggedMedia;

class NoProxyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { SetPlayerProxyModuleName(ZRPLAYPROXY_PATH); }
};

TEST_F(NoProxyTest, EveryWrapperGivesItsMissingResultAndTouchesNothing) {
  EXPECT_EQ(PlayerProxyModule(), nullptr);
  const uint8_t head[4] = {0x40};
  int32_t port = -3, width = -5, height = -6, size = 28;
  int32_t record[7] = {9, 9, 9, 9, 9, 9, 9};
  const ZR_RECT rect{1, 2, 3, 4};
  struct Case {
    const char* name;
    std::function<int32_t()> call;
    int32_t missing;
  };
  const Case cases[] = {
      {"InitPlayer", [&] { return proxy::Zr_Play_InitPlayer(1, head, 4); }, -1},
      {"InitPlayer_FetchPort", [&] { return proxy::Zr_Play_InitPlayer_FetchPort(&port, head, 4); },
       -1},
      {"SetStreamOpenMode", [] { return proxy::Zr_Play_SetStreamOpenMode(1, 0); }, 0},
      {"OpenStream", [&] { return proxy::Zr_Play_OpenStream(1, head, 4, 1048576); }, 0},
      {"InputData", [&] { return proxy::Zr_Play_InputData(1, head, 4); }, 0},
      {"CloseStream", [] { return proxy::Zr_Play_CloseStream(1); }, 0},
      {"ResetSourceBuffer", [] { return proxy::Zr_Play_ResetSourceBuffer(1); }, 0},
      {"Play", [] { return proxy::Zr_Play_Play(1, 0x10); }, 0},
      {"Stop", [] { return proxy::Zr_Play_Stop(1); }, 0},
      {"OpenSound", [] { return proxy::Zr_Play_OpenSound(1); }, 0},
      {"StopSound", [] { return proxy::Zr_Play_StopSound(1); }, 0},
      {"GetVolume", [] { return proxy::Zr_Play_GetVolume(1); }, 0},
      {"SetVolume", [] { return proxy::Zr_Play_SetVolume(1, 50); }, 0},
      {"ThrowBFrame", [] { return proxy::Zr_Play_ThrowBFrame(1, 2); }, 0},
      {"SetDisplayRegion", [&] { return proxy::Zr_Play_SetDisplayRegion(1, 0, &rect, 0x10, 1); },
       0},
      {"GetPictureSize", [&] { return proxy::Zr_Play_GetPictureSize(1, &width, &height); }, 0},
      {"SetDecCallBack", [] { return proxy::Zr_Play_SetDecCallBack(1, nullptr); }, 0},
      {"CaptureImage", [] { return CaptureImageToFile(1, "/tmp/snap.bmp"); }, 0},
      {"SetWatermark", [] { return proxy::Qel_Play_SetWatermark(1, "mark"); }, 0},
      {"ReadChannelEncodeInfo",
       [&] { return proxy::Qel_Play_ReadChannelEncodeInfo(1, record, &size); }, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call(), c.missing) << c.name;
  EXPECT_EQ(port, -3);
  EXPECT_EQ(width, -5);
  EXPECT_EQ(height, -6);
  EXPECT_EQ(size, 28);
  EXPECT_EQ(record[0], 9);
}

TEST_F(NoProxyTest, AViewFailsToOpenItsStreamAndItsPlayThreadEndsCleanly) {
  testing::TLogCapture log;
  testing::TTestModel model;
  TProtectedSection section;
  const plat::HWND window = plat::CreateWindowHandle();

  auto owned = std::make_unique<TOstraNvPreviewPlayer>();
  TOstraNvPreviewPlayer* player = owned.get();
  player->Model = &model;
  player->ProtectedSection = &section;
  player->NotifyWindow = window;
  player->Port = -1;
  player->Active = true;
  player->SetWatermarkText("mark");
  auto thread = std::make_unique<TPlayThread>(std::move(owned));
  thread->Model = &model;
  thread->ProtectedSection = &section;

  section.BlockingQueue.PutOrRaise(MakePlayPackage(128, TaggedMedia(0x40, 64)));
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(thread->WaitFor(20000));  // ends by itself

  EXPECT_EQ(log.Count("CH:7 ERROR_OPEN_STREAM, Error is "), 1);
  EXPECT_FALSE(log.Has("internal stop-->play stop-->"));  // the stream never opened
  EXPECT_FALSE(log.Has("begin play"));
  EXPECT_EQ(model.PlayEnds, 1);
  EXPECT_EQ(model.DataMarks, 0);
  EXPECT_FALSE(player->StreamOpened);
  EXPECT_TRUE(player->Playing);
  EXPECT_EQ(player->Port, -1);  // no proxy chose a port

  plat::TMsg msg;
  ASSERT_TRUE(plat::GetMessage(&msg, 0));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.message, kStopPlayMessage);
  EXPECT_FALSE(plat::GetMessage(&msg, 0));

  // Nothing was loaded in the proxy's place.
  EXPECT_EQ(PlayerProxyModule(), nullptr);
  EXPECT_EQ(::dlopen(ZRPLAYRECORDER_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr);
  thread.reset();
  plat::DestroyWindowHandle(window);
}

}  // namespace
}  // namespace viewer
