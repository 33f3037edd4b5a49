// Play packages read over loopback: packages/s and bytes/s of ReadFrom against a baseline
// that reads the same bytes with a plain recv loop into one reused buffer. On a shared,
// loaded machine the two separate cases drift apart with the load; the paired case reads
// alternating batches from one stream and reports the throughput ratio (ReadFrom/baseline).
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "viewer/protocol/loopback_peer.h"
#include "viewer/protocol/packages.h"
#include "viewer/protocol/responses.h"
#include "viewer/protocol/socket_client.h"

namespace {

using viewer::test_support::TLoopbackListener;
using viewer::test_support::TLoopbackPeer;

// A connected client and a peer thread that streams play packages of one size until stopped.
class PackageStream {
 public:
  explicit PackageStream(size_t media_size) {
    std::vector<uint8_t> media(media_size);
    for (size_t i = 0; i < media_size; ++i) media[i] = static_cast<uint8_t>(i);
    package_ = viewer::EncodePlayPackage(1, media.data(), media.size());
    // Several packages per send so the writer is never the bottleneck.
    for (size_t n = 0; n < 16 || burst_.size() < (1u << 20); ++n)
      burst_.insert(burst_.end(), package_.begin(), package_.end());
    client_.Host = "127.0.0.1";
    client_.Port = listener_.Port();
    client_.Connect();
    peer_ = std::make_unique<TLoopbackPeer>(listener_.Accept());
    writer_ = std::thread([this] {
      while (!stop_ && peer_->Send(burst_)) {
      }
    });
  }
  ~PackageStream() {
    stop_ = true;
    client_.Disconnect();  // fails the writer's send
    writer_.join();
  }
  viewer::TKvTCPClientObj& Client() { return client_; }
  size_t PackageSize() const { return package_.size(); }

 private:
  TLoopbackListener listener_;
  viewer::TKvTCPClientObj client_;
  std::unique_ptr<TLoopbackPeer> peer_;
  std::vector<uint8_t> package_;
  std::vector<uint8_t> burst_;
  std::atomic<bool> stop_{false};
  std::thread writer_;
};

void RecvAll(int fd, uint8_t* p, size_t n) {
  while (n > 0) {
    const long got = ::recv(fd, p, n, 0);
    if (got <= 0) std::abort();
    p += got;
    n -= static_cast<size_t>(got);
  }
}

// One package with a plain recv loop: 8-byte head, then the rest into the reused buffer.
void ReadPlain(int fd, std::vector<uint8_t>& buffer) {
  uint8_t head[8];
  RecvAll(fd, head, sizeof head);
  uint32_t length;
  std::memcpy(&length, head, 4);
  RecvAll(fd, buffer.data(), ntohl(length) - 8);
  benchmark::DoNotOptimize(buffer.data());
}

void ReadPackage(viewer::TKvIPObject& client) {
  viewer::TOstraPreviewPlayPackage package;
  package.ReadFrom(client);
  benchmark::DoNotOptimize(package.Data.get());
}

void BM_ReadPlayPackage(benchmark::State& state) {
  PackageStream stream(static_cast<size_t>(state.range(0)));
  for (auto _ : state) ReadPackage(stream.Client());
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.PackageSize()));
}
BENCHMARK(BM_ReadPlayPackage)->Arg(16 << 10)->Arg(256 << 10)->UseRealTime();

void BM_ReadPlayPackage_Baseline(benchmark::State& state) {
  PackageStream stream(static_cast<size_t>(state.range(0)));
  const int fd = stream.Client().Handle();
  std::vector<uint8_t> buffer(1 << 20);
  for (auto _ : state) ReadPlain(fd, buffer);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.PackageSize()));
}
BENCHMARK(BM_ReadPlayPackage_Baseline)->Arg(16 << 10)->Arg(256 << 10)->UseRealTime();

// Each iteration: a batch through ReadFrom and a batch through the plain loop. The time
// shown is ReadFrom's; counter vs_baseline = ReadFrom throughput / plain loop throughput.
void BM_ReadPlayPackage_Paired(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  constexpr int kBatch = 16;
  PackageStream stream(static_cast<size_t>(state.range(0)));
  const int fd = stream.Client().Handle();
  std::vector<uint8_t> buffer(1 << 20);
  double ours = 0, plain = 0;
  bool ours_first = true;
  for (auto _ : state) {
    // The batch that goes first runs in slightly different conditions, so the order
    // alternates from one iteration to the next.
    double a = 0;
    for (int half = 0; half < 2; ++half) {
      const bool run_ours = (half == 0) == ours_first;
      const auto t0 = Clock::now();
      for (int i = 0; i < kBatch; ++i) {
        if (run_ours)
          ReadPackage(stream.Client());
        else
          ReadPlain(fd, buffer);
      }
      const double t = std::chrono::duration<double>(Clock::now() - t0).count();
      (run_ours ? a : plain) += t;
    }
    ours_first = !ours_first;
    ours += a;
    state.SetIterationTime(a);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.SetBytesProcessed(state.iterations() * kBatch * static_cast<int64_t>(stream.PackageSize()));
  state.counters["vs_baseline"] = ours > 0 ? plain / ours : 0;
}
BENCHMARK(BM_ReadPlayPackage_Paired)->Arg(16 << 10)->Arg(256 << 10)->UseManualTime();

}  // namespace
