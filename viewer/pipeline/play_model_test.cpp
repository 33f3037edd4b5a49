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
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/viewer_utils.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "tools/streamsim/test_support.h"
#include "viewer/pipeline/testing/fake_clock.h"
#include "viewer/pipeline/testing/model_view_fixture.h"
#include "viewer/player/testing/player_test_support.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/viewer_log.h"

namespace viewer {
namespace {

using testing::IndexOf;
using testing::TLogCapture;
using testing::TRecorder;
using testing::WaitUntil;

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
      {"PTZCommandID", [](auto& m) { return Str(m.PTZCommandID()); }, "-1"},
      {"PTZControlEnabled", [](auto& m) { return Str(m.PTZControlEnabled()); }, "-1"},
      {"PTZPresetIndex", [](auto& m) { return Str(m.PTZPresetIndex()); }, "0"},
      {"PTZSpeed", [](auto& m) { return Str(m.PTZSpeed()); }, "-1"},
      {"Brightness", [](auto& m) { return Str(m.Brightness()); }, "70"},
      {"Contrast", [](auto& m) { return Str(m.Contrast()); }, "75"},
      {"Saturation", [](auto& m) { return Str(m.Saturation()); }, "85"},
      {"Hue", [](auto& m) { return Str(m.Hue()); }, "127"},
      {"PtzProxy", [](auto& m) { return Str(m.PtzProxy() != nullptr); }, "0"},
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

TEST(PlayModelProperties, DVRIDStoresTheTextThenItsNumberByTheRequestsRule) {
  TOstraNvPreviewModel model;
  model.SetDVRID("4294967297");
  EXPECT_EQ(model.DVRIDValue(), 4294967297LL);
  for (const char* bad : {"", "12a", "abc", "7 ", "99999999999999999999"}) {
    SCOPED_TRACE(std::string("'") + bad + "'");
    try {
      model.SetDVRID(bad);
      ADD_FAILURE() << "accepted";
    } catch (const EInvalidDeviceId& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
    }
    // The text is kept, so the host reads back what it set; the number keeps its old value.
    EXPECT_EQ(model.DVRID(), bad);
    EXPECT_EQ(model.DVRIDValue(), 4294967297LL);
    // The requests refuse the same text, so no view can be left retrying with it unnoticed.
    EXPECT_THROW(DeviceIdValue(bad), EInvalidDeviceId);
  }
  // Whatever the model takes as a 32-bit number, the requests carry as that number; a text
  // with leading blanks as well, so a view with it opens like any other.
  for (const char* good : {"7", " 7", "-1", "+12", "-2147483648", "0002147483647"}) {
    model.SetDVRID(good);
    EXPECT_EQ(DeviceIdValue(model.DVRID()), model.DVRIDValue()) << good;
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

TEST(PlayModelProperties, DataStallsTenSecondsAfterTheLastDataTick) {
  TOstraNvPreviewModel model;
  model.Clock = testing::FakeClock();
  struct TCase {
    uint32_t Start;
    uint32_t Elapsed;
    bool Stalled;
  };
  const TCase cases[] = {
      {0x10000000u, 0, false},           {0x10000000u, 9999, false},
      {0x10000000u, 10000, true},        {0xFFFFFFFFu - 5000, 5000, false},  // across the wrap
      {0xFFFFFFFFu - 5000, 20000, true},
  };
  for (const TCase& c : cases) {
    testing::g_fake_tick = c.Start;
    model.MarkDataTime();
    EXPECT_EQ(model.LastDataTick(), c.Start);
    testing::g_fake_tick = c.Start + c.Elapsed;
    EXPECT_EQ(model.DataStalled(), c.Stalled) << c.Start << " + " << c.Elapsed;
  }
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
      {"folder with backslash", "/rec\\", "/rec/<gen>"},
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
class PlayModelViewTest : public testing::TModelViewFixture<> {};

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

// The first match of the pattern's group in the lines; "" when none matches.
std::string Captured(const std::vector<std::string>& lines, const std::string& pattern) {
  const std::regex re(pattern);
  std::smatch m;
  for (const std::string& line : lines)
    if (std::regex_search(line, m, re)) return m[1].str();
  return "";
}

TEST_F(PlayModelViewTest, LogLinesNameObjectsByTheirThirtyTwoBitIdentifier) {
  TLogCapture log;
  StartAndWaitForData();
  const std::string player = Hex8(LogId(model_->Player()));
  model_->StopPlay();
  model_.reset();
  const std::vector<std::string> lines = log.Lines();
  // "%x" lines: the identifier in upper-case hexadecimal; the others: exactly 8 digits.
  const std::string unpadded = player.substr(std::min(player.find_first_not_of('0'), size_t{7}));
  EXPECT_EQ(Captured(lines, "^Create player ([0-9A-F]+)$"), unpadded);
  EXPECT_EQ(Captured(lines, "^ch0 stop player ([0-9A-F]+)-->$"), unpadded);
  EXPECT_EQ(Captured(lines, "^ch0 stop player ([0-9A-F]+)<--$"), unpadded);
  EXPECT_EQ(Captured(lines, "^CH0 Destroy player ([0-9A-F]+)$"), unpadded);
  EXPECT_NE(Captured(lines, "^(Create protected section [0-9A-F]{1,8})$"), "");
  EXPECT_NE(Captured(lines, "-->(PlayThread: 0x[0-9A-F]{8}), before PlayThread.WaitFor$"), "");
  EXPECT_NE(Captured(lines, "-->(destroy play modal-->0x[0-9A-F]{8})$"), "");
  EXPECT_NE(Captured(lines, "-->(destroy play modal<--0x[0-9A-F]{8})$"), "");
  // The player is created before its play thread, which logs nothing about it first.
  EXPECT_LT(IndexOf(lines, "Create player "), IndexOf(lines, "CH0 begin play"));
}

TEST_F(PlayModelViewTest, AViewWhoseDVRIDHasLeadingBlanksOpens) {
  model_->SetDVRID(" 7");
  StartAndWaitForData();
  EXPECT_FALSE(server_->Log().WaitFor({"\"request\":\"open_live\"", "\"dvrid\":7,"}).empty());
  model_->StopPlay();
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
  // Idle: the smoothness is stored for the next start, no player is told.
  model_->SetFluency(1);
  EXPECT_EQ(model_->Fluency(), 1);
  EXPECT_EQ(CallCount("Zr_Play_ThrowBFrame("), 0u);
  model_->SetFluency(2);
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
  // Recording from the start: the pipeline exists, the stream is (most likely) not open yet.
  const std::string folder = dir_.Path("rec/deep");
  ASSERT_TRUE(model_->StartRecord(folder + "/"));
  TPlayer* player = model_->Player();
  ASSERT_NE(player, nullptr);
  const std::string name = player->RecordFileName();
  EXPECT_EQ(name.rfind(folder + "/0-0-", 0), 0u) << name;
  EXPECT_EQ(name.substr(name.size() - 5), ".h264");
  // On a busy machine the stream may already be playing when the recording starts: two
  // frames fed after it mean the first of them is in the file.
  const size_t fed_before = CallCount("Zr_Play_InputData(");
  ASSERT_TRUE(WaitUntil([&] { return CallCount("Zr_Play_InputData(") >= fed_before + 2; }));
  ASSERT_TRUE(player->HasStreamHead());
  const std::vector<uint8_t> head(player->StreamHead(),
                                  player->StreamHead() + player->StreamHeadLength());
  // A file that cannot be created ends the recording in progress rather than letting it
  // go on into the last file.
  const std::string blocked = dir_.Path("a.rec") + "/x.h264";  // a file is no folder
  EXPECT_FALSE(model_->StartRecord(blocked));
  EXPECT_EQ(player->RecordFileName(), blocked);
  const size_t size_then = streamsim::test::ReadFile(name).size();
  model_->StopRecord();
  EXPECT_FALSE(player->Recording());
  model_->StopPlay();

  const std::vector<uint8_t> written = streamsim::test::ReadFile(name);
  ASSERT_GT(written.size(), head.size()) << "the head and at least one frame's media";
  EXPECT_TRUE(std::equal(head.begin(), head.end(), written.begin()));
  EXPECT_EQ(written.size(), size_then);
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

// Counts how often the play thread asks whether the view plays: once per turn of its loop.
class TCountingModel : public TOstraNvPreviewModel {
 public:
  bool Playing() override {
    if (std::this_thread::get_id() == play_thread.load()) ++play_thread_turns;
    return TOstraNvPreviewModel::Playing();
  }
  void MarkDataTime() override {
    // Besides the start on the window thread, only the play thread marks data.
    if (std::this_thread::get_id() != window_thread) play_thread = std::this_thread::get_id();
    TOstraNvPreviewModel::MarkDataTime();
  }
  const std::thread::id window_thread = std::this_thread::get_id();
  std::atomic<std::thread::id> play_thread{};
  std::atomic<int> play_thread_turns{0};
};

class IdleViewTest : public testing::TModelViewFixture<TCountingModel> {};

TEST_F(IdleViewTest, PlayThreadWaitsRatherThanPollsWhileTheViewReconnects) {
  std::atomic<int> disconnects{0};
  model_->OnDisConnected = [&](TPipelineModel&) { ++disconnects; };
  StartAndWaitForData();
  // The server sends its file once and closes; the view then waits 5 s to reconnect.
  ASSERT_TRUE(WaitUntil([&] { return disconnects >= 1; }));
  ASSERT_NE(model_->play_thread.load(), std::thread::id{});
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const int before = model_->play_thread_turns;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const int turns = model_->play_thread_turns - before;
  EXPECT_LE(turns, 5) << "the play thread polls an empty queue";
  EXPECT_EQ(disconnects.load(), 1) << "reconnected within the second measured";
  model_->StopPlay();
}

}  // namespace
}  // namespace viewer
