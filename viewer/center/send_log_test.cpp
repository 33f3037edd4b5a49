// The pending report's texts and limits, and the gate that bounds senders in flight.
#include "viewer/center/send_log.h"

#include <gtest/gtest.h>

#include <thread>

namespace viewer {
namespace {

TEST(PendingReport, FieldsAndLimits) {
  const TDateTime now = EncodeDateTime({2024, 12, 10, 8, 30, 0, 0});
  TPendingReport r = MakePendingReport(std::string(300, 't'), 2, 1234, "snapshot", 5, true, now);
  EXPECT_EQ(r.Operated, "dvrId:1234,channelCode:2");
  EXPECT_EQ(r.TokenKey, std::string(200, 't'));
  EXPECT_EQ(r.Operation, "snapshot");
  EXPECT_EQ(r.Level, 5);
  EXPECT_EQ(r.Result, "成功");
  EXPECT_EQ(r.TypeOfOperated, "通道");
  EXPECT_EQ(r.Time, now);

  r = MakePendingReport("", -1, INT64_MIN, std::string(120, 'o'), 0, false, now);
  EXPECT_EQ(r.Result, "失败");
  EXPECT_EQ(r.Operation, std::string(100, 'o'));
  // The longest numbers still fit the 50 bytes.
  EXPECT_EQ(r.Operated, "dvrId:-9223372036854775808,channelCode:-1");

  const TActionLogRecord log = ActionLogOf(r);
  EXPECT_EQ(log.Src, "DVR");
  EXPECT_EQ(log.Operated, r.Operated);
  EXPECT_EQ(log.Result, "失败");
  EXPECT_EQ(log.TypeOfOperated, "通道");
  EXPECT_EQ(log.Time, now);
}

TEST(PendingReport, CutsNeverSplitACharacter) {
  // 34 three-byte characters are 102 bytes; the cut keeps 33 of them (99 bytes).
  std::string chinese;
  for (int i = 0; i < 34; ++i) chinese += "通";
  EXPECT_EQ(CutText(chinese, 100).size(), 99u);
  EXPECT_EQ(CutText(chinese, 102), chinese);
  EXPECT_EQ(CutText("abc", 0), "");
  EXPECT_EQ(CutText("a通", 2), "a");
}

TEST(ReportGate, BoundsSendersCountsDropsAndWaits) {
  TReportGate gate(2);
  EXPECT_TRUE(gate.WaitIdle(0));
  EXPECT_TRUE(gate.TryEnter());
  EXPECT_TRUE(gate.TryEnter());
  EXPECT_FALSE(gate.TryEnter());
  EXPECT_EQ(gate.InFlight(), 2);
  EXPECT_EQ(gate.Dropped(), 1u);
  EXPECT_FALSE(gate.WaitIdle(1));

  std::thread leaver([&] {
    gate.Leave();
    gate.Leave();
  });
  EXPECT_TRUE(gate.WaitIdle(60000));
  leaver.join();

  gate.Cancel();
  EXPECT_TRUE(gate.Cancelled().load());
  EXPECT_FALSE(gate.TryEnter());  // nothing starts once cancelled
  EXPECT_EQ(gate.Dropped(), 2u);
}

}  // namespace
}  // namespace viewer
