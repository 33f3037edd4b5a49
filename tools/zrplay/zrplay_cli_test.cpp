// Runs the built zrplay program as a user or a script does: information and index of each
// fixture, playing headless through the stream input, the exit codes and messages for files
// it cannot play and bad command lines, and under a virtual X display a screenshot of its
// desktop window, which must show the picture.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/messages.h"
#include "tests/support/audio_measure.h"
#include "tests/support/test_files.h"
#include "tools/zrplay/zrplay_options.h"

namespace {

const std::string kData = QUVI_TEST_DATA_DIR;

struct TRun {
  int ExitCode = -1;
  std::string Output;
};

std::string Quoted(const std::string& a) {
  std::string q = "'";
  for (char c : a) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Command(const std::vector<std::string>& args, const std::string& env = "") {
  std::string command = env + " " + Quoted(ZRPLAY_EXE);
  for (const std::string& a : args) command += " " + Quoted(a);
  return command + " 2>&1";
}

// Runs zrplay to its end; `on_line` sees each output line as it comes.
TRun RunZrplay(const std::vector<std::string>& args, const std::string& env = "",
               const std::function<void(const std::string&)>& on_line = nullptr) {
  TRun r;
  FILE* pipe = ::popen(Command(args, env).c_str(), "r");
  if (pipe == nullptr) return r;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    r.Output += line;
    if (on_line) on_line(line);
  }
  const int status = ::pclose(pipe);
  r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool Has(const TRun& r, const std::string& text) {
  return r.Output.find(text) != std::string::npos;
}

TEST(ZrplayCli, InfoOfEachFixture) {
  struct TCase {
    const char* File;
    std::vector<std::string> Lines;
  };
  const TCase cases[] = {
      {"h264_704x576_g711u.rec",
       {"frames: 200 (video 100, key 4, audio 100)", "duration: 3.960 s", "picture size: 704x576",
        "video codec: H.264", "audio codec: G.711 mu-law"}},
      {"h264_1920x1080_aac.rec",
       {"picture size: 1920x1080", "video codec: H.264", "audio codec: AAC"}},
      {"h264_704x576_overlay.rec",
       {"picture size: 704x576", "video codec: H.264", "audio codec: G.711 A-law"}},
  };
  for (const TCase& c : cases) {
    const TRun r = RunZrplay({"--info", kData + "/" + c.File});
    EXPECT_EQ(r.ExitCode, 0) << c.File << "\n" << r.Output;
    for (const std::string& line : c.Lines)
      EXPECT_TRUE(Has(r, line + "\n")) << c.File << ": " << line << "\n" << r.Output;
  }
}

TEST(ZrplayCli, IndexListsEveryFrame) {
  const TRun r = RunZrplay({"--index", kData + "/h264_704x576_g711u.rec"});
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_EQ(r.Output.rfind("frame index list below:\n", 0), 0u) << r.Output.substr(0, 200);
  EXPECT_TRUE(Has(r, "\n001:  start pos=64, stop pos="));
  EXPECT_TRUE(Has(r, "\n200:  start pos="));
  EXPECT_FALSE(Has(r, "\n201:"));
}

TEST(ZrplayCli, FilesItCannotPlayAndBadCommandLines) {
  quvi_test::TTempDir dir("zrplay_cli");
  const std::string whole = quvi_test::ReadFile(kData + "/h264_704x576_g711u.rec");
  const std::string damaged = dir.Path("damaged.rec");
  std::ofstream(damaged, std::ios::binary) << whole.substr(0, 5000);
  const std::string text = dir.Path("text.rec");
  std::ofstream(text) << std::string(300, 'x');
  const std::string good = kData + "/h264_704x576_g711u.rec";
  struct TCase {
    std::vector<std::string> Args;
    int Exit;
    const char* Message;
  };
  const TCase cases[] = {
      {{"--headless", dir.Path("missing.rec")}, 1, "cannot open"},
      {{"--headless", damaged}, 1, "is damaged: frame payload"},
      {{"--info", text}, 1, "is damaged"},
      {{"--index", dir.Path("missing.rec")}, 1, "no frames the player can index"},
      {{"--bogus", good}, 2, "unknown option --bogus"},
      {{}, 2, "no file given"},
      {{good, good}, 2, "exactly one file"},
      {{"--speed", "5", good}, 2, "--speed"},
      {{"--seek", "later", good}, 2, "--seek"},
      {{"--frames", "0", good}, 2, "--frames"},
      {{"--info", "--index", good}, 2, "exclude each other"},
  };
  for (const TCase& c : cases) {
    const TRun r = RunZrplay(c.Args);
    std::string joined;
    for (const auto& a : c.Args) joined += a + " ";
    EXPECT_EQ(r.ExitCode, c.Exit) << joined << "\n" << r.Output;
    EXPECT_TRUE(Has(r, "zrplay: ") && Has(r, c.Message)) << joined << "\n" << r.Output;
  }
  const TRun help = RunZrplay({"--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_TRUE(Has(help, "Usage: zrplay"));
  EXPECT_TRUE(Has(help, "--snapshot-at PLACE"));
}

// The number of pictures in the last progress line.
int64_t LastPictures(const std::string& output) {
  static const std::regex pictures("pictures ([0-9]+)");
  int64_t last = -1;
  for (auto it = std::sregex_iterator(output.begin(), output.end(), pictures);
       it != std::sregex_iterator(); ++it)
    last = std::stoll((*it)[1]);
  return last;
}

TEST(ZrplayCli, PlaysThroughTheStreamInputHeadless) {
  const std::string file = kData + "/h264_704x576_g711u.rec";
  const TRun counted = RunZrplay({"--headless", "--stream", "--frames", "20", file});
  EXPECT_EQ(counted.ExitCode, 0) << counted.Output;
  EXPECT_EQ(LastPictures(counted.Output), 20);
  // Started past the middle at 16 times the speed, the stream plays to its end.
  const TRun rest = RunZrplay({"--headless", "--stream", "--seek", "75%", "--speed", "4", file});
  EXPECT_EQ(rest.ExitCode, 0) << rest.Output;
  EXPECT_GT(LastPictures(rest.Output), 10);
  EXPECT_LT(LastPictures(rest.Output), 60) << "the first three quarters were skipped";
  EXPECT_TRUE(Has(rest, "frame 199/200"));
}

TEST(ZrplayCli, PlaysARecordFileHeadlessWithSeekSnapshotsAndSound) {
  quvi_test::TTempDir dir("zrplay_play");
  const std::string file = kData + "/h264_704x576_g711u.rec";
  // From the middle the player shows the second half: about 50 of the 100 pictures.
  const TRun half = RunZrplay({"--headless", "--seek", "50%", "--speed", "2", file});
  EXPECT_EQ(half.ExitCode, 0) << half.Output;
  EXPECT_GE(LastPictures(half.Output), 40);
  EXPECT_LE(LastPictures(half.Output), 60);

  const std::string jpg = dir.Path("at30.jpg");
  const std::string wav = dir.Path("sound.wav");
  const TRun shot = RunZrplay({"--headless", "--frames", "40", "--snapshot-at", "#30",
                               "--snapshot-file", jpg, "--wav", wav, file});
  EXPECT_EQ(shot.ExitCode, 0) << shot.Output;
  EXPECT_EQ(LastPictures(shot.Output), 40);
  EXPECT_TRUE(Has(shot, "snapshot: " + jpg)) << shot.Output;
  const std::string bytes = quvi_test::ReadFile(jpg);
  ASSERT_GT(bytes.size(), 1000u);
  EXPECT_EQ(bytes.substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9");
  const quvi_test::TWav sound = quvi_test::ReadWav(wav);
  ASSERT_TRUE(sound.Ok) << wav;
  ASSERT_GT(sound.Frames(), static_cast<size_t>(sound.SampleRate / 2));
  EXPECT_NEAR(quvi_test::DominantFrequency(sound.Channel(0), sound.SampleRate), 440, 10);

  // A place beyond the end cannot be snapped.
  const TRun late = RunZrplay({"--headless", "--snapshot-at", "99s", "--snapshot-file", jpg, file});
  EXPECT_EQ(late.ExitCode, 1);
  EXPECT_TRUE(Has(late, "zrplay: the snapshot place lies beyond the end of the file"));
}

// ---- Under a virtual X display ----

// A running Xvfb on a display number it chose itself.
class TVirtualDisplay {
 public:
  TVirtualDisplay() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[0]);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    char number[16] = {};
    const ssize_t n = ::read(fds[0], number, sizeof number - 1);
    ::close(fds[0]);
    if (n > 0) display_ = ":" + std::string(number, std::strcspn(number, "\n"));
  }
  ~TVirtualDisplay() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

uint32_t BE32(const std::string& b, size_t at) {
  const auto* p = reinterpret_cast<const uint8_t*>(b.data() + at);
  return (uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// The root window of an X screen dump (xwd, 24 or 32 bits per pixel) as 0xRRGGBB values.
bool ReadXwd(const std::string& bytes, std::vector<uint32_t>& pixels, int& width, int& height) {
  if (bytes.size() < 100) return false;
  const uint32_t header_size = BE32(bytes, 0);
  width = static_cast<int>(BE32(bytes, 16));
  height = static_cast<int>(BE32(bytes, 20));
  const uint32_t byte_order = BE32(bytes, 28);
  const uint32_t bits_per_pixel = BE32(bytes, 44);
  const uint32_t bytes_per_line = BE32(bytes, 48);
  const uint32_t colors = BE32(bytes, 76);
  const size_t start = header_size + colors * 12;
  const uint32_t step = bits_per_pixel / 8;
  if ((step != 3 && step != 4) || start + size_t{bytes_per_line} * height > bytes.size())
    return false;
  pixels.resize(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const auto* p =
          reinterpret_cast<const uint8_t*>(bytes.data() + start + y * bytes_per_line + x * step);
      pixels[static_cast<size_t>(y) * width + x] =
          byte_order == 0 ? (p[2] << 16) | (p[1] << 8) | p[0]
                          : (p[step - 3] << 16) | (p[step - 2] << 8) | p[step - 1];
    }
  }
  return true;
}

// Writes the pixels as a PNG through a window surface, so a person can look at them.
bool SavePng(const std::vector<uint32_t>& pixels, int width, int height, const std::string& path) {
  const plat::HWND window = plat::CreateWindowHandle();
  plat::MoveWindow(window, 0, 0, width, height);
  plat::BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  const plat::HDC memory = plat::CreateCompatibleDC(0);
  void* bits = nullptr;
  const plat::HBITMAP bitmap =
      plat::CreateDIBSection(memory, &info, plat::DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = bits != nullptr;
  if (ok) {
    std::memcpy(bits, pixels.data(), pixels.size() * 4);
    plat::SelectObject(memory, bitmap);
    const plat::HDC dc = plat::GetDC(window);
    plat::StretchBlt(dc, 0, 0, width, height, memory, 0, 0, width, height, plat::SRCCOPY);
    plat::ReleaseDC(window, dc);
    ok = plat::SaveWindowPng(window, path);
  }
  plat::DeleteDC(memory);
  plat::DeleteObject(bitmap);
  plat::DestroyWindowHandle(window);
  return ok;
}

// Pixels near the colour (each channel within 40).
int CountNear(const std::vector<uint32_t>& pixels, uint32_t rgb) {
  int n = 0;
  for (uint32_t p : pixels) {
    bool near = true;
    for (int shift : {0, 8, 16}) {
      const int a = (p >> shift) & 0xFF, b = (rgb >> shift) & 0xFF;
      near = near && std::abs(a - b) <= 40;
    }
    n += near ? 1 : 0;
  }
  return n;
}

TEST(ZrplayCli, UnderAnXDisplayTheDesktopWindowShowsThePicture) {
  quvi_test::TTempDir dir("zrplay_x");
  const std::string dump = dir.Path("screen.xwd");
  bool dumped = false;
  TRun r;
  // A virtual display that goes away under a busy machine is started afresh, at most twice.
  for (int attempt = 0; attempt < 3 && !dumped; ++attempt) {
    TVirtualDisplay x;
    ASSERT_FALSE(x.Display().empty()) << "Xvfb did not start (scripts/setup installs xvfb)";
    r = RunZrplay({"--stream", "--frames", "60", kData + "/h264_704x576_g711u.rec"},
                  // The desktop libraries (SDL, X11, D-Bus) keep blocks to the end of the
                  // process; the headless runs above keep the leak check for zrplay's own.
                  "ASAN_OPTIONS=detect_leaks=0 DISPLAY=" + x.Display(),
                  [&](const std::string& line) {
                    // Once pictures are being shown, dump the whole screen.
                    if (dumped || LastPictures(line) < 15) return;
                    const std::string cmd =
                        "xwd -root -silent -display " + x.Display() + " -out " + Quoted(dump);
                    // A dump that fails (the display busy) is tried again at the next line.
                    dumped = std::system(cmd.c_str()) == 0;
                  });
  }
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  ASSERT_TRUE(dumped) << r.Output;
  std::vector<uint32_t> screen;
  int width = 0, height = 0;
  ASSERT_TRUE(ReadXwd(quvi_test::ReadFile(dump), screen, width, height))
      << quvi_test::ReadFile(dump).size() << " bytes";
  const std::string png = dir.Path("screen.png");
  ASSERT_TRUE(SavePng(screen, width, height, png));
  if (const char* keep = std::getenv("QUVI_TEST_KEEP_PNG"))
    SavePng(screen, width, height, std::string(keep) + "/zrplay_xvfb.png");
  // The colour bars of the test pattern: each bar is 88 x 432 pixels.
  for (uint32_t bar : {0xC0C000u, 0x00C0C0u, 0x00C000u, 0xC000C0u, 0xC00000u, 0x0000C0u})
    EXPECT_GT(CountNear(screen, bar), 20000) << std::hex << bar;
}

}  // namespace
