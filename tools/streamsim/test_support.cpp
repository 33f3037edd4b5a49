#include "tools/streamsim/test_support.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "common/viewer_utils.h"
#include "tests/support/wait_until.h"
#include "tools/recmake/record_file_writer.h"
#include "viewer/protocol/wire_format.h"

namespace streamsim::test {

void TMemoryLog::Write(const TLogLine& line) {
  std::lock_guard<std::mutex> hold(lock_);
  lines_.push_back(line.Text());
  changed_.notify_all();
}

std::vector<std::string> TMemoryLog::Lines() const {
  std::lock_guard<std::mutex> hold(lock_);
  return lines_;
}

std::string TMemoryLog::WaitFor(const std::vector<std::string>& pieces) const {
  std::unique_lock<std::mutex> hold(lock_);
  std::string found;
  changed_.wait_for(hold, quvi_test::kHangGuard, [&] {
    for (const std::string& line : lines_) {
      bool all = true;
      for (const std::string& p : pieces) all = all && line.find(p) != std::string::npos;
      if (all) {
        found = line;
        return true;
      }
    }
    return false;
  });
  return found;
}

TBytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(in), {});
}

TTestFile WriteTestFile(const std::string& path, bool file_head, int64_t step_us, uint8_t fill) {
  const int64_t start = 1733819400LL * 1000000 + 250000;
  TTestFile file;
  file.Path = path;
  file.HasFileHead = file_head;
  auto video = [&](int n, bool key, size_t size) {
    recmake::TRecordFrame f;
    f.Head = recmake::MakeVideoHead(zrplay::kCodecH264, key, start + n * step_us);
    for (size_t i = 0; i < size; ++i) f.Payload.push_back(static_cast<uint8_t>(fill + n + i));
    return f;
  };
  auto audio = [&](int n) {
    recmake::TRecordFrame f;
    f.Head = recmake::MakeAudioHead(zrplay::kCodecG711U, 8000, 1, 8);
    recmake::SetCaptureTime(f.Head, start + n * step_us);
    f.Payload.assign(320, static_cast<uint8_t>(fill + 0x80 + n));
    return f;
  };
  file.Frames.push_back(video(0, true, 300));
  file.Frames.push_back(audio(0));
  file.Frames.push_back(video(1, false, 120));
  file.Frames.back().Overlays = {recmake::MakeOverlayRecord(-3, 500, "cam 1"),
                                 recmake::MakeOverlayRecord(10, 20, std::string(40, 'x'))};
  file.Frames.back().Head.OverlayEncoding = 1;
  file.Frames.push_back(audio(1));
  file.Frames.push_back(video(2, false, 90));
  recmake::TRecordFileWriter writer(path, file_head);
  size_t offset = file_head ? zrplay::kFrameHeadSize : 0;
  for (recmake::TRecordFrame& f : file.Frames) {
    f.SyncLengths();
    writer.Write(f);
    file.Spans.emplace_back(offset, f.WireSize());
    offset += f.WireSize();
  }
  writer.Close();
  file.Bytes = ReadFile(path);
  return file;
}

TRunningServer::TRunningServer(TServerOptions options)
    : server_(std::make_unique<TStreamSimServer>(options, log_)) {
  server_->Start();
}

TServerOptions FastFileOptions(const std::string& path) {
  TServerOptions o;
  o.DefaultSource = {TSourceSpec::EKind::File, path};
  o.RealTime = false;
  o.KeepAliveMs = 0;
  return o;
}

TViewerClient::TViewerClient(int port, int32_t recv_timeout_ms) {
  client_.Host = "127.0.0.1";
  client_.Port = port;
  if (!client_.Connect()) throw std::runtime_error("cannot connect to the server");
  client_.SetRecvTimeout(recv_timeout_ms);
}

void TViewerClient::Send(const TBytes& bytes) {
  if (!client_.SendBuffer(bytes.data(), bytes.size())) throw std::runtime_error("send failed");
}

TBytes TViewerClient::ReadMessage() {
  TBytes bytes(4);
  client_.ReadBuffer(bytes.data(), 4);
  const uint32_t length = ReadUInt32(bytes.data(), true);
  if (length < 4 || length > (1u << 21)) throw std::runtime_error("implausible message length");
  bytes.resize(length);
  client_.ReadBuffer(bytes.data() + 4, length - 4);
  return bytes;
}

std::unique_ptr<viewer::TOstraPreviewPlayPackage> TViewerClient::ReadPackage() {
  auto package = std::make_unique<viewer::TOstraPreviewPlayPackage>();
  package->ReadFrom(client_);
  return package;
}

bool TViewerClient::OpenLive(int32_t channel) {
  viewer::TOpenLiveRequest request;
  request.ChannelNo = channel;
  SendRequest(request);
  const TBytes answer = ReadMessage();
  return answer.size() >= viewer::wire::kResponseHeadSize &&
         ReadUInt32(answer.data() + viewer::wire::kCodeOffset, true) ==
             viewer::wire::kOpenLiveResponse &&
         ReadUInt32(answer.data() + viewer::wire::kResponseStatusOffset, true) == 0;
}

std::string TViewerClient::LocalPeer() const {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  getsockname(client_.Handle(), reinterpret_cast<sockaddr*>(&sa), &len);
  return "127.0.0.1:" + std::to_string(ntohs(sa.sin_port));
}

TByteWriter& TByteWriter::BE32(uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes_.push_back(static_cast<uint8_t>(v >> shift));
  return *this;
}

TByteWriter& TByteWriter::BE16(uint16_t v) {
  bytes_.push_back(static_cast<uint8_t>(v >> 8));
  bytes_.push_back(static_cast<uint8_t>(v));
  return *this;
}

TByteWriter& TByteWriter::U8(uint8_t v) {
  bytes_.push_back(v);
  return *this;
}

TByteWriter& TByteWriter::Text(const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) bytes_.push_back(i < text.size() ? text[i] : 0);
  return *this;
}

TByteWriter& TByteWriter::Raw(const TBytes& bytes) {
  return Raw(bytes.data(), bytes.size());
}

TByteWriter& TByteWriter::Raw(const uint8_t* data, size_t size) {
  bytes_.insert(bytes_.end(), data, data + size);
  return *this;
}

TBytes MediaOf(const viewer::TAbstractPackage& package) {
  const uint8_t* media = package.Media();
  return TBytes(media, media + package.FrameLength);
}

}  // namespace streamsim::test
