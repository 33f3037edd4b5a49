#include "modules/qeldsound/sound_sink.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <strings.h>

#include <cstdlib>

namespace qelsound {

namespace {

class TNullSink final : public TSoundSink {
 public:
  bool Paced() const override { return false; }
  bool Open(const TSoundFormat& format) override { return format.Valid(); }
  bool Write(const uint8_t*, size_t) override { return true; }
};

// The server keeps at most this much sound ahead of the speaker, so live sound stays close
// to its picture.
constexpr pa_usec_t kServerBufferUs = 100000;

pa_simple* Connect(const TSoundFormat& format) {
  pa_sample_spec sample_format{};
  sample_format.format = format.Bits == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
  sample_format.channels = static_cast<uint8_t>(format.Channels);
  sample_format.rate = static_cast<uint32_t>(format.SampleRate);
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kServerBufferUs, &sample_format));
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(-1);
  int error = 0;
  return pa_simple_new(nullptr, "QelDSound", PA_STREAM_PLAYBACK, nullptr, "live sound",
                       &sample_format, nullptr, &attr, &error);
}

class TPulseSink final : public TSoundSink {
 public:
  TPulseSink(pa_simple* stream, const TSoundFormat& format) : stream_(stream), format_(format) {}
  ~TPulseSink() override { Close(); }

  bool Paced() const override { return true; }
  bool Open(const TSoundFormat& format) override {
    if (!format.Valid()) return false;
    if (stream_ != nullptr && format == format_) return true;
    Close();
    stream_ = Connect(format);
    format_ = format;
    return stream_ != nullptr;
  }
  bool Write(const uint8_t* data, size_t size) override {
    int error = 0;
    return stream_ != nullptr && pa_simple_write(stream_, data, size, &error) == 0;
  }

 private:
  void Close() {
    if (stream_ == nullptr) return;
    int error = 0;
    pa_simple_flush(stream_, &error);  // what is still buffered is not waited for
    pa_simple_free(stream_);
    stream_ = nullptr;
  }

  pa_simple* stream_;
  TSoundFormat format_;
};

}  // namespace

std::unique_ptr<TSoundSink> MakeNullSink() {
  return std::make_unique<TNullSink>();
}

std::unique_ptr<TSoundSink> MakePulseSink() {
  // A connection in a common format tells whether a server answers; it is kept for a stream
  // in that format and replaced when another is opened.
  const TSoundFormat probe{1, 16, 8000};
  pa_simple* stream = Connect(probe);
  if (stream == nullptr) return nullptr;
  return std::make_unique<TPulseSink>(stream, probe);
}

std::unique_ptr<TSoundSink> MakeSoundSink() {
  const char* choice = std::getenv("QELDSOUND_SINK");
  if (choice == nullptr || strcasecmp(choice, "null") != 0) {
    if (auto pulse = MakePulseSink()) return pulse;
  }
  return MakeNullSink();
}

}  // namespace qelsound
