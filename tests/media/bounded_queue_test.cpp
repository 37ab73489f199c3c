#include "media/bounded_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <semaphore>
#include <thread>

namespace chat::media {
namespace {

TEST(BoundedQueue, OffersReportFullAndClosed) {
  BoundedQueue<int> q(2);
  EXPECT_EQ(q.try_push(1), Offer::Accepted);
  EXPECT_EQ(q.try_push(2), Offer::Accepted);
  EXPECT_EQ(q.try_push(3), Offer::Full);
  q.close();
  EXPECT_EQ(q.try_push(4), Offer::Closed);
  // Items queued before closing can still be taken; only then does the consumer see the end.
  EXPECT_EQ(q.size(), 2u);
  std::vector<int> out;
  EXPECT_EQ(q.take(out, 10), 2u);
  EXPECT_EQ(out, (std::vector{1, 2}));
  EXPECT_TRUE(q.pop_or_park().closed);
}

TEST(BoundedQueue, KeepsOrderAndExactCapacityOverManyLaps) {
  // 3 is not a power of two: slot indices wrap by modulo, not by mask.
  for (std::size_t capacity : {std::size_t{1}, std::size_t{3}, std::size_t{128}}) {
    SCOPED_TRACE(capacity);
    BoundedQueue<int> q(capacity);
    int next_in = 0, next_out = 0;
    for (int lap = 0; lap < 50; ++lap) {
      for (std::size_t k = q.size(); k < capacity; ++k) {
        ASSERT_EQ(q.try_push(next_in), Offer::Accepted);
        ++next_in;
      }
      ASSERT_EQ(q.try_push(-1), Offer::Full);
      ASSERT_EQ(q.size(), capacity);
      std::vector<int> out;
      // Take part of the ring, so that head and tail stand at different slots next lap.
      q.take(out, lap % 2 == 0 ? capacity : (capacity + 1) / 2);
      for (int v : out) ASSERT_EQ(v, next_out++);
    }
    EXPECT_EQ(static_cast<std::size_t>(next_in - next_out), q.size());
  }
}

TEST(BoundedQueue, ParkedConsumerIsWokenOnceByNextOfferOrClose) {
  BoundedQueue<int> q(4);
  int wakes = 0;
  q.set_waker([&] { ++wakes; });
  q.try_push(1);
  EXPECT_EQ(wakes, 0);  // nobody parked
  EXPECT_EQ(q.pop_or_park().item, 1);
  auto pop = q.pop_or_park();
  EXPECT_FALSE(pop.item);
  EXPECT_FALSE(pop.closed);
  q.try_push(2);
  q.try_push(3);
  EXPECT_EQ(wakes, 1);
  EXPECT_EQ(q.pop_or_park().item, 2);
  EXPECT_EQ(q.pop_or_park().item, 3);
  EXPECT_FALSE(q.pop_or_park().item);
  q.close();
  q.close();
  EXPECT_EQ(wakes, 2);
}

// Producers race each other and the close; every accepted item comes out exactly once, in each
// producer's order, and nothing is accepted after the close.
TEST(BoundedQueue, ConcurrentProducersLoseNothingAcceptedAndKeepTheirOrder) {
  constexpr int kProducers = 3;
  BoundedQueue<std::pair<int, int>> q(128);
  std::atomic<int> accepted{0};
  std::atomic<int> after_close{0};
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0;; ++i) {
        const bool was_closed = q.closed();
        const Offer offer = q.try_push({p, i});
        if (offer == Offer::Closed) return;
        if (offer == Offer::Full) std::this_thread::yield();
        if (offer == Offer::Accepted) {
          ++accepted;
          after_close += was_closed;
        }
      }
    });
  }
  std::vector<int> last(kProducers, -1);
  std::size_t taken = 0;
  std::vector<std::pair<int, int>> out;
  auto consume = [&] {
    out.clear();
    const std::size_t n = q.take(out, 64);
    for (auto [p, i] : out) {
      EXPECT_GT(i, last[static_cast<std::size_t>(p)]);
      last[static_cast<std::size_t>(p)] = i;
    }
    taken += n;
    return n;
  };
  while (taken < 50000) {
    consume();
    ASSERT_LE(q.size(), q.capacity());
  }
  q.close();
  for (auto& t : producers) t.join();
  while (consume() != 0) {
  }
  EXPECT_TRUE(q.pop().closed);
  EXPECT_EQ(taken, static_cast<std::size_t>(accepted.load()));
  EXPECT_EQ(after_close.load(), 0);
}

// A consumer that sleeps whenever it finds the queue empty must never miss the offer that
// should wake it: a lost wake-up leaves it asleep with items queued.
TEST(BoundedQueue, ParkingConsumerNeverMissesAWakeUp) {
  constexpr int kItems = 20000;
  BoundedQueue<int> q(8);
  std::counting_semaphore<> bell(0);
  q.set_waker([&] { bell.release(); });
  std::vector<int> got;
  bool stuck = false;
  std::thread consumer([&] {
    for (;;) {
      auto pop = q.pop_or_park();
      if (pop.closed) return;
      if (pop.item) {
        got.push_back(*pop.item);
      } else if (!bell.try_acquire_for(std::chrono::seconds(10))) {
        stuck = true;
        return;
      }
    }
  });
  for (int i = 0; i < kItems;) {
    if (q.try_push(i) == Offer::Accepted) {
      ++i;
    } else {
      std::this_thread::yield();
    }
    if (i % 64 == 0) std::this_thread::yield();  // let the consumer catch up and park
  }
  q.close();
  consumer.join();
  ASSERT_FALSE(stuck);
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kItems));
  for (int i = 0; i < kItems; ++i) ASSERT_EQ(got[static_cast<std::size_t>(i)], i);
}

}  // namespace
}  // namespace chat::media
