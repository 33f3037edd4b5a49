// Test support for whole views: a preview model of channel 0 with a play window, pointed at
// an in-process stream server that sends its small file once per connection, with the
// recording player stand-in behind the real proxy module. Collects the posted status codes
// and counts play-end events. Test code only; the test's thread drives the model.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/messages.h"
#include "tests/support/wait_until.h"
#include "tools/streamsim/test_support.h"
#include "viewer/pipeline/play_model.h"
#include "viewer/player/testing/player_test_support.h"

namespace viewer::testing {

using quvi_test::WaitUntil;

// Index of the first line holding the text, from `from` on; -1 when none.
inline int IndexOf(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
  for (int i = from; i < static_cast<int>(lines.size()); ++i)
    if (lines[i].find(text) != std::string::npos) return i;
  return -1;
}

template <class Model = TOstraNvPreviewModel>
class TModelViewFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TRecorder::Attach());
    TRecorder::Reset();
    window_ = plat::CreateWindowHandle();
    streamsim::TServerOptions options = streamsim::test::FastFileOptions(file_.Path);
    options.Loop = false;
    server_ = std::make_unique<streamsim::test::TRunningServer>(options);
    model_ = std::make_unique<Model>();
    model_->SetHostIP("localhost");
    model_->SetHostPort(server_->Port());
    model_->SetChannelNo(0);
    model_->SetDVRID("7");
    model_->SetLoginUser("admin");
    model_->SetPassword("admin");
    model_->SetPlayWnd(window_);
    model_->SetConnectTimeout(2000);
    model_->SetReadTimeout(5000);
    model_->OnStatus = [this](int32_t code) {
      std::lock_guard<std::mutex> hold(lock_);
      statuses_.push_back(code);
    };
    model_->OnPlayEndEvent = [this](TAbstractPlayModel&) { ++play_ends_; };
  }
  void TearDown() override {
    model_.reset();
    plat::DestroyWindowHandle(window_);
    TRecorder::Reset();
  }

  std::vector<int32_t> Statuses() {
    std::lock_guard<std::mutex> hold(lock_);
    return statuses_;
  }
  bool HasStatusSequence(const std::vector<int32_t>& expected) {
    const std::vector<int32_t> got = Statuses();
    size_t next = 0;
    for (int32_t code : got)
      if (next < expected.size() && code == expected[next]) ++next;
    return next == expected.size();
  }
  size_t CallCount(const std::string& prefix) { return TRecorder::CallsOf(prefix).size(); }
  // Started and fed: the first connection went through to the pictures.
  void StartAndWaitForData() {
    model_->StartPlay();
    ASSERT_TRUE(WaitUntil([&] {
      return HasStatusSequence({-1, -5, -6});
    })) << "statuses: "
        << Statuses().size();
    ASSERT_TRUE(WaitUntil([&] { return CallCount("Zr_Play_InputData(") > 0; }));
  }

  streamsim::test::TTempDir dir_{"play_model_test"};
  streamsim::test::TTestFile file_ = streamsim::test::WriteTestFile(dir_.Path("a.rec"));
  std::unique_ptr<streamsim::test::TRunningServer> server_;
  plat::HWND window_ = 0;
  std::unique_ptr<Model> model_;
  std::mutex lock_;
  std::vector<int32_t> statuses_;
  std::atomic<int> play_ends_{0};
};

}  // namespace viewer::testing
