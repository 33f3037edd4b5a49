// Test, fuzz and benchmark support: a pipeline model with a settable identity that plays
// until told otherwise, drops the backlog when the queue is full unless told otherwise, and
// ignores every notification. Set the fields before the pipeline runs; afterwards only
// `playing` may change.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "viewer/pipeline/pipeline_model.h"

namespace viewer::test_support {

class TTestPipelineModel : public TPipelineModel {
 public:
  std::string DVRID() override { return dvrid; }
  int32_t LinkMode() override { return link_mode; }
  int32_t PortNo() override { return 0; }
  int32_t ChannelNo() override { return channel_no; }
  bool Playing() override { return playing; }
  bool DropWhenFull() override { return drop_when_full; }
  uint32_t LastDataTick() override { return 0; }
  void MarkDataTime() override {}
  void SetStatus(int32_t) override {}
  void NotifyStatus(int32_t) override {}
  void FirePlayEnd() override {}
  bool AudioPlaying() override { return false; }
  bool OpenSound() override { return false; }

  std::string dvrid = "-1";
  int32_t link_mode = 0;
  int32_t channel_no = 0;
  bool drop_when_full = true;
  std::atomic<bool> playing{true};
};

}  // namespace viewer::test_support
