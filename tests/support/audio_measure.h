// Test support for what a listener hears: reading a WAV file the sound module wrote, and the
// dominant frequency of a stretch of 16-bit samples (Hann-windowed FFT peak). Header only, so
// a test in any folder includes it without a link dependency. Plain functions; any thread.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace quvi_test {

struct TWav {
  bool Ok = false;  // a RIFF/WAVE file with a PCM "fmt " chunk and a "data" chunk
  int Channels = 0;
  int Bits = 0;
  int SampleRate = 0;
  uint32_t DeclaredDataBytes = 0;  // what the "data" chunk's size field says
  std::vector<uint8_t> Data;       // the bytes present after the "data" chunk head

  // Sample frames (one sample per channel) present.
  size_t Frames() const {
    const size_t frame = static_cast<size_t>(Channels) * static_cast<size_t>(Bits / 8);
    return frame == 0 ? 0 : Data.size() / frame;
  }
  // One channel's samples as 16-bit values (8-bit samples are widened).
  std::vector<int16_t> Channel(int channel) const {
    std::vector<int16_t> out;
    const size_t step = static_cast<size_t>(Channels) * static_cast<size_t>(Bits / 8);
    for (size_t i = 0; step != 0 && i + step <= Data.size(); i += step) {
      const size_t at = i + static_cast<size_t>(channel) * static_cast<size_t>(Bits / 8);
      if (Bits == 16) {
        out.push_back(static_cast<int16_t>(Data[at] | (Data[at + 1] << 8)));
      } else {
        out.push_back(static_cast<int16_t>((Data[at] - 128) << 8));
      }
    }
    return out;
  }
};

inline uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
}
inline uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline TWav ReadWav(const std::string& path) {
  TWav wav;
  const std::string file = ReadFile(path);
  const auto* p = reinterpret_cast<const uint8_t*>(file.data());
  if (file.size() < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) {
    return wav;
  }
  bool fmt = false;
  size_t at = 12;
  while (at + 8 <= file.size()) {
    const uint32_t size = Le32(p + at + 4);
    const uint8_t* body = p + at + 8;
    if (std::memcmp(p + at, "fmt ", 4) == 0 && size >= 16 && at + 8 + 16 <= file.size()) {
      fmt = Le16(body) == 1;  // integer PCM
      wav.Channels = Le16(body + 2);
      wav.SampleRate = static_cast<int>(Le32(body + 4));
      wav.Bits = Le16(body + 14);
    } else if (std::memcmp(p + at, "data", 4) == 0) {
      wav.DeclaredDataBytes = size;
      wav.Data.assign(body, p + file.size());
      wav.Ok = fmt;
      return wav;
    }
    at += 8 + size + (size & 1);
  }
  return wav;
}

// The frequency in Hz with the most energy in the samples, searched between min_hz and half
// the rate. Uses the largest power-of-two stretch from the start (up to 2^16 samples), so the
// resolution is rate / that length.
inline double DominantFrequency(const std::vector<int16_t>& samples, int rate, double min_hz = 50) {
  size_t n = 1;
  while (n * 2 <= samples.size() && n < 65536) n *= 2;
  if (n < 256 || rate <= 0) return 0;
  std::vector<std::complex<double>> x(n);
  for (size_t i = 0; i < n; ++i) {
    const double window = 0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / (n - 1));
    x[i] = samples[i] * window;
  }
  // Iterative radix-2 FFT.
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double angle = -2 * M_PI / static_cast<double>(len);
    const std::complex<double> step(std::cos(angle), std::sin(angle));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1);
      for (size_t k = 0; k < len / 2; ++k) {
        const std::complex<double> u = x[i + k];
        const std::complex<double> v = x[i + k + len / 2] * w;
        x[i + k] = u + v;
        x[i + k + len / 2] = u - v;
        w *= step;
      }
    }
  }
  const double bin_hz = static_cast<double>(rate) / static_cast<double>(n);
  size_t best = 0;
  double best_power = -1;
  for (size_t k = static_cast<size_t>(std::ceil(min_hz / bin_hz)); k < n / 2; ++k) {
    const double power = std::norm(x[k]);
    if (power > best_power) {
      best_power = power;
      best = k;
    }
  }
  return static_cast<double>(best) * bin_hz;
}

// 16-bit little-endian bytes as samples of one channel (channel of channels interleaved).
inline std::vector<int16_t> S16Channel(const uint8_t* bytes, size_t size, int channels,
                                       int channel) {
  std::vector<int16_t> out;
  const size_t step = static_cast<size_t>(channels) * 2;
  for (size_t i = static_cast<size_t>(channel) * 2; step != 0 && i + 2 <= size; i += step) {
    out.push_back(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  return out;
}

}  // namespace quvi_test
