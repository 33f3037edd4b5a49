#include "modules/vdec/decode_worker.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <pthread.h>

#include <string>
#include <system_error>

namespace vdec {

namespace {

thread_local int32_t tls_decoding_port = -1;

}  // namespace

TDecodeWorker::TDecodeWorker(int32_t port, TInputBuffer& input, TDeliver deliver)
    : port_(port), input_(input), deliver_(std::move(deliver)) {}

TDecodeWorker::~TDecodeWorker() {
  Stop();
}

bool TDecodeWorker::Start() {
  if (thread_.joinable()) return true;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void TDecodeWorker::Stop() {
  stop_ = true;
  input_.Cancel();
  if (thread_.joinable()) thread_.join();
  input_.Resume();
}

int32_t TDecodeWorker::CallingPort() {
  return tls_decoding_port;
}

void TDecodeWorker::Run() {
  tls_decoding_port = port_;
  const std::string name = "vdec" + std::to_string(port_);
  pthread_setname_np(pthread_self(), name.c_str());
  while (!stop_) {
    std::optional<std::vector<uint8_t>> block = input_.Pop();
    if (!block) break;
    try {
      DecodeBlock(*block);
    } catch (...) {
      // A failing delivery loses that picture, not the port.
    }
  }
  tls_decoding_port = -1;
}

void TDecodeWorker::DecodeBlock(const std::vector<uint8_t>& block) {
  if (codec_ == TStreamCodec::None) {
    // Until a parameter set shows the codec, nothing before it could be decoded anyway.
    codec_ = DetectStreamCodec(block.data(), block.size());
    if (codec_ == TStreamCodec::None) return;
    decoder_.Open(codec_);  // a missing decoder leaves the stream undecoded
  }
  const TPictureSink on_picture = [this](AVFrame* picture) {
    units_without_picture_ = 0;
    return OnPicture(*picture);
  };
  SplitAccessUnits(codec_, block.data(), block.size(), [&](const TAccessUnit& unit) {
    if (unit.key && units_without_picture_ >= kStuckUnits) {
      // Damaged input can leave the decoder waiting for a picture that never completes;
      // a key picture is where to start afresh.
      decoder_.Flush();
      units_without_picture_ = 0;
    }
    if (unit.has_slices) ++units_without_picture_;
    return decoder_.Decode(unit.data, unit.size, on_picture) && !stop_;
  });
}

bool TDecodeWorker::OnPicture(const AVFrame& picture) {
  if (stop_) return false;
  VDEC_FRAME_INFO info;
  info.nWidth = picture.width;
  info.nHeight = picture.height;
  info.nFrameRate = decoder_.FrameRate();
  info.nStamp = static_cast<int32_t>(pictures_ * 1000 / info.nFrameRate);
  info.nType = VDEC_FRAME_TYPE_YV12;
  ++pictures_;
  deliver_(picture, info);
  return !stop_;
}

}  // namespace vdec
