#include "viewer/pipeline/blocking_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/wait_until.h"
#include "viewer/pipeline/queue_exception.h"

namespace viewer {
namespace {

// An entry that counts its destruction, so tests see who disposed of what.
struct TCounted {
  TCounted(int v, std::atomic<int>* destroyed) : value(v), destroyed_(destroyed) {}
  ~TCounted() {
    if (destroyed_ != nullptr) destroyed_->fetch_add(1);
  }
  int value;
  std::atomic<int>* destroyed_;
};

using TQueue = TObjectBlockingQueue<TCounted>;

constexpr int32_t kPipelineCapacity = 100;

std::unique_ptr<TCounted> Item(int value, std::atomic<int>* destroyed = nullptr) {
  return std::make_unique<TCounted>(value, destroyed);
}

void Fill(TQueue& q, int n, int first_value = 0) {
  for (int i = 0; i < n; ++i) {
    auto item = Item(first_value + i);
    ASSERT_EQ(q.Put(item, 0, 0), kQueueOk);
  }
}

using quvi_test::WaitUntil;

// Results of one Put or Get on a queue brought into a given state first.
struct TResultCase {
  const char* name;
  int filled;       // entries put before the call (capacity 100)
  bool abort_read;  // AbortRead before the call
  bool unblocked;   // Unblock before the call
  bool is_put;      // Put of a fresh item (or a null one) / Get
  bool null_item;
  int32_t timeout_ms;
  int32_t expected;
  int expected_count;
};

// Test listings name a row by its name rather than by its bytes.
void PrintTo(const TResultCase& c, std::ostream* os) {
  *os << c.name;
}

const TResultCase kResultCases[] = {
    {"PutIntoFreeSpace", 99, false, false, true, false, 0, kQueueOk, 100},
    {"PutIntoFullWithoutWait", 100, false, false, true, false, 0, kQueueFull, 100},
    {"PutIntoFullTimesOut", 100, false, false, true, false, 20, kQueuePutTimeout, 100},
    {"PutNullInsertsNothing", 0, false, false, true, true, 0, kQueueInvalidItem, 0},
    {"PutNullIntoFullReportsFull", 100, false, false, true, true, 0, kQueueFull, 100},
    {"GetFromEmptyWithoutWait", 0, false, false, false, false, 0, kQueueEmpty, 0},
    {"GetFromEmptyTimesOut", 0, false, false, false, false, 20, kQueueGetTimeout, 0},
    {"GetTakesOldest", 3, false, false, false, false, kQueueInfinite, kQueueOk, 2},
    {"GetAfterAbortOnEmpty", 0, true, false, false, false, kQueueInfinite, kQueueEmpty, 0},
    {"GetAfterAbortStillTakes", 2, true, false, false, false, kQueueInfinite, kQueueOk, 1},
    {"PutAfterUnblockOnFull", 100, false, true, true, false, kQueueInfinite, kQueueClosed, 100},
    {"PutAfterUnblockOnFullNoWait", 100, false, true, true, false, 0, kQueueFull, 100},
    {"PutAfterUnblockWithSpace", 5, false, true, true, false, kQueueInfinite, kQueueOk, 6},
    {"GetAfterUnblockOnEmpty", 0, false, true, false, false, kQueueInfinite, kQueueClosed, 0},
    {"GetAfterUnblockOnEmptyNoWait", 0, false, true, false, false, 0, kQueueEmpty, 0},
    {"GetAfterUnblockWithEntries", 1, false, true, false, false, kQueueInfinite, kQueueOk, 0},
    {"ClosedWinsOverAbort", 0, true, true, false, false, kQueueInfinite, kQueueClosed, 0},
};

class QueueResultTest : public testing::TestWithParam<TResultCase> {};

TEST_P(QueueResultTest, ReturnsTheCodeOfTheTable) {
  const TResultCase& c = GetParam();
  TQueue q(kPipelineCapacity);
  Fill(q, c.filled, 1);
  if (c.abort_read) q.AbortRead();
  if (c.unblocked) q.Unblock();
  if (c.is_put) {
    std::unique_ptr<TCounted> item = c.null_item ? nullptr : Item(1000);
    TCounted* const raw = item.get();
    EXPECT_EQ(q.Put(item, 0, c.timeout_ms), c.expected);
    // The queue takes the item only when it was inserted.
    EXPECT_EQ(item.get(), c.expected == kQueueOk ? nullptr : raw);
  } else {
    std::unique_ptr<TCounted> item;
    int32_t tag = -1;
    EXPECT_EQ(q.Get(item, tag, c.timeout_ms), c.expected);
    if (c.expected == kQueueOk) {
      ASSERT_NE(item, nullptr);
      EXPECT_EQ(item->value, 1);
    } else {
      EXPECT_EQ(item, nullptr);
    }
  }
  EXPECT_EQ(q.Count(), c.expected_count);
  EXPECT_EQ(q.IsFull(), c.expected_count == kPipelineCapacity);
}

INSTANTIATE_TEST_SUITE_P(Table, QueueResultTest, testing::ValuesIn(kResultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QueueTest, HundredAndFirstPutWaitsUntilAGetMakesRoom) {
  TQueue q(kPipelineCapacity);
  Fill(q, kPipelineCapacity);
  std::atomic<int32_t> put_result{1};
  std::thread writer([&] {
    auto item = Item(kPipelineCapacity);
    put_result = q.Put(item, 0, kQueueInfinite);
  });
  ASSERT_TRUE(WaitUntil([&] { return q.WaitingWriters() == 1; }));
  EXPECT_EQ(put_result.load(), 1);  // still inside Put

  std::unique_ptr<TCounted> first;
  int32_t tag = 0;
  ASSERT_EQ(q.Get(first, tag, 0), kQueueOk);
  writer.join();
  EXPECT_EQ(put_result.load(), kQueueOk);
  EXPECT_EQ(first->value, 0);
  EXPECT_EQ(q.Count(), kPipelineCapacity);
  for (int expected = 1; expected <= kPipelineCapacity; ++expected) {
    auto item = q.Take();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->value, expected);
  }
}

TEST(QueueTest, TagTravelsWithItsEntry) {
  TQueue q(2);
  auto a = Item(1);
  auto b = Item(2);
  ASSERT_EQ(q.Put(a, 7, 0), kQueueOk);
  ASSERT_EQ(q.Put(b, 9, 0), kQueueOk);
  std::unique_ptr<TCounted> out;
  int32_t tag = 0;
  ASSERT_EQ(q.Get(out, tag, 0), kQueueOk);
  EXPECT_EQ(tag, 7);
  ASSERT_EQ(q.Get(out, tag, 0), kQueueOk);
  EXPECT_EQ(tag, 9);
}

// One queue of capacity 0 is full and empty at once, so a writer and a reader can wait
// on it together. Several rounds, since a released waiter is usually quick to leave and
// an Unblock that did not wait for it would slip through a single round now and then.
TEST(QueueTest, UnblockReleasesAWaitingWriterAndReaderAndReturnsAfterBothLeft) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    TQueue q(0);
    std::atomic<int32_t> put_result{1};
    std::atomic<int32_t> get_result{1};
    std::atomic<int> destroyed{0};
    std::thread writer([&] {
      auto item = Item(1, &destroyed);
      put_result = q.Put(item, 0, kQueueInfinite);
    });
    std::thread reader([&] {
      std::unique_ptr<TCounted> item;
      int32_t tag = 0;
      get_result = q.Get(item, tag, kQueueInfinite);
    });
    ASSERT_TRUE(WaitUntil([&] { return q.WaitingWriters() == 1 && q.WaitingReaders() == 1; }));

    q.Unblock();
    EXPECT_EQ(q.WaitingWriters(), 0);
    EXPECT_EQ(q.WaitingReaders(), 0);
    writer.join();
    reader.join();
    EXPECT_EQ(put_result.load(), kQueueClosed);
    EXPECT_EQ(get_result.load(), kQueueClosed);
    EXPECT_EQ(destroyed.load(), 1);  // the refused item stayed with the writer
  }
}

TEST(QueueTest, UnblockReleasesEveryWaitingWriterOfAFullQueue) {
  constexpr int kWriters = 3;
  TQueue q(kPipelineCapacity);
  Fill(q, kPipelineCapacity);
  std::vector<std::thread> writers;
  std::atomic<int> closed{0};
  for (int i = 0; i < kWriters; ++i) {
    writers.emplace_back([&] {
      try {
        q.PutOrRaise(Item(-1));
      } catch (const QueueException& e) {
        if (std::string(e.what()) == "ObjectQueue Insert Error,Buffer Closed") ++closed;
      }
    });
  }
  ASSERT_TRUE(WaitUntil([&] { return q.WaitingWriters() == kWriters; }));
  q.Unblock();
  EXPECT_EQ(q.WaitingWriters(), 0);
  for (auto& t : writers) t.join();
  EXPECT_EQ(closed.load(), kWriters);
  EXPECT_EQ(q.Count(), kPipelineCapacity);
}

TEST(QueueTest, UnblockWithoutWaitersReturnsAtOnce) {
  TQueue q(kPipelineCapacity);
  q.Unblock();
  q.Unblock();
  EXPECT_EQ(q.WaitingWriters(), 0);
}

TEST(QueueTest, AfterAbortReadTakeOnEmptyYieldsNullAgainAndAgainYetLaterEntriesArrive) {
  TQueue q(kPipelineCapacity);
  q.AbortRead();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(q.Take(), nullptr);
  Fill(q, 2, 10);
  auto a = q.Take();
  auto b = q.Take();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->value, 10);
  EXPECT_EQ(b->value, 11);
  EXPECT_EQ(q.Take(), nullptr);
}

TEST(QueueTest, AbortReadWakesAReaderAlreadyWaiting) {
  TQueue q(kPipelineCapacity);
  std::atomic<bool> returned_null{false};
  std::thread reader([&] { returned_null = q.Take() == nullptr; });
  ASSERT_TRUE(WaitUntil([&] { return q.WaitingReaders() == 1; }));
  q.AbortRead();
  reader.join();
  EXPECT_TRUE(returned_null.load());
}

TEST(QueueTest, ResumeReadLetsReadsWaitAgainYetAnAbortedWaiterStillReturns) {
  TQueue q(kPipelineCapacity);
  std::atomic<bool> returned_null{false};
  std::thread reader([&] { returned_null = q.Take() == nullptr; });
  ASSERT_TRUE(WaitUntil([&] { return q.WaitingReaders() == 1; }));
  // Both before the reader can have woken: the abort was meant for it all the same.
  q.AbortRead();
  q.ResumeRead();
  reader.join();
  EXPECT_TRUE(returned_null.load());

  // From now on a read waits for an entry instead of returning empty.
  int32_t tag = 0;
  std::unique_ptr<TCounted> item;
  EXPECT_EQ(q.Get(item, tag, 20), kQueueGetTimeout);
  std::thread waiter([&] { item = q.Take(); });
  ASSERT_TRUE(WaitUntil([&] { return q.WaitingReaders() == 1; }));
  Fill(q, 1, 7);
  waiter.join();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->value, 7);
}

TEST(QueueTest, OrderIsKeptAcrossTheWrapOfTheRing) {
  constexpr int kCapacity = 3;
  TQueue q(kCapacity);
  int next_in = 0;
  int next_out = 0;
  // Two in, one out per round, emptying whenever full: the indexes wrap many times.
  for (int round = 0; round < 10; ++round) {
    for (int i = 0; i < 2 && !q.IsFull(); ++i) {
      auto item = Item(next_in++);
      ASSERT_EQ(q.Put(item, 0, 0), kQueueOk);
    }
    const int takes = q.IsFull() ? kCapacity : 1;
    for (int i = 0; i < takes; ++i) {
      auto item = q.Take();
      ASSERT_NE(item, nullptr);
      EXPECT_EQ(item->value, next_out++);
    }
  }
  EXPECT_GT(next_out, 3 * kCapacity);
}

TEST(QueueTest, OneWriterAndOneReaderPassEveryEntryInOrder) {
  constexpr int kEntries = 20000;
  TQueue q(4);
  std::thread writer([&] {
    for (int i = 0; i < kEntries; ++i) q.PutOrRaise(Item(i));
  });
  int mismatches = 0;
  for (int i = 0; i < kEntries; ++i) {
    auto item = q.Take();
    if (item == nullptr || item->value != i) ++mismatches;
  }
  writer.join();
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(q.Count(), 0);
}

// Several writers and readers: every entry arrives exactly once and nobody is left
// sleeping on a signal meant for another (each reader stops at its share).
TEST(QueueTest, SeveralWritersAndReadersLoseNothing) {
  constexpr int kThreads = 3;
  constexpr int kPerThread = 5000;
  TQueue q(2);
  std::vector<std::atomic<int>> seen(kThreads * kPerThread);
  std::vector<std::thread> threads;
  for (int w = 0; w < kThreads; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < kPerThread; ++i) q.PutOrRaise(Item(w * kPerThread + i));
    });
  }
  for (int r = 0; r < kThreads; ++r) {
    threads.emplace_back([&] {
      for (int i = 0; i < kPerThread; ++i) {
        auto item = q.Take();
        if (item != nullptr) seen[item->value].fetch_add(1);
      }
    });
  }
  for (auto& t : threads) t.join();
  int wrong = 0;
  for (auto& s : seen) wrong += s.load() != 1;
  EXPECT_EQ(wrong, 0);
}

TEST(QueueTest, PutOrRaiseOfNullRaisesInvalidPointer) {
  TQueue q(kPipelineCapacity);
  try {
    q.PutOrRaise(nullptr);
    FAIL() << "no exception";
  } catch (const QueueException& e) {
    EXPECT_STREQ(e.what(), "ObjectQueue Insert Error,Invalid Pointer");
  }
  EXPECT_EQ(q.Count(), 0);
}

TEST(QueueTest, PutOrRaiseIntoClosedFullQueueRaisesBufferClosedAndFreesTheItem) {
  std::atomic<int> destroyed{0};
  TQueue q(1);
  Fill(q, 1);
  q.Unblock();
  try {
    q.PutOrRaise(Item(5, &destroyed));
    FAIL() << "no exception";
  } catch (const EViewerException& e) {  // the family's handlers catch it
    EXPECT_NE(dynamic_cast<const QueueException*>(&e), nullptr);
    EXPECT_EQ(e.Message(), "ObjectQueue Insert Error,Buffer Closed");
  }
  EXPECT_EQ(destroyed.load(), 1);
}

TEST(QueueTest, ClearDestroysEntriesAndWakesAWriterWaitingForSpace) {
  std::atomic<int> destroyed{0};
  TQueue q(2);
  for (int i = 0; i < 2; ++i) {
    auto item = Item(i, &destroyed);
    ASSERT_EQ(q.Put(item, 0, 0), kQueueOk);
  }
  std::atomic<int32_t> put_result{1};
  std::thread writer([&] {
    auto item = Item(7, &destroyed);
    put_result = q.Put(item, 0, kQueueInfinite);
  });
  ASSERT_TRUE(WaitUntil([&] { return q.WaitingWriters() == 1; }));
  q.Clear();
  writer.join();
  EXPECT_EQ(destroyed.load(), 2);
  EXPECT_EQ(put_result.load(), kQueueOk);
  auto item = q.Take();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->value, 7);
}

TEST(QueueTest, DestroyingTheQueueDestroysWhatItHolds) {
  std::atomic<int> destroyed{0};
  {
    TQueue q(kPipelineCapacity);
    // Wrapped ring: entries sit at the end and the start of the slot array.
    for (int i = 0; i < kPipelineCapacity + 40; ++i) {
      auto item = Item(i, &destroyed);
      ASSERT_EQ(q.Put(item, 0, 0), kQueueOk);
      if (i % 2 == 0) q.Take();
    }
    EXPECT_EQ(destroyed.load(), 70);
  }
  EXPECT_EQ(destroyed.load(), kPipelineCapacity + 40);
}

// Raw entries are memory blocks; the leak checker of the address-sanitised build sees
// any the queue forgets to free.
TEST(QueueTest, GeneralQueueFreesItsRawBlocks) {
  TGeneralQueue q(4);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(q.Put(std::malloc(64), i, 0), kQueueOk);
  void* first = q.Take();
  ASSERT_NE(first, nullptr);
  std::free(first);
  EXPECT_EQ(q.Count(), 2);
}

}  // namespace
}  // namespace viewer
