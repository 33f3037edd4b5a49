// A whole live view through the web host as a page sees it: the control library (the
// deliverable) views streamsim's generated pattern; over the WebSocket come the connection
// events as JSON and JPEG pictures that decode, show the window's size, change from picture
// to picture and carry sound time stamps; mouse input from the page steers the camera by
// cursor PTZ (the commands reach streamsim's log), and a snapshot and a recording are written
// and downloaded. One decoded picture is saved as PNG to look at ($QUVI_TEST_KEEP_PNG keeps a
// copy in that folder).
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <turbojpeg.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <memory>
#include <thread>

#include "tests/support/test_files.h"
#include "tests/support/wait_until.h"
#include "tools/common/streamsim_process.h"
#include "tools/quvi-web/picture_encoder.h"
#include "tools/quvi-web/test_client.h"
#include "tools/quvi-web/web_host.h"

namespace quvi_web {
namespace {

using nlohmann::json;
using test::TWsClient;

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";
constexpr int kWidth = 352;
constexpr int kHeight = 288;

struct TDecoded {
  TPictureHeader Header;
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;
};

// The picture message as the page reads it; nullopt when the header or the JPEG is bad.
std::optional<TDecoded> Decode(const std::string& bytes) {
  TDecoded d;
  if (!ReadPictureHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &d.Header)) {
    return std::nullopt;
  }
  tjhandle tj = tjInitDecompress();
  const auto* jpeg = reinterpret_cast<const unsigned char*>(bytes.data()) + kPictureHeaderSize;
  const unsigned long size = bytes.size() - kPictureHeaderSize;
  int subsampling = 0, colorspace = 0;
  bool ok =
      tjDecompressHeader3(tj, jpeg, size, &d.Width, &d.Height, &subsampling, &colorspace) == 0;
  if (ok) {
    d.Rgb.resize(size_t(d.Width) * d.Height * 3);
    ok = tjDecompress2(tj, jpeg, size, d.Rgb.data(), d.Width, 0, d.Height, TJPF_RGB, 0) == 0;
  }
  tjDestroy(tj);
  if (!ok) return std::nullopt;
  return d;
}

double MeanDifference(const TDecoded& a, const TDecoded& b) {
  if (a.Rgb.size() != b.Rgb.size() || a.Rgb.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.Rgb.size(); ++i) sum += std::abs(int(a.Rgb[i]) - int(b.Rgb[i]));
  return sum / a.Rgb.size();
}

bool SavePng(const TDecoded& d, const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = d.Width;
  image.height = d.Height;
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, d.Rgb.data(), 0, nullptr) != 0;
}

class LiveViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QUVI_REGISTRY_FILE", dir_.Path("registry.ini").c_str(), 1);
    std::filesystem::create_directories(dir_.Path("web"));
    std::filesystem::create_directories(dir_.Path("out"));
    std::ofstream(dir_.Path("web/index.html")) << "<!doctype html>";
    streamsim_ = std::make_unique<quvi_tools::TStreamSimProcess>(
        QUVI_STREAMSIM_EXE, std::vector<std::string>{"--log", dir_.Path("streamsim.log")});
    ASSERT_NE(streamsim_->Port(), 0);
    TServerConfig server;
    server.Token = kToken;
    server.WebDir = dir_.Path("web");
    server.OutDir = dir_.Path("out");
    THostSettings settings;
    settings.OutDir = server.OutDir;
    host_ = std::make_unique<TWebHost>(server, settings);
    thread_ = std::thread([this] { host_->Run(); });
  }
  void TearDown() override {
    if (host_) {
      host_->Stop();
      thread_.join();
      host_.reset();
    }
    streamsim_.reset();
    ::unsetenv("QUVI_REGISTRY_FILE");
  }
  // Waits for a line of streamsim's log holding every part (false when the hang guard passes).
  bool LogShows(const std::vector<std::string>& parts) {
    const auto deadline = std::chrono::steady_clock::now() + quvi_test::kHangGuard;
    while (std::chrono::steady_clock::now() < deadline) {
      std::ifstream log(dir_.Path("streamsim.log"));
      for (std::string line; std::getline(log, line);) {
        bool all = true;
        for (const std::string& part : parts) all &= line.find(part) != std::string::npos;
        if (all) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  quvi_test::TTempDir dir_{"quvi_web_live_test"};
  std::unique_ptr<quvi_tools::TStreamSimProcess> streamsim_;
  std::unique_ptr<TWebHost> host_;
  std::thread thread_;
};

TEST_F(LiveViewTest, APageWatchesSteersAndRecordsALiveView) {
  TWsClient page(host_->Port(), std::string("/ws?token=") + kToken);
  ASSERT_TRUE(page.Connected());
  const json made = page.Request({{"op", "create"}, {"width", kWidth}, {"height", kHeight}});
  ASSERT_EQ(made["ok"], true) << made;
  const uint32_t c = made["control"];
  for (const json& put : {json{{"name", "HostIP"}, {"value", "127.0.0.1"}},
                          json{{"name", "HostPort"}, {"value", streamsim_->Port()}},
                          json{{"name", "ChannelNo"}, {"value", 0}}}) {
    json request = put;
    request["op"] = "put";
    request["control"] = c;
    ASSERT_EQ(page.Request(request)["ok"], true) << put;
  }
  ASSERT_EQ(page.Request({{"op", "invoke"}, {"control", c}, {"name", "StartPlay"}})["ok"], true);

  // Events and pictures until the view has shown a good run of video.
  bool connected = false;
  bool video_info = false;
  std::vector<int> statuses;
  std::vector<TDecoded> video;
  uint32_t last_sequence = 0;
  const auto deadline = std::chrono::steady_clock::now() + quvi_test::kHangGuard;
  while (video.size() < 10 && std::chrono::steady_clock::now() < deadline) {
    auto message = page.Read();
    ASSERT_TRUE(message);
    if (!message->Binary) {
      const json m = json::parse(message->Bytes);
      const std::string event = m.value("event", "");
      if (event == "OnConnected") connected = true;
      if (event == "OnStatusChanged") statuses.push_back(m["args"]["aCode"]);
      if (event == "OnVideoInfoRead") video_info = true;
      continue;
    }
    auto picture = Decode(message->Bytes);
    ASSERT_TRUE(picture) << "a picture that does not decode";
    EXPECT_EQ(picture->Header.Control, c);
    EXPECT_GT(picture->Header.Sequence, last_sequence);
    last_sequence = picture->Header.Sequence;
    EXPECT_EQ(picture->Width, kWidth);
    EXPECT_EQ(picture->Height, kHeight);
    EXPECT_EQ(picture->Header.Width, kWidth);
    EXPECT_EQ(picture->Header.Height, kHeight);
    // Once video arrives the pictures are stamped with the packages' arrival.
    if (video_info && picture->Header.ArrivalMs > 0) {
      EXPECT_LE(picture->Header.ArrivalMs, picture->Header.EncodedMs);
      EXPECT_LT(picture->Header.EncodedMs - picture->Header.ArrivalMs, 5000);
      video.push_back(std::move(*picture));
    }
  }
  ASSERT_EQ(video.size(), 10u);
  EXPECT_TRUE(connected);
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front(), -1);  // connecting, before any video
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), -6), statuses.end());
  // The pattern moves: pictures differ from one to the next, and they are no flat colour.
  int changed = 0;
  for (size_t i = 1; i < video.size(); ++i)
    changed += MeanDifference(video[i - 1], video[i]) > 0.05;
  EXPECT_GE(changed, 5);
  std::vector<uint8_t> flat(video.back().Rgb.size(), video.back().Rgb[0]);
  TDecoded flat_picture = video.back();
  flat_picture.Rgb = flat;
  EXPECT_GT(MeanDifference(video.back(), flat_picture), 10);
  ASSERT_TRUE(SavePng(video.back(), dir_.Path("picture.png")));
  if (const char* keep = std::getenv("QUVI_TEST_KEEP_PNG"))
    SavePng(video.back(), std::string(keep) + "/quvi_web_picture.png");

  // Cursor PTZ from the page: the pointer shows the direction at the top edge (and shows it
  // pressed), press there steers up, release stops; in the middle there is no direction.
  ASSERT_EQ(
      page.Request({{"op", "put"}, {"control", c}, {"name", "CursorCtrl"}, {"value", true}})["ok"],
      true);
  const auto mouse = [&](const char* type, int x, int y) {
    page.SendText(json{{"op", "mouse"}, {"control", c}, {"type", type}, {"x", x}, {"y", y}}.dump());
  };
  // The next pointer look the page is told of, pictures and other events passed over.
  const auto next_cursor = [&]() -> json {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < give_up) {
      auto message = page.Read();
      if (!message) break;
      if (message->Binary) continue;
      const json m = json::parse(message->Bytes);
      if (m.value("event", "") == "cursor") return m;
    }
    return nullptr;
  };
  mouse("move", kWidth / 2, 5);
  json cursor = next_cursor();
  EXPECT_EQ(cursor["control"], c);
  EXPECT_EQ(cursor["direction"], 2) << cursor;
  EXPECT_EQ(cursor["pressed"], false);
  mouse("down", kWidth / 2, 5);
  cursor = next_cursor();
  EXPECT_EQ(cursor["direction"], 2) << cursor;
  EXPECT_EQ(cursor["pressed"], true);
  EXPECT_TRUE(LogShows({"\"request\":\"ptz\"", "\"command\":0,\"enabled\":1"}));
  mouse("up", kWidth / 2, 5);
  EXPECT_TRUE(LogShows({"\"request\":\"ptz\"", "\"command\":0,\"enabled\":0"}));
  mouse("move", kWidth / 2, kHeight / 2);
  do {
    cursor = next_cursor();
  } while (cursor.is_object() && cursor["direction"] != 0);
  EXPECT_EQ(cursor["direction"], 0) << cursor;

  // A snapshot and a recording land in the output folder and download.
  const json snapshot = page.Request({{"op", "snapshot"}, {"control", c}});
  ASSERT_EQ(snapshot["ok"], true) << snapshot;
  const test::THttpReply jpeg =
      test::HttpGet(host_->Port(), snapshot["url"].get<std::string>() + "?token=" + kToken);
  EXPECT_EQ(jpeg.Status, 200);
  ASSERT_GT(jpeg.Body.size(), 2u);
  EXPECT_EQ(uint8_t(jpeg.Body[0]), 0xFF);
  EXPECT_EQ(uint8_t(jpeg.Body[1]), 0xD8);
  const json recording = page.Request({{"op", "record"}, {"control", c}, {"on", true}});
  ASSERT_EQ(recording["ok"], true) << recording;
  for (int pictures = 0; pictures < 10;) {
    auto message = page.Read();
    ASSERT_TRUE(message);
    pictures += message->Binary;
  }
  const json stopped = page.Request({{"op", "record"}, {"control", c}, {"on", false}});
  ASSERT_EQ(stopped["ok"], true) << stopped;
  EXPECT_GT(stopped["bytes"].get<int64_t>(), 1000);
  const test::THttpReply record =
      test::HttpGet(host_->Port(), recording["url"].get<std::string>() + "?token=" + kToken);
  EXPECT_EQ(int64_t(record.Body.size()), stopped["bytes"].get<int64_t>());

  EXPECT_EQ(page.Request({{"op", "release"}, {"control", c}})["ok"], true);
}

}  // namespace
}  // namespace quvi_web
