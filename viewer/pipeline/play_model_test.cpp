// The play model: property defaults, the record file names, the status and play-end rules,
// and whole views started against the in-process stream server with the recording player
// behind the real proxy module.
#include "viewer/pipeline/play_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/viewer_utils.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "tools/streamsim/test_support.h"
#include "viewer/player/testing/player_test_support.h"

namespace viewer {
namespace {

using testing::TLogCapture;
using testing::TRecorder;

// Polls until the condition holds, for up to 10 s.
bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Index of the first line holding the text, from `from` on; -1 when none.
int IndexOf(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
  for (int i = from; i < static_cast<int>(lines.size()); ++i)
    if (lines[i].find(text) != std::string::npos) return i;
  return -1;
}

// ---- Without a pipeline ----

struct TDefaultCase {
  const char* Name;
  std::function<std::string(TOstraNvPreviewModel&)> Get;
  std::string Expected;
};

std::string Str(int64_t v) {
  return std::to_string(v);
}

TEST(PlayModelDefaults, PropertiesAfterConstruction) {
  TOstraNvPreviewModel model;
  const std::vector<TDefaultCase> cases = {
      {"HostIP", [](auto& m) { return m.HostIP(); }, ""},
      {"HostPort", [](auto& m) { return Str(m.HostPort()); }, "0"},
      {"StreamMediaIP", [](auto& m) { return m.StreamMediaIP(); }, ""},
      {"StreamMediaPort", [](auto& m) { return Str(m.StreamMediaPort()); }, "0"},
      {"StreamMediaID", [](auto& m) { return m.StreamMediaID(); }, ""},
      {"ConnectionType", [](auto& m) { return Str(m.ConnectionType()); }, "0"},
      {"ClientNetID", [](auto& m) { return m.ClientNetID(); }, ""},
      {"LoginUser", [](auto& m) { return m.LoginUser(); }, ""},
      {"Password", [](auto& m) { return m.Password(); }, ""},
      {"Token", [](auto& m) { return m.Token(); }, ""},
      {"UserName", [](auto& m) { return m.UserName(); }, ""},
      {"DVRID", [](auto& m) { return m.DVRID(); }, "-1"},
      {"DVRIDValue", [](auto& m) { return Str(m.DVRIDValue()); }, "-1"},
      {"ChannelNo", [](auto& m) { return Str(m.ChannelNo()); }, "-1"},
      {"PortNo", [](auto& m) { return Str(m.PortNo()); }, "0"},
      {"LinkMode", [](auto& m) { return Str(m.LinkMode()); }, "1"},
      {"DeviceType", [](auto& m) { return Str(m.DeviceType()); }, "0"},
      {"PlayType", [](auto& m) { return Str(m.PlayType()); }, Str(ptPreview)},
      {"ConnectTimeout", [](auto& m) { return Str(m.ConnectTimeout()); }, "30000"},
      {"ReadTimeout", [](auto& m) { return Str(m.ReadTimeout()); }, "30000"},
      {"TryTimes", [](auto& m) { return Str(m.TryTimes()); }, "5"},
      {"PlayWnd", [](auto& m) { return Str(m.PlayWnd()); }, "0"},
      {"NotifyWnd", [](auto& m) { return Str(m.NotifyWnd()); }, "0"},
      {"Volume", [](auto& m) { return Str(m.Volume()); }, "5"},
      {"Fluency", [](auto& m) { return Str(m.Fluency()); }, "2"},
      {"AudioPlaying", [](auto& m) { return Str(m.AudioPlaying()); }, "0"},
      {"FullScreen", [](auto& m) { return Str(m.FullScreen()); }, "0"},
      {"CaptureBMPPath", [](auto& m) { return m.CaptureBMPPath(); }, ""},
      {"CheckRight", [](auto& m) { return Str(m.CheckRight()); }, "0"},
      {"WriteSysLog", [](auto& m) { return Str(m.WriteSysLog()); }, "0"},
      {"UseMouseControl", [](auto& m) { return Str(m.UseMouseControl()); }, "0"},
      {"SN", [](auto& m) { return m.SN(); }, ""},
      {"PTZConnectionType", [](auto& m) { return Str(m.PTZConnectionType()); }, "0"},
      {"PTZProxyIP", [](auto& m) { return m.PTZProxyIP(); }, ""},
      {"PTZProxyPort", [](auto& m) { return Str(m.PTZProxyPort()); }, "0"},
      {"Watermark", [](auto& m) { return m.Watermark(); }, ""},
      {"Playing", [](auto& m) { return Str(m.Playing()); }, "0"},
      {"Status", [](auto& m) { return Str(m.Status()); }, "0"},
      {"LoggedIn", [](auto& m) { return Str(m.LoggedIn()); }, "0"},
      {"DropWhenFull", [](auto& m) { return Str(m.DropWhenFull()); }, "1"},
      {"LogPrefix", [](auto& m) { return m.LogPrefix(); }, "did=-1, ch=-1, stream=1-->"},
      {"Player", [](auto& m) { return Str(m.Player() != nullptr); }, "0"},
      {"Bitrate", [](auto& m) { return Str(static_cast<int64_t>(m.Bitrate())); }, "0"},
      {"FrameRateReceived",
       [](auto& m) { return Str(static_cast<int64_t>(m.FrameRateReceived())); }, "0"},
      {"CurFrameNumReceived", [](auto& m) { return Str(m.CurFrameNumReceived()); }, "0"},
  };
  for (const TDefaultCase& c : cases) EXPECT_EQ(c.Get(model), c.Expected) << c.Name;
}

TEST(PlayModelProperties, DVRIDKeepsItsIntegerAndRefusesOtherTexts) {
  TOstraNvPreviewModel model;
  model.SetDVRID("4294967297");
  EXPECT_EQ(model.DVRIDValue(), 4294967297LL);
  for (const char* bad : {"", "12a", "abc"}) {
    EXPECT_ANY_THROW(model.SetDVRID(bad)) << bad;
    EXPECT_EQ(model.DVRID(), "4294967297") << bad;
  }
}

TEST(PlayModelProperties, IdleModelKeepsNoStatusAndStopDoesNothing) {
  TLogCapture log;
  TOstraNvPreviewModel model;
  int changes = 0;
  model.OnStatusChange = [&](TAbstractPlayModel&) { ++changes; };
  model.SetStatus(104);
  model.SetVolume(11);  // invalid, but not playing: no status kept either
  model.StopPlay();
  EXPECT_EQ(model.Status(), 0);
  EXPECT_EQ(model.Volume(), 5);
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(log.Has("do stop play"));
  // Sound asked for while idle is remembered for the next start.
  EXPECT_FALSE(model.OpenSound());
  EXPECT_TRUE(model.AudioPlaying());
  EXPECT_FALSE(model.CloseSound());
  EXPECT_TRUE(model.AudioPlaying());
}

TEST(PlayModelProperties, PlayEndFiresOnceWhenBothThreadsReportAtOnce) {
  TOstraNvPreviewModel model;
  std::atomic<int> fired{0};
  model.OnPlayEndEvent = [&](TAbstractPlayModel&) { ++fired; };
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      while (!go) std::this_thread::yield();
      model.FirePlayEnd();
    });
  go = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(fired.load(), 1);
  EXPECT_TRUE(model.PlayEndFired());
}

TEST(PlayModelProperties, DataStalledFollowsTheLastDataTick) {
  TOstraNvPreviewModel model;
  model.MarkDataTime();
  EXPECT_FALSE(model.DataStalled());
  EXPECT_LE(ElapsedTicks(model.LastDataTick()), 10000);
}

struct TRecordNameCase {
  const char* Name;
  std::string Setting;
  std::string Expected;  // "<root>" stands for the data root, "<gen>" for the generated name
};

TEST(RecordFileName, CompletesTheRecordSetting) {
  const TDateTime at = EncodeDateTime({2024, 12, 10, 8, 5, 9, 0});
  const std::string gen = "3-0-20241210080509.h264";
  const std::vector<TRecordNameCase> cases = {
      {"empty: default folder", "", "<root>/videodata/<gen>"},
      {"folder with slash", "/rec/", "/rec/<gen>"},
      {"no extension: folder", "/rec/cam", "/rec/cam/<gen>"},
      {"dot in folder only", "/rec.d/cam", "/rec.d/cam/<gen>"},
      {"hidden name is no extension", "/rec/.cam", "/rec/.cam/<gen>"},
      {"with extension: as given", "/rec/a.mp4", "/rec/a.mp4"},
  };
  for (const auto& c : cases) {
    std::string expected = c.Expected;
    if (auto p = expected.find("<root>"); p != std::string::npos)
      expected.replace(p, 6, plat::DataRoot());
    if (auto p = expected.find("<gen>"); p != std::string::npos) expected.replace(p, 5, gen);
    EXPECT_EQ(BuildRecordFileName(c.Setting, 3, at), expected) << c.Name;
  }
}

// ---- Whole views ----

// A view of channel 0 against a fast stream server that sends its small file once per
// connection, with a play window so the player really drives the recording player.
class PlayModelViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TRecorder::Attach());
    TRecorder::Reset();
    window_ = plat::CreateWindowHandle();
    streamsim::TServerOptions options = streamsim::test::FastFileOptions(file_.Path);
    options.Loop = false;
    server_ = std::make_unique<streamsim::test::TRunningServer>(options);
    model_ = std::make_unique<TOstraNvPreviewModel>();
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
  std::unique_ptr<TOstraNvPreviewModel> model_;
  std::mutex lock_;
  std::vector<int32_t> statuses_;
  std::atomic<int> play_ends_{0};
};

TEST_F(PlayModelViewTest, StartPlaysTheStreamAndStopTearsItAllDown) {
  TLogCapture log;
  TAbstractPlayModel* created_for = nullptr;
  model_->OnPlayerCreated = [&](TAbstractPlayModel& m, TPlayer&) { created_for = &m; };
  StartAndWaitForData();
  EXPECT_EQ(created_for, model_.get());
  // No token and not logged in: the start logged in first and the open carried the token.
  EXPECT_TRUE(model_->LoggedIn());
  EXPECT_FALSE(server_->Log().WaitFor({"\"request\":\"login\""}).empty());
  EXPECT_EQ(CallCount("Zr_Play_InitPlayer("), 1u);
  EXPECT_EQ(CallCount("Zr_Play_OpenStream("), 1u);
  EXPECT_TRUE(model_->IsPlayingStatus());
  EXPECT_GT(model_->CurFrameNumReceived(), 0);
  EXPECT_GT(model_->StartPlayTime(), 0.0);

  model_->StopPlay();
  EXPECT_FALSE(model_->Playing());
  EXPECT_EQ(model_->Player(), nullptr);
  EXPECT_GE(CallCount("Zr_Play_Stop("), 1u);
  EXPECT_GE(CallCount("Zr_Play_CloseStream("), 1u);
  EXPECT_EQ(play_ends_.load(), 1);
  EXPECT_EQ(model_->CurFrameNumReceived(), 0);
  // The stream connection is closed: the server saw the client go.
  EXPECT_FALSE(server_->Log().WaitFor({"\"event\":\"disconnect\""}).empty());

  const std::vector<std::string> lines = log.Lines();
  int at = 0;
  for (const char* step : {"did=7, ch=0, stream=1-->do stop play-->", "free connection thread",
                           "before PlayThread.WaitFor", "try free play thread",
                           "-->free play thread", "do stop play<--"}) {
    const int found = IndexOf(lines, step, at);
    ASSERT_GE(found, 0) << "missing or out of order: " << step;
    at = found + 1;
  }
}

TEST_F(PlayModelViewTest, ThroughTheRelayTheClientIdentityIsAskedForFirst) {
  model_->SetConnectionType(ctByStreamMedia);
  model_->SetStreamMediaIP("127.0.0.1");
  model_->SetStreamMediaPort(server_->Port());
  model_->SetHostPort(1);  // the relay is the only way in
  StartAndWaitForData();
  EXPECT_EQ(model_->ClientNetID(), "127.0.0.1");
  EXPECT_FALSE(server_->Log().WaitFor({"\"request\":\"client_identity\""}).empty());
  model_->StopPlay();
  EXPECT_EQ(play_ends_.load(), 1);
}

TEST_F(PlayModelViewTest, StartingTwiceAndStoppingTwiceAreSafe) {
  StartAndWaitForData();
  model_->FirePlayEnd();  // as a pipeline thread ending on an error would
  model_->StartPlay();    // already playing: nothing new, and the play end is not re-armed
  model_->StopPlay();
  model_->StopPlay();
  EXPECT_EQ(CallCount("Zr_Play_InitPlayer("), 1u);
  EXPECT_EQ(play_ends_.load(), 1);

  // A new start builds a new pipeline and re-arms the play end.
  TRecorder::Reset();
  StartAndWaitForData();
  model_->StopPlay();
  EXPECT_EQ(CallCount("Zr_Play_InitPlayer("), 1u);
  EXPECT_EQ(play_ends_.load(), 2);
}

TEST_F(PlayModelViewTest, SoundStaysWantedAcrossStopAndStart) {
  StartAndWaitForData();
  EXPECT_TRUE(model_->OpenSound());
  EXPECT_EQ(CallCount("Zr_Play_OpenSound(0)"), 1u);
  model_->StopPlay();
  EXPECT_TRUE(model_->AudioPlaying());
  EXPECT_EQ(CallCount("Zr_Play_StopSound("), 0u) << "no view: the sound is not closed";

  TRecorder::Reset();
  StartAndWaitForData();
  // The new stream opened the sound by itself.
  EXPECT_TRUE(WaitUntil([&] { return CallCount("Zr_Play_OpenSound(0)") >= 1; }));
  EXPECT_TRUE(model_->CloseSound());
  EXPECT_FALSE(model_->AudioPlaying());
  EXPECT_EQ(CallCount("Zr_Play_StopSound(0)"), 1u);
}

TEST_F(PlayModelViewTest, VolumeAndFluencyActAtOnceWhilePlaying) {
  int changes = 0;
  model_->OnStatusChange = [&](TAbstractPlayModel& m) {
    EXPECT_EQ(&m, model_.get());
    ++changes;
  };
  StartAndWaitForData();
  model_->SetVolume(11);
  EXPECT_EQ(model_->Volume(), 5);
  EXPECT_EQ(model_->Status(), kStatusInvalidParameter);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(CallCount("Zr_Play_SetVolume("), 0u);
  model_->SetVolume(8);
  EXPECT_EQ(model_->Volume(), 8);
  EXPECT_EQ(CallCount("Zr_Play_SetVolume(0,8)"), 1u);

  struct TFluencyCase {
    int32_t Fluency;
    const char* Call;
  };
  // Starts from 2, so 3 comes first to make every row a change.
  for (const TFluencyCase& c :
       {TFluencyCase{3, "Zr_Play_ThrowBFrame(0,0)"}, TFluencyCase{0, "Zr_Play_ThrowBFrame(0,2)"},
        TFluencyCase{1, "Zr_Play_ThrowBFrame(0,1)"}, TFluencyCase{2, "Zr_Play_ThrowBFrame(0,0)"}}) {
    TRecorder::Reset();
    model_->SetFluency(c.Fluency);
    EXPECT_EQ(TRecorder::CallsOf("Zr_Play_ThrowBFrame("), std::vector<std::string>{c.Call})
        << "fluency " << c.Fluency;
  }
  model_->StopPlay();
}

TEST_F(PlayModelViewTest, RecordingWritesTheStreamHeadAndMediaIntoTheNamedFile) {
  EXPECT_FALSE(model_->StartRecord(dir_.Path("idle.h264"))) << "no view, no recording";
  model_->StartPlay();
  // Recording from the start: the pipeline exists, the stream has not been opened yet.
  const std::string folder = dir_.Path("rec/deep");
  ASSERT_TRUE(model_->StartRecord(folder + "/"));
  TPlayer* player = model_->Player();
  ASSERT_NE(player, nullptr);
  const std::string name = player->RecordFileName();
  EXPECT_EQ(name.rfind(folder + "/0-0-", 0), 0u) << name;
  EXPECT_EQ(name.substr(name.size() - 5), ".h264");
  ASSERT_TRUE(WaitUntil([&] { return CallCount("Zr_Play_InputData(") >= 2; }));
  ASSERT_TRUE(player->HasStreamHead());
  const std::vector<uint8_t> head(player->StreamHead(),
                                  player->StreamHead() + player->StreamHeadLength());
  model_->StopRecord();
  EXPECT_FALSE(player->Recording());
  model_->StopPlay();

  const std::vector<uint8_t> written = streamsim::test::ReadFile(name);
  ASSERT_GT(written.size(), head.size()) << "the head and at least one frame's media";
  EXPECT_TRUE(std::equal(head.begin(), head.end(), written.begin()));
}

TEST_F(PlayModelViewTest, DestroyingAPlayingModelStopsAndLogsOut) {
  TLogCapture log;
  StartAndWaitForData();
  ASSERT_TRUE(model_->LoggedIn());
  model_.reset();
  EXPECT_EQ(play_ends_.load(), 1);
  EXPECT_FALSE(server_->Log().WaitFor({"\"request\":\"logout\""}).empty());
  const std::vector<std::string> lines = log.Lines();
  const int begin = IndexOf(lines, "destroy play modal-->0x");
  const int stop = IndexOf(lines, "do stop play<--");
  const int end = IndexOf(lines, "destroy play modal<--0x");
  EXPECT_GE(begin, 0);
  EXPECT_GT(stop, begin);
  EXPECT_GT(end, stop);
}

}  // namespace
}  // namespace viewer
