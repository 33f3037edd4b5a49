// Live stream reception over loopback: packages/s and bytes/s from a server through the
// connection thread (handshake, read, checks, statistics, video probe) into the view's queue,
// drained by the benchmark's own thread as the play thread would, against baselines that read
// the same bytes with a plain recv loop into one reused buffer: package by package (head,
// then body), and in bulk. Run with --benchmark_repetitions and
// --benchmark_enable_random_interleaving on a shared machine, and compare the medians.
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/viewer_utils.h"
#include "viewer/pipeline/connection_thread.h"
#include "viewer/pipeline/pipeline_model.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/pipeline/test_pipeline_model.h"
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
struct TBenchModel : viewer::test_support::TTestPipelineModel {
  TBenchModel() {
    dvrid = "1";
    link_mode = 1;
    drop_when_full = false;
  }
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

// Receives n bytes into buffer; past its capacity the bytes wrap around to its start.
void RecvExactly(int fd, uint8_t* buffer, size_t capacity, size_t n) {
  size_t at = 0;
  while (n > 0) {
    if (at == capacity) at = 0;
    const size_t want = n < capacity - at ? n : capacity - at;
    const long got = ::recv(fd, buffer + at, want, 0);
    if (got <= 0) std::abort();
    at += static_cast<size_t>(got);
    n -= static_cast<size_t>(got);
  }
}

// A plain client of the server without handshake, past the stream head.
class TPlainClient {
 public:
  explicit TPlainClient(const TStreamServer& server) : buffer_(1 << 20) {
    client_.Host = "127.0.0.1";
    client_.Port = server.Port();
    if (!client_.Connect()) std::abort();
    RecvExactly(Handle(), buffer_.data(), buffer_.size(), server.HeadSize());
  }
  ~TPlainClient() { client_.Disconnect(); }  // fails the server's send
  int Handle() const { return client_.Handle(); }
  std::vector<uint8_t>& Buffer() { return buffer_; }

 private:
  viewer::TKvTCPClientObj client_;
  std::vector<uint8_t> buffer_;
};

// The same framing as the protocol: each package's 8-byte head, then its body into one
// reused buffer.
void BM_Receive_Baseline(benchmark::State& state) {
  TStreamServer server(static_cast<size_t>(state.range(0)), false);
  TPlainClient client(server);
  std::vector<uint8_t>& buffer = client.Buffer();
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      uint8_t head[8];
      RecvExactly(client.Handle(), head, sizeof head, sizeof head);
      const uint32_t length = ReadUInt32(head, true);
      RecvExactly(client.Handle(), buffer.data(), buffer.size(), length - sizeof head);
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.SetBytesProcessed(state.iterations() * kBatch * static_cast<int64_t>(server.PackageSize()));
}
BENCHMARK(BM_Receive_Baseline)->Arg(4 << 10)->Arg(16 << 10)->Arg(256 << 10)->UseRealTime();

// The socket's own limit: the same bytes in 1 MiB receive calls, no framing at all.
void BM_Receive_BaselineBulk(benchmark::State& state) {
  TStreamServer server(static_cast<size_t>(state.range(0)), false);
  TPlainClient client(server);
  std::vector<uint8_t>& buffer = client.Buffer();
  const size_t batch_bytes = kBatch * server.PackageSize();
  for (auto _ : state) {
    RecvExactly(client.Handle(), buffer.data(), buffer.size(), batch_bytes);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(batch_bytes));
}
BENCHMARK(BM_Receive_BaselineBulk)->Arg(4 << 10)->Arg(16 << 10)->Arg(256 << 10)->UseRealTime();

}  // namespace
