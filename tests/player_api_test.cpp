// The player library as its callers see it: loaded with dlopen, its symbol table, the
// conventions of its exports (edge cases as one table), the failure value of every per-port
// export when no channel can be had, and the lines it logs.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "tests/support/exported_symbols.h"
#include "tests/support/wait_until.h"
#include "tools/common/player_library.h"

namespace {

using quvi_tools::TPlayerApi;

class PlayerApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(api_.Load(ZRPLAY_LIBRARY_PATH));
    ASSERT_TRUE(api_.AllFound());
  }
  void TearDown() override { api_.Unload(); }

  // The log lines of the port's channel since `from`, without the "ch<port>(<vendor>)-->"
  // prefix.
  static std::vector<std::string> ChannelLines(int32_t port, size_t from) {
    const std::regex prefix("^ch" + std::to_string(port) + "\\([0-9]+\\)-->(.*)$");
    std::vector<std::string> out;
    std::smatch m;
    for (const std::string& line : quvi_tools::PlayerLogLines(from))
      if (std::regex_match(line, m, prefix)) out.push_back(m[1]);
    return out;
  }
  static int Count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }

  TPlayerApi api_;
};

TEST_F(PlayerApiTest, ExportsExactlyTheSeventyOneNames) {
  std::set<std::string> expected;
#define EXPECTED_NAME(ret, name, params, args, fail) expected.insert(#name);
  ZRPLAY_EXPORTS(EXPECTED_NAME)
#undef EXPECTED_NAME
  ASSERT_EQ(expected.size(), 71u);
  EXPECT_EQ(quvi_test::ExportedSymbols(ZRPLAY_LIBRARY_PATH), expected);
}

// One row: what to call, the result expected, and the lines the port's channel must log
// ("create" when the call registers a channel; no "create" line means nothing registered).
struct TEdgeCase {
  const char* Name;
  int32_t Port;
  std::function<int64_t(TPlayerApi&, int32_t port)> Run;
  int64_t Expected;
  std::vector<std::string> ChannelLog;
  std::vector<std::string> LibraryLog = {};
};

TEST_F(PlayerApiTest, EdgeCasesOfTheConventions) {
  uint8_t good_head[64] = {0x40, 0, 0, 0, 0xA9, 0xCA, 0xAF, 0x11, 0xBD, 0x2F, 0x10, 0xEE};
  const std::vector<TEdgeCase> cases = {
      {"factory id", 0, [](auto& a, int32_t) { return a.Zr_Play_Player_FACTORYID(); }, 29, {}},
      {"caps", 0, [](auto& a, int32_t) { return a.Zr_Play_GetCaps(); }, 0, {}},
      {"default head length",
       0,
       [](auto& a, int32_t) { return a.Zr_Play_GetDefaultFileHeadLength(); },
       64,
       {}},
      {"sync decode mode", 0, [](auto& a, int32_t) { return a.Zr_Play_IsSyncDecMode(); }, 0, {}},
      {"video frame 10",
       0,
       [](auto& a, int32_t) { return a.Zr_Play_isVideoFrame(10) & 0xFF; },
       1,
       {}},
      {"video frame -1",
       0,
       [](auto& a, int32_t) { return a.Zr_Play_isVideoFrame(-1) & 0xFF; },
       1,
       {}},
      {"video frame INT_MIN",
       0,
       [](auto& a, int32_t) { return a.Zr_Play_isVideoFrame(INT_MIN) & 0xFF; },
       1,
       {}},
      {"video frame 11",
       0,
       [](auto& a, int32_t) { return a.Zr_Play_isVideoFrame(11) & 0xFF; },
       0,
       {}},
      {"init player, head of 11 bytes",
       201,
       [&](auto& a, int32_t p) { return a.Zr_Play_InitPlayer(p, good_head, 11); },
       -1,
       {}},
      {"init player, last magic byte wrong",
       202,
       [&](auto& a, int32_t p) {
         uint8_t bad[64];
         std::memcpy(bad, good_head, 64);
         bad[11] ^= 1;
         return a.Zr_Play_InitPlayer(p, bad, 64);
       },
       -1,
       {}},
      {"init player, null head",
       203,
       [](auto& a, int32_t p) { return a.Zr_Play_InitPlayer(p, nullptr, 64); },
       -1,
       {}},
      {"init player, 12-byte head",
       204,
       [&](auto& a, int32_t p) { return a.Zr_Play_InitPlayer(p, good_head, 12); },
       0,
       {"create"},
       {"CH204 init player OK"}},
      {"init by factory id 28",
       205,
       [](auto& a, int32_t p) { return a.Zr_Play_InitPlayerByFACTORY_ID(p, 28); },
       -1,
       {}},
      {"init by factory id 29",
       206,
       [](auto& a, int32_t p) { return a.Zr_Play_InitPlayerByFACTORY_ID(p, 29); },
       0,
       {"create"}},
      {"init by file",
       207,
       [](auto& a, int32_t p) { return a.Zr_Play_InitPlayerByFile(p, 99); },
       0,
       {"create"}},
      {"stop on a fresh port",
       208,
       [](auto& a, int32_t p) { return a.Zr_Play_Stop(p); },
       1,
       {"create"}},
      {"close stream twice",
       209,
       [](auto& a, int32_t p) { return a.Zr_Play_CloseStream(p) * 10 + a.Zr_Play_CloseStream(p); },
       11,
       {"create", "close stream=1", "create", "close stream=1"},
       {"unreg channel-->port=209", "unreg channel<--port=209", "unreg channel-->port=209",
        "unreg channel<--port=209"}},
      {"last error",
       210,
       [](auto& a, int32_t p) { return a.Zr_Play_GetLastError(p); },
       -1,
       {"create"}},
      {"stream open mode of a fresh port",
       211,
       [](auto& a, int32_t p) { return a.Zr_Play_GetStreamOpenMode(p); },
       0,
       {"create", "get stream mode=0"}},
      {"stream open mode after file mode",
       212,
       [](auto& a, int32_t p) {
         return a.Zr_Play_SetStreamOpenMode(p, 1) * 10 + a.Zr_Play_GetStreamOpenMode(p);
       },
       11,
       {"create", "set stream mode(1)=1", "get stream mode=1"}},
      {"buffer value",
       220,
       [](auto& a, int32_t p) { return a.Zr_Play_GetBufferValue(p, 10); },
       0,
       {"create", "get buffer value(type=0x0A)=0"}},
      {"buffer value, wide type",
       221,
       [](auto& a, int32_t p) { return a.Zr_Play_GetBufferValue(p, 0x1ABC); },
       0,
       {"create", "get buffer value(type=0x1ABC)=0"}},
      {"source buffer remain",
       222,
       [](auto& a, int32_t p) { return a.Zr_Play_GetSourceBufferRemain(p); },
       0,
       {"create", "get source buf remain=0"}},
      {"reset source buffer",
       223,
       [](auto& a, int32_t p) { return a.Zr_Play_ResetSourceBuffer(p); },
       1,
       {"create", "reset source buffer=1"}},
      {"reset source buffer flag",
       224,
       [](auto& a, int32_t p) { return a.Zr_Play_ResetSourceBufFlag(p); },
       1,
       {"create", "reset source buf flag=1"}},
      {"source buffer callback",
       225,
       [](auto& a, int32_t p) {
         return a.Zr_Play_SetSourceBufCallBack(p, 100, nullptr, 5, nullptr);
       },
       1,
       {"create", "set source buf callback=1"}},
      {"display buffers",
       226,
       [](auto& a, int32_t p) { return a.Zr_Play_SetDisplayBuf(p, 6); },
       1,
       {"create", "set display buf(6)=1"}},
      {"reset buffer",
       227,
       [](auto& a, int32_t p) { return a.Zr_Play_ResetBuffer(p, 3); },
       1,
       {"create", "set display buf(3)=1"}},
      {"get display buffers",
       228,
       [](auto& a, int32_t p) { return a.Zr_Play_GetDisplayBuf(p); },
       0,
       {"create", "get display buf=0"}},
      {"throw b frames",
       229,
       [](auto& a, int32_t p) { return a.Zr_Play_ThrowBFrame(p, 2); },
       1,
       {"create", "throw b frame(value=2)=1"}},
      {"set colour",
       230,
       [](auto& a, int32_t p) { return a.Zr_Play_SetColor(p, 1, -2, 3, 4); },
       0,
       {"create", "set color(bri=1, con=-2, sat=3, hue=4)=0"}},
      {"get colour leaves the values",
       231,
       [](auto& a, int32_t p) -> int64_t {
         int32_t b = 5, c = 6, s = 7, h = 8;
         const int32_t r = a.Zr_Play_GetColor(p, &b, &c, &s, &h);
         return (b == 5 && c == 6 && s == 7 && h == 8) ? r : 99;
       },
       0,
       {"create", "get color(bri=5, con=6, sat=7, hue=8)=0"}},
      {"file head length",
       232,
       [](auto& a, int32_t p) -> int64_t {
         int32_t n = 0;
         return a.Zr_Play_GetFileHeadLength(p, &n) * 1000 + n;
       },
       1064,
       {"create", "get file head length=64"}},
      {"overlay mode",
       233,
       [](auto& a, int32_t p) { return a.Zr_Play_SetOverlayMode(p, 1, 7); },
       1,
       {"create"}},
      {"get picture quality",
       234,
       [](auto& a, int32_t p) {
         int32_t q = 0;
         return a.Zr_Play_GetPictureQuality(p, &q);
       },
       0,
       {"create"}},
      {"set picture quality",
       235,
       [](auto& a, int32_t p) { return a.Zr_Play_SetPictureQuality(p, 1); },
       0,
       {"create"}},
      {"picture size without pointers",
       236,
       [](auto& a, int32_t p) { return a.Zr_Play_GetPictureSize(p, nullptr, nullptr); },
       1,
       {"create", "get picture size(width=0, height=0)=1"}},
      {"refresh before any picture",
       237,
       [](auto& a, int32_t p) { return a.Zr_Play_RefreshPlay(p); },
       1,
       {"create"}},
      {"open stream, negative size",
       238,
       [&](auto& a, int32_t p) { return a.Zr_Play_OpenStream(p, good_head, -1, 1024); },
       0,
       {"create"}},
      {"input data before play",
       239,
       [&](auto& a, int32_t p) { return a.Zr_Play_InputData(p, good_head, 64); },
       0,
       {"create"}},
  };
  for (const TEdgeCase& c : cases) {
    const size_t from = quvi_tools::PlayerLogSize();
    EXPECT_EQ(c.Run(api_, c.Port), c.Expected) << c.Name;
    if (c.Port == 0) continue;
    const std::vector<std::string> lines = ChannelLines(c.Port, from);
    EXPECT_EQ(Count(lines, "create"), Count(c.ChannelLog, "create")) << c.Name;
    // The expected lines appear in order (other lines may lie between them).
    size_t at = 0;
    for (const std::string& line : lines)
      if (at < c.ChannelLog.size() && line == c.ChannelLog[at]) ++at;
    EXPECT_EQ(at, c.ChannelLog.size())
        << c.Name << ": missing " << c.ChannelLog[at % c.ChannelLog.size()];
    const std::vector<std::string> all = quvi_tools::PlayerLogLines(from);
    for (const std::string& line : c.LibraryLog)
      EXPECT_GE(Count(all, line), Count(c.LibraryLog, line)) << c.Name << ": " << line;
  }

  // The default file head: the stream-head magic and 52 zero bytes.
  uint8_t head[70];
  std::memset(head, 0xCC, sizeof head);
  int32_t length = 0;
  EXPECT_EQ(api_.Zr_Play_DefaultFileHead(29, head, &length), 0);
  EXPECT_EQ(length, 64);
  const uint8_t magic[12] = {0x40, 0, 0, 0, 0xA9, 0xCA, 0xAF, 0x11, 0xBD, 0x2F, 0x10, 0xEE};
  EXPECT_EQ(std::memcmp(head, magic, 12), 0);
  EXPECT_TRUE(std::all_of(head + 12, head + 64, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(head[64], 0xCC) << "no byte past the 64";
  std::memset(head, 0xCC, sizeof head);
  length = 7;
  EXPECT_EQ(api_.Zr_Play_DefaultFileHead(28, head, &length), -1);
  EXPECT_EQ(length, 7);
  EXPECT_EQ(head[0], 0xCC);
  EXPECT_EQ(api_.Zr_Play_DefaultFileHead(29, nullptr, &length), -1);
  EXPECT_EQ(api_.Zr_Play_DefaultFileHead(29, head, nullptr), -1);
}

// Calls an export with its port and zero / null for every other argument.
template <typename R, typename... Rest>
R CallWithPort(R (*f)(int32_t, Rest...), int32_t port) {
  return f(port, Rest{}...);
}

template <typename F>
constexpr bool kTakesPort = false;
template <typename R, typename... Rest>
constexpr bool kTakesPort<R (*)(int32_t, Rest...)> = true;

// For an export whose first argument is a port: expects `fail` from it and returns 1;
// 0 for the others.
template <typename F, typename V>
int ExpectFailureValue(F f, const std::string& name, V fail, int32_t port) {
  if constexpr (kTakesPort<F>) {
    if (name == "Zr_Play_isVideoFrame" || name == "Zr_Play_DefaultFileHead") return 0;
    // The registration calls fail with -1 whatever their row says.
    const auto expected = name.rfind("Zr_Play_InitPlayer", 0) == 0 ? -1 : fail;
    EXPECT_EQ(CallWithPort(f, port), expected) << name;
    return 1;
  } else {
    return 0;
  }
}

// With every vendor port taken no channel can be made: each per-port export gives its
// failure value, and the registry logs why.
TEST_F(PlayerApiTest, EveryPerPortExportGivesItsFailureValueWhenTheDecoderHasNoPortLeft) {
  std::vector<int32_t> held;
  for (int32_t port = 5000; api_.Zr_Play_InitPlayerByFile(port, 0) == 0; ++port) {
    held.push_back(port);
    ASSERT_LT(held.size(), 100000u) << "the decoder's ports never ran out";
  }
  ASSERT_GT(held.size(), 0u);
  const int32_t fresh = 4999;
  const size_t from = quvi_tools::PlayerLogSize();
  int checked = 0;
#define CHECK_FAILURE_VALUE(ret, name, params, args, fail) \
  checked += ExpectFailureValue(api_.name, #name, static_cast<ret>(fail), fresh);
  ZRPLAY_EXPORTS(CHECK_FAILURE_VALUE)
#undef CHECK_FAILURE_VALUE
  EXPECT_EQ(checked, 65) << "per-port exports (with the three init calls)";
  EXPECT_EQ(api_.Zr_Play_InitPlayerByFACTORY_ID(fresh, 29), -1);
  const std::vector<std::string> lines = quvi_tools::PlayerLogLines(from);
  // Every lookup was refused and logged; the null stream head and the zero factory id are
  // refused before any lookup, the factory id 29 call after the loop adds one.
  EXPECT_EQ(Count(lines, "reg channel failed, port=4999"), 64);
  EXPECT_EQ(ChannelLines(fresh, from), std::vector<std::string>{}) << "nothing registered";

  // Closing one port gives its vendor port back to the next registration.
  EXPECT_EQ(api_.Zr_Play_CloseStream(held.back()), 1);
  held.pop_back();
  EXPECT_EQ(api_.Zr_Play_InitPlayerByFile(fresh, 0), 0);
  EXPECT_EQ(api_.Zr_Play_GetLastError(fresh), -1);
}

// Unloading the library destroys every channel still registered: a playing one is stopped,
// and every vendor port goes back to the decoder (kept loaded by this test meanwhile).
TEST_F(PlayerApiTest, UnloadDestroysEveryChannelAndGivesTheirVendorPortsBack) {
  void* vdec = dlopen("libvdec.so", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(vdec, nullptr) << "the player library links the decoder";
  const uint8_t head[64] = {0x40, 0, 0, 0, 0xA9, 0xCA, 0xAF, 0x11, 0xBD, 0x2F, 0x10, 0xEE};
  const auto vendor_port_of = [](int32_t port, size_t from) {
    const std::regex create("^ch" + std::to_string(port) + "\\(([0-9]+)\\)-->create$");
    std::smatch m;
    for (const std::string& line : quvi_tools::PlayerLogLines(from))
      if (std::regex_match(line, m, create)) return std::stoi(m[1]);
    return -1;
  };
  size_t from = quvi_tools::PlayerLogSize();
  ASSERT_EQ(api_.Zr_Play_InitPlayer(301, head, 64), 0);
  ASSERT_EQ(api_.Zr_Play_InitPlayer(302, head, 64), 0);
  ASSERT_EQ(api_.Zr_Play_OpenStream(302, head, 64, 1 << 20), 1);
  ASSERT_EQ(api_.Zr_Play_Play(302, 0), 1);
  const int32_t first = vendor_port_of(301, from);
  ASSERT_GE(first, 0);
  api_.Unload();
  EXPECT_EQ(Count(ChannelLines(302, from), "stop<--"), 1);

  from = quvi_tools::PlayerLogSize();
  ASSERT_TRUE(api_.Load(ZRPLAY_LIBRARY_PATH));
  ASSERT_EQ(api_.Zr_Play_InitPlayerByFile(303, 0), 0);
  EXPECT_EQ(vendor_port_of(303, from), first);
  dlclose(vdec);
}

// The codec library belongs to the program and outlives the player: once the player is
// unloaded, a codec message must lead into no unloaded module, whether the decoder the player
// brought stays loaded (held here) or goes with it.
TEST_F(PlayerApiTest, CodecMessagesAfterUnloadLeadIntoNoUnloadedModule) {
  const int level = av_log_get_level();
  av_log_set_level(AV_LOG_QUIET);  // the hook runs whatever the level; nothing to print
  for (const bool keep_decoder : {true, false}) {
    SCOPED_TRACE(keep_decoder ? "decoder kept" : "decoder unloaded too");
    if (api_.Handle() == nullptr) {
      ASSERT_TRUE(api_.Load(ZRPLAY_LIBRARY_PATH));
    }
    // The registry's decoder hands the codec library's messages to the player's log.
    ASSERT_EQ(api_.Zr_Play_InitPlayerByFile(401, 0), 0);
    void* vdec = keep_decoder ? dlopen("libvdec.so", RTLD_NOW | RTLD_NOLOAD) : nullptr;
    ASSERT_EQ(vdec != nullptr, keep_decoder);
    api_.Unload();
    void* still = dlopen("libvdec.so", RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(still != nullptr, keep_decoder);
    if (still != nullptr) dlclose(still);
    av_log(nullptr, AV_LOG_ERROR, "a codec message after the player unloaded\n");
    if (vdec != nullptr) dlclose(vdec);
  }
  av_log_set_level(level);
}

// Unloading right after opening a file, while its index thread may still be building, waits
// for that thread: none runs on in the unloaded library.
TEST_F(PlayerApiTest, UnloadWaitsForTheIndexThreadsOfOpenedFiles) {
  const std::string file = std::string(QUVI_TEST_DATA_DIR) + "/h264_1920x1080_aac.rec";
  for (int round = 0; round < 5; ++round) {
    if (api_.Handle() == nullptr) {
      ASSERT_TRUE(api_.Load(ZRPLAY_LIBRARY_PATH));
    }
    for (const int32_t port : {601, 602}) {
      ASSERT_EQ(api_.Zr_Play_InitPlayerByFile(port, 0), 0);
      ASSERT_EQ(api_.Zr_Play_OpenFile(port, file.c_str()), 1);
    }
    api_.Unload();
  }
}

// Plays a file with sound on two ports, then ends the program with the library loaded.
[[noreturn]] void PlayAndEndTheProgram(const std::string& file) {
  TPlayerApi api;
  if (!api.Load(ZRPLAY_LIBRARY_PATH)) std::_Exit(3);
  for (const int32_t port : {501, 502}) {
    if (api.Zr_Play_InitPlayerByFile(port, 0) != 0 ||
        api.Zr_Play_OpenFile(port, file.c_str()) != 1 || api.Zr_Play_OpenSound(port) != 1 ||
        api.Zr_Play_Play(port, 0) != 1)
      std::_Exit(4);
  }
  const auto deadline = std::chrono::steady_clock::now() + quvi_test::kHangGuard;
  while (api.Zr_Play_GetCurrFrameNum(502) < 5) {
    if (std::chrono::steady_clock::now() > deadline) std::_Exit(5);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::exit(0);
}

// A program may end with the library still loaded and its ports playing: at its end the
// library stops its channels while the media modules they use still stand.
TEST(PlayerApiExitTest, AProgramEndingWhileItsPortsPlayEndsCleanly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(PlayAndEndTheProgram(std::string(QUVI_TEST_DATA_DIR) + "/h264_704x576_g711u.rec"),
              ::testing::ExitedWithCode(0), "");
}

}  // namespace
