#include "media/bounded_queue.h"

#include <gtest/gtest.h>

#include <atomic>
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
  // Items queued before closing can still be taken.
  std::vector<int> out;
  EXPECT_EQ(q.take(out, 10), 2u);
  EXPECT_EQ(out, (std::vector{1, 2}));
  auto pop = q.pop_or_arm(nullptr);
  EXPECT_TRUE(pop.closed);
}

TEST(BoundedQueue, ArmedWakerRunsOnceOnNextOfferOrClose) {
  BoundedQueue<int> q(4);
  int wakes = 0;
  auto pop = q.pop_or_arm([&] { ++wakes; });
  EXPECT_FALSE(pop.item);
  EXPECT_FALSE(pop.closed);
  q.try_push(1);
  q.try_push(2);
  EXPECT_EQ(wakes, 1);
  EXPECT_EQ(q.pop_or_arm(nullptr).item, 1);
  EXPECT_EQ(q.pop_or_arm(nullptr).item, 2);
  q.pop_or_arm([&] { ++wakes; });
  q.close();
  EXPECT_EQ(wakes, 2);
}

TEST(BoundedQueue, ConcurrentProducersNeverExceedCapacityNorLoseAcceptedItems) {
  BoundedQueue<int> q(128);
  std::atomic<int> accepted{0};
  std::atomic<int> running{4};
  std::vector<std::thread> producers;
  for (int p = 0; p < 4; ++p) {
    producers.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) accepted += q.try_push(i) == Offer::Accepted;
      --running;
    });
  }
  std::size_t taken = 0;
  std::vector<int> out;
  for (;;) {
    const bool finished = running.load() == 0;
    out.clear();
    const std::size_t n = q.take(out, 64);
    taken += n;
    ASSERT_LE(q.size(), q.capacity());
    if (finished && n == 0) break;
  }
  for (auto& t : producers) t.join();
  EXPECT_EQ(taken, static_cast<std::size_t>(accepted.load()));
  EXPECT_GE(taken, q.capacity());
}

}  // namespace
}  // namespace chat::media
