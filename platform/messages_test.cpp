#include "platform/messages.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace plat {
namespace {

TEST(MessagesTest, PostedMessagesReachTheOwningThreadInOrder) {
  std::vector<std::pair<UINT, WPARAM>> seen;
  const HWND w = CreateWindowHandle([&](HWND, UINT m, WPARAM wp, LPARAM) {
    seen.emplace_back(m, wp);
    return 0;
  });
  std::thread poster([w] {
    for (WPARAM i = 0; i < 3; ++i) EXPECT_TRUE(PostMessage(w, WM_USER + 0xCD, i, 0));
  });
  poster.join();
  TMsg msg;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(GetMessage(&msg, 1000));
    EXPECT_EQ(msg.hwnd, w);
    DispatchMessage(msg);
  }
  EXPECT_FALSE(GetMessage(&msg, 10));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2], (std::pair<UINT, WPARAM>{WM_USER + 0xCD, 2}));
  DestroyWindowHandle(w);
}

TEST(MessagesTest, NullAndUnknownWindowsPostNothing) {
  EXPECT_FALSE(PostMessage(0, WM_USER, 1, 2));
  EXPECT_FALSE(PostMessage(INVALID_HWND, WM_USER, 1, 2));
  const HWND w = CreateWindowHandle();
  DestroyWindowHandle(w);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(PostMessage(w, WM_USER, 1, 2));
}

TEST(MessagesTest, ThreadsHaveSeparateQueues) {
  int dispatched = 0;
  HWND other = 0;
  std::thread owner([&] {
    other = CreateWindowHandle([&](HWND, UINT, WPARAM, LPARAM) { return ++dispatched; });
    PostMessage(other, WM_USER, 0, 0);
    EXPECT_EQ(PumpMessages(50), 1);
  });
  owner.join();
  TMsg msg;
  EXPECT_FALSE(GetMessage(&msg, 10));  // nothing landed on this thread
  EXPECT_EQ(dispatched, 1);
  DestroyWindowHandle(other);
}

}  // namespace
}  // namespace plat
