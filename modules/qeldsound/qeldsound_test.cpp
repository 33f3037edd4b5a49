// The QelSound_* calls as the player uses them: a tone played into the null sink lands in the
// WAV file with its format, the fallback when no server answers, the failures, the one WAV
// file per process, and nothing exported but the four calls.
#include "modules/qeldsound/qeldsound.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>

#include "tests/support/audio_measure.h"
#include "tests/support/exported_symbols.h"
#include "tests/support/test_files.h"

namespace {

// Sets an environment variable for one test and restores it afterwards.
class TEnvScope {
 public:
  TEnvScope(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    if (old != nullptr) saved_ = old;
    had_ = old != nullptr;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~TEnvScope() {
    if (had_) {
      setenv(name_, saved_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string saved_;
  bool had_ = false;
};

// 40 ms of a tone as 16-bit samples, frame index i of a continuous signal.
std::vector<uint8_t> ToneFrame(int i, int rate, int channels, double hz) {
  const int samples = rate / 25;
  std::vector<uint8_t> out;
  for (int n = 0; n < samples; ++n) {
    const double t = static_cast<double>(i * samples + n) / rate;
    const auto v = static_cast<int16_t>(std::lround(8000 * std::sin(2 * M_PI * hz * t)));
    for (int c = 0; c < channels; ++c) {
      out.push_back(static_cast<uint8_t>(v & 0xFF));
      out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    }
  }
  return out;
}

class QelDSoundTest : public ::testing::Test {
 protected:
  quvi_test::TTempDir dir_{"qeldsound"};
  TEnvScope sink_{"QELDSOUND_SINK", "null"};
};

TEST_F(QelDSoundTest, ATonePlayedIntoTheNullSinkIsInTheWavFileWithItsFormat) {
  const std::string wav = dir_.Path("tone.wav");
  TEnvScope path("QELDSOUND_WAV", wav.c_str());
  const QELSOUND_HANDLE p = QelSound_CreatePlayer(0);
  ASSERT_NE(p, 0);
  ASSERT_EQ(QelSound_SetParam(p, 2, 16, 16000), 0);
  for (int i = 0; i < 50; ++i) {
    const auto f = ToneFrame(i, 16000, 2, 500);
    ASSERT_EQ(QelSound_PlayOneFrame(p, f.data(), static_cast<int32_t>(f.size())), 0);
  }
  ASSERT_EQ(QelSound_FreePlayer(p), 0);
  const quvi_test::TWav w = quvi_test::ReadWav(wav);
  ASSERT_TRUE(w.Ok);
  EXPECT_EQ(w.Channels, 2);
  EXPECT_EQ(w.Bits, 16);
  EXPECT_EQ(w.SampleRate, 16000);
  EXPECT_EQ(w.Frames(), 50u * 640);
  EXPECT_EQ(w.DeclaredDataBytes, w.Data.size());
  EXPECT_NEAR(quvi_test::DominantFrequency(w.Channel(1), 16000), 500, 10);
}

TEST_F(QelDSoundTest, WithoutAServerThePlayerPlaysIntoTheNullSink) {
  const std::string wav = dir_.Path("fallback.wav");
  TEnvScope path("QELDSOUND_WAV", wav.c_str());
  TEnvScope auto_sink("QELDSOUND_SINK", nullptr);
  TEnvScope server("PULSE_SERVER", ("unix:" + dir_.Path("no-server")).c_str());
  const QELSOUND_HANDLE p = QelSound_CreatePlayer(0x1234);
  ASSERT_NE(p, 0);
  ASSERT_EQ(QelSound_SetParam(p, 1, 16, 8000), 0);
  for (int i = 0; i < 10; ++i) {
    const auto f = ToneFrame(i, 8000, 1, 500);
    EXPECT_EQ(QelSound_PlayOneFrame(p, f.data(), static_cast<int32_t>(f.size())), 0);
  }
  ASSERT_EQ(QelSound_FreePlayer(p), 0);
  EXPECT_EQ(quvi_test::ReadWav(wav).Frames(), 10u * 320);
}

TEST_F(QelDSoundTest, UnknownHandlesMissingFormatsAndBadArgumentsFail) {
  TEnvScope path("QELDSOUND_WAV", nullptr);
  const auto f = ToneFrame(0, 8000, 1, 500);
  const auto n = static_cast<int32_t>(f.size());
  const QELSOUND_HANDLE p = QelSound_CreatePlayer(0);
  ASSERT_NE(p, 0);
  EXPECT_EQ(QelSound_PlayOneFrame(p, f.data(), n), QELSOUND_REFUSED);  // no format yet
  EXPECT_EQ(QelSound_SetParam(p, 0, 16, 8000), -1);
  EXPECT_EQ(QelSound_SetParam(p, 1, 24, 8000), -1);
  EXPECT_EQ(QelSound_SetParam(p, 1, 16, 0), -1);
  EXPECT_EQ(QelSound_PlayOneFrame(p, f.data(), n), QELSOUND_REFUSED);
  ASSERT_EQ(QelSound_SetParam(p, 1, 16, 8000), 0);
  EXPECT_EQ(QelSound_PlayOneFrame(p, nullptr, n), QELSOUND_REFUSED);
  EXPECT_EQ(QelSound_PlayOneFrame(p, f.data(), 0), QELSOUND_REFUSED);
  EXPECT_EQ(QelSound_PlayOneFrame(p, f.data(), -4), QELSOUND_REFUSED);
  EXPECT_EQ(QelSound_PlayOneFrame(p, f.data(), 1), QELSOUND_REFUSED);  // below a sample
  EXPECT_EQ(QelSound_PlayOneFrame(p, f.data(), n), 0);
  EXPECT_EQ(QelSound_FreePlayer(p), 0);
  // A freed handle and a made-up one are unknown.
  for (QELSOUND_HANDLE h : {p, p + 1, QELSOUND_HANDLE{0}}) {
    EXPECT_EQ(QelSound_SetParam(h, 1, 16, 8000), -1);
    EXPECT_EQ(QelSound_PlayOneFrame(h, f.data(), n), QELSOUND_REFUSED);
    EXPECT_EQ(QelSound_FreePlayer(h), -1);
  }
}

TEST_F(QelDSoundTest, OnePlayerAtATimeWritesTheWavFile) {
  const std::string wav = dir_.Path("one.wav");
  TEnvScope path("QELDSOUND_WAV", wav.c_str());
  const QELSOUND_HANDLE first = QelSound_CreatePlayer(0);
  const QELSOUND_HANDLE second = QelSound_CreatePlayer(0);
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  ASSERT_EQ(QelSound_SetParam(first, 1, 16, 8000), 0);
  ASSERT_EQ(QelSound_SetParam(second, 1, 16, 16000), 0);
  const auto a = ToneFrame(0, 8000, 1, 500);
  const auto b = ToneFrame(0, 16000, 1, 500);
  EXPECT_EQ(QelSound_PlayOneFrame(second, b.data(), static_cast<int32_t>(b.size())), 0);
  EXPECT_EQ(QelSound_PlayOneFrame(first, a.data(), static_cast<int32_t>(a.size())), 0);
  QelSound_FreePlayer(second);
  QelSound_FreePlayer(first);
  quvi_test::TWav w = quvi_test::ReadWav(wav);
  EXPECT_EQ(w.SampleRate, 8000);
  EXPECT_EQ(w.Data, a);

  // Once the holder is freed, the next player writes the file anew.
  const QELSOUND_HANDLE third = QelSound_CreatePlayer(0);
  ASSERT_EQ(QelSound_SetParam(third, 1, 16, 16000), 0);
  EXPECT_EQ(QelSound_PlayOneFrame(third, b.data(), static_cast<int32_t>(b.size())), 0);
  QelSound_FreePlayer(third);
  w = quvi_test::ReadWav(wav);
  EXPECT_EQ(w.SampleRate, 16000);
  EXPECT_EQ(w.Data, b);
}

TEST(QelDSoundExportsTest, OnlyTheFourCallsAreExported) {
  const std::string path =
      quvi_test::ModuleFileOf(reinterpret_cast<const void*>(&QelSound_CreatePlayer));
  const std::set<std::string> expected = {"QelSound_CreatePlayer", "QelSound_SetParam",
                                          "QelSound_PlayOneFrame", "QelSound_FreePlayer"};
  EXPECT_EQ(quvi_test::ExportedSymbols(path), expected) << path;
}

}  // namespace
