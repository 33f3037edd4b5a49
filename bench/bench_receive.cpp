// Live stream reception over loopback: packages/s and bytes/s from a server through the
// connection thread (handshake, read, checks, statistics, video probe) into the view's queue,
// drained by the benchmark's own thread as the play thread would, against a baseline that
// reads the same bytes with a plain recv loop into one reused buffer.
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "viewer/pipeline/connection_thread.h"
#include "viewer/pipeline/pipeline_model.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/protocol/loopback_peer.h"
#include "viewer/protocol/packages.h"
#include "viewer/protocol/preview_communicator.h"
#include "viewer/protocol/responses.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/protocol/wire_format.h"

namespace {

using viewer::test_support::TLoopbackListener;
using viewer::test_support::TLoopbackPeer;

constexpr size_t kOpenRequestSize = 162;
// Packages per benchmark iteration.
constexpr int kBatch = 256;

// The stream server: answers the open request (when asked to), sends a stream head, then
// video packages of one size until the client leaves.
class TStreamServer {
 public:
  TStreamServer(size_t media_size, bool handshake) {
    std::vector<uint8_t> media(media_size);
    for (size_t i = 0; i < media_size; ++i) media[i] = static_cast<uint8_t>(i);
    const std::vector<uint8_t> package =
        viewer::EncodePlayPackage(viewer::wire::kFrameVideo, media.data(), media.size());
    package_size_ = package.size();
    // Several packages per send so the server is never the bottleneck.
    while (burst_.size() < (1u << 20) || burst_.size() < 16 * package_size_)
      burst_.insert(burst_.end(), package.begin(), package.end());
    const uint8_t head_media[64] = {};
    head_ =
        viewer::EncodePlayPackage(viewer::wire::kFrameStreamHead, head_media, sizeof head_media);
    writer_ = std::thread([this, handshake] { Serve(handshake); });
  }
  ~TStreamServer() { writer_.join(); }  // the client has left by now, so the send failed

  int Port() const { return listener_.Port(); }
  size_t PackageSize() const { return package_size_; }
  size_t HeadSize() const { return head_.size(); }

 private:
  void Serve(bool handshake) {
    TLoopbackPeer peer(listener_.Accept());
    if (handshake) {
      std::vector<uint8_t> request(kOpenRequestSize);
      if (!peer.Receive(request.data(), request.size())) return;
      if (!peer.Send(viewer::EncodeOpenLiveResponse(0, std::nullopt))) return;
    }
    if (!peer.Send(head_)) return;
    while (peer.Send(burst_)) {
    }
  }

  TLoopbackListener listener_;
  std::vector<uint8_t> head_;
  std::vector<uint8_t> burst_;
  size_t package_size_ = 0;
  std::thread writer_;
};

// A view that plays for as long as the benchmark runs and never drops: every package read
// reaches the consumer.
class TBenchModel : public viewer::TPipelineModel {
 public:
  std::string DVRID() override { return "1"; }
  int32_t LinkMode() override { return 1; }
  int32_t PortNo() override { return 0; }
  int32_t ChannelNo() override { return 0; }
  bool Playing() override { return playing; }
  bool DropWhenFull() override { return false; }
  uint32_t LastDataTick() override { return 0; }
  void MarkDataTime() override {}
  void SetStatus(int32_t) override {}
  void NotifyStatus(int32_t) override {}
  void FirePlayEnd() override {}
  bool AudioPlaying() override { return false; }
  void OpenSound() override {}

  std::atomic<bool> playing{true};
};

void BM_Receive(benchmark::State& state) {
  TStreamServer server(static_cast<size_t>(state.range(0)), true);
  TBenchModel model;
  viewer::TProtectedSection section;
  auto communicator = std::make_unique<viewer::TOstraNvPreviewCommunicator>();
  viewer::TOstraNvPreviewCommunicator& comm = *communicator;
  viewer::TConnectionThread thread(std::move(communicator));
  comm.Model = &model;
  comm.ProtectedSection = &section;
  comm.Client = &thread.TCPClient();
  comm.ServerAddress = "127.0.0.1";
  thread.Model = &model;
  thread.ProtectedSection = &section;
  thread.HostIP = "127.0.0.1";
  thread.HostPort = server.Port();
  thread.TryTimes = 1;
  thread.SetReadTimeout(5000);
  thread.Start();

  if (!section.BlockingQueue.Take()) state.SkipWithError("no stream head arrived");
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      std::unique_ptr<viewer::TAbstractPackage> package = section.BlockingQueue.Take();
      if (!package) {
        state.SkipWithError("the stream broke off");
        break;
      }
      benchmark::DoNotOptimize(package->Data.get());
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.SetBytesProcessed(state.iterations() * kBatch * static_cast<int64_t>(server.PackageSize()));

  model.playing = false;
  thread.RequestStop();
  section.BlockingQueue.Unblock();
  thread.WaitFor();
}
BENCHMARK(BM_Receive)->Arg(4 << 10)->Arg(16 << 10)->Arg(256 << 10)->UseRealTime();

void RecvExactly(int fd, uint8_t* buffer, size_t capacity, size_t n) {
  while (n > 0) {
    const long got = ::recv(fd, buffer, n < capacity ? n : capacity, 0);
    if (got <= 0) std::abort();
    n -= static_cast<size_t>(got);
  }
}

void BM_Receive_Baseline(benchmark::State& state) {
  TStreamServer server(static_cast<size_t>(state.range(0)), false);
  viewer::TKvTCPClientObj client;
  client.Host = "127.0.0.1";
  client.Port = server.Port();
  if (!client.Connect()) {
    state.SkipWithError("cannot connect");
    return;
  }
  const int fd = client.Handle();
  std::vector<uint8_t> buffer(1 << 20);
  RecvExactly(fd, buffer.data(), buffer.size(), server.HeadSize());
  const size_t batch_bytes = kBatch * server.PackageSize();
  for (auto _ : state) {
    RecvExactly(fd, buffer.data(), buffer.size(), batch_bytes);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(batch_bytes));
  client.Disconnect();
}
BENCHMARK(BM_Receive_Baseline)->Arg(4 << 10)->Arg(16 << 10)->Arg(256 << 10)->UseRealTime();

}  // namespace
