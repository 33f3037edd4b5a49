// Put/take pairs per second through the pipeline's package queue, one writer thread and one
// reader thread, against a plain mutex + condition variable queue of the same capacity.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "viewer/pipeline/blocking_queue.h"

namespace {

constexpr int32_t kCapacity = 100;

struct TEntry {
  int64_t value;
};

// The straightforward bounded queue: one lock, two condition variables, a deque.
class TBaselineQueue {
 public:
  void Put(std::unique_ptr<TEntry> item) {
    std::unique_lock lock(mutex_);
    space_.wait(lock, [this] { return items_.size() < kCapacity; });
    items_.push_back(std::move(item));
    data_.notify_one();
  }
  std::unique_ptr<TEntry> Take() {
    std::unique_lock lock(mutex_);
    data_.wait(lock, [this] { return !items_.empty(); });
    auto item = std::move(items_.front());
    items_.pop_front();
    space_.notify_one();
    return item;
  }

 private:
  std::mutex mutex_;
  std::condition_variable space_;
  std::condition_variable data_;
  std::deque<std::unique_ptr<TEntry>> items_;
};

// Every iteration moves one entry from the writer thread to the reader (this) thread.
template <class Queue, class PutFn>
void RunPairs(benchmark::State& state, Queue& q, PutFn put) {
  const int64_t total = state.max_iterations;
  std::thread writer([&] {
    for (int64_t i = 0; i < total; ++i) put(std::make_unique<TEntry>(TEntry{i}));
  });
  int64_t sum = 0;
  for (auto _ : state) {
    auto item = q.Take();
    sum += item->value;
  }
  writer.join();
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}

void BM_QueuePutTake(benchmark::State& state) {
  viewer::TObjectBlockingQueue<TEntry> q(kCapacity);
  RunPairs(state, q, [&](std::unique_ptr<TEntry> item) { q.PutOrRaise(std::move(item)); });
}
BENCHMARK(BM_QueuePutTake)->Iterations(2000000)->Repetitions(5)->UseRealTime();

void BM_QueuePutTake_Baseline(benchmark::State& state) {
  TBaselineQueue q;
  RunPairs(state, q, [&](std::unique_ptr<TEntry> item) { q.Put(std::move(item)); });
}
BENCHMARK(BM_QueuePutTake_Baseline)->Iterations(2000000)->Repetitions(5)->UseRealTime();

}  // namespace
