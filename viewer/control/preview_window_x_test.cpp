#include "viewer/control/preview_window_x.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/thread.h"
#include "tests/support/wait_until.h"
#include "viewer/control/testing/fake_control_window.h"
#include "viewer/control/type_library.h"

namespace viewer {
namespace {

using plat::TFuncDesc;
using plat::TVariant;
using plat::TVarType;

// A value of the declared type that differs from every default of the window.
TVariant Sample(TVarType type) {
  switch (type) {
    case TVarType::I4:
      return TVariant::FromI4(1);
    case TVarType::Bool:
      return TVariant::FromBool(true);
    case TVarType::Color:
      return TVariant::FromColor(0x123456);
    case TVarType::String:
      return TVariant::FromString("12345");  // also a valid DVRID
    case TVarType::Font:
      return TVariant::FromFont({"Noto Sans CJK SC", 12, 700, 134, true, false, true, false});
    default:
      return TVariant();
  }
}

std::vector<TVariant> SampleArgs(const TFuncDesc& f) {
  std::vector<TVariant> args;
  for (const auto& p : f.Params) args.push_back(Sample(p.Type));
  return args;
}

// The window member a function must reach; "" when the control answers by itself.
std::string ExpectedCall(const TFuncDesc& f) {
  static const char* kOwn[] = {"Resize", "RatioMode", "Version", "NoDecode"};
  for (const char* own : kOwn) {
    if (f.Name == own) return "";
  }
  if (f.Name == "changeLinkMode") return "ChangeLinkMode";
  if (f.Kind & (plat::DISPATCH_PROPERTYPUT | plat::DISPATCH_PROPERTYPUTREF)) return "Set" + f.Name;
  return f.Name;
}

class ControlTest : public testing::Test {
 protected:
  ControlTest() {
    auto window = std::make_unique<TFakeControlWindow>(0, 320, 240);
    window_ = window.get();
    control_ = std::make_unique<TPmOstraNvPreviewWindowX>(std::move(window));
  }

  plat::HRESULT Call(const char* name, uint16_t kind, std::vector<TVariant> args = {},
                     TVariant* result = nullptr, std::string* error = nullptr) {
    int32_t id = 0;
    EXPECT_EQ(control_->GetIDOfName(name, &id), plat::S_OK) << name;
    TVariant ignored;
    return control_->Invoke(id, kind, args, result ? result : &ignored, error);
  }
  TVariant Get(const char* name) {
    TVariant r;
    EXPECT_EQ(Call(name, plat::DISPATCH_PROPERTYGET, {}, &r), plat::S_OK) << name;
    return r;
  }
  void Put(const char* name, TVariant v) {
    EXPECT_EQ(Call(name, plat::DISPATCH_PROPERTYPUT, {std::move(v)}), plat::S_OK) << name;
  }

  // Pumps until `done` holds.
  template <typename Fn>
  void PumpUntil(Fn done) {
    quvi_test::PollUntil(done, [] { plat::PumpMessages(20); });
  }

  TFakeControlWindow* window_ = nullptr;
  std::unique_ptr<TPmOstraNvPreviewWindowX> control_;
};

TEST_F(ControlTest, EveryFunctionReachesItsWindowMemberByNameAndByDispid) {
  for (const TFuncDesc& f : QuviLiveViewerTypeLibrary().Dispatch.Funcs) {
    if (f.Name == "StartPlay") continue;  // has a test of its own
    // By name, in another letter case, then by DISPID.
    std::string lower = f.Name;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    int32_t id = 0;
    ASSERT_EQ(control_->GetIDOfName(lower, &id), plat::S_OK) << f.Name;
    EXPECT_EQ(id, f.DispId) << f.Name;
    window_->TakeCalls();
    std::vector<TVariant> args = SampleArgs(f);
    TVariant result;
    std::string error;
    ASSERT_EQ(control_->Invoke(f.DispId, f.Kind, args, &result, &error), plat::S_OK)
        << f.Name << ": " << error;
    EXPECT_EQ(result.Type(), f.Result) << f.Name;
    const std::vector<std::string> calls = window_->TakeCalls();
    const std::string expected = ExpectedCall(f);
    if (expected.empty()) {
      EXPECT_TRUE(calls.empty()) << f.Name << " reached the window";
    } else {
      EXPECT_EQ(calls, std::vector<std::string>{expected}) << f.Name;
    }
  }
}

TEST_F(ControlTest, WrittenPropertiesReadBack) {
  const auto& funcs = QuviLiveViewerTypeLibrary().Dispatch.Funcs;
  for (const TFuncDesc& put : funcs) {
    if (put.Kind != plat::DISPATCH_PROPERTYPUT) continue;
    const TFuncDesc* get = nullptr;
    for (const TFuncDesc& f : funcs) {
      if (f.DispId == put.DispId && f.Kind == plat::DISPATCH_PROPERTYGET) get = &f;
    }
    if (get == nullptr || put.Name == "RatioMode") continue;
    const TVariant value = Sample(put.Params[0].Type);
    Put(put.Name.c_str(), value);
    EXPECT_EQ(Get(put.Name.c_str()), value) << put.Name;
  }
}

TEST_F(ControlTest, MembersTheControlAnswersItself) {
  EXPECT_EQ(Get("Version"), TVariant::FromString("2022062401"));
  Put("RatioMode", TVariant::FromBool(true));
  EXPECT_EQ(Get("RatioMode"), TVariant::FromBool(false));
  EXPECT_EQ(Get("NoDecode"), TVariant::FromBool(false));
  // PlayWnd can be written, not read.
  EXPECT_EQ(Call("PlayWnd", plat::DISPATCH_PROPERTYGET), plat::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call("Version", plat::DISPATCH_PROPERTYPUT, {TVariant::FromString("1")}),
            plat::DISP_E_MEMBERNOTFOUND);
  // Resize and ShowFullScreen succeed and change nothing the host can read.
  EXPECT_EQ(Call("Resize", plat::DISPATCH_METHOD), plat::S_OK);
  EXPECT_EQ(Call("ShowFullScreen", plat::DISPATCH_METHOD), plat::S_OK);
  EXPECT_EQ(Get("FullScreen"), TVariant::FromBool(false));
  // Tip texts read as their defaults while empty.
  EXPECT_EQ(Get("TipConnectingMsg"), TVariant::FromString("正在连接..."));
}

TEST_F(ControlTest, StartPlayWithoutPlayWndRendersIntoTheControlsWindow) {
  EXPECT_EQ(Call("StartPlay", plat::DISPATCH_METHOD), plat::S_OK);
  EXPECT_EQ(window_->PlayWnd_, window_->Handle());
  EXPECT_EQ(Call("StopPlay", plat::DISPATCH_METHOD), plat::S_OK);

  const plat::HWND other = plat::CreateWindowHandle();
  Put("PlayWnd", TVariant::FromI4(static_cast<int32_t>(other)));
  EXPECT_EQ(Call("StartPlay", plat::DISPATCH_METHOD), plat::S_OK);
  EXPECT_EQ(window_->PlayWnd_, other);
  plat::DestroyWindowHandle(other);
}

TEST_F(ControlTest, NoDecodeIsGivenToEveryNewPlayer) {
  for (bool no_decode : {true, false, true}) {
    Put("NoDecode", TVariant::FromBool(no_decode));
    EXPECT_EQ(Call("StartPlay", plat::DISPATCH_METHOD), plat::S_OK);
    EXPECT_EQ(window_->LastPlayerNoDecode(), no_decode);
    EXPECT_EQ(Call("StopPlay", plat::DISPATCH_METHOD), plat::S_OK);
  }
}

TEST_F(ControlTest, AMemberThatRaisesFailsWithItsText) {
  std::string error;
  EXPECT_EQ(
      Call("DVRID", plat::DISPATCH_PROPERTYPUT, {TVariant::FromString("12a")}, nullptr, &error),
      plat::DISP_E_EXCEPTION);
  EXPECT_EQ(error, "'12a' is not a valid integer value");
}

TEST_F(ControlTest, CaptureNameComesBackThroughTheOutArgument) {
  Put("CaptureBMPPath", TVariant::FromString("/tmp/cap"));
  Put("ChannelNo", TVariant::FromI4(3));
  TVariant result;
  EXPECT_EQ(
      Call("CaptureBMPResultFilename", plat::DISPATCH_METHOD, {TVariant::FromString("")}, &result),
      plat::S_OK);
  EXPECT_EQ(result, TVariant::FromBool(false));  // no view: failure as false, no error
  Call("StartPlay", plat::DISPATCH_METHOD);
  int32_t id = 0;
  control_->GetIDOfName("CaptureBMPResultFilename", &id);
  std::vector<TVariant> args{TVariant::FromString("")};
  EXPECT_EQ(control_->Invoke(id, plat::DISPATCH_METHOD, args, &result, nullptr), plat::S_OK);
  EXPECT_EQ(result, TVariant::FromBool(true));
  EXPECT_EQ(args[0], TVariant::FromString("/tmp/cap/3-2-capture.bmp"));
}

struct Event {
  int32_t dispid;
  std::vector<TVariant> args;
  uint64_t thread;
};

TEST_F(ControlTest, WithoutASinkAViewRaisesNothing) {
  EXPECT_EQ(Call("StartPlay", plat::DISPATCH_METHOD), plat::S_OK);
  // Let the whole script run, then connect: nothing of it may arrive.
  PumpUntil([&] { return window_->FramesRaised() == TFakeControlWindow::kScriptFrames; });
  std::vector<Event> seen;
  control_->Advise([&](int32_t id, const std::vector<TVariant>& a) {
    seen.push_back({id, a, plat::GetCurrentThreadId()});
  });
  plat::PumpMessages(50);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(control_->DroppedDataEvents(), 0u);
}

TEST_F(ControlTest, EventsOfAViewArriveOnTheHostThread) {
  std::vector<Event> seen;
  control_->Advise([&](int32_t id, const std::vector<TVariant>& a) {
    seen.push_back({id, a, plat::GetCurrentThreadId()});
  });
  window_->Click();
  window_->DblClick();
  window_->ScriptFrames = 3;  // fewer than the bound: nothing is dropped
  ASSERT_EQ(Call("StartPlay", plat::DISPATCH_METHOD), plat::S_OK);
  size_t frames = 0;
  PumpUntil([&] {
    frames = std::count_if(seen.begin(), seen.end(), [](const Event& e) {
      return e.dispid == kOnReceiveData && e.args[2].I4() == 1;
    });
    return frames == 3;
  });
  ASSERT_EQ(Call("StopPlay", plat::DISPATCH_METHOD), plat::S_OK);
  PumpUntil([&] { return seen.back().dispid == kOnDisConnected; });

  for (const Event& e : seen) EXPECT_EQ(e.thread, plat::GetCurrentThreadId());
  std::vector<int32_t> order;
  for (const Event& e : seen) {
    if (e.dispid != kOnReceiveData || e.args[2].I4() == 128) order.push_back(e.dispid);
  }
  EXPECT_EQ(order, (std::vector<int32_t>{kOnClick, kOnDblClick, kOnConnected, kOnStatusChanged,
                                         kOnStatusChanged, kOnReceiveData, kOnStatusChanged,
                                         kOnVideoInfoRead, kOnDisConnected}));
  std::vector<int32_t> codes;
  for (const Event& e : seen) {
    if (e.dispid == kOnStatusChanged) codes.push_back(e.args[0].I4());
    if (e.dispid == kOnVideoInfoRead) {
      EXPECT_EQ(e.args, (std::vector<TVariant>{TVariant::FromI4(4), TVariant::FromI4(704),
                                               TVariant::FromI4(576)}));
    }
    if (e.dispid == kOnReceiveData && e.args[2].I4() == 1) {
      // Framesize + 1 bytes, indexes from 0, the media bytes then a 0.
      const plat::TByteArray& bytes = e.args[0].Bytes();
      ASSERT_EQ(e.args[1].I4(), TFakeControlWindow::kFrameSize);
      ASSERT_EQ(bytes.Data.size(), static_cast<size_t>(TFakeControlWindow::kFrameSize) + 1);
      EXPECT_EQ(bytes.LowerBound, 0);
      EXPECT_EQ(bytes.Data.back(), 0);
      EXPECT_EQ(static_cast<uint8_t>(bytes.Data[10] - bytes.Data[9]), 1);
    }
  }
  EXPECT_EQ(codes, (std::vector<int32_t>{-1, -5, -6}));
  EXPECT_EQ(control_->DroppedDataEvents(), 0u);
}

TEST_F(ControlTest, AHostThatFallsBehindLosesTheOldestDataEventsOnly) {
  std::vector<Event> seen;
  control_->Advise([&](int32_t id, const std::vector<TVariant>& a) {
    seen.push_back({id, a, plat::GetCurrentThreadId()});
  });
  ASSERT_EQ(Call("StartPlay", plat::DISPATCH_METHOD), plat::S_OK);
  // The host does not pump until the whole script has been raised.
  quvi_test::WaitUntil(
      [&] { return window_->FramesRaised() >= TFakeControlWindow::kScriptFrames; });
  const uint64_t dropped = control_->DroppedDataEvents();
  // Stream head and frames: one more than the frames.
  EXPECT_EQ(dropped, static_cast<uint64_t>(TFakeControlWindow::kScriptFrames + 1 -
                                           TPmOstraNvPreviewWindowX::kMaxPendingDataEvents));
  PumpUntil([&] {
    return std::count_if(seen.begin(), seen.end(), [](const Event& e) {
             return e.dispid == kOnReceiveData;
           }) == static_cast<long>(TPmOstraNvPreviewWindowX::kMaxPendingDataEvents);
  });
  std::vector<int32_t> others;
  int32_t first_frame_byte = -1;
  for (const Event& e : seen) {
    if (e.dispid != kOnReceiveData) others.push_back(e.dispid);
    if (e.dispid == kOnReceiveData && first_frame_byte < 0) {
      first_frame_byte = e.args[0].Bytes().Data[0];
    }
  }
  // Every other event survives; the data left are the newest frames.
  EXPECT_EQ(others, (std::vector<int32_t>{kOnConnected, kOnStatusChanged, kOnStatusChanged,
                                          kOnStatusChanged, kOnVideoInfoRead}));
  EXPECT_EQ(first_frame_byte,
            (TFakeControlWindow::kScriptFrames -
             static_cast<int32_t>(TPmOstraNvPreviewWindowX::kMaxPendingDataEvents)) %
                256);
}

}  // namespace
}  // namespace viewer
