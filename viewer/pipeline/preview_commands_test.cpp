// Preview commands of a live view against the in-process stream server, whose log shows
// every request it decoded: picture settings, PTZ to the server and through the proxy link,
// link-mode changes, and the port that sound and volume use when the player fetched one.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "viewer/pipeline/play_model.h"
#include "viewer/pipeline/testing/model_view_fixture.h"
#include "viewer/player/ostra_nv_preview_player.h"
#include "viewer/viewer_log.h"

namespace viewer {
namespace {

using testing::IndexOf;
using testing::TLogCapture;
using testing::TRecorder;
using testing::WaitUntil;

// The requests of the preview commands, as the server names them in its log.
bool IsCommandRequest(const std::string& line) {
  if (line.find("\"event\":\"request\"") == std::string::npos) return false;
  for (const char* name : {"\"request\":\"video_params\"", "\"request\":\"ptz\"",
                           "\"request\":\"ptz_speed\"", "\"request\":\"link_mode\""})
    if (line.find(name) != std::string::npos) return true;
  return false;
}

bool Has(const std::string& line, const std::string& piece) {
  return line.find(piece) != std::string::npos;
}

class PreviewCommandsTest : public testing::TModelViewFixture<> {
 protected:
  // The command requests the server logged since line `from`.
  std::vector<std::string> RequestsSince(size_t from) {
    const std::vector<std::string> lines = server_->Log().Lines();
    std::vector<std::string> requests;
    for (size_t i = from; i < lines.size(); ++i)
      if (IsCommandRequest(lines[i])) requests.push_back(lines[i]);
    return requests;
  }
  // The command requests the server logged for `action`, once `expected` of them came. The
  // server serves each connection on its own, so a marker request sent afterwards then
  // shows that no further one is still on its way.
  std::vector<std::string> RequestsDuring(const std::function<void()>& action, size_t expected) {
    const size_t before = server_->Log().Lines().size();
    action();
    EXPECT_TRUE(WaitUntil([&] { return RequestsSince(before).size() >= expected; }));
    const std::string marker = "marker-" + std::to_string(++markers_);
    {
      streamsim::test::TViewerClient client(server_->Port());
      client.SendRequest(TLogoutRequest{marker});
    }
    EXPECT_FALSE(server_->Log().WaitFor({"\"token\":\"" + marker + "\""}).empty());
    return RequestsSince(before);
  }

  int markers_ = 0;
};

// ---- Picture settings ----

struct TVideoParamCase {
  const char* Name;
  std::function<void(TAbstractPreviewModel&)> Set;
  std::vector<int32_t> Expected;  // brightness, contrast, saturation, hue afterwards
  int32_t Status;
  const char* Sent;  // a piece of the request line, or null when nothing is sent
};

TEST_F(PreviewCommandsTest, PictureSettingsAreCheckedStoredAndSentWhilePlaying) {
  StartAndWaitForData();
  const std::vector<TVideoParamCase> cases = {
      {"brightness 127 is sent",
       [](auto& m) { m.SetBrightness(127); },
       {127, 75, 85, 127},
       0,
       "\"brightness\":127,\"contrast\":75,\"saturation\":85,\"hue\":127"},
      {"brightness 128 is refused",
       [](auto& m) { m.SetBrightness(128); },
       {127, 75, 85, 127},
       kStatusInvalidParameter,
       nullptr},
      {"contrast 0 is sent",
       [](auto& m) { m.SetContrast(0); },
       {127, 0, 85, 127},
       0,
       "\"brightness\":127,\"contrast\":0"},
      {"negative saturation is refused",
       [](auto& m) { m.SetSaturation(-1); },
       {127, 0, 85, 127},
       kStatusInvalidParameter,
       nullptr},
      {"hue unchanged sends nothing",
       [](auto& m) { m.SetHue(127); },
       {127, 0, 85, 127},
       kStatusInvalidParameter,
       nullptr},
      {"hue 3 is sent",
       [](auto& m) { m.SetHue(3); },
       {127, 0, 85, 3},
       0,
       "\"saturation\":85,\"hue\":3"},
  };
  for (const TVideoParamCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<std::string> sent =
        RequestsDuring([&] { c.Set(*model_); }, c.Sent != nullptr ? 1 : 0);
    EXPECT_EQ((std::vector<int32_t>{model_->Brightness(), model_->Contrast(), model_->Saturation(),
                                    model_->Hue()}),
              c.Expected);
    // A sent request reports 0, which replaces an earlier 501; a refused or unchanged value
    // leaves the status as it was.
    EXPECT_EQ(model_->Status(), c.Status);
    if (c.Sent == nullptr) {
      EXPECT_TRUE(sent.empty()) << sent.front();
    } else {
      ASSERT_EQ(sent.size(), 1u);
      EXPECT_TRUE(Has(sent[0], "\"request\":\"video_params\",\"length\":166")) << sent[0];
      EXPECT_TRUE(Has(sent[0], "\"channel\":0")) << sent[0];
      EXPECT_TRUE(Has(sent[0], c.Sent)) << sent[0];
    }
  }
  model_->StopPlay();
}

TEST_F(PreviewCommandsTest, IdlePictureSettingsAreStoredAndRefreshReports406) {
  const std::vector<std::string> sent = RequestsDuring(
      [&] {
        model_->SetBrightness(10);
        EXPECT_EQ(model_->RefreshVideoParams(), kCommandVideoParamsNotPlaying);
      },
      0);
  EXPECT_EQ(model_->Brightness(), 10);
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(model_->Status(), 0) << "not playing: no status is kept";
  // What the server reports is stored without being sent back.
  model_->StoreVideoParams(1, 2, 3, 4);
  EXPECT_EQ(model_->Hue(), 4);
}

// ---- PTZ to the server ----

struct TPtzCase {
  const char* Name;
  uint8_t ConnectionType;
  int32_t Command, Enabled, Speed;  // Command -2: left as the last send left it
  int32_t Result;
  const char* Sent;      // pieces of the request line, or null when nothing is sent
  const char* LogEnd;    // the end of the logged failure, or null
  int32_t CommandAfter;  // PTZCommandID afterwards
};

TEST_F(PreviewCommandsTest, PtzCommandsAreCheckedSentOnceAndConsumed) {
  StartAndWaitForData();
  TLogCapture log;
  const std::vector<TPtzCase> cases = {
      {"without speed: 160 bytes", 0, 3, 1, -1, 0,
       "\"request\":\"ptz\",\"length\":160,\"code\":\"0x00090002\"", nullptr, -1},
      {"the same again without setting it: 404", 0, -2, -2, -1, kCommandInvalidPtz, nullptr,
       "invalid ptz cmd, cmd=0xFFFFFFFF", -1},
      {"speed 0: 161 bytes", 1, 4, 0, 0, 0,
       "\"request\":\"ptz_speed\",\"length\":161,\"code\":\"0x00090003\"", nullptr, -1},
      {"command above 255", 0, 256, 1, -1, kCommandInvalidPtz, nullptr,
       "invalid ptz cmd, cmd=0x100", -1},
      {"enable value above 255", 0, 3, 256, -1, kCommandInvalidPtz, nullptr,
       "invalid ptz enabled, enabled=256", -1},
      {"connection type 5 sends nothing", 5, 3, 1, -1, 0, nullptr, nullptr, 3},
  };
  for (const TPtzCase& c : cases) {
    SCOPED_TRACE(c.Name);
    log.Clear();
    model_->SetPTZConnectionType(c.ConnectionType);
    if (c.Command != -2) model_->SetPTZCommandID(c.Command);
    if (c.Enabled != -2) model_->SetPTZControlEnabled(c.Enabled);
    model_->SetPTZSpeed(c.Speed);
    int32_t result = -1;
    const std::vector<std::string> sent = RequestsDuring(
        [&] { result = model_->SendPTZControlCommand(); }, c.Sent != nullptr ? 1 : 0);
    EXPECT_EQ(result, c.Result);
    if (c.ConnectionType <= 1) {
      EXPECT_EQ(model_->Status(), c.Result);
    }
    EXPECT_EQ(model_->PTZCommandID(), c.CommandAfter);
    if (c.Sent == nullptr) {
      EXPECT_TRUE(sent.empty()) << sent.front();
    } else {
      ASSERT_EQ(sent.size(), 1u);
      EXPECT_TRUE(Has(sent[0], c.Sent)) << sent[0];
      EXPECT_TRUE(Has(sent[0], "\"dvrid\":7,\"channel\":0")) << sent[0];
      EXPECT_TRUE(Has(sent[0], c.Speed >= 0 ? "\"speed\":0" : "\"enabled\":1}")) << sent[0];
      EXPECT_EQ(model_->PTZControlEnabled(), -1);
    }
    if (c.LogEnd != nullptr) {
      const std::vector<std::string> lines = log.Lines();
      const int at = IndexOf(lines, "send ptz command failed, e=");
      ASSERT_GE(at, 0);
      const std::string& line = lines[at];
      const std::string end = c.LogEnd;
      ASSERT_GE(line.size(), end.size());
      EXPECT_EQ(line.substr(line.size() - end.size()), end);
    }
  }
  model_->StopPlay();
}

TEST_F(PreviewCommandsTest, PtzWhileNotPlayingReports405AndClearsTheCommand) {
  model_->SetPTZCommandID(3);
  model_->SetPTZControlEnabled(1);
  int32_t result = -1;
  const std::vector<std::string> sent =
      RequestsDuring([&] { result = model_->SendPTZControlCommand(); }, 0);
  EXPECT_EQ(result, kCommandPtzNotPlaying);
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(model_->PTZCommandID(), -1);
  EXPECT_EQ(model_->PTZControlEnabled(), -1);
}

TEST_F(PreviewCommandsTest, ADeviceIdTheRequestCannotCarryReports9999) {
  StartAndWaitForData();
  try {
    model_->SetDVRID("4294967297");  // a number, but no 32-bit one
  } catch (...) {
    ADD_FAILURE() << "a 64-bit number is a valid DVRID";
  }
  model_->SetPTZCommandID(3);
  model_->SetPTZControlEnabled(1);
  int32_t result = -1;
  const std::vector<std::string> sent =
      RequestsDuring([&] { result = model_->SendPTZControlCommand(); }, 0);
  EXPECT_EQ(result, kCommandFailed);
  EXPECT_EQ(model_->Status(), kCommandFailed);
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(model_->PTZCommandID(), -1);
  model_->StopPlay();
}

// ---- PTZ through the proxy link ----

struct TPosted {
  int32_t Command, Value;
  bool operator==(const TPosted&) const = default;
};

class TRecordingLink : public TPtzProxyLink {
 public:
  explicit TRecordingLink(std::vector<TPosted>& posted) : posted_(posted) {}
  ~TRecordingLink() override { WriteLog("test link gone"); }
  void Post(int32_t command, int32_t value) override { posted_.push_back({command, value}); }

 private:
  std::vector<TPosted>& posted_;
};

TEST_F(PreviewCommandsTest, ProxyPathHandsCommandsToOneLinkMadeOnFirstUse) {
  TLogCapture log;
  std::vector<TPosted> posted;
  std::vector<TPtzProxyTarget> targets;
  model_->SetPtzProxyFactory([&](const TPtzProxyTarget& target) {
    targets.push_back(target);
    return std::make_unique<TRecordingLink>(posted);
  });
  model_->SetPTZConnectionType(2);
  model_->SetToken("tok");
  model_->SetPTZPresetIndex(9);
  model_->SetPTZCommandID(21);
  model_->SetPTZControlEnabled(1);

  // Without an address nothing is made and nothing sent.
  EXPECT_EQ(model_->SendPTZControlCommand(), 0);
  EXPECT_TRUE(targets.empty());

  model_->SetPTZProxyIP("127.0.0.1");
  model_->SetPTZProxyPort(4000);
  const std::vector<std::string> sent = RequestsDuring(
      [&] {
        EXPECT_EQ(model_->SendPTZControlCommand(), 0);  // also without a running view
        model_->SetChannelNo(5);                        // reaches the existing link no more
        model_->SetPTZCommandID(3);
        EXPECT_EQ(model_->SendPTZControlCommand(), 0);
      },
      0);
  EXPECT_TRUE(sent.empty()) << "the proxy path never uses the command connection";
  EXPECT_EQ(posted, (std::vector<TPosted>{{21, 9}, {3, 1}}));
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_EQ(targets[0].ProxyHost, "127.0.0.1");
  EXPECT_EQ(targets[0].ProxyPort, 4000);
  EXPECT_EQ(targets[0].ChannelNo, 0);
  EXPECT_EQ(targets[0].Token, "tok");
  EXPECT_EQ(targets[0].DVRID, 7);
  EXPECT_EQ(model_->PTZCommandID(), 3) << "only a send to the server consumes the command";

  // The link goes before the model's own destruction begins.
  model_.reset();
  const std::vector<std::string> lines = log.Lines();
  const int gone = IndexOf(lines, "test link gone");
  ASSERT_GE(gone, 0);
  EXPECT_LT(gone, IndexOf(lines, "destroy play modal-->"));
}

// ---- Link mode ----

TEST_F(PreviewCommandsTest, LinkModeChangeTellsThePlayerAndTheServer) {
  StartAndWaitForData();
  auto* player = dynamic_cast<TOstraNvPreviewPlayer*>(model_->Player());
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->LinkMode(), 1);
  const std::vector<std::string> sent = RequestsDuring([&] { model_->ChangeLinkMode(1, 0); }, 1);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(Has(sent[0], "\"request\":\"link_mode\",\"length\":166")) << sent[0];
  EXPECT_TRUE(Has(sent[0], "\"previous_link_mode\":1,\"new_link_mode\":0")) << sent[0];
  EXPECT_EQ(player->LinkMode(), 0);
  EXPECT_EQ(model_->LinkMode(), 0);

  // With the server gone the change is still stored and told to the player.
  server_->Stop();
  model_->ChangeLinkMode(0, 2);
  EXPECT_EQ(model_->LinkMode(), 2);
  EXPECT_EQ(player->LinkMode(), 2);
  EXPECT_TRUE(player->ResetOnNextHead()) << "a change away from 0 resets at the next head";
  EXPECT_FALSE(model_->CommandConnection().Connected());
  model_->StopPlay();
}

// ---- The port the player fetched ----

TEST_F(PreviewCommandsTest, SoundAndVolumeGoToThePortThePlayerFetched) {
  model_->SetPortNo(-1);
  StartAndWaitForData();
  const int32_t fetched = model_->Player()->Port;
  ASSERT_GE(fetched, 0);
  EXPECT_EQ(model_->PortNo(), -1) << "the view's own setting stays";
  const std::string port = std::to_string(fetched);
  EXPECT_TRUE(model_->OpenSound());
  model_->SetVolume(8);
  model_->SetFluency(1);
  model_->GetVolume();
  EXPECT_TRUE(model_->CloseSound());
  for (const std::string& call :
       {"Zr_Play_OpenSound(" + port + ")", "Zr_Play_SetVolume(" + port + ",8)",
        "Zr_Play_ThrowBFrame(" + port + ",1)", "Zr_Play_GetVolume(" + port + ")",
        "Zr_Play_StopSound(" + port + ")"})
    EXPECT_EQ(CallCount(call), 1u) << call;
  for (const std::string& call : TRecorder::Calls())
    EXPECT_EQ(call.find("(-1"), std::string::npos) << call;
  model_->StopPlay();
}

}  // namespace
}  // namespace viewer
