// The page's requests through the message handler, without a network, against the control
// library with the stand-in window (the host interface is the real one): good requests and
// their replies, malformed and oversized messages (an error and nothing else), the limit of
// controls per page, members that name server files, and events as JSON.
#include "tools/quvi-web/message_handler.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "tests/support/wait_until.h"
#include "tools/quvi-web/variant_json.h"
#include "viewer/control/testing/fake_control_window.h"

namespace quvi_web {
namespace {

using nlohmann::json;

class MessageHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QUVI_REGISTRY_FILE", (dir_.Path("registry.ini")).c_str(), 1);
    settings_.MaxControls = 3;
    settings_.OutDir = dir_.Path("out");
    settings_.Defaults = {{"HostIP", "127.0.0.1"}};
    settings_.Channels = {0, 1};
    std::filesystem::create_directories(settings_.OutDir);
    handler_ = std::make_unique<TMessageHandler>(settings_, outbox_, nullptr, &downloads_);
  }
  void TearDown() override {
    handler_.reset();
    ::unsetenv("QUVI_REGISTRY_FILE");
  }

  // Everything the page got so far.
  std::vector<json> Drain() {
    std::vector<json> messages;
    TPageOutbox::TMessage m;
    while (outbox_->Take(&m)) messages.push_back(json::parse(m.Bytes));
    return messages;
  }
  // What the page gets for one message.
  std::vector<json> Exchange(const std::string& text) {
    Drain();
    handler_->Handle(text);
    return Drain();
  }
  json Ask(const json& request) {
    const std::vector<json> replies = Exchange(request.dump());
    return replies.size() == 1 ? replies[0] : json{{"replies", replies}};
  }
  uint32_t Create() {
    const json reply = Ask({{"op", "create"}, {"width", 352}, {"height", 288}});
    EXPECT_TRUE(reply.value("ok", false)) << reply;
    return reply.value("control", 0u);
  }
  json Value(uint32_t control, const std::string& name) {
    return Ask({{"op", "get"}, {"control", control}, {"name", name}})["value"];
  }
  // Pumps the thread's messages (where events arrive) until the page got a message that
  // satisfies the condition (or the hang guard passed).
  std::vector<json> PumpUntil(const std::function<bool(const json&)>& wanted) {
    std::vector<json> seen;
    const auto deadline = std::chrono::steady_clock::now() + quvi_test::kHangGuard;
    while (std::chrono::steady_clock::now() < deadline) {
      QuviPumpMessages(10);
      handler_->Flush(NowMs() + 1000);
      for (json& m : Drain()) {
        seen.push_back(m);
        if (wanted(m)) return seen;
      }
    }
    ADD_FAILURE() << "not seen; got " << seen.size() << " messages";
    return seen;
  }
  static double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }

  quvi_test::TTempDir dir_{"message_handler_test"};
  THostSettings settings_;
  TDownloads downloads_;
  std::shared_ptr<TPageOutbox> outbox_ = std::make_shared<TPageOutbox>();
  std::unique_ptr<TMessageHandler> handler_;
};

TEST_F(MessageHandlerTest, GoodRequestsGetTheirReplies) {
  const uint32_t c = Create();
  ASSERT_NE(c, 0u);
  struct Case {
    json request;
    json expected;  // fields the reply must have, with these values
  };
  const Case cases[] = {
      {{{"op", "hello"}, {"id", 1}},
       {{"ok", true},
        {"id", 1},
        {"limits", {{"maxControls", 3}, {"maxMessageBytes", 65536}}},
        {"defaults", {{"HostIP", "127.0.0.1"}}},
        {"channels", {0, 1}}}},
      {{{"op", "put"}, {"control", c}, {"name", "HostIP"}, {"value", "10.1.2.3"}, {"id", "a"}},
       {{"ok", true}, {"id", "a"}}},
      {{{"op", "get"}, {"control", c}, {"name", "hostip"}}, {{"ok", true}, {"value", "10.1.2.3"}}},
      {{{"op", "put"}, {"control", c}, {"name", "HostPort"}, {"value", 9000}}, {{"ok", true}}},
      {{{"op", "get"}, {"control", c}, {"name", "HostPort"}}, {{"ok", true}, {"value", 9000}}},
      // A number for a text property and a text for a number: the control converts.
      {{{"op", "put"}, {"control", c}, {"name", "DVRID"}, {"value", 7}}, {{"ok", true}}},
      {{{"op", "get"}, {"control", c}, {"name", "DVRID"}}, {{"ok", true}, {"value", "7"}}},
      {{{"op", "put"}, {"control", c}, {"name", "Volume"}, {"value", "40"}}, {{"ok", true}}},
      {{{"op", "get"}, {"control", c}, {"name", "Volume"}}, {{"ok", true}, {"value", 40}}},
      {{{"op", "put"}, {"control", c}, {"name", "DigitalZoomMode"}, {"value", true}},
       {{"ok", true}}},
      {{{"op", "get"}, {"control", c}, {"name", "DigitalZoomMode"}},
       {{"ok", true}, {"value", true}}},
      {{{"op", "put"},
        {"control", c},
        {"name", "Font"},
        {"value", {{"name", "Noto Sans CJK SC"}, {"size", 14}, {"bold", true}}}},
       {{"ok", true}}},
      {{{"op", "put"}, {"control", c}, {"name", "TipConnectingMsg"}, {"value", "正在连接..."}},
       {{"ok", true}}},
      {{{"op", "get"}, {"control", c}, {"name", "TipConnectingMsg"}},
       {{"ok", true}, {"value", "正在连接..."}}},
      {{{"op", "invoke"}, {"control", c}, {"name", "GetLastError"}},
       {{"ok", true}, {"value", 0}, {"out", json::array()}}},
      {{{"op", "invoke"}, {"control", c}, {"name", "Zoom"}, {"args", {1, 2, 3, 4}}},
       {{"ok", true}, {"value", nullptr}, {"out", {1, 2, 3, 4}}}},
      {{{"op", "data"}, {"control", c}, {"bytes", true}}, {{"ok", true}}},
      {{{"op", "resize"}, {"control", c}, {"width", 640}, {"height", 480}}, {{"ok", true}}},
      // A member that fails says why, with its result code.
      {{{"op", "get"}, {"control", c}, {"name", "NoSuchMember"}},
       {{"ok", false}, {"code", int32_t(QUVI_E_UNKNOWNNAME)}}},
      {{{"op", "invoke"}, {"control", c}, {"name", "Zoom"}, {"args", {1}}},
       {{"ok", false}, {"code", int32_t(QUVI_E_BADPARAMCOUNT)}}},
      {{{"op", "get"}, {"control", c + 100}, {"name", "HostIP"}}, {{"ok", false}, {"code", 0}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.request.dump());
    const json reply = Ask(k.request);
    for (auto& [field, value] : k.expected.items()) EXPECT_EQ(reply[field], value) << reply;
    if (reply.value("ok", true) == false) {
      EXPECT_FALSE(reply.value("error", "").empty());
    }
  }
  // The font as the control keeps it.
  const json font = Value(c, "Font");
  EXPECT_EQ(font["name"], "Noto Sans CJK SC");
  EXPECT_EQ(font["bold"], true);
  // The listing names members with their types.
  const json list = Ask({{"op", "list"}});
  bool found = false;
  for (const json& p : list["members"]["properties"])
    found |= p["name"] == "HostPort" && p["type"] == "int" && p["writable"] == true;
  EXPECT_TRUE(found) << list.dump().substr(0, 400);
}

TEST_F(MessageHandlerTest, MalformedMessagesGetAnErrorAndChangeNothing) {
  const uint32_t c = Create();
  Ask({{"op", "put"}, {"control", c}, {"name", "HostIP"}, {"value", "10.0.0.1"}});
  const std::string k = std::to_string(c);
  struct Case {
    std::string text;
    json id;  // echoed id, null when none can be read
  };
  const Case cases[] = {
      {"not json", nullptr},
      {"", nullptr},
      {"[1,2,3]", nullptr},
      {"\"op\"", nullptr},
      {"{}", nullptr},
      {R"({"op": 5, "id": 1})", 1},
      {R"({"op": "fly", "id": "x"})", "x"},
      {R"({"op": "hello", "id": {"a": 1}})", nullptr},
      {R"({"op": "put", "control": ")" + k + R"(", "name": "HostIP", "value": "9.9.9.9", "id": 2})",
       2},
      {R"({"op": "put", "control": -1, "name": "HostIP", "value": "9.9.9.9"})", nullptr},
      {R"({"op": "put", "control": )" + k + R"(, "name": 5, "value": "9.9.9.9"})", nullptr},
      {R"({"op": "put", "control": )" + k + R"(, "name": "HostIP", "id": 3})", 3},
      {R"({"op": "put", "control": )" + k + R"(, "name": "HostIP", "value": [1, 2]})", nullptr},
      {R"({"op": "put", "control": )" + k + R"(, "name": "HostIP", "value": {"x": 1}})", nullptr},
      {R"({"op": "put", "control": )" + k + R"(, "name": "HostIP", "value": {"base64": "!!"}})",
       nullptr},
      {R"({"op": "invoke", "control": )" + k + R"(, "name": "StartPlay", "args": "x"})", nullptr},
      {R"({"op": "invoke", "control": )" + k + R"(, "name": "StartPlay", "args": [[1]]})", nullptr},
      {R"({"op": "mouse", "control": )" + k + R"(, "type": "jump", "x": 1, "y": 1})", nullptr},
      {R"({"op": "mouse", "control": )" + k + R"(, "type": "down", "button": "fourth", "x": 1,
           "y": 1})",
       nullptr},
      {R"({"op": "mouse", "control": )" + k + R"(, "type": "down", "x": "1", "y": 1})", nullptr},
      {R"({"op": "mouse", "control": )" + k + R"(, "type": "down", "x": 1e300, "y": 1})", nullptr},
      {R"({"op": "resize", "control": )" + k + R"(, "width": 0, "height": 10})", nullptr},
      {R"({"op": "record", "control": )" + k + R"(, "on": "yes"})", nullptr},
      {R"({"op": "data", "control": )" + k + R"(})", nullptr},
      {R"({"op": "create", "width": -5})", nullptr},
      {R"({"op": "create", "width": "big"})", nullptr},
      {R"({"op": "create", "height": 1.5})", nullptr},
      {std::string(100, '[') + std::string(100, ']'), nullptr},
      {R"({"op": "get", "control": )" + k + R"(, "name": "HostIP", "x": )" + std::string(40, '[') +
           std::string(40, ']') + "}",
       nullptr},
  };
  for (const Case& m : cases) {
    SCOPED_TRACE(m.text);
    const std::vector<json> replies = Exchange(m.text);
    ASSERT_EQ(replies.size(), 1u);
    const json& reply = replies[0];
    EXPECT_EQ(reply["ok"], false);
    EXPECT_EQ(reply.value("error", "").rfind("malformed message: ", 0), 0u) << reply;
    EXPECT_EQ(reply.contains("id") ? reply["id"] : json(nullptr), m.id);
    EXPECT_EQ(handler_->ControlCount(), 1u);
    EXPECT_EQ(Value(c, "HostIP"), "10.0.0.1");
  }

  // Too large: refused before it is read, whatever it holds.
  json big = {
      {"op", "put"}, {"control", c}, {"name", "HostIP"}, {"value", std::string(70000, 'x')}};
  const std::vector<json> replies = Exchange(big.dump());
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0]["ok"], false);
  EXPECT_NE(replies[0].value("error", "").find("too large"), std::string::npos) << replies[0];
  EXPECT_EQ(Value(c, "HostIP"), "10.0.0.1");
}

TEST_F(MessageHandlerTest, APageGetsNoMoreControlsThanAllowed) {
  std::vector<uint32_t> made;
  for (int i = 0; i < settings_.MaxControls; ++i) made.push_back(Create());
  const json refused = Ask({{"op", "create"}, {"id", 9}});
  EXPECT_EQ(refused["ok"], false);
  EXPECT_EQ(refused["id"], 9);
  EXPECT_NE(refused.value("error", "").find("too many controls"), std::string::npos) << refused;
  EXPECT_EQ(handler_->ControlCount(), size_t(settings_.MaxControls));
  // Each number names its own control; a released one is gone and makes room.
  EXPECT_EQ(std::set<uint32_t>(made.begin(), made.end()).size(), made.size());
  EXPECT_EQ(Ask({{"op", "release"}, {"control", made[0]}})["ok"], true);
  EXPECT_EQ(Ask({{"op", "get"}, {"control", made[0]}, {"name", "HostIP"}})["ok"], false);
  EXPECT_NE(Create(), 0u);
  EXPECT_EQ(handler_->ControlCount(), size_t(settings_.MaxControls));
}

// Controls that share a player port draw into each other's windows: every control, of this
// page or another, gets its own port, and a page may still choose one.
TEST_F(MessageHandlerTest, EachControlGetsItsOwnPlayerPortUnlessThePageSetsOne) {
  auto other_outbox = std::make_shared<TPageOutbox>();
  TMessageHandler other(settings_, other_outbox, nullptr, &downloads_);
  std::set<int64_t> ports;
  std::vector<uint32_t> made;
  std::vector<json> own_ports;
  for (int i = 0; i < 2; ++i) {
    const json reply = Ask({{"op", "create"}});
    ASSERT_EQ(reply["ok"], true) << reply;
    made.push_back(reply["control"]);
    own_ports.push_back(reply["port"]);
    EXPECT_EQ(Value(made.back(), "PortNo"), reply["port"]);
    ports.insert(reply["port"].get<int64_t>());
    other.Handle(R"({"op": "create", "id": 1})");
    TPageOutbox::TMessage m;
    ASSERT_TRUE(other_outbox->Take(&m));
    const json theirs = json::parse(m.Bytes);
    ASSERT_EQ(theirs["ok"], true) << theirs;
    ports.insert(theirs["port"].get<int64_t>());
  }
  EXPECT_EQ(ports.size(), 4u);
  EXPECT_EQ(ports.count(0), 0u);  // the port every control had before
  EXPECT_EQ(Ask({{"op", "put"}, {"control", made[0]}, {"name", "PortNo"}, {"value", 77}})["ok"],
            true);
  EXPECT_EQ(Value(made[0], "PortNo"), 77);
  EXPECT_EQ(Value(made[1], "PortNo"), own_ports[1]);
}

TEST_F(MessageHandlerTest, MembersThatNameServerFilesAreRefused) {
  const uint32_t c = Create();
  const json cases[] = {
      {{"op", "put"}, {"name", "CaptureBMPPath"}, {"value", "/etc"}},
      {{"op", "put"}, {"name", "capturebmppath"}, {"value", "/etc"}},
      {{"op", "get"}, {"name", "CaptureBMPPath"}},
      {{"op", "put"}, {"name", "RecordFile"}, {"value", "/etc/passwd"}},
      {{"op", "get"}, {"name", "RECORDFILE"}},
      {{"op", "put"}, {"name", "PlayWnd"}, {"value", 1}},
      {{"op", "invoke"}, {"name", "SaveFileAs"}},
      {{"op", "invoke"}, {"name", "CaptureBMP"}},
      {{"op", "invoke"}, {"name", "StartRecord"}},
      {{"op", "invoke"}, {"name", "CaptureBMPResultFilename"}, {"args", {"/tmp/x.jpg"}}},
  };
  for (json request : cases) {
    SCOPED_TRACE(request.dump());
    request["control"] = c;
    const json reply = Ask(request);
    EXPECT_EQ(reply["ok"], false);
    EXPECT_EQ(reply["code"], int32_t(QUVI_E_MEMBERNOTFOUND));
    EXPECT_NE(reply.value("error", "").find("names files on the server"), std::string::npos);
  }
  // The files the server chooses stay where it chooses them: nothing was written anywhere.
  EXPECT_FALSE(std::filesystem::exists("/tmp/x.jpg") &&
               std::filesystem::last_write_time("/tmp/x.jpg") >
                   std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
  EXPECT_TRUE(std::filesystem::is_empty(settings_.OutDir));
}

TEST_F(MessageHandlerTest, EventsArriveAsJsonAndDataAsSummaries) {
  const uint32_t c = Create();
  EXPECT_EQ(Ask({{"op", "invoke"}, {"control", c}, {"name", "StartPlay"}})["ok"], true);
  std::vector<int> statuses;
  json video;
  int64_t data_count = 0;
  int64_t data_bytes = 0;
  int64_t dropped = 0;
  bool connected = false;
  PumpUntil([&](const json& m) {
    EXPECT_EQ(m.value("control", 0u), c) << m;
    const std::string event = m.value("event", "");
    if (event == "OnConnected") connected = true;
    if (event == "OnStatusChanged") statuses.push_back(m["args"]["aCode"]);
    if (event == "OnVideoInfoRead") video = m["args"];
    if (event == "OnReceiveData") {
      EXPECT_FALSE(m.contains("args")) << "a summary carries no bytes";
      data_count += m["count"].get<int64_t>();
      data_bytes += m["bytes"].get<int64_t>();
      dropped += m["dropped"].get<int64_t>();
    }
    // The stream head and every scripted frame, in summaries: delivered or dropped by the
    // control because they came faster than the host took them.
    return data_count + dropped == 1 + viewer::TFakeControlWindow::kScriptFrames;
  });
  EXPECT_TRUE(connected);
  EXPECT_EQ(statuses, (std::vector<int>{-1, -5, -6}));
  EXPECT_EQ(video, json({{"aCodec", 4}, {"aWidth", 704}, {"aHeight", 576}}));
  EXPECT_GT(data_count, 0);
  // Frames of 1000 bytes, and the stream head of 40 unless it was among the dropped.
  EXPECT_EQ(data_bytes / viewer::TFakeControlWindow::kFrameSize + (data_bytes % 1000 == 40),
            data_count);
  Ask({{"op", "invoke"}, {"control", c}, {"name", "StopPlay"}});
  PumpUntil([](const json& m) { return m.value("event", "") == "OnDisConnected"; });

  // Asked for, the bytes come with each event.
  Ask({{"op", "data"}, {"control", c}, {"bytes", true}});
  Ask({{"op", "invoke"}, {"control", c}, {"name", "StartPlay"}});
  const std::vector<json> seen = PumpUntil([](const json& m) {
    return m.value("event", "") == "OnReceiveData" && m["args"].value("FrameType", 0) == 1;
  });
  const json& frame = seen.back()["args"];
  std::string bytes;
  ASSERT_TRUE(Base64Decode(frame["databuf"]["base64"], &bytes));
  ASSERT_EQ(bytes.size(), size_t(viewer::TFakeControlWindow::kFrameSize) + 1);
  EXPECT_EQ(frame["Framesize"], viewer::TFakeControlWindow::kFrameSize);
  EXPECT_EQ(uint8_t(bytes[1]), uint8_t(uint8_t(bytes[0]) + 1));
}

}  // namespace
}  // namespace quvi_web
