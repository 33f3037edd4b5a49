#include "viewer/player/testing/player_test_support.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <sstream>

#include "modules/zrplayproxy/testing/zrplay_recorder.h"
#include "viewer/player/player_binding.h"
#include "viewer/viewer_log.h"

namespace viewer::testing {

namespace {

void* g_recorder = nullptr;

template <typename Fn>
Fn RecorderExport(const char* name) {
  return g_recorder ? reinterpret_cast<Fn>(dlsym(g_recorder, name)) : nullptr;
}

void PutBE32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 24);
  at[1] = static_cast<uint8_t>(value >> 16);
  at[2] = static_cast<uint8_t>(value >> 8);
  at[3] = static_cast<uint8_t>(value);
}

}  // namespace

std::unique_ptr<TAbstractPackage> MakePlayPackage(int32_t frame_type,
                                                  const std::vector<uint8_t>& media,
                                                  size_t trailing) {
  auto package = std::make_unique<TOstraPreviewPlayPackage>();
  const size_t size = 20 + media.size() + trailing;
  package->Data.reset(new uint8_t[size]());
  uint8_t* d = package->Data.get();
  PutBE32(d + 12, static_cast<uint32_t>(frame_type));
  PutBE32(d + 16, static_cast<uint32_t>(media.size()));
  for (size_t i = 0; i < media.size(); ++i) d[20 + i] = media[i];
  for (size_t i = 0; i < trailing; ++i) d[20 + media.size() + i] = 0xEE;
  package->DataSize = size;
  package->PackLength = static_cast<int32_t>(size + 8);
  package->PackType = 0x80050102u;
  package->FrameType = frame_type;
  package->FrameLength = static_cast<int32_t>(media.size());
  return package;
}

std::vector<uint8_t> TaggedMedia(uint8_t tag, size_t size) {
  std::vector<uint8_t> media(size);
  for (size_t i = 0; i < size; ++i) media[i] = static_cast<uint8_t>(tag + i);
  media[1] = media[2] = media[3] = 0;  // the recorder prints the first four bytes
  return media;
}

TLogCapture::TLogCapture() {
  SetLogListener([this](const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(text);
  });
}

TLogCapture::~TLogCapture() {
  SetLogListener(nullptr);
}

std::vector<std::string> TLogCapture::Lines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

void TLogCapture::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

int TLogCapture::Count(const std::string& text) {
  int n = 0;
  for (const std::string& line : Lines())
    if (line.find(text) != std::string::npos) ++n;
  return n;
}

bool TRecorder::Attach() {
  if (g_recorder != nullptr) return true;
  SetPlayerProxyModuleName(ZRPLAYPROXY_PATH);
  ::setenv("ZRPLAYPROXY_PLAYER", ZRPLAYRECORDER_PATH, 1);
  // The first forwarded call makes the proxy load the recorder.
  if (proxy::Zr_Play_Player_FACTORYID() != 29) return false;
  g_recorder = ::dlopen(ZRPLAYRECORDER_PATH, RTLD_NOW | RTLD_NOLOAD);
  Reset();
  return g_recorder != nullptr;
}

std::vector<std::string> TRecorder::Calls() {
  auto calls = RecorderExport<ZrRecorder_CallsFn>("ZrRecorder_Calls");
  std::vector<std::string> lines;
  if (calls == nullptr) return lines;
  std::istringstream in(calls());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> TRecorder::CallsOf(const std::string& prefix) {
  std::vector<std::string> lines;
  for (const std::string& line : Calls())
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  return lines;
}

void TRecorder::Reset() {
  if (auto reset = RecorderExport<ZrRecorder_ResetFn>("ZrRecorder_Reset")) reset();
}

void TRecorder::SetResult(const char* name, int32_t result) {
  if (auto set = RecorderExport<ZrRecorder_SetResultFn>("ZrRecorder_SetResult")) set(name, result);
}

void TRecorder::SetEncodeInfo(int32_t codec, int32_t width, int32_t height) {
  if (auto set = RecorderExport<ZrRecorder_SetEncodeInfoFn>("ZrRecorder_SetEncodeInfo"))
    set(codec, width, height);
}

}  // namespace viewer::testing
